#include "ui/detail/TranscriptTurns.h"

#include "ui/logic/LibraryLogic.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace palaverly {

namespace {

constexpr int kCardPadding = 8;
constexpr int kPlaySize = 22;
constexpr int kPlayGap = 8;
constexpr int kHeaderGap = 3;

QFont nameFont()
{
    return style::font(12, QFont::DemiBold);
}

QFont timeFont()
{
    return style::font(11);
}

QFont bodyFont()
{
    return style::font(13);
}

} // namespace

TranscriptTurnsModel::TranscriptTurnsModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void TranscriptTurnsModel::setTurns(std::vector<SpeakerGroup> groups, std::map<std::string, std::string> displayNames)
{
    beginResetModel();
    m_groups = std::move(groups);
    m_names = std::move(displayNames);
    m_active.reset();
    endResetModel();
}

bool TranscriptTurnsModel::setActive(std::optional<Uuid> id, bool isPlaying)
{
    const bool activeChanged = id != m_active;
    if (!activeChanged && isPlaying == m_isPlaying)
        return false;
    const std::optional<Uuid> previous = m_active;
    m_active = id;
    m_isPlaying = isPlaying;
    for (const auto& touched : {previous, id})
        if (touched)
            if (const int row = rowOf(*touched); row >= 0)
                emit dataChanged(index(row), index(row));
    return activeChanged;
}

int TranscriptTurnsModel::rowOf(const Uuid& id) const
{
    for (std::size_t i = 0; i < m_groups.size(); ++i)
        if (m_groups[i].id == id)
            return static_cast<int>(i);
    return -1;
}

int TranscriptTurnsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_groups.size());
}

QVariant TranscriptTurnsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_groups.size()))
        return {};
    const SpeakerGroup& group = m_groups[static_cast<std::size_t>(index.row())];
    switch (role) {
    case NameRole: {
        const auto it = m_names.find(group.speaker);
        return QString::fromStdString(it == m_names.end() ? group.speaker : it->second);
    }
    case StartRole:
        return formatDuration(group.start);
    case Qt::DisplayRole:
    case TextRole:
        return turnCopyText(group);
    case IsActiveRole:
        return m_active == group.id;
    case IsPlayingRole:
        return m_isPlaying;
    case IsFirstRole:
        return index.row() == 0;
    case IsLastRole:
        return index.row() + 1 == static_cast<int>(m_groups.size());
    default:
        return {};
    }
}

TranscriptTurnDelegate::TranscriptTurnDelegate(QListView* view)
    : QStyledItemDelegate(view)
    , m_view(view)
{
}

int TranscriptTurnDelegate::textWidth() const
{
    return std::max(80, m_view->viewport()->width() - 2 * kSideMargin - 2 * kCardPadding - kPlaySize - kPlayGap);
}

QRect TranscriptTurnDelegate::cardRect(const QRect& rect, const QModelIndex& index)
{
    const int top = index.data(TranscriptTurnsModel::IsFirstRole).toBool() ? kTopPadding : 0;
    const int bottom = index.data(TranscriptTurnsModel::IsLastRole).toBool() ? kBottomPadding : kSpacing;
    return rect.adjusted(kSideMargin, top, -kSideMargin, -bottom);
}

QRect TranscriptTurnDelegate::playButtonRect(const QRect& rect, const QModelIndex& index)
{
    const QRect card = cardRect(rect, index);
    return QRect(card.left() + kCardPadding, card.top() + kCardPadding - 3, kPlaySize, kPlaySize);
}

QRect TranscriptTurnDelegate::startTimeRect(const QRect& rect, const QModelIndex& index) const
{
    const QRect card = cardRect(rect, index);
    const int left = card.left() + kCardPadding + kPlaySize + kPlayGap;
    const QFontMetrics nameMetrics(nameFont());
    const int nameWidth = std::min(
        nameMetrics.horizontalAdvance(index.data(TranscriptTurnsModel::NameRole).toString()), textWidth() - 60);
    const QString start = index.data(TranscriptTurnsModel::StartRole).toString();
    return QRect(left + nameWidth + 8, card.top() + kCardPadding, QFontMetrics(timeFont()).horizontalAdvance(start),
        nameMetrics.height());
}

