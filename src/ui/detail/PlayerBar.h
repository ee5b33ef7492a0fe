#pragma once

#include <QFrame>
#include <QPointer>
#include <QSlider>

class QLabel;
class QToolButton;

namespace palaverly {

class AudioPlayer;

// A slider that jumps to where it is pressed and reports drags in seconds.
class ScrubSlider : public QSlider {
    Q_OBJECT

public:
    explicit ScrubSlider(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// Play/pause, the position and the length, and a scrubber. While the user drags, the bar shows
// the drag position and seeks when the drag ends.
class PlayerBar : public QWidget {
    Q_OBJECT

public:
    explicit PlayerBar(AudioPlayer& player, QWidget* parent = nullptr);

    bool isScrubbing() const { return m_isScrubbing; }
    double scrubTime() const { return m_scrubTime; }
    QToolButton* playButton() const { return m_play; }
    QSlider* scrubber() const { return m_slider; }
    QLabel* timeLabel() const { return m_time; }

private:
    void refreshPlayButton();
    void refreshTime();

    AudioPlayer& m_player;
    bool m_isScrubbing = false;
    double m_scrubTime = 0;
    QToolButton* m_play = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_duration = nullptr;
    ScrubSlider* m_slider = nullptr;
};

// A player bar floating over the bottom-left corner of its parent, 16 points from the left and
// bottom edges and at most the parent's width minus 32 points (at least 280) wide.
class FloatingPlayerOverlay : public QFrame {
    Q_OBJECT

public:
    static constexpr int kInset = 16;
    static constexpr int kMinWidth = 280;
    static constexpr int kPreferredWidth = 520;

    FloatingPlayerOverlay(AudioPlayer& player, QWidget* area);
    PlayerBar* bar() const { return m_bar; }
    // The width the overlay may take in an area this wide.
    static int maxExpandedWidth(int areaWidth);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* m_area;
    PlayerBar* m_bar = nullptr;
};

} // namespace palaverly
