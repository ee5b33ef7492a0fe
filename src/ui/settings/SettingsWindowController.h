#pragma once

#include "system/AutostartEntry.h"
#include "ui/widgets/PermissionsSnapshotFactory.h"

#include <QObject>
#include <QString>
#include <array>
#include <memory>

class QAction;
class QSettings;
class QWidget;

namespace palaverly {

class AppSettings;
class NotificationCenter;
class PermissionsSnapshot;
class SettingsAboutPane;
class SettingsGeneralPane;
class SettingsPermissionsPane;
class SettingsServicesPane;
class ServiceSettings;

// The settings window: a toolbar with one item per pane ("Общие", "Сервисы", "Разрешения",
// "О приложении")
// above the selected pane; the window takes the pane's title and size. The window is made
// with the controller and kept; closing it only hides it. The permission states are read again
// whenever one of the program's windows becomes active while this one is shown. Main thread;
// everything passed in must outlive the controller.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    enum class Pane { general, services, permissions, about };
    struct PaneInfo {
        Pane pane;
        const char* identifier;
        const char* title;
        const char* symbol;
    };
    static constexpr std::array<PaneInfo, 4> kPanes{{
        {Pane::general, "general", "Общие", "gearshape"},
        {Pane::services, "services", "Сервисы", "server.rack"},
        {Pane::permissions, "permissions", "Разрешения", "lock.shield"},
        {Pane::about, "about", "О приложении", "info.circle"},
    }};

    SettingsWindowController(AppSettings& settings, ServiceSettings& services, QSettings& store,
        NotificationCenter& notifications, PermissionsSnapshotFactory snapshots = {},
        AutostartEntry autostart = AutostartEntry(), QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // Selects `pane`, shows the window and brings it forward.
    void show(Pane pane = Pane::general);
    void select(Pane pane);
    Pane currentPane() const { return m_current; }

    QWidget* window() const { return m_window.get(); }
    SettingsGeneralPane* generalPane() const { return m_general; }
    SettingsServicesPane* servicesPane() const { return m_services; }
    SettingsPermissionsPane* permissionsPane() const { return m_permissions; }
    SettingsAboutPane* aboutPane() const { return m_about; }
    PermissionsSnapshot& snapshot() const { return *m_snapshot; }

private:
    QWidget* paneWidget(Pane pane) const;

    std::unique_ptr<PermissionsSnapshot> m_snapshot;
    AutostartEntry m_autostart;
    // Destroyed before the snapshot and the autostart entry that its panes use.
    std::unique_ptr<QWidget> m_window;
    SettingsGeneralPane* m_general = nullptr;
    SettingsServicesPane* m_services = nullptr;
    SettingsPermissionsPane* m_permissions = nullptr;
    SettingsAboutPane* m_about = nullptr;
    std::array<QAction*, kPanes.size()> m_actions{};
    Pane m_current = Pane::general;
};

} // namespace palaverly
