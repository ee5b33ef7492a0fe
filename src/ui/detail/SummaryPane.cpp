#include "ui/detail/SummaryPane.h"

#include "ui/widgets/Placeholders.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace palaverly {

SummaryPane::SummaryPane(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);

    m_summary = new QWidget(this);
    auto* summaryLayout = new QVBoxLayout(m_summary);
    summaryLayout->setContentsMargins(0, 0, 0, 0);
    summaryLayout->setSpacing(4);
    m_updating = new QWidget(m_summary);
    auto* updatingLayout = new QHBoxLayout(m_updating);
    updatingLayout->setContentsMargins(24, 0, 24, 0);
    updatingLayout->setSpacing(6);
    auto* spinner = new SymbolView(
        QStringLiteral("arrow.triangle.2.circlepath"), 12, style::secondaryText(palette()), m_updating);
    spinner->setMotion(SymbolView::Motion::rotating);
    updatingLayout->addWidget(spinner);
    auto* updatingText = style::plainLabel(QStringLiteral("Обновляем итоги…"), m_updating);
    updatingText->setFont(style::font(11));
    style::setTextColor(updatingText, style::secondaryText(palette()));
    updatingLayout->addWidget(updatingText);
    updatingLayout->addStretch(1);
    summaryLayout->addWidget(m_updating);

    m_text = new style::PlainTextView(13, QMargins(20, 4, 20, 8), m_summary);
    summaryLayout->addWidget(m_text, 1);
    m_layout->addWidget(m_summary);
    m_summary->hide();
    m_placeholderArea = new PlaceholderArea(this);
    m_placeholderArea->hide();
    m_layout->addWidget(m_placeholderArea);
}

EmptyState* SummaryPane::placeholder() const
{
    return m_placeholderArea->isHidden() ? nullptr : m_placeholderArea->placeholder();
}

void SummaryPane::setContent(const Recording& recording, const SummarizingState& state)
{
    const SummaryPaneState next = summaryPaneState(recording, state);
    if (next == SummaryPaneState::summary) {
        const QString text = QString::fromStdString(recording.summary->text);
        if (m_text->toPlainText() != text)
            m_text->setPlainText(text);
        m_updating->setVisible(state.kind == SummarizingState::Kind::running);
        if (m_state != next) {
            m_placeholderArea->hide();
            m_summary->show();
        }
        m_state = next;
        return;
    }
    if (m_state == next && (next != SummaryPaneState::failed || m_failure == state.message))
        return;
    m_state = next;
    m_failure = state.message;
    m_summary->hide();
    showPlaceholder(next, state);
}

void SummaryPane::showPlaceholder(SummaryPaneState state, const SummarizingState& job)
{
    EmptyState::Content content;
    switch (state) {
    case SummaryPaneState::preparing:
        content = {QStringLiteral("sparkles"), QStringLiteral("Готовим итоги…"),
            QStringLiteral("Модель читает расшифровку и собирает короткое саммари. Обычно несколько секунд."), true,
            false, colors::accent()};
        break;
    case SummaryPaneState::failed: {
        auto* retry
            = new QPushButton(symbolIcon(QStringLiteral("arrow.clockwise"), palette().color(QPalette::ButtonText)),
                QStringLiteral("Попробовать снова"));
        connect(retry, &QPushButton::clicked, this, &SummaryPane::resummarizeRequested);
        content = {QStringLiteral("exclamationmark.triangle"), QStringLiteral("Не получилось"),
            QString::fromStdString(job.message), false, false, colors::orange(), retry};
        break;
    }
    case SummaryPaneState::generate: {
        auto* generate = prominentButton(QStringLiteral("Сгенерировать"), QStringLiteral("sparkles"), colors::accent());
        connect(generate, &QPushButton::clicked, this, &SummaryPane::resummarizeRequested);
        content = {QStringLiteral("sparkles"), QStringLiteral("Сгенерировать итоги"),
            QStringLiteral("Подсказка: сначала переименуйте спикеров на вкладке «Транскрипт» — имена попадут в "
                           "саммари."),
            false, false, colors::accent(), generate};
        break;
    }
    case SummaryPaneState::needsTranscript:
    case SummaryPaneState::summary:
        content = {QStringLiteral("waveform"), QStringLiteral("Сначала расшифровка"),
            QStringLiteral(
                "Дождитесь, пока сервер распознавания закончит работу — без транскрипта итоги не построить."),
            false, false, QColor()};
        break;
    }
    content.iconSize = 26;
    m_placeholderArea->showContent(content);
    m_placeholderArea->show();
}

} // namespace palaverly
