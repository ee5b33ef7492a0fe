#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace palaverly {

// Puts a text into whatever field has the keyboard focus: through the clipboard and a synthetic
// paste keystroke, then gives the clipboard back what it held before. Needs a QGuiApplication.
// Main thread only.
class TextInjector : public QObject {
    Q_OBJECT
public:
    // Posts the paste keystroke (Ctrl+V) to the focused window: first lets go of the modifiers
    // the user still holds, so the application sees exactly Ctrl+V, and presses them again after.
    // Back ends: XTest (TextInjectorX11.cpp) and none (TextInjectorNull.cpp).
    class KeySender {
    public:
        virtual ~KeySender() = default;
        // False when the synthetic-input facility cannot be opened; nothing is sent then.
        virtual bool sendPaste() = 0;
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
    // synthetic-input facility, logs "Failed to open XTest for paste" and leaves the text on the
    // clipboard for the user to paste by hand. When the clipboard refuses the text once more after
    // a short wait, the text is handed out through textNotPlaced, so that it is never lost.
    void paste(const QString& text);

    // The clipboard's formats whose data could be read. Blocks while another program answers.
    static Snapshot takeSnapshot();

    static std::unique_ptr<KeySender> createKeySender(const QByteArray& displayName = {});

signals:
    // The clipboard would not take a dictated text: someone must offer it to the user.
    void textNotPlaced(const QString& text);

private:
    static constexpr std::chrono::milliseconds kOwnershipRetryDelay{50};

    void putAndPaste(const QString& text, const Snapshot& snapshot, int retries);
    void restore(const Snapshot& snapshot, const QString& pasted);

    std::unique_ptr<KeySender> m_sender;
    ClipboardWriter m_writeClipboard;
};

} // namespace palaverly
