#include "app/MenuBarController.h"

#include "common/Log.h"
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "dictation/TextInjector.h"
#include "model/RecordingStore.h"
#include "recorder/RecorderModel.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "system/PortalKeyboard.h"
#include "system/PortalShortcuts.h"
#include "system/ServiceSettings.h"
#include "system/SessionInput.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "ui/dictation/DictationPanelController.h"
#include "ui/dictation/DictationWiring.h"
#include "ui/library/LibraryWindow.h"
#include "ui/logic/RecorderModelLink.h"
#include "ui/logic/ServicesText.h"
#include "ui/logic/SessionFeatures.h"
#include "ui/logic/UntrustedText.h"
#include "ui/onboarding/OnboardingWindowController.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/updater/UpdateAlerts.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/TrayIcon.h"
#include "updater/Updater.h"
#include "updater/UpdaterLogger.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMenuBarController, "MenuBarController")

namespace palaverly {

namespace {

QColor tintColor(TrayMenuItem::Tint tint)
{
    switch (tint) {
    case TrayMenuItem::Tint::red:
        return colors::red();
    case TrayMenuItem::Tint::orange:
        return colors::orange();
    case TrayMenuItem::Tint::accent:
        return colors::accent();
    case TrayMenuItem::Tint::none:
        break;
    }
    return {};
}

QIcon itemIcon(const TrayMenuItem& item)
{
    if (item.symbol == QLatin1String("blank")) {
        QPixmap empty(16, 16);
        empty.fill(Qt::transparent);
        return QIcon(empty);
    }
    if (item.symbol.isEmpty())
        return {};
    const QColor tint = tintColor(item.tint);
    QIcon icon = symbolIcon(item.symbol, tint);
    // A status line cannot be chosen, yet its colour carries the message (recording, a warning):
    // the disabled item keeps it instead of turning grey.
    if (item.kind == TrayMenuItem::Kind::status && tint.isValid())
        for (int size : {16, 18, 24, 32})
            icon.addPixmap(symbolPixmap(item.symbol, size, tint), QIcon::Disabled);
    return icon;
}

QFont itemFont(TrayMenuItem::Font font)
{
    QFont result = QApplication::font("QMenu");
    if (font == TrayMenuItem::Font::small) {
        result.setPointSizeF(std::max(7.0, result.pointSizeF() - 1.5));
    } else if (font == TrayMenuItem::Font::monospacedDigits) {
        result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        result.setPointSizeF(QApplication::font("QMenu").pointSizeF());
    }
    return result;
}

// The dictation key asks for the permission to take keys when it is missing. The answer is not
// waited for: the key is watched from the next installTap() that finds the permission. Asking
// only records that it was asked, so the snapshot gets no probes: the system ones would block the
// main thread on the sound server and the display for an answer nobody reads.
DictationHotkeyMonitor::Accessibility accessibilityRequests(QSettings& defaults)
{
    DictationHotkeyMonitor::Accessibility access;
    access.request = [&defaults] {
        PermissionsSnapshot(defaults, PermissionsSnapshot::Probes{}).request(PermissionKind::accessibility, {});
    };
    return access;
}

// Fills in what the owner left out, for the session the program runs in.
MenuBarController::Platform sessionPlatform(MenuBarController::Platform platform, QSettings& defaults)
{
    if (!platform.sessionInput) {
        const SessionType session = currentSessionType();
        if (session == SessionType::wayland) {
            platform.sessionInput = std::make_unique<SessionInput>(std::make_shared<PortalShortcuts>(),
                std::make_shared<PortalKeyboard>(QDBusConnection::sessionBus(), &defaults));
        } else {
            platform.sessionInput = std::make_unique<SessionInput>(session, SyntheticInputProbe::create());
        }
    }
    SessionInput& input = *platform.sessionInput;
    const bool portals = input.state().session == SessionType::wayland;
    if (!platform.hotkeys)
        platform.hotkeys
            = portals ? GlobalHotkeyManager::createPortal(input.shortcuts()) : GlobalHotkeyManager::create();
    if (!platform.dictationMonitor) {
        platform.dictationMonitor = portals ? DictationHotkeyMonitor::createPortal(input.shortcuts())
                                            : DictationHotkeyMonitor::create(accessibilityRequests(defaults));
    }
    if (!platform.dictation) {
        DictationManager::Dependencies deps;
        if (portals) {
            auto injector = std::make_shared<TextInjector>(TextInjector::createPortalKeySender(input.keyboard()));
            deps.paste = [injector](const std::string& text) { injector->paste(QString::fromStdString(text)); };
        }
        platform.dictation = std::make_unique<DictationManager>(std::move(deps));
    }
    return platform;
}

// Whole seconds since the running recording started; nothing when that is not known.
std::optional<long long> secondsRecorded(const RecorderModel& recorder)
{
    const auto started = recorder.recordingStartedAt();
    if (!started)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - *started).count();
}

// The colour of the tray's panel when the tray says, else the text colour of our palette.
QColor panelForeground()
{
    return trayPanelForeground().value_or(QGuiApplication::palette().color(QPalette::WindowText));
}

} // namespace

