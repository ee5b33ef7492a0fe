#pragma once

#include "model/Recording.h"
#include "ui/logic/TranscriptExport.h"

#include <filesystem>
#include <optional>
#include <string>

class QFileDialog;
class QMenu;
class QWidget;

namespace palaverly {

// "Экспортировать…": a save dialog proposing the recording's title as the file name in the
// user's documents folder (the last folder used, once there is one), whose filter chooses the
// format; the file is written whole. A failure is shown to the user. Returns the dialog, already
// open and deleting itself when closed. Main thread.
QFileDialog* askAndExportTranscript(const Recording& recording, QWidget* parent);

// Writes the export of `recording` in `format` to `path` through a temporary file in the same
// folder; the failure as a sentence, or nothing.
std::optional<std::string> writeTranscriptExport(
    const Recording& recording, ExportFormat format, const std::filesystem::path& path);

// "Копировать расшифровку": the transcript's plain text onto the clipboard.
void copyTranscript(const Recording& recording);

// Adds "Экспортировать…" and "Копировать расшифровку" for the recording to a menu, disabled while
// it has no transcript text. The save dialog opens over `dialogParent`.
void addTranscriptActions(QMenu* menu, const Recording& recording, QWidget* dialogParent);

} // namespace palaverly
