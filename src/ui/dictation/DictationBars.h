#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace palaverly {

// The scrolling level history of the dictation panel: 14 red capsules, the newest level on the
// right. While shown, every 0.06 s the oldest level goes and the current one comes in.
// Main thread.
class DictationBars : public QWidget {
    Q_OBJECT
public:
    // `level` is asked on every tick (the manager's input level).
    explicit DictationBars(std::function<float()> level, QWidget* parent = nullptr);

    const std::vector<float>& history() const { return m_history; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tick();

    std::function<float()> m_level;
    std::vector<float> m_history;
    QTimer m_timer;
};

} // namespace palaverly
