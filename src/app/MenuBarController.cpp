#include "app/MenuBarController.h"

#include "common/Log.h"
#include "model/RecordingStore.h"
#include "recorder/RecorderModel.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"
#include "ui/SymbolIcon.h"

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
    return item.symbol.isEmpty() ? QIcon() : symbolIcon(item.symbol, tintColor(item.tint));
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

} // namespace

MenuBarController::MenuBarController(RecorderModel& recorder, RecordingStore& store, AppSettings& settings,
    NotificationCenter& notifications, std::unique_ptr<GlobalHotkeyManager> hotkeys, QObject* parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_store(store)
    , m_settings(settings)
    , m_notifications(notifications)
    , m_hotkeys(std::move(hotkeys))
{
    m_idleIcon = symbolIcon(QStringLiteral("BrandMark"));
    m_recordingIcon = symbolIcon(QStringLiteral("record.circle.fill"), colors::red());

    m_statusItem.setContextMenu(&m_menu);
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

    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, this, &MenuBarController::tick);
    m_clockTimer.start();

    refreshStatusIcon();

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
    m_hotkeysObserver = m_notifications.addObserver(
        QString::fromLatin1(notifications::kHotkeysChanged), this, [this](const QVariantMap&) { registerHotkeys(); });

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
    NotificationCenter::removeObserver(m_hotkeysObserver);
    delete m_fallbackWindow;
}

void MenuBarController::registerHotkeys()
{
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::meeting, m_settings.meetingHotkey());
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::note, m_settings.noteHotkey());
    m_hotkeys->registerHotkey(GlobalHotkeyManager::Action::stop, m_settings.stopHotkey());
}

void MenuBarController::refreshStatusIcon()
{
    m_showsRecordingIcon = m_recorder.isRecording();
    m_statusItem.setIcon(m_showsRecordingIcon ? m_recordingIcon : m_idleIcon);
    m_statusItem.setToolTip(m_showsRecordingIcon ? QStringLiteral("Идёт запись") : QStringLiteral("Palaverly"));
    if (m_fallbackWindow)
        m_fallbackWindow->setWindowIcon(m_statusItem.icon());
}

void MenuBarController::recorderChanged()
{
    refreshStatusIcon();
    const bool recording = m_recorder.isRecording();
    if (m_wasRecording && !recording)
        emit recordingFinished();
    m_wasRecording = recording;
}

TrayMenuState MenuBarController::menuState() const
{
    TrayMenuState state;
    state.isRecording = m_recorder.isRecording();
    state.currentKind = m_recorder.currentKind();
    if (const auto started = m_recorder.recordingStartedAt())
        state.elapsedSeconds
            = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - *started).count();
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
        QAction* action = m_menu.addAction(itemIcon(item), item.text);
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
    const auto started = m_recorder.recordingStartedAt();
    if (!started)
        return;
    const auto seconds
        = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - *started).count();
    m_elapsedMenuItem->setText(elapsedText(seconds) + QStringLiteral(" прошло"));
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
        emit libraryRequested();
        break;
    case Command::openSettings:
        emit settingsRequested();
        break;
    case Command::checkUpdates:
        emit updateCheckRequested();
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
