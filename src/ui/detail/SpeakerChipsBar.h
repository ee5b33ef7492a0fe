#pragma once

#include "model/Recording.h"
#include "ui/detail/SpeakerRenamePopover.h"
#include "ui/logic/DetailLogic.h"

#include <QFrame>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QLabel;
class QMessageBox;
class QToolButton;

namespace palaverly {

class ChipsFlowLayout;
class RecordingStore;

// One speaker's chip: its shown name and a pencil. A click jumps to the speaker's next turn.
class SpeakerChip : public QFrame {
    Q_OBJECT

public:
    SpeakerChip(const SpeakerStat& stat, QWidget* parent = nullptr);
    const SpeakerStat& stat() const { return m_stat; }
    QToolButton* pencil() const { return m_pencil; }
    void setMarked(bool marked);

signals:
    void clicked();
    void renameRequested();
    void hovered(bool inside);
    void contextMenuRequested(const QPoint& globalPosition);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    SpeakerStat m_stat;
    QToolButton* m_pencil = nullptr;
    bool m_marked = false;
};

// The strip of speaker chips above the transcript: jumping between a speaker's turns, renaming
// speakers, merging one into another after a confirmation. Edits go to the store. Main thread.
class SpeakerChipsBar : public QWidget {
    Q_OBJECT

public:
    struct PendingMerge {
        Uuid id;
        std::string from;
        std::string fromName;
        std::string into;
        std::string intoName;
    };

    // `currentTime` gives the player's position (0 without a player).
    SpeakerChipsBar(RecordingStore& store, std::function<double()> currentTime, QWidget* parent = nullptr);

    // The recording and its transcript whose speakers are shown; rebuilds the chips when the
    // speakers or their names changed.
    void setRecording(const Recording& recording, std::shared_ptr<const Transcript> transcript);

    // The actions of the bar, as the chips, menus and popovers invoke them.
    void jumpToNextTurn(const std::string& speaker);
    void openRename(const std::string& speaker);
    void requestMerge(const std::string& from, const std::string& into);

    const std::vector<SpeakerStat>& stats() const { return m_stats; }
    SpeakerChip* chip(const std::string& speaker) const;
    QToolButton* overflowButton() const { return m_overflow; }
    ChipsFlowLayout* flowLayout() const { return m_layout; }
    SpeakerRenamePopover* renamePopover() const { return m_popover; }
    QMessageBox* mergeDialog() const { return m_mergeDialog; }
    const std::optional<PendingMerge>& pendingMerge() const { return m_pendingMerge; }
    const std::optional<std::string>& hoveredSpeaker() const { return m_hoveredSpeaker; }
    std::unique_ptr<QMenu> makeChipMenu(const std::string& speaker);

signals:
    void seekRequested(double seconds);

private:
    SpeakerChip* makeChip(const SpeakerStat& stat, QWidget* parent);
    void showOverflow();
    void confirmMerge(bool merge);

    RecordingStore& m_store;
    std::function<double()> m_currentTime;
    Recording m_recording;
    std::shared_ptr<const Transcript> m_transcript;
    std::vector<SpeakerStat> m_stats;
    std::vector<SpeakerChip*> m_chips;
    ChipsFlowLayout* m_layout = nullptr;
    QToolButton* m_overflow = nullptr;
    QPointer<SpeakerRenamePopover> m_popover;
    QMessageBox* m_mergeDialog = nullptr;
    std::optional<std::string> m_renameTarget;
    std::optional<PendingMerge> m_pendingMerge;
    std::optional<std::string> m_hoveredSpeaker;
    std::map<std::string, double> m_lastSeek;
};

} // namespace palaverly
