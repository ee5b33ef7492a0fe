#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

namespace palaverly {

class DictatedTextNotice;
class DictationManager;
class DictationPanelView;

// Owns the floating dictation panel: a frameless capsule that stays on top of every window, on
// every desktop, and never takes the keyboard focus, so the field that is to receive the text
// keeps it. Built anew for each dictation and placed once, centred 96 pixels below the top of the
// primary screen's available area. Main thread.
class DictationPanelController : public QObject {
    Q_OBJECT
public:
    // The manager is held weakly.
    explicit DictationPanelController(DictationManager* manager, QObject* parent = nullptr);
    ~DictationPanelController() override;

    // Builds and shows the panel without activating anything; does nothing when it is up
    // already or the manager is gone.
    void show();
    // Takes the panel off the screen and drops it.
    void hide();
    // The showing rule, to be run on every change of the manager's state: hidden when idle,
    // shown otherwise.
    void applyState();

    // The panel while it is shown.
    DictationPanelView* panel() const { return m_panel.get(); }

    // Shows a dictated text that could not be pasted, for the user to copy (see
    // DictatedTextNotice).
    void offerText(const QString& text);
    DictatedTextNotice* notice() const { return m_notice.get(); }

private:
    QPointer<DictationManager> m_manager;
    std::unique_ptr<DictationPanelView> m_panel;
    std::unique_ptr<DictatedTextNotice> m_notice;
};

} // namespace palaverly
