#pragma once

#include "updater/Appcast.h"

#include <QString>
#include <functional>

namespace palaverly {

// What the updater shows the user and asks of the desktop. The windows' implementation is
// UpdateAlerts; each reply runs on the main thread, at most once, and may come long after the
// call (the user answers when they like). Main thread.
class UpdateUserDriver {
public:
    enum class Choice {
        openDownloadPage,
        later,
    };

    virtual ~UpdateUserDriver() = default;

    // Whether the user is looking at the program right now (one of its windows is active).
    virtual bool isInImmediateFocus() = 0;
    // Offers `item`; packages are installed by the system's package manager, so the offer is to
    // open the release's download page.
    virtual void showUpdateFound(const AppcastItem& item, std::function<void(Choice)> reply) = 0;
    // The answer to a check the user asked for, when nothing newer exists or the check failed.
    virtual void showUpToDate(std::function<void()> acknowledged) = 0;
    virtual void showCheckFailed(const QString& message, std::function<void()> acknowledged) = 0;
    // Opens a web page with the desktop's browser.
    virtual void openUrl(const QString& url) = 0;
};

} // namespace palaverly
