#include "ui/detail/TranscriptExportDialog.h"

#include "common/AtomicFile.h"
#include "ui/widgets/SymbolIcon.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

namespace palaverly {

namespace {

// Where the next export is proposed: the folder of the last one, for as long as the program runs.
QString& lastExportFolder()
{
    static QString folder;
    return folder;
}

QString proposedFolder()
{
    if (!lastExportFolder().isEmpty() && QDir(lastExportFolder()).exists())
        return lastExportFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).exists() ? documents : QDir::homePath();
}

// The typed name without one of the export extensions, so a change of filter swaps it.
QString withoutExportExtension(const QString& name)
{
    for (const ExportFormatInfo& info : exportFormats()) {
        const QString suffix = QLatin1Char('.') + info.extension;
        if (name.endsWith(suffix, Qt::CaseInsensitive))
            return name.left(name.size() - suffix.size());
    }
    return name;
}

void finishExport(const Recording& recording, QFileDialog* dialog, const QString& chosen)
{
    const ExportFormat format = exportFormatForFilter(dialog->selectedNameFilter()).value_or(ExportFormat::markdown);
    const QString path = withExportExtension(chosen, format);
    QWidget* parent = dialog->parentWidget();
    // The dialog asked about the name as typed; a name that got its extension only now is asked about here.
    if (path != chosen && QFileInfo::exists(path)
        && QMessageBox::question(parent, QStringLiteral("Экспортировать расшифровку"),
               QStringLiteral("Файл «%1» уже существует. Заменить его?").arg(QFileInfo(path).fileName()),
               QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel)
            != QMessageBox::Yes)
        return;
    lastExportFolder() = QFileInfo(path).absolutePath();
    if (const auto failure = writeTranscriptExport(recording, format, path.toStdString()))
        QMessageBox::warning(parent, QStringLiteral("Не удалось экспортировать"), QString::fromStdString(*failure));
}

} // namespace

std::optional<std::string> writeTranscriptExport(
    const Recording& recording, ExportFormat format, const std::filesystem::path& path)
{
    return writeFileAtomically(
        path, exportDocument(recording, format, QTimeZone::systemTimeZone()).toUtf8().toStdString());
}

QFileDialog* askAndExportTranscript(const Recording& recording, QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, QStringLiteral("Экспортировать расшифровку"), proposedFolder());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const ExportFormatInfo& info : exportFormats())
        filters << info.filter;
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(filters.front());
    dialog->setDefaultSuffix(exportFormatInfo(ExportFormat::markdown).extension);
    dialog->selectFile(exportFileName(recording.name, ExportFormat::markdown));

    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        const auto format = exportFormatForFilter(filter);
        if (!format)
            return;
        const QString extension = exportFormatInfo(*format).extension;
        dialog->setDefaultSuffix(extension);
        const QString typed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        if (!typed.isEmpty())
            dialog->selectFile(withoutExportExtension(typed) + QLatin1Char('.') + extension);
    });
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
        [dialog, recording](const QString& chosen) { finishExport(recording, dialog, chosen); });
    dialog->open();
    return dialog;
}

void copyTranscript(const Recording& recording)
{
    if (!recording.transcript)
        return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(recording.transcript->plainText()));
}

void addTranscriptActions(QMenu* menu, const Recording& recording, QWidget* dialogParent)
{
    const bool hasText = hasTranscriptText(recording);
    menu->addAction(symbolIcon(QStringLiteral("square.and.arrow.up")), QStringLiteral("Экспортировать…"), dialogParent,
            [recording, dialogParent] { askAndExportTranscript(recording, dialogParent); })
        ->setEnabled(hasText);
    menu->addAction(symbolIcon(QStringLiteral("doc.on.doc")), QStringLiteral("Копировать расшифровку"), menu,
            [recording] { copyTranscript(recording); })
        ->setEnabled(hasText);
}

} // namespace palaverly