QSize TranscriptTurnDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const QFontMetrics body(bodyFont());
    const QRect text = body.boundingRect(
        QRect(0, 0, textWidth(), 100000), Qt::TextWordWrap, index.data(TranscriptTurnsModel::TextRole).toString());
    int height = kCardPadding * 2 + QFontMetrics(nameFont()).height() + kHeaderGap + text.height();
    height += index.data(TranscriptTurnsModel::IsFirstRole).toBool() ? kTopPadding : 0;
    height += index.data(TranscriptTurnsModel::IsLastRole).toBool() ? kBottomPadding : kSpacing;
    return QSize(m_view->viewport()->width(), height);
}

void TranscriptTurnDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect card = cardRect(option.rect, index);
    const bool active = index.data(TranscriptTurnsModel::IsActiveRole).toBool();
    const bool playing = index.data(TranscriptTurnsModel::IsPlayingRole).toBool();
    const bool hovered = option.state & QStyle::State_MouseOver;
    if (active || hovered) {
        QColor fill = active ? colors::accent() : option.palette.color(QPalette::WindowText);
        fill.setAlphaF(active ? 0.12f : 0.04f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(card, 8, 8);
    }

    const QRect play = playButtonRect(option.rect, index);
    const QColor playColor = active ? colors::accent() : style::secondaryText(option.palette);
    const QString symbol = active && playing ? QStringLiteral("speaker.wave.2.fill") : QStringLiteral("play.fill");
    const qreal dpr = painter->device()->devicePixelRatioF();
    QPixmap icon = symbolPixmap(symbol, qRound(14 * dpr), playColor);
    icon.setDevicePixelRatio(dpr);
    painter->drawPixmap(QPointF(play.center().x() - 6.5, play.center().y() - 6.5), icon);

    const int left = play.right() + 1 + kPlayGap;
    const int width = card.right() - kCardPadding - left;
    const QFontMetrics nameMetrics(nameFont());
    painter->setFont(nameFont());
    painter->setPen(active ? colors::accent() : option.palette.color(QPalette::WindowText));
    const QString name = nameMetrics.elidedText(
        index.data(TranscriptTurnsModel::NameRole).toString(), Qt::ElideRight, std::max(0, width - 60));
    const int top = card.top() + kCardPadding;
    painter->drawText(
        QRect(left, top, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, name);
    painter->setFont(timeFont());
    painter->setPen(style::tertiaryText(option.palette));
    const int timeLeft = left + nameMetrics.horizontalAdvance(name) + 8;
    painter->drawText(QRect(timeLeft, top, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        index.data(TranscriptTurnsModel::StartRole).toString());

    painter->setFont(bodyFont());
    painter->setPen(option.palette.color(QPalette::WindowText));
    const int textTop = top + nameMetrics.height() + kHeaderGap;
    painter->drawText(QRect(left, textTop, width, card.bottom() - textTop),
        Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, index.data(TranscriptTurnsModel::TextRole).toString());
    painter->restore();
}

bool TranscriptTurnDelegate::editorEvent(
    QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            if (playButtonRect(option.rect, index).adjusted(-4, -4, 4, 4).contains(mouse->position().toPoint())) {
                emit playRequested(index.row());
                return true;
            }
            if (startTimeRect(option.rect, index).adjusted(-2, -2, 2, 2).contains(mouse->position().toPoint())) {
                emit seekRequested(index.row());
                return true;
            }
        }
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        emit playRequested(index.row());
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool TranscriptTurnDelegate::helpEvent(
    QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip && playButtonRect(option.rect, index).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), QStringLiteral("Воспроизвести с этой реплики"), view);
        return true;
    }
    QToolTip::hideText();
    return true;
}

} // namespace palaverly
