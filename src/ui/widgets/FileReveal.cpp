#include "ui/widgets/FileReveal.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace palaverly {

void revealInFileManager(const std::filesystem::path& path)
{
    const QString file = QString::fromStdString(path.lexically_normal().string());
    const QString parent = QString::fromStdString(path.lexically_normal().parent_path().string());
    const auto openParent = [parent] { QDesktopServices::openUrl(QUrl::fromLocalFile(parent)); };

    auto* process = new QProcess;
    QObject::connect(
        process, &QProcess::finished, process, [process, openParent](int code, QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit || code != 0)
                openParent();
            process->deleteLater();
        });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, openParent](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            openParent();
            process->deleteLater();
        }
    });
    process->start(QStringLiteral("dbus-send"),
        {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--reply-timeout=2000"),
            QStringLiteral("--dest=org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
            QStringLiteral("array:string:") + QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded),
            QStringLiteral("string:")});
}

} // namespace palaverly
