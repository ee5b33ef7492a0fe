#pragma once

#include "model/RecordingKind.h"

#include <QTimer>
#include <QWidget>
#include <deque>

class QLabel;
class QPushButton;

namespace palaverly {

class AppSettings;
class LibraryRecorder;

// Bars of the recent input level, newest on the right, moving every 60 ms while shown.
class LiveLevelBars : public QWidget {
    Q_OBJECT

public:
    static constexpr int kStepMs = 60;

    LiveLevelBars(LibraryRecorder& recorder, int barCount, int barWidth, int barSpacing, int maxHeight,
        QWidget* parent = nullptr);

    const std::deque<float>& history() const { return m_history; }
    // A bar's height in points for a level: 3 at silence, maxHeight from full scale on.
    static qreal barHeight(float level, int maxHeight);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void step();

    LibraryRecorder& m_recorder;
    int m_barWidth;
    int m_barSpacing;
    int m_maxHeight;
    std::deque<float> m_history;
    QTimer m_timer;
};

// Stands in for the summary and the transcript while the recording is being made: what is
// recorded, for how long, the live level, a warning about the sound when the recorder has one,
// and a stop button.
class LiveRecordingPane : public QWidget {
    Q_OBJECT

public:
    // `settings` (may be null) names the stop hotkey on the stop button.
    LiveRecordingPane(
        RecordingKind kind, LibraryRecorder& recorder, const AppSettings* settings, QWidget* parent = nullptr);

    QLabel* titleLabel() const { return m_title; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QPushButton* stopButton() const { return m_stop; }
    LiveLevelBars* bars() const { return m_bars; }
    // The warning line; hidden while there is none.
    QWidget* warningLine() const { return m_warningLine; }
    QLabel* warningLabel() const { return m_warning; }

private:
    void tick();
    void refreshWarning();

    LibraryRecorder& m_recorder;
    QLabel* m_title = nullptr;
    QLabel* m_elapsed = nullptr;
    QPushButton* m_stop = nullptr;
    LiveLevelBars* m_bars = nullptr;
    QWidget* m_warningLine = nullptr;
    QLabel* m_warning = nullptr;
    QTimer m_clock;
};

} // namespace palaverly
