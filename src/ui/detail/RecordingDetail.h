#pragma once

#include "model/Recording.h"

#include <QWidget>
#include <memory>

class QHBoxLayout;
class QLineEdit;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolButton;

namespace palaverly {

class AppSettings;
class AudioPlayer;
class FloatingPlayerOverlay;
class LibraryRecorder;
class LiveRecordingPane;
class RecordingStore;
class SummaryPane;
class TranscriptPane;

// The right column for one selected recording: its editable name, a line of facts, the
// "Действия" menu, and the "Итоги" and "Транскрипт" sections with a player floating over them;
// while the recording is being made, the live pane instead. Made anew for every selected
// recording; follows the store and the recorder while shown. Main thread only.
class RecordingDetail : public QWidget {
    Q_OBJECT

public:
    RecordingDetail(RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, const Uuid& id,
        QWidget* parent = nullptr);
    ~RecordingDetail() override;

    const Uuid& recordingID() const { return m_recording.id; }
    const Recording& recording() const { return m_recording; }

    // Commits the name field: a new non-empty trimmed name is saved, anything else is undone.
    void commitName();
    std::unique_ptr<QMenu> makeActionsMenu();

    QLineEdit* nameField() const { return m_name; }
    QWidget* factsLine() const { return m_facts; }
    QString factsText() const;
    QToolButton* actionsButton() const { return m_actions; }
    SummaryPane* summaryPane() const { return m_summary; }
    TranscriptPane* transcriptPane() const { return m_transcript; }
    LiveRecordingPane* livePane() const { return m_live; }
    AudioPlayer* player() const { return m_player.get(); }
    FloatingPlayerOverlay* playerOverlay() const { return m_overlay; }

signals:
    void deleteRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reload();
    void refresh();
    void refreshFacts();
    void refreshBody();
    void ensurePlayer();
    void fillActionsMenu(QMenu* menu);

    RecordingStore& m_store;
    LibraryRecorder& m_recorder;
    AppSettings* m_settings = nullptr;
    Recording m_recording;

    QLineEdit* m_name = nullptr;
    QWidget* m_facts = nullptr;
    QHBoxLayout* m_factsLayout = nullptr;
    QToolButton* m_actions = nullptr;
    QStackedWidget* m_body = nullptr;
    QSplitter* m_sections = nullptr;
    SummaryPane* m_summary = nullptr;
    TranscriptPane* m_transcript = nullptr;
    LiveRecordingPane* m_live = nullptr;
    std::unique_ptr<AudioPlayer> m_player;
    FloatingPlayerOverlay* m_overlay = nullptr;
    bool m_playerTried = false;
    bool m_sectionsSized = false;
};

} // namespace palaverly
