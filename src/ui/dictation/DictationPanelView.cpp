#include "ui/dictation/DictationPanelView.h"

#include "dictation/DictationManager.h"
#include "ui/dictation/DictationBars.h"
#include "ui/dictation/DictationPanelLayout.h"
#include "ui/widgets/SymbolIcon.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QTimer>

namespace palaverly {

namespace {

constexpr int kRowSpacing = 12;
constexpr int kHorizontalMargin = 16;
constexpr int kVerticalMargin = 12;
constexpr int kMinimumWidth = 200;
constexpr int kIconSize = 16; // about the height of a 14-point symbol
constexpr int kErrorWidth = 280;
constexpr double kOutlineOpacity = 0.18;
constexpr double kOutlineWidth = 0.5;
constexpr double kSecondaryOpacity = 0.6;

QColor secondaryColor(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(static_cast<float>(kSecondaryOpacity));
    return color;
}

} // namespace

// An indeterminate spinner: an arc that turns while the widget is shown.
class DictationSpinner : public QWidget {
public:
    explicit DictationSpinner(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(kIconSize, kIconSize);
        m_timer.setInterval(40);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 24) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        m_timer.start();
        QWidget::showEvent(event);
    }
    void hideEvent(QHideEvent* event) override
    {
        m_timer.stop();
        QWidget::hideEvent(event);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(secondaryColor(palette()), 2, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
        painter.drawArc(box, -m_angle * 16, 270 * 16);
    }

private:
    QTimer m_timer;
    int m_angle = 0;
};

DictationPanelView::DictationPanelView(DictationManager* manager, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    setAttribute(Qt::WA_TranslucentBackground);

    // The window takes the size of its content, and is never narrower than the minimum: a strut
    // of the outer column holds the width, the row sits in its middle.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kHorizontalMargin, kVerticalMargin, kHorizontalMargin, kVerticalMargin);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addStrut(kMinimumWidth - 2 * kHorizontalMargin);
    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    row->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    row->addStretch(1);

    m_icon = new QLabel(this);
    m_icon->setFixedSize(kIconSize, kIconSize);
    auto* opacity = new QGraphicsOpacityEffect(m_icon);
    m_icon->setGraphicsEffect(opacity);
    m_pulse = new QPropertyAnimation(opacity, "opacity", this);
    m_pulse->setDuration(1000);
    m_pulse->setKeyValueAt(0, 1.0);
    m_pulse->setKeyValueAt(0.5, 0.35);
    m_pulse->setKeyValueAt(1, 1.0);
    m_pulse->setLoopCount(-1);

    m_spinner = new DictationSpinner(this);
    m_bars = new DictationBars([manager = m_manager] { return manager ? manager->inputLevel() : 0.0f; }, this);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    QPalette textPalette = m_text->palette();
    textPalette.setColor(QPalette::WindowText, secondaryColor(textPalette));
    m_text->setPalette(textPalette);

    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_spinner, 0, Qt::AlignVCenter);
    row->addWidget(m_bars, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 0, Qt::AlignVCenter);
    row->addStretch(1);

    if (m_manager)
        connect(m_manager, &DictationManager::stateChanged, this, &DictationPanelView::showState);
    showState();
}

DictationPanelView::~DictationPanelView() = default;

QString DictationPanelView::text() const
{
    return m_text->text();
}

void DictationPanelView::showState()
{
    using Kind = DictationManager::State::Kind;
    const Kind kind = m_manager ? m_manager->state().kind : Kind::idle;

    m_pulse->stop();
    m_icon->setVisible(kind == Kind::recording || kind == Kind::error);
    m_spinner->setVisible(kind == Kind::transcribing);
    m_bars->setVisible(kind == Kind::recording);
    m_text->setVisible(kind != Kind::idle);

    QFont callout = font();
    callout.setWeight(QFont::Medium);
    switch (kind) {
    case Kind::idle:
        m_text->clear();
        break;
    case Kind::recording:
        m_icon->setPixmap(symbolPixmap(QStringLiteral("mic.fill"), kIconSize, colors::red()));
        m_pulse->start();
        m_text->setFont(callout);
        m_text->setText(QStringLiteral("Слушаю…"));
        break;
    case Kind::transcribing:
        m_text->setFont(callout);
        m_text->setText(QStringLiteral("Распознаю…"));
        break;
    case Kind::error: {
        m_icon->setPixmap(symbolPixmap(QStringLiteral("exclamationmark.triangle.fill"), kIconSize, colors::orange()));
        QFont caption = font();
        caption.setPointSizeF(std::max(7.0, caption.pointSizeF() - 1.5));
        m_text->setFont(caption);
        m_text->setText(
            dictationpanel::clampLines(dictationpanel::errorExcerpt(m_manager->state().message), caption, kErrorWidth));
        break;
    }
    }
}

void DictationPanelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(kOutlineWidth, kOutlineWidth, -kOutlineWidth, -kOutlineWidth);
    const double radius = box.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(box, radius, radius);

    // A thin translucent material: the window colour, mostly opaque so the text stays readable
    // without a compositor's blur behind it.
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.92f);
    painter.fillPath(capsule, material);

    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(static_cast<float>(kOutlineOpacity));
    painter.setPen(QPen(outline, kOutlineWidth));
    painter.drawPath(capsule);
}

} // namespace palaverly
