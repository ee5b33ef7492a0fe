#pragma once

// The rules of the library list as plain functions: date groups, search, row texts, badges and
// the texts that depend on how many recordings are meant. The views call them; the tests call
// them with a fixed "now", calendar and locale.

#include "model/Recording.h"
#include "recorder/JobStates.h"
#include "ui/logic/SearchIndex.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <set>
#include <string>
#include <vector>

namespace palaverly {

// The user's calendar as far as the list needs it: where days begin and which day begins a week.
struct UserCalendar {
    QTimeZone timeZone = QTimeZone::utc();
    Qt::DayOfWeek firstDayOfWeek = Qt::Monday;

    // The system's time zone and the first weekday of the system locale.
    static UserCalendar current();

    QDateTime toLocal(Timestamp time) const;
    QDateTime startOfDay(const QDateTime& time) const;
    QDateTime startOfWeek(const QDateTime& time) const;
    QDateTime startOfMonth(const QDateTime& time) const;
};

// All dates and plurals of the list are Russian, whatever the system language.
QLocale russianLocale();

// One section of the list; the recordings point into the list that was grouped.
struct RecordingGroup {
    std::string id;
    QString title;
    std::vector<const Recording*> recordings;
};

// Sections "Сегодня", "Вчера", "На этой неделе", "В этом месяце", then one per month, newest
// month first when the input is newest first. Empty sections are left out.
std::vector<RecordingGroup> groupRecordings(
    const std::vector<Recording>& recordings, const QDateTime& now, const UserCalendar& calendar);

// The capitalised "LLLL yyyy" title of a month section, e.g. "Март 2025".
QString monthTitle(const QDate& date);

bool isSearching(const QString& query);

// The comparable form of a text for the search: case folded under `locale` and composed (NFC),
// in UTF-8. Letters that differ other than by case (ё and е) stay different.
std::string searchFolded(QStringView text, const QLocale& locale);

// The recordings, in the given order, whose name, transcript text (with speaker names) or
// summary contains the trimmed query; all of them when the trimmed query is empty. Transcripts
// that `index` has not read yet are read for the search (slower, the same answer).
std::vector<const Recording*> filteredRecordings(
    const std::vector<Recording>& recordings, const QString& query, const QLocale& locale, SearchIndex& index);

// The summary text, else the beginning of the transcript text (TranscriptInfo::preview), on one
// line; else the duration; else empty. With `maxChars` >= 0 cut to that many characters.
QString previewText(const Recording& recording, int maxChars = -1);

// "1:15" below an hour, "1:02:05" from an hour on; seconds are rounded to the nearest.
QString formatDuration(double seconds);

// "заметка", "заметки" or "заметок" for n.
QString notesWord(long long n);

struct StatusBadge {
    enum class Kind { none, emptyTranscript, recording, failed, transcribing, queued, noTranscript };
    Kind kind = Kind::none;
    QString text;
    bool operator==(const StatusBadge&) const = default;
};
StatusBadge statusBadge(const Recording& recording, const TranscribingState& state);

// "HH:mm" today, the short weekday this week, "d MMM" this year, else "dd.MM.yy".
QString shortDateText(Timestamp date, const QDateTime& now, const UserCalendar& calendar);

// The whole selection when it holds the recording, else just the recording.
std::set<Uuid> deletionTargets(const Uuid& recording, const std::set<Uuid>& selection);

// Title of the row menu's delete item: "Удалить", or "Удалить 3 заметки" for several.
QString deleteItemTitle(std::size_t count);
// Title of the row menu's retry item: "Повторить расшифровку", with "(3)" for several.
QString retryItemTitle(std::size_t count);
// Title of the deletion dialog: "Удалить эту заметку?" or "Удалить 3 заметки?".
QString deletionDialogTitle(std::size_t count);
// "3 заметки": the count and its word, as the multiple selection shows it.
QString notesCountText(std::size_t count);

// The empty library's hint, naming the meeting and note hotkeys as shown (empty: not assigned):
// "Нажмите Ctrl+Alt+R для встречи или Ctrl+Alt+N — для быстрой заметки."; a kind without a
// hotkey is started from the "Новая запись" menu.
QString emptyLibraryHint(const QString& meetingShortcut, const QString& noteShortcut);
// "Остановить запись (Ctrl+.)", or "Остановить запись" without a stop hotkey.
QString stopRecordingTitle(const QString& stopShortcut);

} // namespace palaverly
