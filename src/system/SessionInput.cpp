#include "system/SessionInput.h"

#include "system/PortalKeyboard.h"
#include "system/PortalShortcuts.h"
#include "system/SyntheticInputProbe.h"

namespace palaverly {

using PortalState = portal::State;

namespace {

bool isSettledRefusal(PortalState state)
{
    return state == PortalState::unavailable || state == PortalState::refused || state == PortalState::failed
        || state == PortalState::noAnswer;
}

} // namespace

SessionInput::SessionInput(SessionType session, std::unique_ptr<SyntheticInputProbe> xtest, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_xtest(std::move(xtest))
{
    m_xtestPresent = m_xtest && m_xtest->available();
}

SessionInput::SessionInput(std::shared_ptr<PortalShortcuts> shortcuts, std::shared_ptr<PortalKeyboard> keyboard,
    const QByteArray& desktop, QObject* parent)
    : QObject(parent)
    , m_session(SessionType::wayland)
    , m_shortcuts(std::move(shortcuts))
    , m_keyboard(std::move(keyboard))
    , m_clipboardNeedsFocus(desktop.split(':').contains("KDE"))
{
    connect(m_shortcuts.get(), &PortalShortcuts::stateChanged, this, &SessionInput::changed);
    connect(m_shortcuts.get(), &PortalShortcuts::triggersChanged, this, &SessionInput::changed);
    connect(m_keyboard.get(), &PortalKeyboard::stateChanged, this, &SessionInput::changed);
}

SessionInput::~SessionInput() = default;

SessionInput::State SessionInput::state() const
{
    State state;
    state.session = m_session;
    state.xtest = m_xtestPresent;
    if (m_shortcuts) {
        state.shortcuts = m_shortcuts->state();
        state.hotkeysBound = m_shortcuts->isBound(QStringLiteral("meeting"))
            || m_shortcuts->isBound(QStringLiteral("note")) || m_shortcuts->isBound(QStringLiteral("stop"));
        state.dictationBound = m_shortcuts->isBound(QStringLiteral("dictation"));
    }
    state.clipboardNeedsFocus = m_clipboardNeedsFocus;
    if (m_keyboard)
        state.keyboard = m_keyboard->state();
    return state;
}

PermissionStatus SessionInput::accessibility() const
{
    if (m_session != SessionType::wayland)
        return m_xtestPresent ? PermissionStatus::granted : PermissionStatus::denied;
    const PortalState shortcuts = m_shortcuts->state();
    const PortalState keyboard = m_keyboard->state();
    if (isSettledRefusal(shortcuts) || isSettledRefusal(keyboard))
        return PermissionStatus::denied;
    if (keyboard == PortalState::ready && (shortcuts == PortalState::ready || shortcuts == PortalState::idle))
        return PermissionStatus::granted;
    return PermissionStatus::notDetermined;
}

void SessionInput::refresh()
{
    if (!m_xtest)
        return;
    if (const bool present = m_xtest->available(); present != m_xtestPresent) {
        m_xtestPresent = present;
        emit changed();
    }
}

void SessionInput::request(std::function<void()> done)
{
    if (m_session != SessionType::wayland) {
        if (done)
            done();
        return;
    }
    if (isSettledRefusal(m_shortcuts->state()))
        m_shortcuts->rebind();
    m_keyboard->askAgain([done = std::move(done)](bool) {
        if (done)
            done();
    });
}

} // namespace palaverly
