#include "dictation/TextInjector.h"

#include "common/Log.h"
#include "system/DesktopNotification.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcTextInjector, "TextInjector")

namespace palaverly {

namespace {

// Formats Qt itself derives from the others (an image decoded from its image/* target); the
// targets they come from are copied byte for byte, so these would only add a converted copy.
bool isDerivedFormat(const QString& format)
{
    return format == QLatin1String("application/x-qt-image");
}

} // namespace

TextInjector::TextInjector(QObject* parent)
    : TextInjector(createKeySender(), {}, parent)
{
}

TextInjector::TextInjector(std::unique_ptr<KeySender> sender, ClipboardWriter writer, QObject* parent)
    : QObject(parent)
    , notify([](const QString& summary, const QString& body) { showDesktopNotification(summary, body); })
    , m_sender(std::move(sender))
    , m_writeClipboard(std::move(writer))
{
    if (!m_writeClipboard) {
        m_writeClipboard = [](const QString& text) {
            QClipboard* clipboard = QGuiApplication::clipboard();
            clipboard->setText(text, QClipboard::Clipboard);
            return clipboard->text(QClipboard::Clipboard) == text;
        };
    }
}

QString TextInjector::leftOnClipboardSummary()
{
    return QStringLiteral("Текст скопирован — вставьте его сочетанием Ctrl+V");
}

TextInjector::~TextInjector() = default;

TextInjector::Snapshot TextInjector::takeSnapshot()
{
    Snapshot snapshot;
    const QMimeData* current = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!current)
        return snapshot;
    for (const QString& format : current->formats()) {
        if (isDerivedFormat(format))
            continue;
        const QByteArray data = current->data(format);
        if (data.isEmpty())
            continue; // the owner could not (or would not) hand it over
        snapshot.emplace_back(format, data);
    }
    return snapshot;
}

void TextInjector::paste(const QString& text)
{
    putAndPaste(text, takeSnapshot(), 1);
}

void TextInjector::putAndPaste(const QString& text, const Snapshot& snapshot, int retries)
{
    if (!m_writeClipboard(text)) {
        // X turns down a new owner whose timestamp is older than the clipboard's last change.
        // The toolkit's timestamp catches up once it has read the notice of that change, which
        // may still be queued when the change happened a moment ago.
        if (retries > 0) {
            QTimer::singleShot(kOwnershipRetryDelay, this,
                [this, text, snapshot, retries] { putAndPaste(text, snapshot, retries - 1); });
        } else {
            log::error(lcTextInjector(),
                QStringLiteral("Failed to put the text on the clipboard; it is offered for copying instead"));
            emit textNotPlaced(text);
        }
        return;
    }

    if (!m_sender) {
        leftOnClipboard({QStringLiteral("Failed to open XTest for paste"),
            QStringLiteral("Программе нечем нажать клавиши в этом сеансе.")});
        return;
    }
    m_sender->sendPaste([self = QPointer<TextInjector>(this), snapshot, text](const auto& failure) {
        if (!self)
            return;
        if (failure) {
            self->leftOnClipboard(*failure);
            return;
        }
        QTimer::singleShot(kRestoreDelay, self, [self, snapshot, text] { self->restore(snapshot, text); });
    });
}

void TextInjector::leftOnClipboard(const KeySender::Failure& failure)
{
    log::error(lcTextInjector(), failure.logLine);
    if (notify)
        notify(leftOnClipboardSummary(), failure.reason);
}

void TextInjector::restore(const Snapshot& snapshot, const QString& pasted)
{
    if (snapshot.empty())
        return; // the clipboard was empty: the dictated text stays on it
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->text(QClipboard::Clipboard) != pasted)
        return; // the user copied something else meanwhile
    auto data = std::make_unique<QMimeData>();
    for (const auto& [format, bytes] : snapshot)
        data->setData(format, bytes);
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
}

} // namespace palaverly
