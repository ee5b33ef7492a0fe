#pragma once

#include <QWidget>
#include <array>

class QLabel;

namespace palaverly {

class SessionInput;

// "В этом сеансе (Wayland):" and one line each for the recording hotkeys, push-to-talk and the
// paste: whether it works here and through what, or why not and what happens instead. Follows
// the session's input as the portals answer. Main thread; `session` must outlive the view.
class SessionFeaturesView : public QWidget {
    Q_OBJECT
public:
    explicit SessionFeaturesView(SessionInput& session, QWidget* parent = nullptr);

    // The texts shown now, for the tests: the heading, then "title: text" per line.
    QStringList shownTexts() const;

private:
    struct Line {
        QLabel* icon = nullptr;
        QLabel* title = nullptr;
        QLabel* text = nullptr;
    };

    void update();

    SessionInput& m_session;
    QLabel* m_heading = nullptr;
    std::array<Line, 3> m_lines{};
};

} // namespace palaverly
