#include "ui/detail/SpeakerRenamePopover.h"

#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace palaverly {

SpeakerRenamePopover::SpeakerRenamePopover(const QString& defaultLabel, const QString& draftName, bool isCustomized,
    std::vector<SpeakerStat> suggestions, QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    setMinimumWidth(300);
    setMaximumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);

    auto* title = style::plainLabel(QStringLiteral("Переименовать спикера"), this);
    title->setFont(style::font(13, QFont::DemiBold));
    layout->addWidget(title);
    auto* original = style::plainLabel(defaultLabel, this);
    original->setFont(style::font(11));
    style::setTextColor(original, style::secondaryText(palette()));
    layout->addWidget(original);

    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Имя спикера"));
    m_field->setText(draftName);
    m_field->selectAll();
    layout->addWidget(m_field);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    if (isCustomized) {
        m_reset = new QPushButton(QStringLiteral("Сбросить"), this);
        buttons->addWidget(m_reset);
        connect(m_reset, &QPushButton::clicked, this, [this] {
            finish();
            emit resetRequested();
        });
    }
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Отмена"), this);
    m_apply = new QPushButton(QStringLiteral("Применить"), this);
    m_apply->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { close(); });
    const auto apply = [this] {
        const QString name = m_field->text();
        finish();
        emit applied(name);
    };
    connect(m_apply, &QPushButton::clicked, this, apply);
    connect(m_field, &QLineEdit::returnPressed, this, apply);

    if (!suggestions.empty()) {
        layout->addWidget(style::separatorLine(this));
        auto* heading = style::plainLabel(QStringLiteral("Это уже распознанный спикер?"), this);
        heading->setFont(style::font(12, QFont::DemiBold));
        layout->addWidget(heading);
        auto* hint
            = style::plainLabel(QStringLiteral("Объединить — реплики этого спикера присоединятся к выбранному."), this);
        hint->setFont(style::font(11));
        hint->setWordWrap(true);
        style::setTextColor(hint, style::secondaryText(palette()));
        layout->addWidget(hint);
        for (const SpeakerStat& stat : suggestions) {
            // Button texts are never mnemonics: an "&" in a name stays an "&".
            QString label = QString::fromStdString(stat.displayName);
            label.replace(QLatin1Char('&'), QStringLiteral("&&"));
            auto* button = new QPushButton(symbolIcon(QStringLiteral("person.2.wave.2")), label, this);
            button->setFlat(true);
            button->setStyleSheet(QStringLiteral("text-align: left; padding: 4px 6px;"));
            layout->addWidget(button);
            m_suggestionButtons.push_back(button);
            connect(button, &QPushButton::clicked, this, [this, stat] {
                finish();
                emit mergeChosen(stat);
            });
        }
    }
    m_field->setFocus();
}

void SpeakerRenamePopover::finish()
{
    m_finished = true;
    close();
}

void SpeakerRenamePopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    if (!m_finished) {
        m_finished = true;
        emit cancelled();
        close();
    }
}

} // namespace palaverly
