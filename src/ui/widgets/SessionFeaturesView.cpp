#include "ui/widgets/SessionFeaturesView.h"

#include "system/SessionInput.h"
#include "ui/logic/SessionFeatures.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/WindowStyle.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace palaverly {

SessionFeaturesView::SessionFeaturesView(SessionInput& session, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("sessionFeatures"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(1, 1);
    m_heading = style::titleLabel({}, 0, this);
    grid->addWidget(m_heading, 0, 0, 1, 2);
    for (std::size_t index = 0; index < m_lines.size(); ++index) {
        Line& line = m_lines[index];
        const int row = static_cast<int>(index) + 1;
        line.icon = new QLabel(this);
        grid->addWidget(line.icon, row, 0, Qt::AlignTop);
        auto* text = new QWidget(this);
        auto* column = new QVBoxLayout(text);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        line.title = style::plainLabel({}, text);
        line.text = style::wrappedLabel({}, true, text);
        column->addWidget(line.title);
        column->addWidget(line.text);
        grid->addWidget(text, row, 1);
    }
    connect(&m_session, &SessionInput::changed, this, &SessionFeaturesView::update);
    update();
}

void SessionFeaturesView::update()
{
    const SessionInput::State state = m_session.state();
    m_heading->setText(sessionFeaturesHeading(state));
    const auto lines = sessionFeatureLines(state);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const FeatureLine& feature = lines[index];
        Line& line = m_lines[index];
        switch (feature.level) {
        case FeatureLine::Level::works:
            style::setSymbol(line.icon, QStringLiteral("checkmark.circle.fill"), 16, style::systemGreen());
            break;
        case FeatureLine::Level::pending:
            style::setSymbol(
                line.icon, QStringLiteral("questionmark.circle.fill"), 16, style::secondaryText(palette()));
            break;
        case FeatureLine::Level::off:
            style::setSymbol(line.icon, QStringLiteral("exclamationmark.circle.fill"), 16, style::systemOrange());
            break;
        }
        line.title->setText(feature.title);
        line.text->setText(feature.text);
    }
}

QStringList SessionFeaturesView::shownTexts() const
{
    QStringList texts{m_heading->text()};
    for (const Line& line : m_lines)
        texts << line.title->text() + QStringLiteral(": ") + line.text->text();
    return texts;
}

} // namespace palaverly
