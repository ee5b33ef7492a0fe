#pragma once

#include "ui/logic/DetailLogic.h"

#include <QFrame>
#include <vector>

class QLineEdit;
class QPushButton;

namespace palaverly {

// The popover that renames a speaker, resets its name, or merges it into another recognised
// speaker. It reports one outcome and closes; closing it any other way is a cancel.
class SpeakerRenamePopover : public QFrame {
    Q_OBJECT

public:
    SpeakerRenamePopover(const QString& defaultLabel, const QString& draftName, bool isCustomized,
        std::vector<SpeakerStat> suggestions, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return m_field; }
    QPushButton* applyButton() const { return m_apply; }
    // Null when the speaker has no name of the user's.
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* cancelButton() const { return m_cancel; }
    const std::vector<QPushButton*>& suggestionButtons() const { return m_suggestionButtons; }

signals:
    void applied(const QString& name);
    void resetRequested();
    void cancelled();
    void mergeChosen(const palaverly::SpeakerStat& into);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void finish();

    QLineEdit* m_field = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<QPushButton*> m_suggestionButtons;
    bool m_finished = false;
};

} // namespace palaverly
