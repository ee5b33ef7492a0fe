#include "ui/detail/RecordingDetail.h"

#include "audio/AudioPlayer.h"
#include "model/RecordingStore.h"
#include "ui/detail/LiveRecordingPane.h"
#include "ui/detail/PlayerBar.h"
#include "ui/detail/SummaryPane.h"
#include "ui/detail/TranscriptExportDialog.h"
#include "ui/detail/TranscriptPane.h"
#include "ui/logic/DetailLogic.h"
#include "ui/logic/LibraryLogic.h"
#include "ui/logic/LibraryRecorder.h"
#include "ui/widgets/FileReveal.h"
#include "ui/widgets/Placeholders.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace palaverly {

namespace {

constexpr int kSideMargin = 24;

// The small dot between two facts: 2.5 points, 40 % opacity.
class FactDot : public QWidget {
public:
    explicit FactDot(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(10, 10);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = palette().color(QPalette::WindowText);
        color.setAlphaF(0.4f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(width() / 2.0, height() / 2.0), 1.25, 1.25);
    }
};

QWidget* sectionHeading(const QString& symbol, const QString& title, QWidget* parent)
{
    auto* heading = new QWidget(parent);
    auto* layout = new QHBoxLayout(heading);
    layout->setContentsMargins(kSideMargin, 10, kSideMargin, 4);
    layout->setSpacing(6);
    layout->addWidget(new SymbolView(symbol, 13, style::secondaryText(heading->palette()), heading));
    auto* label = style::plainLabel(title, heading);
    label->setFont(style::font(12, QFont::DemiBold));
    style::setTextColor(label, style::secondaryText(heading->palette()));
    layout->addWidget(label);
    layout->addStretch(1);
    return heading;
}

} // namespace