MenuBarController::MenuBarController(RecorderModel& recorder, RecordingStore& store, AppSettings& settings,
    ServiceSettings& services, QSettings& defaults, NotificationCenter& notifications, Platform platform,
    QObject* parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_store(store)
    , m_settings(settings)
    , m_services(services)
    , m_notifications(notifications)
    , m_defaults(defaults)
{
    platform = sessionPlatform(std::move(platform), defaults);
    m_sessionInput = std::move(platform.sessionInput);
    m_hotkeys = std::move(platform.hotkeys);
    m_dictation = std::move(platform.dictation);
    m_dictationMonitor = std::move(platform.dictationMonitor);
    logSessionInput();
    connect(m_sessionInput.get(), &SessionInput::changed, this, &MenuBarController::logSessionInput);
    m_recordingIcon = symbolIcon(QStringLiteral("record.circle.fill"), colors::red());

    m_statusItem.setContextMenu(&m_menu);
    m_menu.setToolTipsVisible(true); // the whole of a shortened line
    m_statusItem.setToolTip(QStringLiteral("Palaverly"));
    connect(&m_menu, &QMenu::aboutToShow, this, &MenuBarController::rebuildMenu);
    // A left click opens the same menu as a right click.
    connect(&m_statusItem, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu.popup(QCursor::pos());
    });

    connect(&m_recorder, &RecorderModel::isRecordingChanged, this, &MenuBarController::recorderChanged,
        Qt::QueuedConnection);
    connect(&m_recorder, &RecorderModel::recordingStartedAtChanged, this, &MenuBarController::recorderChanged,
        Qt::QueuedConnection);
    connect(&m_recorder, &RecorderModel::captureWarningChanged, this, [this] {
        refreshStatusIcon();
        // An open menu shows the warning (or stops showing it) at once.
        if (m_menu.isVisible())
            rebuildMenu();
    });

    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, this, &MenuBarController::tick);
    m_clockTimer.start();

    refreshStatusIcon();
    m_menu.installEventFilter(this); // a new palette reaches the menu: the mark follows it

    m_hotkeys->onTrigger = [self = QPointer<MenuBarController>(this)](GlobalHotkeyManager::Action action) {
        if (!self)
            return;
        switch (action) {
        case GlobalHotkeyManager::Action::meeting:
            self->m_recorder.toggleMeeting();
            break;
        case GlobalHotkeyManager::Action::note:
            self->m_recorder.toggleNote();
            break;
        case GlobalHotkeyManager::Action::stop:
            self->m_recorder.stopCurrent();
            break;
        }
    };
    registerHotkeys();
    wireDictation();
    m_updaterLogger = std::make_unique<UpdaterLogger>(m_notifications);
    m_updateAlerts = std::make_unique<UpdateAlerts>();
    m_updater = std::make_unique<Updater>(m_defaults, m_settings, *m_updaterLogger, *m_updateAlerts);
    m_updater->start();
    observeNotifications();
    if (OnboardingWindowController::needsOnboarding(m_defaults))
        QTimer::singleShot(0, this, &MenuBarController::showOnboarding);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_statusItem.show();
    } else {
        log::info(lcMenuBarController(),
            QStringLiteral("No system tray on this desktop; the menu opens from a small window instead"));
        showFallbackWindow();
    }
}

MenuBarController::~MenuBarController()
{
    m_clockTimer.stop();
    for (const auto& observer : m_observers)
        NotificationCenter::removeObserver(observer);
    delete m_fallbackWindow;
    delete m_libraryWindow;
}

bool MenuBarController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_menu && event->type() == QEvent::PaletteChange)
        refreshStatusIcon();
    return QObject::eventFilter(watched, event);
}

void MenuBarController::logSessionInput()
{
    const SessionInput::State state = m_sessionInput->state();
    QStringList lines;
    for (const FeatureLine& line : sessionFeatureLines(state))
        lines << line.title + QStringLiteral(": ") + line.text;
    const QString line = QStringLiteral("Session %1. %2").arg(sessionName(state.session), lines.join(QLatin1Char(' ')));
    if (line == m_loggedSessionInput)
        return;
    m_loggedSessionInput = line;
    log::info(lcMenuBarController(), line);
}

