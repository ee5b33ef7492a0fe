#include "ui/detail/SpeakerChipsBar.h"

#include "model/RecordingStore.h"
#include "ui/detail/ChipsFlowLayout.h"
#include "ui/detail/SpeakerRenamePopover.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace palaverly {

namespace {

QString menuText(const std::string& text)
{
    // Menu texts are never mnemonics: an "&" in a name stays an "&".
    return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

SpeakerChip::SpeakerChip(const SpeakerStat& stat, QWidget* parent)
    : QFrame(parent)
    , m_stat(stat)
{
    setToolTip(QStringLiteral("Кликните — перейти к следующей реплике этого спикера. Карандашик — переименовать."));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 3, 4, 3);
    layout->setSpacing(2);
    auto* name = style::plainLabel(QString::fromStdString(stat.displayName), this);
    name->setFont(style::font(12, QFont::Medium));
    layout->addWidget(name);
    m_pencil = new QToolButton(this);
    m_pencil->setAutoRaise(true);
    m_pencil->setIcon(symbolIcon(QStringLiteral("pencil"), style::secondaryText(palette())));
    m_pencil->setIconSize(QSize(12, 12));
    m_pencil->setToolTip(QStringLiteral("Переименовать"));
    m_pencil->setFixedSize(20, 20);
    layout->addWidget(m_pencil);
    connect(m_pencil, &QToolButton::clicked, this, &SpeakerChip::renameRequested);
}

void SpeakerChip::setMarked(bool marked)
{
    if (marked == m_marked)
        return;
    m_marked = marked;
    update();
}

void SpeakerChip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

void SpeakerChip::enterEvent(QEnterEvent* event)
{
    QFrame::enterEvent(event);
    emit hovered(true);
}

void SpeakerChip::leaveEvent(QEvent* event)
{
    QFrame::leaveEvent(event);
    emit hovered(false);
}

void SpeakerChip::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
}

void SpeakerChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_marked ? colors::accent() : palette().color(QPalette::WindowText);
    fill.setAlphaF(m_marked ? 0.16f : 0.07f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(area, area.height() / 2, area.height() / 2);
}

