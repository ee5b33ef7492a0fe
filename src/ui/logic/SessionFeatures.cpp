#include "ui/logic/SessionFeatures.h"

namespace palaverly {

namespace {

using Level = FeatureLine::Level;
using portal::State;

const QString kTrayFallback = QStringLiteral(" Запись запускается из меню в трее.");
const QString kClipboardFallback = QStringLiteral(" Текст остаётся в буфере обмена — вставьте его сочетанием Ctrl+V.");

// Global keys (the recording hotkeys, or the dictation key) through the GlobalShortcuts portal.
// `plural`: the hotkeys work, the dictation works.
FeatureLine shortcutsLine(const QString& title, State state, bool bound, bool plural, const QString& fallback)
{
    const QString works = plural ? QStringLiteral("Работают") : QStringLiteral("Работает");
    const QString broken = plural ? QStringLiteral("Не работают") : QStringLiteral("Не работает");
    if (state == State::ready && !bound)
        state = State::idle;
    switch (state) {
    case State::ready:
        return {Level::works, title, works + QStringLiteral(" через портал рабочего стола.")};
    case State::idle:
        return {Level::pending, title,
            plural ? QStringLiteral("Через портал рабочего стола, когда сочетания заданы.")
                   : QStringLiteral("Через портал рабочего стола, когда сочетание задано.")};
    case State::asking:
        return {Level::pending, title, QStringLiteral("Через портал рабочего стола — ждём ответа рабочего стола…")};
    case State::unavailable:
        return {Level::off, title,
            QStringLiteral("Только в X11-сессии: этот рабочий стол не предлагает портал глобальных сочетаний "
                           "клавиш.")
                + fallback};
    case State::refused:
        return {Level::off, title,
            broken + QStringLiteral(": сочетания не разрешены в диалоге рабочего стола.") + fallback};
    case State::failed:
        return {Level::off, title, broken + QStringLiteral(": портал рабочего стола ответил ошибкой.") + fallback};
    case State::noAnswer:
        return {Level::off, title, broken + QStringLiteral(": портал рабочего стола не отвечает.") + fallback};
    }
    return {};
}

FeatureLine keyboardLine(const QString& title, State state)
{
    switch (state) {
    case State::ready:
        return {Level::works, title, QStringLiteral("Работает через портал рабочего стола.")};
    case State::idle:
        return {Level::pending, title,
            QStringLiteral("Через портал рабочего стола — разрешение спросят при первой вставке.")};
    case State::asking:
        return {Level::pending, title,
            QStringLiteral("Через портал рабочего стола — ждём вашего ответа в диалоге рабочего стола…")};
    case State::unavailable:
        return {Level::off, title,
            QStringLiteral("Только в X11-сессии: этот рабочий стол не предлагает портал удалённого управления.")
                + kClipboardFallback};
    case State::refused:
        return {Level::off, title,
            QStringLiteral("Не работает: доступ к клавиатуре не разрешён в диалоге рабочего стола.")
                + kClipboardFallback};
    case State::failed:
        return {Level::off, title,
            QStringLiteral("Не работает: портал рабочего стола ответил ошибкой.") + kClipboardFallback};
    case State::noAnswer:
        return {
            Level::off, title, QStringLiteral("Не работает: портал рабочего стола не отвечает.") + kClipboardFallback};
    }
    return {};
}

} // namespace

QString sessionFeaturesHeading(const SessionInput::State& state)
{
    return QStringLiteral("В этом сеансе (%1):").arg(sessionName(state.session));
}

std::array<FeatureLine, 3> sessionFeatureLines(const SessionInput::State& state)
{
    const QString hotkeys = QStringLiteral("Хоткеи записи");
    const QString pushToTalk = QStringLiteral("Push-to-talk диктовка");
    const QString paste = QStringLiteral("Вставка текста");
    switch (state.session) {
    case SessionType::wayland: {
        FeatureLine pasteLine = keyboardLine(paste, state.keyboard);
        if (state.clipboardNeedsFocus && pasteLine.level != Level::off) {
            pasteLine.text += QStringLiteral(
                " Но KDE Plasma передаёт окнам Wayland буфер обмена программы, только пока её окно активно, — "
                "туда может вставиться прежнее содержимое буфера.");
        }
        return {shortcutsLine(hotkeys, state.shortcuts, state.hotkeysBound, true, kTrayFallback),
            shortcutsLine(pushToTalk, state.shortcuts, state.dictationBound, false, {}), pasteLine};
    }
    case SessionType::x11:
        return {FeatureLine{Level::works, hotkeys, QStringLiteral("Работают через X11.")},
            FeatureLine{Level::works, pushToTalk, QStringLiteral("Работает через X11.")},
            state.xtest ? FeatureLine{Level::works, paste, QStringLiteral("Работает через X11 (XTest).")}
                        : FeatureLine{Level::off, paste,
                            QStringLiteral("Не работает: у X-сервера нет расширения XTest.") + kClipboardFallback}};
    case SessionType::none:
        break;
    }
    const QString off = QStringLiteral(": нет графического сеанса.");
    return {FeatureLine{Level::off, hotkeys, QStringLiteral("Не работают") + off + kTrayFallback},
        FeatureLine{Level::off, pushToTalk, QStringLiteral("Не работает") + off},
        FeatureLine{Level::off, paste, QStringLiteral("Не работает") + off}};
}

} // namespace palaverly
