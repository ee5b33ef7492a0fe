#include "ui/settings/SettingsWindowController.h"

#include "system/PermissionsSnapshot.h"
#include "ui/settings/SettingsAboutPane.h"
#include "ui/settings/SettingsGeneralPane.h"
#include "ui/settings/SettingsPermissionsPane.h"
#include "ui/settings/SettingsServicesPane.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

namespace palaverly {

namespace {

constexpr int kPaneWidth = 600;

QWidget* expandingSpacer(QWidget* parent)
{
    auto* spacer = new QWidget(parent);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return spacer;
}

} // namespace

SettingsWindowController::SettingsWindowController(AppSettings& settings, ServiceSettings& services, QSettings& store,
    NotificationCenter& notifications, PermissionsSnapshotFactory snapshots, AutostartEntry autostart, QObject* parent)
    : QObject(parent)
    , m_snapshot(snapshots ? snapshots() : systemPermissionsSnapshots(store)())
    , m_autostart(std::move(autostart))
    , m_window(std::make_unique<QWidget>())
{
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
        | Qt::CustomizeWindowHint);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window always has the size of the pane shown in it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* toolbar = new QToolBar(m_window.get());
    toolbar->setObjectName(QStringLiteral("settingsToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(26, 26));
    toolbar->addWidget(expandingSpacer(toolbar));
    auto* group = new QActionGroup(toolbar);
    group->setExclusive(true);
    for (std::size_t index = 0; index < kPanes.size(); ++index) {
        const PaneInfo& info = kPanes[index];
        QAction* action = toolbar->addAction(symbolIcon(QLatin1String(info.symbol)), QString::fromUtf8(info.title));
        action->setObjectName(QLatin1String(info.identifier));
        action->setCheckable(true);
        group->addAction(action);
        m_actions[index] = action;
        connect(action, &QAction::triggered, this, [this, pane = info.pane] { select(pane); });
    }
    toolbar->addWidget(expandingSpacer(toolbar));
    layout->addWidget(toolbar);
    layout->addWidget(style::separatorLine(m_window.get()));

    m_general = new SettingsGeneralPane(settings, *m_snapshot, m_autostart, m_window.get());
    m_services = new SettingsServicesPane(services, m_window.get());
    m_permissions = new SettingsPermissionsPane(*m_snapshot, notifications, m_window.get());
    m_about = new SettingsAboutPane(store, notifications, SettingsAboutPane::builtProduct(), m_window.get());
    for (QWidget* pane : {static_cast<QWidget*>(m_general), static_cast<QWidget*>(m_services),
             static_cast<QWidget*>(m_permissions), static_cast<QWidget*>(m_about)}) {
        pane->setFixedWidth(kPaneWidth);
        pane->hide();
        layout->addWidget(pane);
    }

    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window && m_window->isVisible())
            m_snapshot->refresh();
    });
    select(Pane::general);
}

SettingsWindowController::~SettingsWindowController() = default;

QWidget* SettingsWindowController::paneWidget(Pane pane) const
{
    switch (pane) {
    case Pane::general:
        return m_general;
    case Pane::services:
        return m_services;
    case Pane::permissions:
        return m_permissions;
    case Pane::about:
        return m_about;
    }
    return m_general;
}

void SettingsWindowController::select(Pane pane)
{
    for (const PaneInfo& info : kPanes) {
        paneWidget(info.pane)->setVisible(info.pane == pane);
        m_actions[static_cast<std::size_t>(info.pane)]->setChecked(info.pane == pane);
        if (info.pane == pane)
            m_window->setWindowTitle(QString::fromUtf8(info.title));
    }
    m_current = pane;
}

void SettingsWindowController::show(Pane pane)
{
    select(pane);
    if (!m_window->isVisible()) {
        m_window->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), m_window->sizeHint());
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.left(), std::max(screen->availableGeometry().top(), frame.top() - frame.height() / 4));
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace palaverly
