#include "ui/logic/LibraryLogic.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

namespace palaverly {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Line feeds become spaces; spaces and tabs go from both ends.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

UserCalendar UserCalendar::current()
{
    return UserCalendar{QTimeZone::systemTimeZone(), QLocale::system().firstDayOfWeek()};
}

QDateTime UserCalendar::toLocal(Timestamp time) const
{
    return QDateTime::fromSecsSinceEpoch(time.time_since_epoch().count(), timeZone);
}

QDateTime UserCalendar::startOfDay(const QDateTime& time) const
{
    return time.toTimeZone(timeZone).date().startOfDay(timeZone);
}

QDateTime UserCalendar::startOfWeek(const QDateTime& time) const
{
    const QDate date = time.toTimeZone(timeZone).date();
    const int back = (date.dayOfWeek() - static_cast<int>(firstDayOfWeek) + 7) % 7;
    return date.addDays(-back).startOfDay(timeZone);
}

QDateTime UserCalendar::startOfMonth(const QDateTime& time) const
{
    const QDate date = time.toTimeZone(timeZone).date();
    return QDate(date.year(), date.month(), 1).startOfDay(timeZone);
}

QLocale russianLocale()
{
    return QLocale(QLocale::Russian, QLocale::Russia);
}

QString monthTitle(const QDate& date)
{
    const QLocale locale = russianLocale();
    const QString raw = locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QLatin1Char(' ')
        + QString::number(date.year());
    // Capitalised word by word: the first letter of each word upper case, the rest lower case.
    QString out;
    bool wordStart = true;
    for (const QChar c : raw) {
        if (c.isSpace()) {
            out += c;
            wordStart = true;
            continue;
        }
        out += wordStart ? locale.toUpper(QString(c)) : locale.toLower(QString(c));
        wordStart = false;
    }
    return out;
}

std::vector<RecordingGroup> groupRecordings(
    const std::vector<Recording>& recordings, const QDateTime& now, const UserCalendar& calendar)
{
    const QDateTime today = calendar.startOfDay(now);
    const QDateTime yesterday = now.toTimeZone(calendar.timeZone).date().addDays(-1).startOfDay(calendar.timeZone);
    const QDateTime week = calendar.startOfWeek(now);
    const QDateTime month = calendar.startOfMonth(now);

    RecordingGroup groups[4] = {{"today", QStringLiteral("Сегодня"), {}}, {"yesterday", QStringLiteral("Вчера"), {}},
        {"this-week", QStringLiteral("На этой неделе"), {}}, {"this-month", QStringLiteral("В этом месяце"), {}}};
    std::vector<RecordingGroup> months;
    std::map<QString, std::size_t> monthIndex;

    for (const Recording& recording : recordings) {
        const QDateTime created = calendar.toLocal(recording.createdAt);
        if (created >= today)
            groups[0].recordings.push_back(&recording);
        else if (created >= (yesterday.isValid() ? yesterday : today))
            groups[1].recordings.push_back(&recording);
        else if (created >= week)
            groups[2].recordings.push_back(&recording);
        else if (created >= month)
            groups[3].recordings.push_back(&recording);
        else {
            const QDate date = created.date();
            const QString key = QStringLiteral("%1-%2")
                                    .arg(date.year(), 4, 10, QLatin1Char('0'))
                                    .arg(date.month(), 2, 10, QLatin1Char('0'));
            auto [it, isNew] = monthIndex.emplace(key, months.size());
            if (isNew)
                months.push_back({key.toStdString(), monthTitle(date), {}});
            months[it->second].recordings.push_back(&recording);
        }
    }

    std::vector<RecordingGroup> out;
    for (auto& group : groups)
        if (!group.recordings.empty())
            out.push_back(std::move(group));
    std::move(months.begin(), months.end(), std::back_inserter(out));
    return out;
}

bool isSearching(const QString& query)
{
    return !query.trimmed().isEmpty();
}

std::string searchFolded(QStringView text, const QLocale& locale)
{
    return SearchFolder(locale).fold(text.toString().toStdString());
}

std::vector<const Recording*> filteredRecordings(
    const std::vector<Recording>& recordings, const QString& query, const QLocale& locale, SearchIndex& search)
{
    std::vector<const Recording*> out;
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        out.reserve(recordings.size());
        for (const Recording& recording : recordings)
            out.push_back(&recording);
        return out;
    }
    search.prepare(recordings, locale);
    return search.find(recordings, search.folder().fold(trimmed.toStdString()));
}

QString previewText(const Recording& recording, int maxChars)
{
    QString text;
    if (recording.summary && !recording.summary->text.empty())
        text = fromUtf8(recording.summary->text);
    else if (recording.transcript && !recording.transcript->preview.empty())
        text = fromUtf8(recording.transcript->preview);
    if (!text.isEmpty()) {
        if (maxChars >= 0 && text.size() > maxChars) {
            // A row keeps its preview: without squeeze() it would hold the whole decoded text.
            text.truncate(maxChars);
            text.squeeze();
        }
        return oneLine(std::move(text));
    }
    if (recording.duration > 0)
        return formatDuration(recording.duration);
    return {};
}

