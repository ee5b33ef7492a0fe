#include "ui/library/RecordingRowDelegate.h"

#include "model/RecordingKind.h"
#include "ui/library/LibraryListModel.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace palaverly {

namespace {

constexpr int kHeaderHeight = 30;
constexpr int kRowPaddingX = 10;
constexpr int kRowPaddingY = 7;
constexpr int kIconColumn = 14;
constexpr int kIconGap = 6;
constexpr int kLineGap = 3;
constexpr int kNamePixels = 13;
constexpr int kDatePixels = 11;
constexpr int kPreviewPixels = 10;

QFont nameFont()
{
    return style::font(kNamePixels, QFont::Medium);
}

QFont dateFont()
{
    return style::font(kDatePixels);
}

QFont previewFont()
{
    return style::font(kPreviewPixels, QFont::Medium);
}

QColor badgeColor(StatusBadge::Kind kind, const QPalette& palette)
{
    switch (kind) {
    case StatusBadge::Kind::emptyTranscript:
    case StatusBadge::Kind::noTranscript:
        return colors::orange();
    case StatusBadge::Kind::recording:
        return colors::accent();
    case StatusBadge::Kind::failed:
        return colors::red();
    case StatusBadge::Kind::transcribing:
    case StatusBadge::Kind::queued:
    case StatusBadge::Kind::none:
        break;
    }
    return style::secondaryText(palette);
}

} // namespace

QSize RecordingRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.data(LibraryListModel::IsHeaderRole).toBool())
        return QSize(option.rect.width(), kHeaderHeight);
    const int name = QFontMetrics(nameFont()).height();
    const int preview = QFontMetrics(previewFont()).height();
    return QSize(option.rect.width(), kRowPaddingY * 2 + name + kLineGap + preview);
}

void RecordingRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (index.data(LibraryListModel::IsHeaderRole).toBool())
        paintHeader(painter, option, index);
    else
        paintRecording(painter, option, index);
    painter->restore();
}

void RecordingRowDelegate::paintHeader(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->setFont(style::font(11, QFont::DemiBold));
    painter->setPen(style::secondaryText(option.palette));
    const QRect text = option.rect.adjusted(kRowPaddingX, 10, -kRowPaddingX, -2);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
        painter->fontMetrics().elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
}

