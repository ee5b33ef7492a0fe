#pragma once

#include "model/Recording.h"
#include "recorder/JobStates.h"
#include "ui/logic/DetailLogic.h"

#include <QWidget>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QVBoxLayout;

namespace palaverly {

class EmptyState;
class PlaceholderArea;
class SymbolView;

// The "Итоги" section: the summary text, or what stands in for it while there is none (being
// prepared, failed, ready to be asked for, waiting for the transcript). Main thread only.
class SummaryPane : public QWidget {
    Q_OBJECT

public:
    explicit SummaryPane(QWidget* parent = nullptr);

    void setContent(const Recording& recording, const SummarizingState& state);
    std::optional<SummaryPaneState> state() const { return m_state; }
    // The placeholder in the states without a summary, else null.
    EmptyState* placeholder() const;
    QPlainTextEdit* textView() const { return m_text; }
    // Shown with the summary while a new one is being made.
    QWidget* updatingIndicator() const { return m_updating; }

signals:
    void resummarizeRequested();

private:
    void showPlaceholder(SummaryPaneState state, const SummarizingState& job);

    QVBoxLayout* m_layout = nullptr;
    std::optional<SummaryPaneState> m_state;
    std::string m_failure;
    PlaceholderArea* m_placeholderArea = nullptr;
    QWidget* m_summary = nullptr;
    QWidget* m_updating = nullptr;
    QPlainTextEdit* m_text = nullptr;
};

} // namespace palaverly
