#pragma once

#include "model/Recording.h"
#include "recorder/JobStates.h"
#include "ui/logic/DetailLogic.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class QListView;
class QPlainTextEdit;
class QStackedWidget;
class QVBoxLayout;

namespace palaverly {

class AudioPlayer;
class EmptyState;
class PlaceholderArea;
class RecordingStore;
class SpeakerChipsBar;
class TranscriptTurnDelegate;
class TranscriptTurnsModel;

// The "Транскрипт" section: the speaker chips and the turns (the active one highlighted and
// kept in view while playing), the plain text of a transcript without turns, or a placeholder.
// Main thread only.
class TranscriptPane : public QWidget {
    Q_OBJECT

public:
    explicit TranscriptPane(RecordingStore& store, QWidget* parent = nullptr);

    // What the placeholder of a missing transcript offers: nothing, "Повторить расшифровку", or,
    // when no speech-recognition service is set up, the notice with a way to the settings.
    enum class MissingOffer { nothing, retry, serviceSettings };
    void setContent(
        const Recording& recording, const TranscribingState& state, MissingOffer offer = MissingOffer::nothing);
    // The player of the shown recording, or null; it must outlive the pane or be reset first.
    void setPlayer(AudioPlayer* player);

    std::optional<TranscriptPaneState> state() const { return m_state; }
    SpeakerChipsBar* chipsBar() const { return m_chips; }
    QListView* turnsView() const { return m_turnsView; }
    TranscriptTurnsModel* turnsModel() const { return m_turns; }
    TranscriptTurnDelegate* turnDelegate() const { return m_delegate; }
    QPlainTextEdit* plainTextView() const { return m_plainText; }
    EmptyState* placeholder() const;
    // "Скопировать реплику" for the turn in `row`.
    void copyTurn(int row) const;

signals:
    void seekRequested(double seconds);
    void playRequested(double seconds);
    void openServiceSettingsRequested();
    void retryRequested();

private:
    void showTurns(const Transcript& transcript);
    void updateActiveTurn();
    void showTurnMenu(const QPoint& position);
    // `failure`: why the transcription failed, shown under the placeholder; empty for none.
    void showPlaceholder(TranscriptPaneState state, MissingOffer offer, const QString& failure);

    RecordingStore& m_store;
    QVBoxLayout* m_layout = nullptr;
    SpeakerChipsBar* m_chips = nullptr;
    QStackedWidget* m_stack = nullptr;
    QListView* m_turnsView = nullptr;
    TranscriptTurnsModel* m_turns = nullptr;
    TranscriptTurnDelegate* m_delegate = nullptr;
    QPlainTextEdit* m_plainText = nullptr;
    PlaceholderArea* m_placeholderArea = nullptr;
    QPointer<AudioPlayer> m_player;
    std::optional<TranscriptPaneState> m_state;
    MissingOffer m_offer = MissingOffer::nothing;
    std::shared_ptr<const Transcript> m_shown;
    QString m_failure; // the reason the placeholder shows, when the transcription failed
};

} // namespace palaverly
