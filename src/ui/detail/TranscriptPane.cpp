#include "ui/detail/TranscriptPane.h"

#include "audio/AudioPlayer.h"
#include "model/RecordingStore.h"
#include "ui/detail/SpeakerChipsBar.h"
#include "ui/detail/TranscriptTurns.h"
#include "ui/widgets/Placeholders.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace palaverly {

namespace {
// What the floating player covers at the bottom of the pane.
constexpr int kPlayerRoom = 60;
} // namespace

TranscriptPane::TranscriptPane(RecordingStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_chips = new SpeakerChipsBar(
        store, [this] { return m_player ? m_player->currentTime() : 0.0; }, this);
    m_chips->hide();
    connect(m_chips, &SpeakerChipsBar::seekRequested, this, &TranscriptPane::seekRequested);
    m_layout->addWidget(m_chips);

    m_stack = new QStackedWidget(this);
    m_layout->addWidget(m_stack, 1);

    m_turnsView = new QListView(m_stack);
    m_turns = new TranscriptTurnsModel(this);
    m_delegate = new TranscriptTurnDelegate(m_turnsView);
    m_turnsView->setModel(m_turns);
    m_turnsView->setItemDelegate(m_delegate);
    m_turnsView->setSelectionMode(QAbstractItemView::NoSelection);
    m_turnsView->setFrameShape(QFrame::NoFrame);
    m_turnsView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_turnsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_turnsView->setResizeMode(QListView::Adjust);
    m_turnsView->setMouseTracking(true);
    m_turnsView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_turnsView->setFocusPolicy(Qt::NoFocus);
    QPalette listPalette = m_turnsView->palette();
    listPalette.setColor(QPalette::Base, Qt::transparent);
    m_turnsView->setPalette(listPalette);
    m_turnsView->viewport()->setAutoFillBackground(false);
    m_stack->addWidget(m_turnsView);
    connect(m_turnsView, &QWidget::customContextMenuRequested, this, &TranscriptPane::showTurnMenu);
    connect(m_delegate, &TranscriptTurnDelegate::playRequested, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_turns->turns().size()))
            emit playRequested(m_turns->turns()[static_cast<std::size_t>(row)].start);
    });
    connect(m_delegate, &TranscriptTurnDelegate::seekRequested, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_turns->turns().size()))
            emit seekRequested(m_turns->turns()[static_cast<std::size_t>(row)].start);
    });

    m_plainText = new style::PlainTextView(13, QMargins(20, 12, 20, 96), m_stack);
    m_stack->addWidget(m_plainText);
    m_placeholderArea = new PlaceholderArea(m_stack);
    m_placeholderArea->setBottomInset(kPlayerRoom);
    m_stack->addWidget(m_placeholderArea);
}

EmptyState* TranscriptPane::placeholder() const
{
    return m_stack->currentWidget() == m_placeholderArea ? m_placeholderArea->placeholder() : nullptr;
}

void TranscriptPane::setPlayer(AudioPlayer* player)
{
    if (m_player)
        disconnect(m_player, nullptr, this, nullptr);
    m_player = player;
    if (player) {
        connect(player, &AudioPlayer::currentTimeChanged, this, &TranscriptPane::updateActiveTurn);
        connect(player, &AudioPlayer::isPlayingChanged, this, &TranscriptPane::updateActiveTurn);
    }
    updateActiveTurn();
}

void TranscriptPane::setContent(const Recording& recording, const TranscribingState& state, MissingOffer offer)
{
    TranscriptPaneState next = transcriptPaneState(recording, state);
    std::shared_ptr<const Transcript> transcript;
    if (next == TranscriptPaneState::turns || next == TranscriptPaneState::plainText) {
        transcript = m_store.transcript(recording);
        // Changed on disk into something unreadable since the list was read.
        if (!transcript)
            next = TranscriptPaneState::missing;
    }
    const bool chips = transcript && showsSpeakerChips(*transcript);
    m_chips->setVisible(chips);
    if (chips)
        m_chips->setRecording(recording, transcript);

    const bool sameTranscript = transcript && m_shown && (m_shown == transcript || *m_shown == *transcript);
    if (next == TranscriptPaneState::turns) {
        if (m_state != next || !sameTranscript)
            showTurns(*transcript);
        m_shown = transcript;
    } else if (next == TranscriptPaneState::plainText) {
        const QString text = QString::fromStdString(transcript->plainText());
        if (m_plainText->toPlainText() != text)
            m_plainText->setPlainText(text);
        m_stack->setCurrentWidget(m_plainText);
        m_shown = transcript;
    } else {
        // A failed transcription says why under the placeholder.
        const QString failure = offer != MissingOffer::serviceSettings && state.kind == TranscribingState::Kind::failed
                && next == TranscriptPaneState::missing
            ? QString::fromStdString(state.detail)
            : QString();
        if (m_state != next || m_offer != offer || m_failure != failure)
            showPlaceholder(next, offer, failure);
    }
    m_state = next;
}

