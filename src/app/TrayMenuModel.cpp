#include "app/TrayMenuModel.h"

#include "ui/logic/LibraryLogic.h"
#include "ui/logic/UntrustedText.h"

namespace palaverly {

namespace {

using Item = TrayMenuItem;

Item separator()
{
    return {};
}

Item status(QString text, QString symbol = {}, Item::Tint tint = Item::Tint::none, Item::Font font = Item::Font::menu)
{
    Item item;
    item.kind = Item::Kind::status;
    item.text = std::move(text);
    item.symbol = std::move(symbol);
    item.tint = tint;
    item.font = font;
    return item;
}

Item command(
    QString text, Item::Command command, QString symbol, QKeySequence shortcut = {}, Item::Tint tint = Item::Tint::none)
{
    Item item;
    item.kind = Item::Kind::command;
    item.text = std::move(text);
    item.command = command;
    item.symbol = std::move(symbol);
    item.shortcut = std::move(shortcut);
    item.tint = tint;
    return item;
}

// A status line of text from outside the program: one line, the whole text in its tooltip.
Item outsideStatus(const QString& text, QString symbol, Item::Tint tint, Item::Font font)
{
    Item item = status(untrusted::oneLine(text), std::move(symbol), tint, font);
    item.toolTip = untrusted::asWritten(text);
    return item;
}

} // namespace

QString elapsedText(long long seconds)
{
    // The clock of the library's live pane reads the same.
    return formatDuration(static_cast<double>(seconds));
}

QString elapsedLine(long long seconds)
{
    return elapsedText(seconds) + QStringLiteral(" прошло");
}

QKeySequence menuShortcut(const HotkeyConfig& hotkey)
{
    if (!hotkey.isAssigned())
        return {};
    if (const Qt::Key special = HotkeyConfig::specialKey(hotkey.keyCode); special != Qt::Key_unknown)
        return QKeySequence(QKeyCombination(hotkey.menuModifierFlags(), special));
    const QString name = HotkeyConfig::keyName(hotkey.keyCode).toLower();
    const QKeySequence key = QKeySequence::fromString(name, QKeySequence::PortableText);
    if (key.isEmpty())
        return {};
    return QKeySequence(QKeyCombination(hotkey.menuModifierFlags(), key[0].key()));
}

std::vector<TrayMenuItem> buildTrayMenu(const TrayMenuState& state)
{
    std::vector<Item> items;
    if (state.pendingUpdateVersion) {
        // The version comes from the update feed.
        Item update = command(untrusted::oneLine(QStringLiteral("Доступно обновление ") + *state.pendingUpdateVersion),
            Item::Command::checkUpdates, QStringLiteral("arrow.down.circle.fill"), {}, Item::Tint::accent);
        update.toolTip = untrusted::asWritten(*state.pendingUpdateVersion);
        items.push_back(update);
        items.push_back(separator());
    }

    if (state.isRecording) {
        QString title = QStringLiteral("Идёт запись…");
        if (state.currentKind == RecordingKind::meeting)
            title = QStringLiteral("Идёт запись встречи…");
        else if (state.currentKind == RecordingKind::note)
            title = QStringLiteral("Идёт запись заметки…");
        items.push_back(status(title, QStringLiteral("record.circle.fill"), Item::Tint::red));
        if (state.elapsedSeconds) {
            Item elapsed = status(elapsedLine(*state.elapsedSeconds), QStringLiteral("blank"), Item::Tint::none,
                Item::Font::monospacedDigits);
            elapsed.isElapsed = true;
            items.push_back(elapsed);
        }
        if (state.captureWarning)
            items.push_back(status(QString::fromStdString(*state.captureWarning),
                QStringLiteral("exclamationmark.triangle"), Item::Tint::orange, Item::Font::small));
        items.push_back(separator());
        items.push_back(command(QStringLiteral("Остановить"), Item::Command::stop, QStringLiteral("stop.fill"),
            menuShortcut(state.stopHotkey), Item::Tint::red));
    } else {
        if (state.runningStage) {
            items.push_back(status(QStringLiteral("Расшифровка (%1)…").arg(QString::fromStdString(*state.runningStage)),
                QStringLiteral("arrow.triangle.2.circlepath")));
            items.push_back(separator());
        } else if (state.failedTranscription) {
            items.push_back(status(QStringLiteral("Последняя расшифровка не удалась"),
                QStringLiteral("exclamationmark.triangle"), Item::Tint::orange));
            items.push_back(outsideStatus(
                QString::fromStdString(*state.failedTranscription), {}, Item::Tint::none, Item::Font::small));
            items.push_back(separator());
        }
        if (state.lastError) {
            items.push_back(outsideStatus(QString::fromStdString(*state.lastError),
                QStringLiteral("exclamationmark.octagon"), Item::Tint::red, Item::Font::small));
            items.push_back(separator());
        }
        items.push_back(command(QStringLiteral("Записать встречу"), Item::Command::startMeeting,
            QStringLiteral("person.2.wave.2"), menuShortcut(state.meetingHotkey)));
        items.push_back(command(QStringLiteral("Быстрая заметка"), Item::Command::startNote, QStringLiteral("mic"),
            menuShortcut(state.noteHotkey)));
    }

    items.push_back(separator());
    items.push_back(command(QStringLiteral("Открыть заметки…"), Item::Command::openLibrary,
        QStringLiteral("books.vertical"), QKeySequence(Qt::CTRL | Qt::Key_L)));
    items.push_back(separator());
    items.push_back(command(QStringLiteral("Настройки…"), Item::Command::openSettings, QStringLiteral("gearshape"),
        QKeySequence(Qt::CTRL | Qt::Key_Comma)));
    items.push_back(command(QStringLiteral("Проверить обновления…"), Item::Command::checkUpdates,
        QStringLiteral("arrow.triangle.2.circlepath")));
    items.push_back(command(
        QStringLiteral("Выйти"), Item::Command::quit, QStringLiteral("power"), QKeySequence(Qt::CTRL | Qt::Key_Q)));
    return items;
}

} // namespace palaverly
