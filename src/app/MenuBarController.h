#pragma once

#include "app/TrayMenuModel.h"
#include "system/SessionInput.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

class QSettings;
class QWidget;

namespace palaverly {

class AppSettings;
class DictationHotkeyMonitor;
class DictationManager;
class DictationPanelController;
class GlobalHotkeyManager;
class LibraryWindow;
class RecorderModelLink;
class OnboardingWindowController;
class SettingsWindowController;
class UpdateAlerts;
class Updater;
class UpdaterLogger;
class NotificationCenter;
class RecorderModel;
class RecordingStore;
class ServiceSettings;

// The program's face: the tray icon and its menu (rebuilt each time it opens), the global
// hotkeys, and the windows opened from the menu. Main thread only.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    // The platform pieces it drives; every missing one is made for the current session: key
    // grabs and XTest in an X11 session, the desktop portals in a Wayland one.
    struct Platform {
        std::unique_ptr<SessionInput> sessionInput;
        std::unique_ptr<GlobalHotkeyManager> hotkeys;
        std::unique_ptr<DictationHotkeyMonitor> dictationMonitor;
        std::unique_ptr<DictationManager> dictation;
    };
    // `defaults` is the settings store behind `settings` (onboarding and update keys live there).
    MenuBarController(RecorderModel& recorder, RecordingStore& store, AppSettings& settings, ServiceSettings& services,
        QSettings& defaults, NotificationCenter& notifications, Platform platform, QObject* parent = nullptr);
    ~MenuBarController() override;

    // The menu as it is now; rebuildMenu() refreshes it as opening it does.
    QMenu* menu() { return &m_menu; }
    void rebuildMenu();
    // The icon the tray shows now.
    QIcon currentIcon() const { return m_statusItem.icon(); }
    bool isShowingRecordingIcon() const { return m_showsRecordingIcon; }
    // The window that stands in for the tray when the desktop has no tray host; null otherwise.
    QWidget* fallbackWindow() const { return m_fallbackWindow; }

    void runCommand(TrayMenuItem::Command command);
    // The version an available update offers; the menu's top line and the badge show it.
    std::optional<QString> pendingUpdateVersion() const { return m_pendingUpdateVersion; }
    bool isShowingOnboarding() const { return m_onboarding != nullptr; }
    void showOnboarding();
    // Brings the library window forward, making it when it is not open.
    void openLibrary();
    LibraryWindow* libraryWindow() const;
    // Shows the settings window on the pane named by its identifier ("services"); the first pane
    // for any other name.
    void openSettings(const QString& pane = {});
    void checkForUpdates();

    DictationManager& dictation() { return *m_dictation; }
    SessionInput& sessionInput() { return *m_sessionInput; }
    DictationHotkeyMonitor& dictationMonitor() { return *m_dictationMonitor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A recording has just ended (the library window comes forward then).
    void recordingFinished();

private:
    void refreshStatusIcon();
    void recorderChanged();
    void tick();
    void registerHotkeys();
    void observeNotifications();
    void setPendingUpdate(std::optional<QString> version);
    void wireDictation();
    // The dictation key is watched only with the accessibility permission; look again when the
    // user may have granted it meanwhile.
    void reinstallDictationTap();
    TrayMenuState menuState() const;
    void showFallbackWindow();
    void logSessionInput();

    RecorderModel& m_recorder;
    RecordingStore& m_store;
    AppSettings& m_settings;
    ServiceSettings& m_services;
    NotificationCenter& m_notifications;
    QSystemTrayIcon m_statusItem;
    QMenu m_menu;
    QTimer m_clockTimer;
    QPointer<QAction> m_elapsedMenuItem;
    bool m_wasRecording = false;
    bool m_showsRecordingIcon = false;
    QSettings& m_defaults;
    std::vector<QMetaObject::Connection> m_observers;
    std::optional<QString> m_pendingUpdateVersion;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<RecorderModelLink> m_libraryRecorder;
    QPointer<LibraryWindow> m_libraryWindow;
    std::unique_ptr<OnboardingWindowController> m_onboarding;
    std::unique_ptr<UpdaterLogger> m_updaterLogger;
    std::unique_ptr<UpdateAlerts> m_updateAlerts;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<SessionInput> m_sessionInput;
    std::unique_ptr<GlobalHotkeyManager> m_hotkeys;
    std::unique_ptr<DictationManager> m_dictation;
    std::unique_ptr<DictationHotkeyMonitor> m_dictationMonitor;
    std::unique_ptr<DictationPanelController> m_dictationPanel;
    QColor m_markColor;
    QIcon m_idleIcon;
    QIcon m_recordingIcon;
    QPointer<QWidget> m_fallbackWindow;
    QString m_loggedSessionInput;
};

} // namespace palaverly
