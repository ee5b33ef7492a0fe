#pragma once

#include "app/TrayMenuModel.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

class QWidget;

namespace palaverly {

class AppSettings;
class GlobalHotkeyManager;
class NotificationCenter;
class RecorderModel;
class RecordingStore;

// The program's face: the tray icon and its menu (rebuilt each time it opens), the global
// hotkeys, and the windows opened from the menu. Main thread only.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    MenuBarController(RecorderModel& recorder, RecordingStore& store, AppSettings& settings,
        NotificationCenter& notifications, std::unique_ptr<GlobalHotkeyManager> hotkeys, QObject* parent = nullptr);
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

signals:
    // A recording has just ended (the library window comes forward then).
    void recordingFinished();
    void libraryRequested();
    void settingsRequested();
    void updateCheckRequested();

private:
    void refreshStatusIcon();
    void recorderChanged();
    void tick();
    void registerHotkeys();
    TrayMenuState menuState() const;
    void showFallbackWindow();

    RecorderModel& m_recorder;
    RecordingStore& m_store;
    AppSettings& m_settings;
    NotificationCenter& m_notifications;
    QSystemTrayIcon m_statusItem;
    QMenu m_menu;
    QTimer m_clockTimer;
    QPointer<QAction> m_elapsedMenuItem;
    bool m_wasRecording = false;
    bool m_showsRecordingIcon = false;
    QMetaObject::Connection m_hotkeysObserver;
    std::unique_ptr<GlobalHotkeyManager> m_hotkeys;
    QIcon m_idleIcon;
    QIcon m_recordingIcon;
    QPointer<QWidget> m_fallbackWindow;
};

} // namespace palaverly
