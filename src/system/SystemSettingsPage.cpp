#include "system/SystemSettingsPage.h"

#include "common/AtomicFile.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace palaverly {

namespace {

struct Candidate {
    const char* program;
    QStringList (*arguments)(PermissionKind kind);
};

// pavucontrol's tabs: 3 = output devices (their monitors are the system sound), 4 = input devices.
QStringList pavucontrolArguments(PermissionKind kind)
{
    return {kind == PermissionKind::microphone ? QStringLiteral("--tab=4") : QStringLiteral("--tab=3")};
}

QStringList gnomeArguments(PermissionKind)
{
    return {QStringLiteral("sound")};
}

QStringList kdeArguments(PermissionKind)
{
    return {QStringLiteral("kcm_pulseaudio")};
}

const Candidate kSoundSettings[] = {
    {"pavucontrol", pavucontrolArguments},
    {"gnome-control-center", gnomeArguments},
    {"systemsettings", kdeArguments},
    {"systemsettings5", kdeArguments},
};

QString anchorFor(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::microphone:
        return QStringLiteral("microphone");
    case PermissionKind::screenRecording:
        return QStringLiteral("system-sound");
    case PermissionKind::accessibility:
        return QStringLiteral("accessibility");
    }
    return {};
}

} // namespace

SystemSettingsPage SystemSettingsPage::forPermission(
    PermissionKind kind, const std::function<QString(const QString&)>& findExecutable)
{
    if (kind != PermissionKind::accessibility) {
        for (const Candidate& candidate : kSoundSettings) {
            const QString path = findExecutable(QString::fromLatin1(candidate.program));
            if (!path.isEmpty())
                return {path, candidate.arguments(kind), {}};
        }
    }
    return {{}, {}, anchorFor(kind)};
}

QString SystemSettingsPage::helpPageHtml()
{
    return QStringLiteral(R"(<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<title>Palaverly — системные разрешения</title>
<style>
body { font-family: sans-serif; max-width: 42em; margin: 2em auto; line-height: 1.5; padding: 0 1em; }
code { background: #f0f0f0; padding: 0 .2em; }
</style>
</head>
<body>
<h1>Системные разрешения</h1>
<p>В Linux приложения не запрашивают разрешения по отдельности: Palaverly работает,
если звуковой сервер и графический сеанс дают ему нужные возможности.</p>

<h2 id="microphone">Микрофон</h2>
<p>Нужен работающий звуковой сервер (PulseAudio или PipeWire с <code>pipewire-pulse</code>)
и выбранное устройство ввода по умолчанию. Проверьте вкладку «Устройства ввода»
в <code>pavucontrol</code> или раздел «Звук» настроек рабочего стола.</p>

<h2 id="system-sound">Запись экрана (звук системы)</h2>
<p>Звук собеседников записывается с монитора устройства вывода по умолчанию.
Выберите устройство вывода по умолчанию и убедитесь, что его монитор не отключён
(вкладка «Устройства вывода» в <code>pavucontrol</code>).</p>

<h2 id="accessibility">Универсальный доступ</h2>
<p>Глобальные хоткеи, push-to-talk и вставка распознанного текста работают в сеансе X11
с расширением XTest. В сеансе Wayland выберите на экране входа сеанс «Xorg» («GNOME on Xorg»,
«Plasma (X11)») и перезапустите Palaverly.</p>
</body>
</html>
)");
}

void SystemSettingsPage::open() const
{
    if (!program.isEmpty()) {
        QProcess::startDetached(program, arguments);
        return;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString path = QDir(folder).filePath(QStringLiteral("permissions-help.html"));
    if (writeFileAtomically(path.toStdString(), helpPageHtml().toStdString()))
        return;
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(helpAnchor);
    QDesktopServices::openUrl(url);
}

} // namespace palaverly
