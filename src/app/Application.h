#pragma once

#include <QSettings>
#include <filesystem>
#include <memory>

class QTranslator;

namespace palaverly {

class AppSettings;
class MenuBarController;
class NotificationCenter;
class RecorderModel;
class RecordingStore;
class ServiceSettings;

// The long-lived objects of the program, made in start-up order: the store (its first scan runs
// in the background), the settings and the chosen services, the recorder and the tray
// controller. Main thread only.
class Application {
public:
    // `cacheFile`: the store's cache (RecordingStore::defaultCacheFile()), empty for none.
    Application(
        QSettings& defaults, const std::filesystem::path& libraryFolder, const std::filesystem::path& cacheFile);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    RecordingStore& store() { return *m_store; }
    RecorderModel& recorder() { return *m_recorder; }
    MenuBarController& menuBar() { return *m_menuBar; }

private:
    std::unique_ptr<QTranslator> m_qtTranslation;
    std::unique_ptr<NotificationCenter> m_notifications;
    std::unique_ptr<RecordingStore> m_store;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ServiceSettings> m_services;
    std::unique_ptr<RecorderModel> m_recorder;
    std::unique_ptr<MenuBarController> m_menuBar;
};

} // namespace palaverly
