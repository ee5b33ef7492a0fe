#pragma once

#include "model/Recording.h"
#include "ui/logic/TranscriptExport.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QMenu;
class QWidget;

namespace palaverly {

class RecordingStore;

// "Экспортировать…": a save dialog proposing the recording's title as the file name in the
// user's documents folder (the last folder used, once there is one), whose filter chooses the
// format; the file is written whole from `transcript`, the recording's as read when the dialog
// opened. A failure is shown to the user. Returns the dialog, already open and deleting itself
// when closed. Main thread.
QFileDialog* askAndExportTranscript(
    const Recording& recording, std::shared_ptr<const Transcript> transcript, QWidget* parent);

// Writes the export of `recording` in `format` to `path` through a temporary file in the same
// folder; the failure as a sentence, or nothing.
std::optional<std::string> writeTranscriptExport(
    const Recording& recording, const Transcript* transcript, ExportFormat format, const std::filesystem::path& path);

// "Копировать расшифровку": the transcript's plain text onto the clipboard.
void copyTranscript(const Transcript* transcript);

// Adds "Экспортировать…" and "Копировать расшифровку" for the recording to a menu, disabled while
// it has no transcript text. The transcript is read from `store` when an action is chosen. The
// save dialog opens over `dialogParent`.
void addTranscriptActions(QMenu* menu, const RecordingStore& store, const Recording& recording, QWidget* dialogParent);

} // namespace palaverly
