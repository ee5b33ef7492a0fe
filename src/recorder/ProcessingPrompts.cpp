#include "recorder/ProcessingPrompts.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTextBoundaryFinder>

namespace palaverly::prompts {

std::string defaultName(std::chrono::system_clock::time_point date, RecordingKind kind)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    const QString formatted = QLocale(QStringLiteral("ru_RU")).toString(local, QStringLiteral("d MMM, HH:mm"));
    const QString prefix = kind == RecordingKind::note ? QStringLiteral("Заметка — ") : QStringLiteral("Встреча — ");
    return (prefix + formatted).toStdString();
}

std::string leadingCharacters(std::string_view text, int count)
{
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, string);
    int seen = 0;
    qsizetype position = 0;
    while (seen < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return std::string(text);
        position = next;
        ++seen;
    }
    return string.left(position).toStdString();
}

ChatPrompt titlePrompt(RecordingKind kind, std::string_view excerpt)
{
    const std::string word = kind == RecordingKind::note ? "заметки" : "встречи";
    return {"Ты придумываешь короткое название " + word
            + " для списка записей. Ответь 3–6 словами на русском, без кавычек, без точки в конце, без "
              "вступлений. Только название, ничего больше.",
        "Расшифровка:\n\n" + std::string(excerpt)};
}

ChatPrompt summaryPrompt(RecordingKind kind, std::string_view transcript)
{
    if (kind == RecordingKind::note)
        return {"Ты резюмируешь голосовую заметку. Отвечай на том же языке, что и заметка. Дай 2–4 предложения с "
                "ключевыми мыслями и явными задачами, если они есть. Без вступления.",
            "Заметка:\n\n" + std::string(transcript)};
    return {"Ты составляешь краткие итоги встречи. Отвечай на том же языке, что и расшифровка. Структура:\n"
            "1. Одно предложение о чём была встреча.\n"
            "2. Ключевые решения (списком, может быть пусто).\n"
            "3. Задачи с ответственными, если упомянуты (списком, может быть пусто).\n"
            "4. Открытые вопросы и что осталось выяснить (списком, может быть пусто).\n"
            "Пропускай раздел, если в нём ничего нет. Без вступления и заключительных фраз.",
        "Расшифровка:\n\n" + std::string(transcript)};
}

namespace {
bool isQuote(QChar c)
{
    switch (c.unicode()) {
    case 0x0022: // "
    case 0x00AB: // «
    case 0x00BB: // »
    case 0x0027: // '
    case 0x201C: // “
    case 0x201D: // ”
    case 0x201F: // ‟
    case 0x201E: // „
        return true;
    default:
        return false;
    }
}
} // namespace

std::string cleanTitle(std::string_view answer)
{
    QString text = QString::fromUtf8(answer.data(), static_cast<qsizetype>(answer.size())).trimmed();
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    // "Fewer than 20 characters after the start" counts user-perceived characters.
    if (colon >= 0) {
        const QString lead = text.left(colon);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, lead);
        int characters = 0;
        while (finder.toNextBoundary() >= 0)
            ++characters;
        if (characters < 20) {
            const QString lowered = QLocale(QStringLiteral("ru_RU")).toLower(lead);
            if (lowered.contains(QStringLiteral("назван")) || lowered.contains(QStringLiteral("title")))
                text = text.mid(colon + 1).trimmed();
        }
    }
    qsizetype begin = 0;
    while (begin < text.size() && isQuote(text.at(begin)))
        ++begin;
    qsizetype end = text.size();
    while (end > begin && (isQuote(text.at(end - 1)) || text.at(end - 1) == QLatin1Char('.')))
        --end;
    return text.mid(begin, end - begin).toStdString();
}

} // namespace palaverly::prompts
