#include "ui/detail/LiveRecordingPane.h"

#include "system/AppSettings.h"
#include "ui/logic/LibraryLogic.h"
#include "ui/logic/LibraryRecorder.h"
#include "ui/widgets/Placeholders.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace palaverly {

LiveLevelBars::LiveLevelBars(
    LibraryRecorder& recorder, int barCount, int barWidth, int barSpacing, int maxHeight, QWidget* parent)
    : QWidget(parent)
    , m_recorder(recorder)
    , m_barWidth(barWidth)
    , m_barSpacing(barSpacing)
    , m_maxHeight(maxHeight)
    , m_history(static_cast<std::size_t>(barCount), 0.0f)
{
    setFixedSize(sizeHint());
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &LiveLevelBars::step);
}

QSize LiveLevelBars::sizeHint() const
{
    const int count = static_cast<int>(m_history.size());
    return QSize(count * m_barWidth + std::max(0, count - 1) * m_barSpacing, m_maxHeight);
}

qreal LiveLevelBars::barHeight(float level, int maxHeight)
{
    // Speech sits far below full scale on the linear scale; the square root spreads it out.
    const double shown = std::sqrt(std::clamp(static_cast<double>(level), 0.0, 1.0));
    return 3.0 + (maxHeight - 3.0) * shown;
}

void LiveLevelBars::step()
{
    m_history.pop_front();
    m_history.push_back(m_recorder.inputLevel());
    update();
}

void LiveLevelBars::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void LiveLevelBars::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

void LiveLevelBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor color = colors::accent();
    qreal x = 0;
    for (const float level : m_history) {
        const qreal h = barHeight(level, m_maxHeight);
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(x, (m_maxHeight - h) / 2, m_barWidth, h), m_barWidth / 2.0, m_barWidth / 2.0);
        x += m_barWidth + m_barSpacing;
    }
}

LiveRecordingPane::LiveRecordingPane(
    RecordingKind kind, LibraryRecorder& recorder, const AppSettings* settings, QWidget* parent)
    : QWidget(parent)
    , m_recorder(recorder)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addStretch(1);
    auto* symbol = new SymbolView(QStringLiteral("record.circle.fill"), 40, colors::red(), this);
    symbol->setMotion(SymbolView::Motion::spinning);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    m_title = style::plainLabel(
        kind == RecordingKind::note ? QStringLiteral("Идёт быстрая заметка") : QStringLiteral("Идёт запись встречи"),
        this);
    m_title->setFont(style::font(17, QFont::DemiBold));
    layout->addWidget(m_title, 0, Qt::AlignHCenter);
    m_elapsed = style::plainLabel(QString(), this);
    m_elapsed->setFont(style::font(28, QFont::Light));
    layout->addWidget(m_elapsed, 0, Qt::AlignHCenter);
    m_bars = new LiveLevelBars(recorder, 32, 3, 4, 56, this);
    layout->addWidget(m_bars, 0, Qt::AlignHCenter);
    m_warningLine = new QWidget(this);
    auto* warningLayout = new QHBoxLayout(m_warningLine);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->setSpacing(8);
    warningLayout->addWidget(
        new SymbolView(QStringLiteral("exclamationmark.triangle"), 16, colors::orange(), m_warningLine), 0,
        Qt::AlignTop);
    m_warning = style::plainLabel(QString(), m_warningLine);
    m_warning->setWordWrap(true);
    m_warning->setFont(style::font(13, QFont::Medium));
    style::setTextColor(m_warning, colors::orange());
    warningLayout->addWidget(m_warning, 1);
    layout->addWidget(m_warningLine, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    m_stop = new QPushButton(symbolIcon(QStringLiteral("stop.circle.fill"), colors::red()), QString(), this);
    connect(m_stop, &QPushButton::clicked, &recorder, &LibraryRecorder::stopCurrent);
    const auto nameStopHotkey
        = [this](const HotkeyConfig& stop) { m_stop->setText(stopRecordingTitle(stop.displayString())); };
    nameStopHotkey(settings ? settings->stopHotkey() : HotkeyConfig{});
    if (settings)
        connect(settings, &AppSettings::stopHotkeyChanged, m_stop, nameStopHotkey);
    connect(&recorder, &LibraryRecorder::captureWarningChanged, this, &LiveRecordingPane::refreshWarning);
    layout->addWidget(m_stop, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &LiveRecordingPane::tick);
    m_clock.start();
    tick();
    refreshWarning();
}

void LiveRecordingPane::refreshWarning()
{
    const auto warning = m_recorder.captureWarning();
    const QString text = warning ? QString::fromStdString(*warning) : QString();
    m_warning->setText(text);
    // A wrapped label centred in a column gets no height for its width from the layout: fix both.
    const int width = std::min(EmptyState::kTextWidth, m_warning->fontMetrics().horizontalAdvance(text) + 2);
    m_warning->setFixedSize(width, m_warning->heightForWidth(width));
    m_warningLine->setVisible(warning.has_value());
}

void LiveRecordingPane::tick()
{
    const auto started = m_recorder.recordingStartedAt();
    const double seconds
        = started ? std::chrono::duration<double>(std::chrono::system_clock::now() - *started).count() : 0.0;
    m_elapsed->setText(formatDuration(std::floor(std::max(seconds, 0.0))));
}

} // namespace palaverly
