#pragma once

#include <QString>
#include <optional>

namespace palaverly {

// The per-user autostart entry of the desktop (XDG autostart): a palaverly.desktop file in
// <config>/autostart/ that starts the program when the user logs in. Present means on; the desktop's
// own "Hidden=true" or "X-GNOME-Autostart-enabled=false" in the file mean off. Main thread.
class AutostartEntry {
public:
    static constexpr char kFileName[] = "palaverly.desktop";

    // `configHome` is the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config, when
    // empty); `program` the command the entry starts (this executable when empty).
    explicit AutostartEntry(QString configHome = {}, QString program = {});

    QString path() const;
    bool isEnabled() const;
    // Writes or removes the entry. Returns the failure as a sentence, or nothing.
    std::optional<QString> setEnabled(bool enabled);

    // The file's content for `program`, quoted as desktop entries require.
    static QString desktopEntry(const QString& program);

private:
    QString m_configHome;
    QString m_program;
};

} // namespace palaverly