void MenuBarController::registerHotkeys()
{
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::meeting, m_settings.meetingHotkey());
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::note, m_settings.noteHotkey());
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::stop, m_settings.stopHotkey());
    m_dictationMonitor->install(m_settings.dictationHotkey());
}

void MenuBarController::wireDictation()
{
    m_dictation->canStart
        = [self = QPointer<MenuBarController>(this)] { return self && !self->m_recorder.isRecording(); };
    m_dictationPanel = std::make_unique<DictationPanelController>(m_dictation.get());
    palaverly::wireDictation(*m_dictationMonitor, *m_dictation, *m_dictationPanel);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            reinstallDictationTap();
    });
}

void MenuBarController::reinstallDictationTap()
{
    if (m_dictationMonitor->hotkey().isAssigned() && !m_dictationMonitor->hasTap())
        m_dictationMonitor->installTap();
}

void MenuBarController::observeNotifications()
{
    const auto observe = [this](const char* name, std::function<void(const QVariantMap&)> handler) {
        m_observers.push_back(m_notifications.addObserver(QString::fromLatin1(name), this, std::move(handler)));
    };
    observe(notifications::kHotkeysChanged, [this](const QVariantMap&) { registerHotkeys(); });
    observe(notifications::kOpenSettings,
        [this](const QVariantMap& info) { openSettings(info.value(QStringLiteral("pane")).toString()); });
    observe(notifications::kCheckForUpdates, [this](const QVariantMap&) { checkForUpdates(); });
    observe(notifications::kOpenOnboarding, [this](const QVariantMap&) { showOnboarding(); });
    observe(notifications::kUpdateAvailable, [this](const QVariantMap& info) {
        const QVariant version = info.value(QStringLiteral("version"));
        if (!m_pendingUpdateVersion && version.typeId() == QMetaType::QString)
            setPendingUpdate(version.toString());
    });
    observe(notifications::kUpdateDismissed, [this](const QVariantMap&) {
        if (m_pendingUpdateVersion)
            setPendingUpdate(std::nullopt);
    });
}

void MenuBarController::setPendingUpdate(std::optional<QString> version)
{
    m_pendingUpdateVersion = std::move(version);
    refreshStatusIcon();
    m_menu.hide(); // an open menu closes; it is rebuilt with or without the update line
}

void MenuBarController::showOnboarding()
{
    if (!m_onboarding) {
        m_onboarding = std::make_unique<OnboardingWindowController>(
            m_defaults, m_notifications,
            [this] {
                // The completion runs inside the controller; drop it once that call has returned.
                QTimer::singleShot(0, this, [this] { m_onboarding.reset(); });
                reinstallDictationTap();
            },
            systemPermissionsSnapshots(m_defaults, m_sessionInput.get()));
        m_onboarding->setServicesNotice([this] { return servicesText::notSetUpNotice(m_services.config()); });
    }
    m_onboarding->show();
}

void MenuBarController::openLibrary()
{
    if (!m_libraryRecorder) {
        RecorderModelLink::Services services;
        services.transcriptionSetUp = [this] { return m_services.config().transcriptionSetUp(); };
        services.openSettings = [this] { openSettings(QStringLiteral("services")); };
        m_libraryRecorder = std::make_unique<RecorderModelLink>(m_recorder, std::move(services));
    }
    LibraryWindow::showOrCreate(m_libraryWindow, m_store, *m_libraryRecorder, &m_settings);
}

LibraryWindow* MenuBarController::libraryWindow() const
{
    return m_libraryWindow;
}

void MenuBarController::openSettings(const QString& pane)
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindowController>(m_settings, m_services, m_defaults,
            m_notifications, systemPermissionsSnapshots(m_defaults, m_sessionInput.get()));
    }
    auto shown = SettingsWindowController::Pane::general;
    for (const auto& info : SettingsWindowController::kPanes) {
        if (pane == QLatin1String(info.identifier))
            shown = info.pane;
    }
    m_settingsWindow->show(shown);
}

void MenuBarController::checkForUpdates()
{
    // A build without an update feed is updated by the package manager; the About pane says so.
    if (!m_updater->hasFeed()) {
        openSettings(QStringLiteral("about"));
        return;
    }
    UpdaterLogger::writeLine(QStringLiteral("checkUpdatesAction invoked"));
    m_updater->checkForUpdates();
}

