#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <functional>

class QObject;

// The request pattern of the desktop portals (org.freedesktop.portal.Desktop): a method returns
// at once with the path of a request object, and the answer comes later as that object's Response
// signal, possibly after the desktop asked the user in a dialog.
namespace palaverly::portal {

inline constexpr char kService[] = "org.freedesktop.portal.Desktop";
inline constexpr char kPath[] = "/org/freedesktop/portal/desktop";
inline constexpr char kSessionInterface[] = "org.freedesktop.portal.Session";

// Where a portal session of ours stands; the status texts are made from it.
enum class State {
    idle, // nothing asked yet (or nothing to ask for)
    asking, // a request runs; the desktop may be showing its dialog
    ready, // granted and working
    unavailable, // the desktop offers no such portal
    refused, // the user said no in the desktop's dialog
    failed, // the portal answered with an error
    noAnswer, // the portal did not answer in time
};

struct Timeouts {
    // A call the desktop answers by itself, such as creating a session.
    std::chrono::milliseconds answer{10000};
    // A call that may first show the user a dialog (binding shortcuts, allowing the keyboard).
    std::chrono::milliseconds dialog{120000};
};

struct Reply {
    State state = State::failed; // ready, refused, failed, unavailable or noAnswer
    QVariantMap results;
    QString detail; // what went wrong, for the log
};

// Calls `method` of `interface` on the portal object with `arguments`, the last of which must be
// the options map (a "handle_token" is added to it), and waits for the request's Response at most
// `timeout`; a request that times out is closed, which dismisses its dialog. `done` runs once,
// on the main thread, unless `context` is destroyed first. Main thread.
void request(const QDBusConnection& bus, QObject* context, const QString& interface, const QString& method,
    QVariantList arguments, std::chrono::milliseconds timeout, std::function<void(const Reply&)> done);

// Closes a portal session; nobody waits for the answer.
void closeSession(const QDBusConnection& bus, const QString& sessionHandle);

// A path that arrives as an object path or, from some portal versions, as a string.
QString objectPath(const QVariant& value);

// A fresh token for "handle_token" or "session_handle_token": unique within this process.
QString newToken();

} // namespace palaverly::portal
