#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPropertyAnimation;

namespace palaverly {

class DictationBars;
class DictationManager;
class DictationSpinner;

// The capsule of the dictation panel: a state icon and the state's content in one row.
//   recording:    pulsing red microphone, level bars, "Слушаю…"
//   transcribing: spinner, "Распознаю…"
//   error:        orange warning, the first 80 characters of the message on at most two lines
// Follows the manager's state; empty when the manager is idle or gone. Main thread.
class DictationPanelView : public QWidget {
    Q_OBJECT
public:
    explicit DictationPanelView(DictationManager* manager, QWidget* parent = nullptr);
    ~DictationPanelView() override;

    // The text shown next to the icon (for the tray's tests and accessibility).
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showState();

    QPointer<DictationManager> m_manager;
    QLabel* m_icon = nullptr;
    DictationSpinner* m_spinner = nullptr;
    DictationBars* m_bars = nullptr;
    QLabel* m_text = nullptr;
    QPropertyAnimation* m_pulse = nullptr;
};

} // namespace palaverly