RecordingDetail::RecordingDetail(
    RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, const Uuid& id, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_recorder(recorder)
    , m_settings(settings)
{
    m_recording.id = id;
    if (const Recording* found = store.recording(id))
        m_recording = *found;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: name and actions, then the facts.
    auto* header = new QWidget(this);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(kSideMargin - 4, 14, kSideMargin - 8, 10);
    headerLayout->setSpacing(4);
    auto* titleRow = new QHBoxLayout;
    m_name = new QLineEdit(header);
    m_name->setPlaceholderText(QStringLiteral("Название"));
    m_name->setFrame(false);
    m_name->setFont(style::font(20, QFont::DemiBold));
    QPalette namePalette = m_name->palette();
    namePalette.setColor(QPalette::Base, Qt::transparent);
    m_name->setPalette(namePalette);
    titleRow->addWidget(m_name, 1);
    m_actions = new QToolButton(header);
    m_actions->setIcon(symbolIcon(QStringLiteral("ellipsis.circle"), palette().color(QPalette::ButtonText)));
    m_actions->setIconSize(QSize(18, 18));
    m_actions->setAutoRaise(true);
    m_actions->setToolTip(QStringLiteral("Действия"));
    m_actions->setAccessibleName(QStringLiteral("Действия"));
    m_actions->setPopupMode(QToolButton::InstantPopup);
    m_actions->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    auto* actionsMenu = new QMenu(m_actions);
    connect(actionsMenu, &QMenu::aboutToShow, this, [this, actionsMenu] { fillActionsMenu(actionsMenu); });
    m_actions->setMenu(actionsMenu);
    titleRow->addWidget(m_actions, 0, Qt::AlignVCenter);
    headerLayout->addLayout(titleRow);
    m_facts = new QWidget(header);
    m_factsLayout = new QHBoxLayout(m_facts);
    m_factsLayout->setContentsMargins(4, 0, 0, 0);
    m_factsLayout->setSpacing(4);
    headerLayout->addWidget(m_facts);
    layout->addWidget(header);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setStyleSheet(QStringLiteral("color: %1;").arg(style::faintFill(palette()).name(QColor::HexArgb)));
    layout->addWidget(rule);

    // Body: the two sections, or the live pane.
    m_body = new QStackedWidget(this);
    m_sections = new QSplitter(Qt::Vertical, m_body);
    m_sections->setChildrenCollapsible(false);
    m_sections->setHandleWidth(6);
    auto* summarySection = new QWidget(m_sections);
    auto* summaryLayout = new QVBoxLayout(summarySection);
    summaryLayout->setContentsMargins(0, 0, 0, 0);
    summaryLayout->setSpacing(0);
    summaryLayout->addWidget(sectionHeading(QStringLiteral("sparkles"), QStringLiteral("Итоги"), summarySection));
    m_summary = new SummaryPane(summarySection);
    summaryLayout->addWidget(m_summary, 1);
    auto* transcriptSection = new QWidget(m_sections);
    auto* transcriptLayout = new QVBoxLayout(transcriptSection);
    transcriptLayout->setContentsMargins(0, 0, 0, 0);
    transcriptLayout->setSpacing(0);
    transcriptLayout->addWidget(
        sectionHeading(QStringLiteral("text.alignleft"), QStringLiteral("Транскрипт"), transcriptSection));
    m_transcript = new TranscriptPane(store, transcriptSection);
    transcriptLayout->addWidget(m_transcript, 1);
    m_sections->addWidget(summarySection);
    m_sections->addWidget(transcriptSection);
    m_sections->setStretchFactor(0, 1);
    m_sections->setStretchFactor(1, 2);
    m_body->addWidget(m_sections);
    layout->addWidget(m_body, 1);
    m_body->installEventFilter(this);

    connect(m_name, &QLineEdit::editingFinished, this, &RecordingDetail::commitName);
    connect(m_name, &QLineEdit::returnPressed, m_name, [this] { m_name->clearFocus(); });
    connect(m_summary, &SummaryPane::resummarizeRequested, this, [this] { m_recorder.resummarize(m_recording); });
    connect(m_transcript, &TranscriptPane::retryRequested, this,
        [this] { m_recorder.retryTranscription({m_recording.id}); });
    connect(m_transcript, &TranscriptPane::seekRequested, this, [this](double seconds) {
        if (m_player)
            m_player->seek(seconds);
    });
    connect(m_transcript, &TranscriptPane::playRequested, this, [this](double seconds) {
        if (!m_player)
            return;
        m_player->seek(seconds);
        m_player->play();
    });
    connect(
        m_transcript, &TranscriptPane::openServiceSettingsRequested, &recorder, &LibraryRecorder::openServiceSettings);
    connect(&store, &RecordingStore::recordingsChanged, this, &RecordingDetail::reload);
    connect(&recorder, &LibraryRecorder::summarizingStatesChanged, this, &RecordingDetail::refresh);
    connect(&recorder, &LibraryRecorder::transcribingStatesChanged, this, &RecordingDetail::refresh);
    connect(&recorder, &LibraryRecorder::currentRecordingIDChanged, this, &RecordingDetail::refresh);
    connect(&recorder, &LibraryRecorder::recordingStateChanged, this, &RecordingDetail::refresh);

    m_name->setText(QString::fromStdString(m_recording.name));
    m_name->setCursorPosition(0);
    refresh();
}

RecordingDetail::~RecordingDetail()
{
    // Hiding the widgets below moves the focus out of the name field, which must not commit
    // into a half-destroyed view.
    disconnect(m_name, nullptr, this, nullptr);
    // The panes hold the player weakly; it goes first.
    m_transcript->setPlayer(nullptr);
    delete m_overlay;
    m_player.reset();
}

bool RecordingDetail::eventFilter(QObject* watched, QEvent* event)
{
    // The summary takes about a third of the column until the user moves the divider.
    if (watched == m_body && event->type() == QEvent::Resize && !m_sectionsSized && m_body->height() > 0) {
        m_sectionsSized = true;
        const int height = m_body->height();
        m_sections->setSizes({height * 36 / 100, height - height * 36 / 100});
    }
    return QWidget::eventFilter(watched, event);
}

void RecordingDetail::reload()
{
    // A recording that disappeared keeps its last state; the library replaces this view.
    if (const Recording* found = m_store.recording(m_recording.id))
        m_recording = *found;
    refresh();
}

void RecordingDetail::refresh()
{
    if (!m_name->hasFocus() && m_name->text().toStdString() != m_recording.name) {
        m_name->setText(QString::fromStdString(m_recording.name));
        m_name->setCursorPosition(0);
    }
    refreshFacts();
    refreshBody();
}

void RecordingDetail::commitName()
{
    if (const auto name = nameToCommit(m_name->text(), m_recording.name)) {
        m_store.rename(m_recording, *name);
        return;
    }
    m_name->setText(QString::fromStdString(m_recording.name));
    m_name->setCursorPosition(0);
}

QString RecordingDetail::factsText() const
{
    QStringList parts;
    for (const QLabel* label : m_facts->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        parts << label->text();
    return parts.join(QStringLiteral(" · "));
}

void RecordingDetail::refreshFacts()
{
    while (QLayoutItem* item = m_factsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QColor color = style::secondaryText(palette());
    const auto addLabel = [&](const QString& text) {
        auto* label = style::plainLabel(text, m_facts);
        label->setFont(style::font(11));
        style::setTextColor(label, color);
        m_factsLayout->addWidget(label);
    };
    const auto addDot = [&] { m_factsLayout->addWidget(new FactDot(m_facts)); };
    const bool note = m_recording.kind == RecordingKind::note;
    m_factsLayout->addWidget(
        new SymbolView(note ? QStringLiteral("mic") : QStringLiteral("person.2.wave.2"), 11, color, m_facts));
    addLabel(note ? QStringLiteral("Заметка") : QStringLiteral("Встреча"));
    addDot();
    addLabel(factsDateText(m_recording.createdAt, QTimeZone::systemTimeZone()));
    if (m_recording.transcript && m_recording.transcript->numSpeakers.value_or(0) > 0) {
        const long long count = *m_recording.transcript->numSpeakers;
        addDot();
        addLabel(QString::number(count) + QLatin1Char(' ') + speakersWord(count));
    }
    addDot();
    addLabel(formatDuration(m_recording.duration));
    m_factsLayout->addStretch(1);
}

namespace {

TranscriptPane::MissingOffer missingTranscriptOffer(const LibraryRecorder& recorder, const Recording& recording)
{
    if (!recorder.transcriptionServiceSetUp())
        return TranscriptPane::MissingOffer::serviceSettings;
    return recorder.canRetryTranscription(recording) ? TranscriptPane::MissingOffer::retry
                                                     : TranscriptPane::MissingOffer::nothing;
}

} // namespace

void RecordingDetail::refreshBody()
{
    const bool live = m_recorder.currentRecordingID() == m_recording.id;
    if (live) {
        if (!m_live) {
            m_live = new LiveRecordingPane(m_recording.kind, m_recorder, m_settings, m_body);
            m_body->addWidget(m_live);
        }
        m_body->setCurrentWidget(m_live);
        if (m_overlay)
            m_overlay->hide();
        return;
    }
    if (m_live) {
        m_body->removeWidget(m_live);
        m_live->deleteLater();
        m_live = nullptr;
        // The file is complete now; a player made before would know only part of it.
        m_playerTried = false;
        m_transcript->setPlayer(nullptr);
        delete m_overlay;
        m_overlay = nullptr;
        m_player.reset();
    }
    m_body->setCurrentWidget(m_sections);
    m_summary->setContent(m_recording, m_recorder.summarizingState(m_recording.id));
    m_transcript->setContent(
        m_recording, m_recorder.transcribingState(m_recording.id), missingTranscriptOffer(m_recorder, m_recording));
    ensurePlayer();
}

void RecordingDetail::ensurePlayer()
{
    if (m_playerTried)
        return;
    m_playerTried = true;
    std::error_code ec;
    if (m_recording.audioURL().empty() || !std::filesystem::exists(m_recording.audioURL(), ec))
        return;
    m_player = AudioPlayer::create(m_recording.audioURL());
    if (!m_player)
        return;
    m_transcript->setPlayer(m_player.get());
    m_overlay = new FloatingPlayerOverlay(*m_player, m_body);
    m_overlay->show();
}

std::unique_ptr<QMenu> RecordingDetail::makeActionsMenu()
{
    auto menu = std::make_unique<QMenu>();
    fillActionsMenu(menu.get());
    return menu;
}

void RecordingDetail::fillActionsMenu(QMenu* menu)
{
    menu->clear();
    menu->addAction(symbolIcon(QStringLiteral("sparkles")),
        m_recording.summary ? QStringLiteral("Перегенерировать итоги") : QStringLiteral("Сгенерировать итоги"), this,
        [this] { m_recorder.resummarize(m_recording); });
    // Offered while there is no transcript; it waits while the recording is made or transcribed.
    const bool hasText = hasTranscriptText(m_recording);
    if (!hasText) {
        QAction* retry = menu->addAction(symbolIcon(QStringLiteral("arrow.clockwise")),
            QStringLiteral("Повторить расшифровку"), this, [this] { m_recorder.retryTranscription({m_recording.id}); });
        retry->setEnabled(m_recorder.canRetryTranscription(m_recording));
    }
    menu->addSeparator();
    addTranscriptActions(menu, m_store, m_recording, window());
    const std::filesystem::path folder = m_recording.directoryURL();
    menu->addAction(symbolIcon(QStringLiteral("folder")), QStringLiteral("Показать в файловом менеджере"), this,
        [folder] { revealInFileManager(folder); });
    menu->addSeparator();
    menu->addAction(symbolIcon(QStringLiteral("trash"), colors::red()), QStringLiteral("Удалить заметку"), this,
        &RecordingDetail::deleteRequested);
}

} // namespace palaverly
