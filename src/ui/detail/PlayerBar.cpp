#include "ui/detail/PlayerBar.h"

#include "audio/AudioPlayer.h"
#include "ui/logic/LibraryLogic.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

namespace palaverly {

namespace {
// The scrubber counts in milliseconds.
constexpr double kSliderScale = 1000.0;
} // namespace

ScrubSlider::ScrubSlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
}

void ScrubSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        if (!handle.contains(event->position().toPoint())) {
            // Jump under the pointer, then let the press start a drag from there.
            const int span = std::max(1, width() - handle.width());
            const int x = static_cast<int>(event->position().x()) - handle.width() / 2;
            setSliderPosition(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span));
        }
    }
    QSlider::mousePressEvent(event);
}

PlayerBar::PlayerBar(AudioPlayer& player, QWidget* parent)
    : QWidget(parent)
    , m_player(player)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 12, 6);
    layout->setSpacing(8);
    m_play = new QToolButton(this);
    m_play->setAutoRaise(true);
    m_play->setIconSize(QSize(16, 16));
    m_play->setFixedSize(28, 28);
    layout->addWidget(m_play);
    m_time = style::plainLabel(QString(), this);
    m_time->setFont(style::font(11));
    layout->addWidget(m_time);
    m_slider = new ScrubSlider(this);
    m_slider->setRange(0, static_cast<int>(player.duration() * kSliderScale));
    m_slider->setMinimumWidth(80);
    layout->addWidget(m_slider, 1);
    m_duration = style::plainLabel(formatDuration(player.duration()), this);
    m_duration->setFont(style::font(11));
    style::setTextColor(m_duration, style::secondaryText(palette()));
    layout->addWidget(m_duration);

    connect(m_play, &QToolButton::clicked, &player, &AudioPlayer::toggle);
    // The position changes many times a second while playing; the button only with the state.
    connect(&player, &AudioPlayer::isPlayingChanged, this, &PlayerBar::refreshPlayButton);
    connect(&player, &AudioPlayer::currentTimeChanged, this, &PlayerBar::refreshTime);
    connect(m_slider, &QSlider::sliderPressed, this, [this] {
        m_isScrubbing = true;
        m_scrubTime = m_slider->sliderPosition() / kSliderScale;
        refreshTime();
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int value) {
        m_scrubTime = value / kSliderScale;
        refreshTime();
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        m_isScrubbing = false;
        m_player.seek(m_scrubTime);
        refreshTime();
    });
    refreshPlayButton();
    refreshTime();
}

void PlayerBar::refreshPlayButton()
{
    const bool playing = m_player.isPlaying();
    m_play->setIcon(symbolIcon(
        playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), palette().color(QPalette::ButtonText)));
    m_play->setToolTip(playing ? QStringLiteral("Пауза") : QStringLiteral("Воспроизвести"));
}

void PlayerBar::refreshTime()
{
    const double shown = m_isScrubbing ? m_scrubTime : m_player.currentTime();
    m_time->setText(formatDuration(shown));
    if (!m_isScrubbing) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(static_cast<int>(m_player.currentTime() * kSliderScale));
    }
}

FloatingPlayerOverlay::FloatingPlayerOverlay(AudioPlayer& player, QWidget* area)
    : QFrame(area)
    , m_area(area)
{
    setObjectName(QStringLiteral("floatingPlayer"));
    setAutoFillBackground(false);
    setStyleSheet(
        QStringLiteral("#floatingPlayer { background: %1; border: 1px solid %2; border-radius: 12px; }")
            .arg(palette().color(QPalette::Window).name(), style::faintFill(palette()).name(QColor::HexArgb)));
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(18);
    shadow->setOffset(0, 3);
    shadow->setColor(QColor(0, 0, 0, 60));
    setGraphicsEffect(shadow);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    m_bar = new PlayerBar(player, this);
    layout->addWidget(m_bar);
    area->installEventFilter(this);
    place();
    raise();
}

int FloatingPlayerOverlay::maxExpandedWidth(int areaWidth)
{
    return std::max(kMinWidth, areaWidth - 2 * kInset);
}

bool FloatingPlayerOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        place();
    return QFrame::eventFilter(watched, event);
}

void FloatingPlayerOverlay::place()
{
    const int width = std::min(kPreferredWidth, maxExpandedWidth(m_area->width()));
    const int height = sizeHint().height();
    setGeometry(kInset, m_area->height() - kInset - height, width, height);
    raise();
}

} // namespace palaverly
