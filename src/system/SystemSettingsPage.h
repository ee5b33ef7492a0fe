#pragma once

#include "system/Permissions.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace palaverly {

// Where the user turns a permission on. The microphone and the system sound are set up in the
// desktop's sound settings (pavucontrol, GNOME or KDE, whichever is installed); accessibility, or
// a desktop without any of those, gets our own short help page.
struct SystemSettingsPage {
    QString program; // empty: show the help page
    QStringList arguments;
    QString helpAnchor; // section of the help page

    // `findExecutable` returns the full path of a program, or an empty string when it is not
    // installed (QStandardPaths::findExecutable in production).
    static SystemSettingsPage forPermission(
        PermissionKind kind, const std::function<QString(const QString&)>& findExecutable);

    // The help page, a small self-contained HTML document in Russian.
    static QString helpPageHtml();

    // Starts the program or writes the help page into the cache folder and opens it with the
    // desktop's browser. Main thread; returns at once.
    void open() const;
};

} // namespace palaverly
