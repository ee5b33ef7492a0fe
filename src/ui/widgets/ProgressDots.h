#pragma once

#include <QWidget>

namespace palaverly {

// One capsule per step, 6 px apart and 6 px high; the current one is 18 px wide in the accent
// colour, the others 6 px wide in the text colour at 22 % strength.
class ProgressDots : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDotHeight = 6;
    static constexpr int kSpacing = 6;
    static constexpr int kCurrentWidth = 18;

    explicit ProgressDots(int total, QWidget* parent = nullptr);

    int current() const { return m_current; }
    int total() const { return m_total; }
    void setCurrent(int current);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_total = 0;
    int m_current = 0;
};

} // namespace palaverly
