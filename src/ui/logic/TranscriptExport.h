#pragma once

// A recording's transcript as files for other programs: a Markdown document, plain text, and
// SRT and WebVTT subtitles. Plain functions; the detail view asks where to save and writes.

#include "model/Recording.h"

#include <QString>
#include <QTimeZone>
#include <optional>
#include <vector>

namespace palaverly {

enum class ExportFormat { markdown, plainText, srt, webVtt };

struct ExportFormatInfo {
    ExportFormat format;
    QString filter; // the save dialog's name filter, e.g. "Markdown (*.md)"
    QString extension; // without the dot
};

// In the order the save dialog offers them; Markdown first.
const std::vector<ExportFormatInfo>& exportFormats();
const ExportFormatInfo& exportFormatInfo(ExportFormat format);
std::optional<ExportFormat> exportFormatForFilter(const QString& filter);

// Whether there is anything to export or copy: a transcript whose plain text is not empty.
bool hasTranscriptText(const Recording& recording);

// The recording's title as a file name with the format's extension: characters that a file
// system refuses (on Linux, Windows or macOS: / \ : * ? " < > | and control characters) become
// "_", dots and spaces at the ends go, a reserved device name gets a "_", and the name stays
// within 255 bytes. "Запись" when nothing is left of the title.
QString exportFileName(const std::string& title, ExportFormat format);

// `path` with the format's extension appended unless it already ends in it (any case).
QString withExportExtension(const QString& path, ExportFormat format);

// The whole file for the format, UTF-8 text ending in a line break. Speakers are shown by
// their user-given names where there are any. The date of the documents is placed in `timeZone`.
//   markdown: title, date, duration, the summary when there is one, then the turns as
//             "[mm:ss] **Name:** text" ([h:mm:ss] from an hour on).
//   plainText: the same facts without markup, then the transcript's plain text.
//   srt, webVtt: one cue per segment with text, "Name: " before it; a transcript without
//             segments is one cue over its whole length.
QString exportDocument(const Recording& recording, ExportFormat format, const QTimeZone& timeZone);

// "01:02:03,456" for SRT (separator ','), "01:02:03.456" for WebVTT ('.'). Negative and
// non-finite times read as 0.
QString subtitleTime(double seconds, QChar fractionSeparator);

} // namespace palaverly