void TranscriptPane::showPlaceholder(TranscriptPaneState state, MissingOffer offer, const QString& failure)
{
    EmptyState::Content content;
    content.tint = style::secondaryText(palette());
    content.iconSize = 26;
    m_offer = MissingOffer::nothing;
    if (state == TranscriptPaneState::transcribing) {
        content.icon = QStringLiteral("arrow.triangle.2.circlepath");
        content.title = QStringLiteral("Расшифровываем…");
        content.message
            = QStringLiteral("Аудио обрабатывается сервисом распознавания. Это может занять несколько секунд.");
        content.rotating = true;
    } else if (state == TranscriptPaneState::queued) {
        content.icon = QStringLiteral("clock");
        content.title = QStringLiteral("В очереди на расшифровку");
        content.message = QStringLiteral("Расшифровка начнётся, как только закончится предыдущая.");
    } else if (offer == MissingOffer::serviceSettings) {
        content.icon = QStringLiteral("exclamationmark.triangle");
        content.title = QStringLiteral("Сервис распознавания не настроен");
        content.message = QStringLiteral("Укажите в настройках адрес сервиса распознавания речи — "
                                         "тогда записи будут расшифровываться.");
        auto* open = new QPushButton(QStringLiteral("Открыть настройки сервисов"));
        open->setObjectName(QStringLiteral("openServiceSettingsButton"));
        connect(open, &QPushButton::clicked, this, &TranscriptPane::openServiceSettingsRequested);
        content.action = open;
        m_offer = offer;
    } else {
        content.icon = QStringLiteral("text.bubble");
        content.title = QStringLiteral("Нет расшифровки");
        content.message = QStringLiteral("Расшифровка не удалась или ещё не сгенерирована.");
        if (offer == MissingOffer::retry) {
            auto* retry
                = new QPushButton(symbolIcon(QStringLiteral("arrow.clockwise"), palette().color(QPalette::ButtonText)),
                    QStringLiteral("Повторить расшифровку"));
            connect(retry, &QPushButton::clicked, this, &TranscriptPane::retryRequested);
            content.action = retry;
            m_offer = offer;
        }
    }
    content.detail = failure;
    m_failure = failure;
    m_placeholderArea->showContent(content);
    m_stack->setCurrentWidget(m_placeholderArea);
    m_shown.reset();
}

void TranscriptPane::showTurns(const Transcript& transcript)
{
    // A rebuild (a speaker renamed or merged) keeps the reading position.
    const int scroll = m_turnsView->verticalScrollBar()->value();
    std::map<std::string, std::string> names;
    for (const auto& segment : *transcript.segments)
        names.try_emplace(segment.speaker, transcript.displayName(segment.speaker));
    m_turns->setTurns(buildSpeakerGroups(*transcript.segments), std::move(names));
    m_stack->setCurrentWidget(m_turnsView);
    m_turnsView->doItemsLayout();
    m_turnsView->verticalScrollBar()->setValue(scroll);
    updateActiveTurn();
}

void TranscriptPane::updateActiveTurn()
{
    const bool playing = m_player && m_player->isPlaying();
    const double time = m_player ? m_player->currentTime() : 0.0;
    const auto active = activeGroupID(m_turns->turns(), m_player != nullptr, playing, time);
    if (!m_turns->setActive(active, playing) || !active)
        return;
    // Bring the new active turn into view, clear of the floating player at the bottom.
    const QModelIndex index = m_turns->index(m_turns->rowOf(*active));
    const QRect rect = m_turnsView->visualRect(index);
    const QRect visible = m_turnsView->viewport()->rect().adjusted(0, 0, 0, -TranscriptTurnDelegate::kBottomPadding);
    if (!visible.contains(rect.adjusted(0, 0, 0, -TranscriptTurnDelegate::kSpacing)))
        m_turnsView->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TranscriptPane::copyTurn(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_turns->turns().size()))
        return;
    QGuiApplication::clipboard()->setText(turnCopyText(m_turns->turns()[static_cast<std::size_t>(row)]));
}

void TranscriptPane::showTurnMenu(const QPoint& position)
{
    const QModelIndex index = m_turnsView->indexAt(position);
    if (!index.isValid())
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int row = index.row();
    menu->addAction(symbolIcon(QStringLiteral("doc.on.doc")), QStringLiteral("Скопировать реплику"), this,
        [this, row] { copyTurn(row); });
    menu->popup(m_turnsView->viewport()->mapToGlobal(position));
}

} // namespace palaverly
