#pragma once

#include "ui/logic/DetailLogic.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <map>
#include <optional>

namespace palaverly {

// The speaker turns of a transcript as list rows. Main thread only.
class TranscriptTurnsModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        NameRole = Qt::UserRole + 1,
        StartRole,
        TextRole,
        IsActiveRole,
        IsPlayingRole,
        IsFirstRole,
        IsLastRole
    };

    explicit TranscriptTurnsModel(QObject* parent = nullptr);

    // New turns (with new ids) and the names to show for their speakers.
    void setTurns(std::vector<SpeakerGroup> groups, std::map<std::string, std::string> displayNames);
    const std::vector<SpeakerGroup>& turns() const { return m_groups; }
    // Returns whether the active turn changed.
    bool setActive(std::optional<Uuid> id, bool isPlaying);
    std::optional<Uuid> activeID() const { return m_active; }
    int rowOf(const Uuid& id) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<SpeakerGroup> m_groups;
    std::map<std::string, std::string> m_names;
    std::optional<Uuid> m_active;
    bool m_isPlaying = false;
};

// Paints a turn: a play button, the speaker's name and the turn's start, then the text wrapped.
class TranscriptTurnDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kSideMargin = 24;
    static constexpr int kTopPadding = 12;
    static constexpr int kBottomPadding = 96;
    static constexpr int kSpacing = 10;

    explicit TranscriptTurnDelegate(QListView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

    // Where a row's card, play button and start time are, for a row at `rect`.
    static QRect cardRect(const QRect& rect, const QModelIndex& index);
    static QRect playButtonRect(const QRect& rect, const QModelIndex& index);
    QRect startTimeRect(const QRect& rect, const QModelIndex& index) const;

signals:
    void playRequested(int row);
    void seekRequested(int row);

private:
    int textWidth() const;

    QListView* m_view;
};

} // namespace palaverly
