#include "dictation/TextInjector.h"

#include "system/PortalKeyboard.h"

#include <QPointer>

namespace palaverly {

namespace {

QString reasonFor(portal::State state)
{
    switch (state) {
    case portal::State::unavailable:
        return QStringLiteral("Рабочий стол не предлагает портал удалённого управления.");
    case portal::State::refused:
        return QStringLiteral("Доступ к клавиатуре не разрешён в диалоге рабочего стола.");
    case portal::State::noAnswer:
        return QStringLiteral("Портал рабочего стола не отвечает.");
    default:
        return QStringLiteral("Портал рабочего стола не дал доступ к клавиатуре.");
    }
}

// Ctrl+V with the portal's keyboard. The first paste of a run starts the keyboard session, so the
// desktop may ask the user first; the keystroke follows the approval.
class PortalKeySender final : public TextInjector::KeySender {
public:
    explicit PortalKeySender(std::shared_ptr<PortalKeyboard> keyboard)
        : m_keyboard(std::move(keyboard))
    {
    }

    void sendPaste(Done done) override
    {
        m_keyboard->request([keyboard = QPointer<PortalKeyboard>(m_keyboard.get()), done](bool ready) {
            if (ready && keyboard && keyboard->pressPaste([done] { done(std::nullopt); }))
                return;
            const portal::State state = keyboard ? keyboard->state() : portal::State::failed;
            done(Failure{QStringLiteral("Failed to press Ctrl+V through the RemoteDesktop portal"), reasonFor(state)});
        });
    }

private:
    std::shared_ptr<PortalKeyboard> m_keyboard;
};

} // namespace

std::unique_ptr<TextInjector::KeySender> TextInjector::createPortalKeySender(std::shared_ptr<PortalKeyboard> keyboard)
{
    return std::make_unique<PortalKeySender>(std::move(keyboard));
}

} // namespace palaverly
