#pragma once

#include "ui/logic/LibraryLogic.h"
#include "ui/logic/Typewriter.h"

#include <QAbstractListModel>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace palaverly {

// The rows of the library list: section headers and recordings, with everything a row shows
// copied out of the store (the store's list may move in memory at any reload). Names type
// themselves in through one Typewriter per shown recording. Main thread only.
class LibraryListModel : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kCharDelay{35};

    struct Row {
        bool isHeader = false;
        QString title; // header: the section title; recording: its name
        std::string groupID;
        Uuid id;
        RecordingKind kind = RecordingKind::meeting;
        QString shortDate;
        QString preview;
        StatusBadge badge;
        bool isCurrent = false;
        bool operator==(const Row&) const = default;
    };

    enum Role {
        IsHeaderRole = Qt::UserRole + 1,
        IdRole,
        KindRole,
        ShortDateRole,
        PreviewRole,
        BadgeKindRole,
        BadgeTextRole,
        IsCurrentRole,
    };

    // What the rows are made of, besides the recordings.
    struct Inputs {
        QString query;
        QDateTime now;
        UserCalendar calendar;
        std::optional<Uuid> currentRecordingID;
        std::function<TranscribingState(const Uuid&)> transcribingState;
    };
    // Sections by date, or the one "Результаты поиска" section while searching.
    static std::vector<Row> buildRows(
        const std::vector<Recording>& recordings, const Inputs& inputs, SearchIndex& index);

    explicit LibraryListModel(QObject* parent = nullptr);

    // Replaces the rows. When the same rows stand in the same order only their contents are
    // updated, so the view keeps its selection and scroll position.
    void setRows(std::vector<Row> rows);
    const std::vector<Row>& rows() const { return m_rows; }
    int rowOf(const Uuid& id) const;
    // Rows with a moving part (the pulsing dot, the spinner).
    bool hasAnimatedRows() const;
    Typewriter* typewriter(const Uuid& id) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void syncTypewriters();

    std::vector<Row> m_rows;
    std::map<Uuid, int> m_rowOf;
    std::map<Uuid, std::unique_ptr<Typewriter>> m_typewriters;
};

} // namespace palaverly
