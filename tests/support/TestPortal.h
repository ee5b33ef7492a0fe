#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace palaverly::test {

// The desktop portal of a Wayland desktop on the session bus of run-with-services.sh: the real
// front end (xdg-desktop-portal) with our back end (support/portal/test-portal-backend.py), which
// grants, refuses or ignores what is asked and records what it was sent. Needs a private bus:
// the front end and the back end take well-known names on it.
class TestPortal {
public:
    struct Shortcut {
        QString id;
        QString description;
        QString preferredTrigger;
        bool operator==(const Shortcut&) const = default;
    };
    using Key = std::pair<int, uint>; // evdev key code, 1 pressed / 0 released
    using Notification = std::pair<QString, QString>; // summary, body

    // Starts both and waits until the portal answers; started() tells whether it did.
    TestPortal();
    ~TestPortal();
    TestPortal(const TestPortal&) = delete;
    TestPortal& operator=(const TestPortal&) = delete;

    bool started() const { return m_started; }

    // The back end's answers from now on: "grant", "refuse" or "silent" (never answers).
    void reset();
    void setModes(const QString& shortcuts, const QString& keyboard);
    // The desktop reports a press / a release of a bound shortcut; false without a session.
    bool activate(const QString& id);
    bool deactivate(const QString& id);
    // The user gives `id` another trigger in the desktop's settings.
    bool changeTrigger(const QString& id, const QString& description);

    std::vector<Shortcut> bound();
    std::vector<Key> keyboardEvents();
    uint keyboardStarts();
    std::vector<Notification> notifications();

private:
    QProcess m_backend;
    QProcess m_frontend;
    bool m_started = false;
};

} // namespace palaverly::test