SpeakerChipsBar::SpeakerChipsBar(RecordingStore& store, std::function<double()> currentTime, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_currentTime(std::move(currentTime))
{
    // As high as the chips need at the width given, never squeezed below that.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_layout = new ChipsFlowLayout(ChipsFlowSettings{2, 8, 6}, this);
    m_layout->setContentsMargins(24, 10, 24, 10);
    m_overflow = new QToolButton(this);
    m_overflow->setText(QStringLiteral("ещё"));
    m_overflow->setIcon(symbolIcon(QStringLiteral("chevron.down"), style::secondaryText(palette())));
    m_overflow->setIconSize(QSize(10, 10));
    m_overflow->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_overflow->setLayoutDirection(Qt::RightToLeft);
    m_overflow->setAutoRaise(true);
    m_overflow->setToolTip(QStringLiteral("Показать всех спикеров"));
    connect(m_overflow, &QToolButton::clicked, this, &SpeakerChipsBar::showOverflow);
    m_layout->addWidget(m_overflow);

    QPushButton* merge = nullptr;
    m_mergeDialog = style::confirmationDialog(this,
        QStringLiteral("Реплики первого спикера переедут ко второму. Это нельзя отменить."),
        QStringLiteral("Объединить"), &merge);
    connect(m_mergeDialog, &QMessageBox::finished, this,
        [this, merge] { confirmMerge(m_mergeDialog->clickedButton() == merge); });
}

SpeakerChip* SpeakerChipsBar::makeChip(const SpeakerStat& stat, QWidget* parent)
{
    auto* chip = new SpeakerChip(stat, parent);
    const std::string speaker = stat.speaker;
    connect(chip, &SpeakerChip::clicked, this, [this, speaker] { jumpToNextTurn(speaker); });
    connect(chip, &SpeakerChip::renameRequested, this, [this, speaker] { openRename(speaker); });
    connect(chip, &SpeakerChip::hovered, this, [this, chip, speaker](bool inside) {
        if (inside)
            m_hoveredSpeaker = speaker;
        else if (m_hoveredSpeaker == speaker)
            m_hoveredSpeaker.reset();
        chip->setMarked(inside);
    });
    connect(chip, &SpeakerChip::contextMenuRequested, this, [this, speaker](const QPoint& at) {
        QMenu* menu = makeChipMenu(speaker).release();
        menu->setParent(this, Qt::Popup);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
    });
    return chip;
}

void SpeakerChipsBar::setRecording(const Recording& recording, std::shared_ptr<const Transcript> transcript)
{
    m_recording = recording;
    m_transcript = std::move(transcript);
    std::vector<SpeakerStat> stats = m_transcript ? speakerStats(*m_transcript) : std::vector<SpeakerStat>{};
    if (stats == m_stats && m_chips.size() == stats.size())
        return;
    m_stats = std::move(stats);
    for (SpeakerChip* chip : m_chips) {
        m_layout->removeWidget(chip);
        chip->deleteLater();
    }
    m_chips.clear();
    m_hoveredSpeaker.reset();
    // Chips go before the overflow button, which stays the last item.
    m_layout->removeWidget(m_overflow);
    for (const SpeakerStat& stat : m_stats) {
        SpeakerChip* chip = makeChip(stat, this);
        m_layout->addWidget(chip);
        m_chips.push_back(chip);
    }
    m_layout->addWidget(m_overflow);
    m_layout->invalidate();
    updateGeometry();
}

SpeakerChip* SpeakerChipsBar::chip(const std::string& speaker) const
{
    for (SpeakerChip* chip : m_chips)
        if (chip->stat().speaker == speaker)
            return chip;
    return nullptr;
}

void SpeakerChipsBar::jumpToNextTurn(const std::string& speaker)
{
    if (!m_transcript || !m_transcript->segments)
        return;
    const double now = m_currentTime ? m_currentTime() : 0;
    if (const auto target = chipJumpTarget(*m_transcript->segments, speaker, now, m_lastSeek))
        emit seekRequested(*target);
}

std::unique_ptr<QMenu> SpeakerChipsBar::makeChipMenu(const std::string& speaker)
{
    auto menu = std::make_unique<QMenu>();
    menu->addAction(symbolIcon(QStringLiteral("pencil")), QStringLiteral("Переименовать"), this,
        [this, speaker] { openRename(speaker); });
    QMenu* merge = menu->addMenu(QStringLiteral("Объединить с…"));
    for (const SpeakerStat& other : m_stats) {
        if (other.speaker == speaker)
            continue;
        const std::string into = other.speaker;
        merge->addAction(menuText(other.displayName), this, [this, speaker, into] { requestMerge(speaker, into); });
    }
    merge->setEnabled(!merge->isEmpty());
    return menu;
}

void SpeakerChipsBar::openRename(const std::string& speaker)
{
    if (!m_transcript)
        return;
    const Transcript& transcript = *m_transcript;
    bool isCustomized = false;
    if (transcript.speakerLabels)
        if (const auto it = transcript.speakerLabels->find(speaker); it != transcript.speakerLabels->end())
            isCustomized = !it->second.empty();
    std::vector<SpeakerStat> suggestions;
    for (const SpeakerStat& stat : m_stats)
        if (stat.speaker != speaker)
            suggestions.push_back(stat);
    if (m_popover)
        m_popover->close();
    m_renameTarget = speaker;
    const QString draft = isCustomized ? QString::fromStdString(transcript.displayName(speaker)) : QString();
    m_popover = new SpeakerRenamePopover(QString::fromStdString(speaker), draft, isCustomized, suggestions, this);
    connect(m_popover, &SpeakerRenamePopover::applied, this, [this, speaker](const QString& name) {
        m_renameTarget.reset();
        m_store.renameSpeaker(m_recording, speaker, name.toStdString());
    });
    connect(m_popover, &SpeakerRenamePopover::resetRequested, this, [this, speaker] {
        m_renameTarget.reset();
        m_store.renameSpeaker(m_recording, speaker, std::string());
    });
    connect(m_popover, &SpeakerRenamePopover::cancelled, this, [this] { m_renameTarget.reset(); });
    connect(m_popover, &SpeakerRenamePopover::mergeChosen, this, [this, speaker](const SpeakerStat& into) {
        m_renameTarget.reset();
        requestMerge(speaker, into.speaker);
    });
    QWidget* anchor = chip(speaker) ? static_cast<QWidget*>(chip(speaker)) : this;
    m_popover->adjustSize();
    m_popover->move(anchor->mapToGlobal(QPoint(0, anchor->height() + 4)));
    m_popover->show();
    m_popover->nameField()->setFocus();
}

void SpeakerChipsBar::requestMerge(const std::string& from, const std::string& into)
{
    const auto nameOf = [this](const std::string& speaker) {
        for (const SpeakerStat& stat : m_stats)
            if (stat.speaker == speaker)
                return stat.displayName;
        return speaker;
    };
    m_pendingMerge = PendingMerge{Uuid::generate(), from, nameOf(from), into, nameOf(into)};
    const QString title = mergeConfirmationTitle(m_pendingMerge->fromName, m_pendingMerge->intoName);
    m_mergeDialog->setWindowTitle(title);
    m_mergeDialog->setText(title);
    m_mergeDialog->open();
}

void SpeakerChipsBar::confirmMerge(bool merge)
{
    const std::optional<PendingMerge> pending = std::move(m_pendingMerge);
    m_pendingMerge.reset();
    if (merge && pending)
        m_store.mergeSpeaker(m_recording, pending->from, pending->into);
}

void SpeakerChipsBar::showOverflow()
{
    auto* popover = new QFrame(this, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);
    for (const SpeakerStat& stat : m_stats) {
        SpeakerChip* chip = makeChip(stat, popover);
        // Acting on a speaker closes the list first; the action may rebuild the chips.
        connect(chip, &SpeakerChip::clicked, popover, &QWidget::close);
        connect(chip, &SpeakerChip::renameRequested, popover, &QWidget::close);
        layout->addWidget(chip, 0, Qt::AlignLeft);
    }
    popover->adjustSize();
    popover->move(m_overflow->mapToGlobal(QPoint(0, m_overflow->height() + 4)));
    popover->show();
}

} // namespace palaverly