void MenuBarController::refreshStatusIcon()
{
    m_showsRecordingIcon = m_recorder.isRecording();
    // The mark follows the panel, which may have changed its colours since the last time.
    const QColor panel = panelForeground();
    if (panel != m_markColor || m_idleIcon.isNull()) {
        m_markColor = panel;
        m_idleIcon = trayMarkIcon(panel);
    }
    m_statusItem.setIcon(m_showsRecordingIcon ? m_recordingIcon
            : m_pendingUpdateVersion          ? trayMarkIcon(panel, true)
                                              : m_idleIcon);
    QString tip = m_showsRecordingIcon ? QStringLiteral("Идёт запись") : QStringLiteral("Palaverly");
    if (const auto warning = m_recorder.captureWarning(); warning && m_showsRecordingIcon)
        tip = untrusted::asWritten(tip + QStringLiteral("\n") + QString::fromStdString(*warning));
    m_statusItem.setToolTip(tip);
    if (m_fallbackWindow)
        m_fallbackWindow->setWindowIcon(m_statusItem.icon());
}

void MenuBarController::recorderChanged()
{
    refreshStatusIcon();
    const bool recording = m_recorder.isRecording();
    if (m_wasRecording && !recording) {
        emit recordingFinished();
        openLibrary(); // every finished recording brings the library forward
    }
    m_wasRecording = recording;
}

TrayMenuState MenuBarController::menuState() const
{
    TrayMenuState state;
    state.isRecording = m_recorder.isRecording();
    state.currentKind = m_recorder.currentKind();
    state.elapsedSeconds = secondsRecorded(m_recorder);
    if (state.isRecording)
        state.captureWarning = m_recorder.captureWarning();
    for (const auto& [id, transcribing] : m_recorder.transcribingStates()) {
        if (transcribing.kind == TranscribingState::Kind::running) {
            state.runningStage = transcribing.detail;
            break;
        }
    }
    if (!state.runningStage) {
        for (const auto& [id, transcribing] : m_recorder.transcribingStates()) {
            if (transcribing.kind == TranscribingState::Kind::failed) {
                state.failedTranscription = transcribing.detail;
                break;
            }
        }
    }
    state.lastError = m_recorder.lastError();
    state.meetingHotkey = m_settings.meetingHotkey();
    state.noteHotkey = m_settings.noteHotkey();
    state.stopHotkey = m_settings.stopHotkey();
    state.pendingUpdateVersion = m_pendingUpdateVersion;
    return state;
}

void MenuBarController::rebuildMenu()
{
    m_menu.clear();
    m_elapsedMenuItem = nullptr;
    for (const TrayMenuItem& item : buildTrayMenu(menuState())) {
        if (item.kind == TrayMenuItem::Kind::separator) {
            m_menu.addSeparator();
            continue;
        }
        QAction* action = m_menu.addAction(itemIcon(item), untrusted::menuText(item.text));
        action->setToolTip(item.toolTip);
        action->setFont(itemFont(item.font));
        action->setIconVisibleInMenu(true);
        if (item.kind == TrayMenuItem::Kind::status) {
            action->setEnabled(false);
            if (item.isElapsed)
                m_elapsedMenuItem = action;
            continue;
        }
        action->setShortcut(item.shortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, [this, command = item.command] { runCommand(command); });
    }
}

void MenuBarController::tick()
{
    if (!m_elapsedMenuItem || !m_recorder.isRecording())
        return;
    if (const auto seconds = secondsRecorded(m_recorder))
        m_elapsedMenuItem->setText(elapsedLine(*seconds));
}

void MenuBarController::runCommand(TrayMenuItem::Command command)
{
    using Command = TrayMenuItem::Command;
    switch (command) {
    case Command::startMeeting:
        m_recorder.toggleMeeting();
        break;
    case Command::startNote:
        m_recorder.toggleNote();
        break;
    case Command::stop:
        m_recorder.stopCurrent();
        break;
    case Command::quit:
        QApplication::quit();
        break;
    case Command::openLibrary:
        openLibrary();
        break;
    case Command::openSettings:
        openSettings();
        break;
    case Command::checkUpdates:
        checkForUpdates();
        break;
    case Command::none:
        break;
    }
}

void MenuBarController::showFallbackWindow()
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("Palaverly"));
    window->setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(window);
    auto* note = new QLabel(QStringLiteral("Значок в системном лотке недоступен на этом рабочем столе. "
                                           "Меню Palaverly открывается кнопкой ниже."),
        window);
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    auto* button = new QToolButton(window);
    button->setText(QStringLiteral("Меню Palaverly"));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIcon(m_idleIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(&m_menu);
    layout->addWidget(note);
    layout->addWidget(button);
    window->resize(320, 120);
    window->setWindowIcon(m_statusItem.icon());
    window->show();
    m_fallbackWindow = window;
}

} // namespace palaverly