void RecordingRowDelegate::paintRecording(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const bool active = option.state & QStyle::State_Active;
    const QRect card = option.rect.adjusted(4, 1, -4, -1);
    if (selected) {
        QColor fill = option.palette.color(active ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        if (!active)
            fill.setAlphaF(0.35f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(card, 6, 6);
    } else if (option.state & QStyle::State_MouseOver) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(style::faintFill(option.palette));
        painter->drawRoundedRect(card, 6, 6);
    }
    const QColor primary = selected && active ? option.palette.color(QPalette::HighlightedText)
                                              : option.palette.color(QPalette::WindowText);
    const auto fade = [&](qreal alpha) {
        QColor c = primary;
        c.setAlphaF(static_cast<float>(alpha));
        return c;
    };

    const QRect content = option.rect.adjusted(kRowPaddingX, kRowPaddingY, -kRowPaddingX, -kRowPaddingY);
    const QFontMetrics nameMetrics(nameFont());
    const QFontMetrics previewMetrics(previewFont());

    // Icon column, 3 points below the top.
    const QRect iconBox(content.left(), content.top() + 3, kIconColumn, nameMetrics.height() - 3);
    if (index.data(LibraryListModel::IsCurrentRole).toBool()) {
        const QPointF centre(iconBox.left() + kIconColumn / 2.0, iconBox.top() + 5);
        const qreal pulse = 0.5 + 0.5 * std::sin(2 * M_PI * m_phase);
        // On the focused selection's highlight the dot takes the highlighted text colour.
        const QColor dot = selected && active ? primary : colors::accent();
        QColor ring = dot;
        ring.setAlphaF(static_cast<float>(0.18 + 0.22 * pulse));
        painter->setPen(Qt::NoPen);
        painter->setBrush(ring);
        const qreal ringRadius = 5.5 + 1.5 * pulse;
        painter->drawEllipse(centre, ringRadius, ringRadius);
        painter->setBrush(dot);
        painter->drawEllipse(centre, 4, 4);
    } else {
        const auto kind = static_cast<RecordingKind>(index.data(LibraryListModel::KindRole).toInt());
        const QString symbol = kind == RecordingKind::note ? QStringLiteral("mic") : QStringLiteral("person.2.wave.2");
        const qreal dpr = painter->device()->devicePixelRatioF();
        QPixmap pixmap = symbolPixmap(symbol, qRound(11 * dpr), fade(0.42));
        pixmap.setDevicePixelRatio(dpr);
        painter->drawPixmap(QPointF(iconBox.left() + (kIconColumn - 11) / 2.0, iconBox.top()), pixmap);
    }

    const int textLeft = content.left() + kIconColumn + kIconGap;
    const int textWidth = content.right() - textLeft;

    // First line: name, then the short date pushed to the right.
    const QString date = index.data(LibraryListModel::ShortDateRole).toString();
    painter->setFont(dateFont());
    const int dateWidth = painter->fontMetrics().horizontalAdvance(date);
    const QRect firstLine(textLeft, content.top(), textWidth, nameMetrics.height());
    painter->setPen(fade(0.42));
    painter->drawText(firstLine, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, date);
    painter->setFont(nameFont());
    painter->setPen(primary);
    const int nameWidth = std::max(0, textWidth - dateWidth - 8);
    painter->drawText(QRect(textLeft, content.top(), nameWidth, nameMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
        nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, nameWidth));

    // Second line: preview, followed by the badge.
    const int secondTop = content.top() + nameMetrics.height() + kLineGap;
    const auto badgeKind = static_cast<StatusBadge::Kind>(index.data(LibraryListModel::BadgeKindRole).toInt());
    const QString badgeText = index.data(LibraryListModel::BadgeTextRole).toString();
    painter->setFont(previewFont());
    int badgeWidth = 0;
    const bool hasMark = badgeKind == StatusBadge::Kind::recording || badgeKind == StatusBadge::Kind::transcribing;
    if (badgeKind != StatusBadge::Kind::none)
        badgeWidth = previewMetrics.horizontalAdvance(badgeText) + (hasMark ? 12 : 0);
    const QString preview = index.data(LibraryListModel::PreviewRole).toString();
    const int previewRoom = std::max(0, textWidth - (badgeWidth ? badgeWidth + 8 : 0));
    const QString shownPreview = previewMetrics.elidedText(preview, Qt::ElideRight, previewRoom);
    const QRect secondLine(textLeft, secondTop, previewRoom, previewMetrics.height());
    painter->setPen(fade(0.62));
    painter->drawText(
        secondLine, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, shownPreview);
    if (badgeKind == StatusBadge::Kind::none)
        return;

    int x = textLeft + (shownPreview.isEmpty() ? 0 : previewMetrics.horizontalAdvance(shownPreview) + 8);
    // Coloured badges would vanish on the focused selection's highlight.
    const QColor color = selected && active ? fade(0.9) : badgeColor(badgeKind, option.palette);
    const qreal midY = secondTop + previewMetrics.height() / 2.0;
    if (badgeKind == StatusBadge::Kind::recording) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        painter->drawEllipse(QPointF(x + 3, midY), 3, 3);
        x += 12;
    } else if (badgeKind == StatusBadge::Kind::transcribing) {
        QPen pen(color, 1.5);
        pen.setCapStyle(Qt::RoundCap);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        const QRectF spinner(x, midY - 4, 8, 8);
        painter->drawArc(spinner, static_cast<int>(-360 * 16 * m_phase), 270 * 16);
        x += 12;
    }
    painter->setPen(color);
    painter->drawText(QRect(x, secondTop, content.right() - x + 1, previewMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, badgeText);
}

} // namespace palaverly
