#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace palaverly {

class PortalKeyboard;

// Puts a text into whatever field has the keyboard focus: through the clipboard and a synthetic
// paste keystroke, then gives the clipboard back what it held before. Where the keystroke cannot
// be posted, the text stays on the clipboard and a desktop notification tells the user to paste it
// with Ctrl+V. Needs a QGuiApplication. Main thread only.
class TextInjector : public QObject {
    Q_OBJECT
public:
    // Posts the paste keystroke (Ctrl+V) to the focused window. Back ends: XTest
    // (TextInjectorX11.cpp), which first lets go of the modifiers the user still holds so the
    // application sees exactly Ctrl+V, and presses them again after; the keyboard of the
    // RemoteDesktop portal (TextInjectorPortal.cpp); none (TextInjectorNull.cpp).
    class KeySender {
    public:
        // Nothing when the keystroke was posted; otherwise the log line of the failure and the
        // reason for the user.
        struct Failure {
            QString logLine;
            QString reason;
        };
        using Done = std::function<void(const std::optional<Failure>& failure)>;

        virtual ~KeySender() = default;
        // Posts the keystroke now, or once the facility is ready, and then calls `done` on the
        // main thread; `done` may run before this returns. Nothing is sent on failure.
        virtual void sendPaste(Done done) = 0;
    };

    // Every format of the clipboard with its data, in the order the owner offered them.
    using Snapshot = std::vector<std::pair<QString, QByteArray>>;

    static constexpr std::chrono::milliseconds kRestoreDelay{350};

    // Puts a text on the clipboard; true when the clipboard holds it afterwards.
    using ClipboardWriter = std::function<bool(const QString& text)>;

    // The key sender of this build for $DISPLAY.
    explicit TextInjector(QObject* parent = nullptr);
    // `writer` empty: the application's clipboard.
    TextInjector(std::unique_ptr<KeySender> sender, ClipboardWriter writer = {}, QObject* parent = nullptr);
    ~TextInjector() override;

    // Takes a snapshot of the clipboard, puts `text` on it as plain text and posts the paste.
    // 0.35 s later the snapshot goes back on the clipboard, when it held anything and the
    // clipboard still holds `text` (something copied in the meantime stays). Without the
    // synthetic-input facility, logs the failure ("Failed to open XTest for paste" without XTest),
    // leaves the text on the clipboard for the user to paste by hand and says so through
    // `notify`. When the clipboard refuses the text once more after a short wait, the text is
    // handed out through textNotPlaced, so that it is never lost.
    void paste(const QString& text);

    // What the user is told when the text could not be pasted: a notification of the desktop by
    // default. Tests replace it.
    std::function<void(const QString& summary, const QString& body)> notify;
    static QString leftOnClipboardSummary();

    // The clipboard's formats whose data could be read. Blocks while another program answers.
    static Snapshot takeSnapshot();

    static std::unique_ptr<KeySender> createKeySender(const QByteArray& displayName = {});
    // Ctrl+V through the keyboard of the RemoteDesktop portal (a Wayland session).
    static std::unique_ptr<KeySender> createPortalKeySender(std::shared_ptr<PortalKeyboard> keyboard);

signals:
    // The clipboard would not take a dictated text: someone must offer it to the user.
    void textNotPlaced(const QString& text);

private:
    static constexpr std::chrono::milliseconds kOwnershipRetryDelay{50};

    void putAndPaste(const QString& text, const Snapshot& snapshot, int retries);
    void leftOnClipboard(const KeySender::Failure& failure);
    void restore(const Snapshot& snapshot, const QString& pasted);

    std::unique_ptr<KeySender> m_sender;
    ClipboardWriter m_writeClipboard;
};

} // namespace palaverly