QString formatDuration(double seconds)
{
    // Negative, infinite or NaN durations come only from damaged files; they read as 0:00.
    const double rounded = std::isfinite(seconds) ? std::round(std::max(seconds, 0.0)) : 0.0;
    const auto t = static_cast<long long>(std::min(rounded, 1e15));
    if (t < 3600)
        return QStringLiteral("%1:%2").arg(t / 60).arg(t % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(t / 3600)
        .arg((t % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(t % 60, 2, 10, QLatin1Char('0'));
}

QString notesWord(long long n)
{
    const long long mod10 = std::llabs(n) % 10;
    const long long mod100 = std::llabs(n) % 100;
    if (mod10 == 1 && mod100 != 11)
        return QStringLiteral("заметка");
    if ((mod100 >= 12 && mod100 <= 14) || mod10 < 2 || mod10 > 4)
        return QStringLiteral("заметок");
    return QStringLiteral("заметки");
}

StatusBadge statusBadge(const Recording& recording, const TranscribingState& state)
{
    using Kind = StatusBadge::Kind;
    if (const auto& transcript = recording.transcript) {
        if (!transcript->hasContent())
            return {Kind::emptyTranscript, QStringLiteral("Пустая расшифровка")};
    } else if (recording.duration == 0) {
        return {Kind::recording, QStringLiteral("Идёт запись…")};
    }
    switch (state.kind) {
    case TranscribingState::Kind::failed:
        return {Kind::failed, QStringLiteral("Ошибка расшифровки")};
    case TranscribingState::Kind::running:
        return {Kind::transcribing, QStringLiteral("Расшифровываем…")};
    case TranscribingState::Kind::queued:
        return {Kind::queued, QStringLiteral("В очереди на расшифровку")};
    case TranscribingState::Kind::idle:
        break;
    }
    if (recording.transcript)
        return {};
    return {Kind::noTranscript, QStringLiteral("Нет расшифровки")};
}

QString shortDateText(Timestamp date, const QDateTime& now, const UserCalendar& calendar)
{
    const QLocale locale = russianLocale();
    const QDateTime local = calendar.toLocal(date);
    const QDateTime localNow = now.toTimeZone(calendar.timeZone);
    if (local.date() == localNow.date())
        return locale.toString(local, QStringLiteral("HH:mm"));
    if (local >= calendar.startOfWeek(now))
        return locale.dayName(local.date().dayOfWeek(), QLocale::ShortFormat);
    if (local.date().year() == localNow.date().year())
        return locale.toString(local, QStringLiteral("d MMM"));
    return locale.toString(local, QStringLiteral("dd.MM.yy"));
}

std::set<Uuid> deletionTargets(const Uuid& recording, const std::set<Uuid>& selection)
{
    if (selection.count(recording))
        return selection;
    return {recording};
}

QString deleteItemTitle(std::size_t count)
{
    if (count < 2)
        return QStringLiteral("Удалить");
    return QStringLiteral("Удалить ") + notesCountText(count);
}

QString retryItemTitle(std::size_t count)
{
    if (count < 2)
        return QStringLiteral("Повторить расшифровку");
    return QStringLiteral("Повторить расшифровку (%1)").arg(count);
}

QString deletionDialogTitle(std::size_t count)
{
    if (count < 2)
        return QStringLiteral("Удалить эту заметку?");
    return QStringLiteral("Удалить ") + notesCountText(count) + QLatin1Char('?');
}

QString notesCountText(std::size_t count)
{
    return QString::number(count) + QLatin1Char(' ') + notesWord(static_cast<long long>(count));
}

QString emptyLibraryHint(const QString& meetingShortcut, const QString& noteShortcut)
{
    if (!meetingShortcut.isEmpty() && !noteShortcut.isEmpty())
        return QStringLiteral("Нажмите %1 для встречи или %2 — для быстрой заметки.")
            .arg(meetingShortcut, noteShortcut);
    if (!meetingShortcut.isEmpty())
        return QStringLiteral("Нажмите %1 для встречи или выберите «Быстрая заметка» в меню «Новая запись».")
            .arg(meetingShortcut);
    if (!noteShortcut.isEmpty())
        return QStringLiteral("Выберите «Новая встреча» в меню «Новая запись» или нажмите %1 — для быстрой заметки.")
            .arg(noteShortcut);
    return QStringLiteral("Начните встречу или быструю заметку из меню «Новая запись».");
}

QString stopRecordingTitle(const QString& stopShortcut)
{
    const QString title = QStringLiteral("Остановить запись");
    return stopShortcut.isEmpty() ? title : title + QStringLiteral(" (") + stopShortcut + QLatin1Char(')');
}

} // namespace palaverly
