#include "ui/widgets/Placeholders.h"

#include "ui/logic/LibraryLogic.h"
#include "ui/logic/UntrustedText.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

namespace palaverly {

SymbolView::SymbolView(const QString& symbol, int size, const QColor& tint, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_size(size)
    , m_tint(tint)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(const QString& symbol, const QColor& tint)
{
    m_symbol = symbol;
    m_tint = tint;
    update();
}

void SymbolView::setMotion(Motion motion)
{
    if (motion == m_motion)
        return;
    m_motion = motion;
    m_phase = 0;
    if (m_animation) {
        m_animation->stop();
        m_animation->deleteLater();
        m_animation = nullptr;
    }
    if (motion != Motion::none) {
        m_animation = new QVariantAnimation(this);
        m_animation->setStartValue(0.0);
        m_animation->setEndValue(1.0);
        m_animation->setDuration(motion == Motion::rotating ? 1200 : 1600);
        m_animation->setLoopCount(-1);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_phase = value.toReal();
            update();
        });
        if (isVisible())
            m_animation->start();
    }
    update();
}

void SymbolView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_animation)
        m_animation->start();
}

void SymbolView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_animation)
        m_animation->stop();
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal dpr = devicePixelRatioF();
    const QColor color = m_tint.isValid() ? m_tint : style::secondaryText(palette());
    QPixmap pixmap = symbolPixmap(m_symbol, qRound(m_size * dpr), color);
    pixmap.setDevicePixelRatio(dpr);
    painter.translate(width() / 2.0, height() / 2.0);
    if (m_motion == Motion::rotating)
        painter.rotate(360.0 * m_phase);
    if (m_motion == Motion::spinning) {
        // A gentle swing and pulse: the model is at work.
        painter.rotate(12.0 * std::sin(2 * M_PI * m_phase));
        painter.setOpacity(0.55 + 0.45 * (0.5 + 0.5 * std::cos(2 * M_PI * m_phase)));
    }
    painter.drawPixmap(QPointF(-m_size / 2.0, -m_size / 2.0), pixmap);
}

namespace {

// A detail line holds about two lines of the placeholder's width.
constexpr int kDetailCharacters = 120;

// A centred, wrapped label gets the size its text needs within `maxWidth`: a box layout that
// centres a word-wrapped label would otherwise guess its width and cut its lines.
void fitWrappedLabel(QLabel* label, int maxWidth)
{
    const QFontMetrics metrics(label->font());
    const int width = std::min(metrics.horizontalAdvance(label->text()) + 4, maxWidth);
    const QRect wrapped
        = metrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::AlignHCenter, label->text());
    label->setFixedSize(width, wrapped.height() + 2);
}

} // namespace

EmptyState::EmptyState(const Content& content, QWidget* parent)
    : QWidget(parent)
    , m_action(content.action)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(8);
    layout->addStretch(1);

    m_symbol = new SymbolView(content.icon, content.iconSize, content.tint, this);
    m_symbol->setMotion(content.rotating ? SymbolView::Motion::rotating
            : content.spinning           ? SymbolView::Motion::spinning
                                         : SymbolView::Motion::none);
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
    layout->addSpacing(4);

    m_title = style::plainLabel(content.title, this);
    m_title->setFont(style::font(15, QFont::DemiBold));
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    fitWrappedLabel(m_title, kTextWidth);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);

    m_message = style::plainLabel(content.message, this);
    m_message->setFont(style::font(12));
    m_message->setAlignment(Qt::AlignHCenter);
    m_message->setWordWrap(true);
    fitWrappedLabel(m_message, kTextWidth);
    m_message->setVisible(!content.message.isEmpty());
    style::setTextColor(m_message, style::secondaryText(palette()));
    layout->addWidget(m_message, 0, Qt::AlignHCenter);

    m_detail = style::plainLabel(untrusted::oneLine(content.detail, kDetailCharacters), this);
    m_detail->setFont(style::font(11));
    m_detail->setAlignment(Qt::AlignHCenter);
    m_detail->setWordWrap(true);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detail->setToolTip(content.detail.isEmpty() ? QString() : untrusted::asWritten(content.detail));
    fitWrappedLabel(m_detail, kTextWidth);
    m_detail->setVisible(!content.detail.isEmpty());
    style::setTextColor(m_detail, style::secondaryText(palette()));
    layout->addWidget(m_detail, 0, Qt::AlignHCenter);

    if (content.action) {
        layout->addSpacing(6);
        content.action->setParent(this);
        layout->addWidget(content.action, 0, Qt::AlignHCenter);
    }
    layout->addStretch(1);
}

QString EmptyState::title() const
{
    return m_title->text();
}

QString EmptyState::message() const
{
    return m_message->text();
}

void EmptyState::setMessage(const QString& message)
{
    m_message->setText(message);
    fitWrappedLabel(m_message, kTextWidth);
    m_message->setVisible(!message.isEmpty());
}

PlaceholderArea::PlaceholderArea(QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
}

EmptyState* PlaceholderArea::showContent(const EmptyState::Content& content)
{
    auto* placeholder = new EmptyState(content);
    placeholder->setAutoFillBackground(false);
    setWidget(placeholder); // deletes the previous one
    m_placeholder = placeholder;
    return placeholder;
}

QPushButton* prominentButton(const QString& text, const QString& symbol, const QColor& fill, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    if (!symbol.isEmpty())
        button->setIcon(symbolIcon(symbol, Qt::white));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                                         " padding: 6px 14px; font-weight: 600; }"
                                         "QPushButton:hover { background: %2; }"
                                         "QPushButton:pressed { background: %3; }")
                              .arg(fill.name(), fill.lighter(110).name(), fill.darker(115).name()));
    return button;
}

MultiSelectionView::MultiSelectionView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addStretch(1);
    layout->addWidget(new SymbolView(QStringLiteral("square.stack.3d.up"), 48, QColor(), this), 0, Qt::AlignHCenter);
    m_title = style::plainLabel(QString(), this);
    m_title->setFont(style::font(22, QFont::DemiBold));
    m_title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);
    m_delete = prominentButton(QString(), QStringLiteral("trash"), colors::red(), this);
    connect(m_delete, &QPushButton::clicked, this, &MultiSelectionView::deleteRequested);
    layout->addWidget(m_delete, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void MultiSelectionView::setCount(std::size_t count)
{
    m_title->setText(QStringLiteral("Выбрано ") + notesCountText(count));
    m_delete->setText(QStringLiteral("Удалить ") + notesCountText(count));
}

} // namespace palaverly
