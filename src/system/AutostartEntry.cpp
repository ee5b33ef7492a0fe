#include "system/AutostartEntry.h"

#include "common/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>

namespace palaverly {

namespace {

constexpr std::uintmax_t kMaxEntryBytes = 64 * 1024;

// Quoting of one Exec argument: inside double quotes, the characters " ` $ \ take a backslash.
QString quotedArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// The string escape of desktop entry values: a backslash is written twice.
QString escapedValue(const QString& value)
{
    QString escaped = value;
    return escaped.replace(u'\\', QStringLiteral("\\\\"));
}

} // namespace

AutostartEntry::AutostartEntry(QString configHome, QString program)
    : m_configHome(std::move(configHome))
    , m_program(std::move(program))
{
    if (m_configHome.isEmpty())
        m_configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (m_program.isEmpty())
        m_program = QCoreApplication::applicationFilePath();
}

QString AutostartEntry::path() const
{
    return QDir(m_configHome).filePath(QStringLiteral("autostart/") + QLatin1String(kFileName));
}

bool AutostartEntry::isEnabled() const
{
    const std::optional<std::string> content = readSmallFile(path().toStdString(), kMaxEntryBytes);
    if (!content)
        return false;
    const QStringList lines = QString::fromUtf8(*content).split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.compare(QLatin1String("Hidden=true"), Qt::CaseInsensitive) == 0
            || line.compare(QLatin1String("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

std::optional<QString> AutostartEntry::setEnabled(bool enabled)
{
    const std::filesystem::path file = path().toStdString();
    std::error_code error;
    if (!enabled) {
        if (std::filesystem::remove(file, error) || !error)
            return std::nullopt;
        return QString::fromStdString(fileErrorText("удалить", file, error.value()));
    }
    std::filesystem::create_directories(file.parent_path(), error);
    if (error)
        return QString::fromStdString(fileErrorText("создать папку", file.parent_path(), error.value()));
    if (const auto failure = writeFileAtomically(file, desktopEntry(m_program).toStdString()))
        return QString::fromStdString(*failure);
    return std::nullopt;
}

QString AutostartEntry::desktopEntry(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Palaverly\n"
                          "Comment=Meetings, voice notes and dictation as text\n"
                          "Comment[ru]=Встречи, голосовые заметки и диктовка — в текст\n"
                          "Exec=%1\n"
                          "Icon=palaverly\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapedValue(quotedArgument(program)));
}

} // namespace palaverly
