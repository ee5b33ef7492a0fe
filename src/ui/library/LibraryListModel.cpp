#include "ui/library/LibraryListModel.h"

namespace palaverly {

namespace {

// A row shows two lines at most; the preview is cut well beyond that.
constexpr int kPreviewChars = 400;

bool sameStructure(const std::vector<LibraryListModel::Row>& a, const std::vector<LibraryListModel::Row>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].isHeader != b[i].isHeader)
            return false;
        if (a[i].isHeader ? a[i].groupID != b[i].groupID : a[i].id != b[i].id)
            return false;
    }
    return true;
}

} // namespace

std::vector<LibraryListModel::Row> LibraryListModel::buildRows(
    const std::vector<Recording>& recordings, const Inputs& inputs, SearchIndex& index)
{
    std::vector<Row> rows;
    const auto add = [&](const Recording& recording) {
        Row row;
        row.id = recording.id;
        row.title = QString::fromStdString(recording.name);
        row.kind = recording.kind;
        row.shortDate = shortDateText(recording.createdAt, inputs.now, inputs.calendar);
        row.preview = previewText(recording, kPreviewChars);
        row.isCurrent = inputs.currentRecordingID == recording.id;
        row.badge = statusBadge(
            recording, inputs.transcribingState ? inputs.transcribingState(recording.id) : TranscribingState{});
        rows.push_back(std::move(row));
    };
    if (isSearching(inputs.query)) {
        const auto found = filteredRecordings(recordings, inputs.query, QLocale::system(), index);
        Row header;
        header.isHeader = true;
        header.groupID = "search";
        header.title = QStringLiteral("Результаты поиска");
        rows.push_back(std::move(header));
        for (const Recording* recording : found)
            add(*recording);
        return rows;
    }
    for (const RecordingGroup& group : groupRecordings(recordings, inputs.now, inputs.calendar)) {
        Row header;
        header.isHeader = true;
        header.groupID = group.id;
        header.title = group.title;
        rows.push_back(std::move(header));
        for (const Recording* recording : group.recordings)
            add(*recording);
    }
    return rows;
}

LibraryListModel::LibraryListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void LibraryListModel::setRows(std::vector<Row> rows)
{
    if (sameStructure(m_rows, rows)) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] == m_rows[i])
                continue;
            m_rows[i] = std::move(rows[i]);
            const QModelIndex changed = index(static_cast<int>(i));
            emit dataChanged(changed, changed);
        }
        syncTypewriters();
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    m_rowOf.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (!m_rows[i].isHeader)
            m_rowOf[m_rows[i].id] = static_cast<int>(i);
    syncTypewriters();
    endResetModel();
}

void LibraryListModel::syncTypewriters()
{
    // A recording that left the list forgets its animation; one that (re)appears shows its
    // name at once; a shown one whose name changed types the new name in.
    for (auto it = m_typewriters.begin(); it != m_typewriters.end();) {
        if (m_rowOf.count(it->first))
            ++it;
        else
            it = m_typewriters.erase(it);
    }
    for (const Row& row : m_rows) {
        if (row.isHeader)
            continue;
        auto& typewriter = m_typewriters[row.id];
        if (!typewriter) {
            typewriter = std::make_unique<Typewriter>(kCharDelay);
            typewriter->setText(row.title);
            typewriter->appear();
            const Uuid id = row.id;
            connect(typewriter.get(), &Typewriter::displayedChanged, this, [this, id] {
                const int r = rowOf(id);
                if (r >= 0)
                    emit dataChanged(index(r), index(r), {Qt::DisplayRole});
            });
        } else {
            typewriter->setText(row.title);
        }
    }
}

int LibraryListModel::rowOf(const Uuid& id) const
{
    const auto it = m_rowOf.find(id);
    return it == m_rowOf.end() ? -1 : it->second;
}

bool LibraryListModel::hasAnimatedRows() const
{
    for (const Row& row : m_rows)
        if (!row.isHeader && (row.isCurrent || row.badge.kind == StatusBadge::Kind::transcribing))
            return true;
    return false;
}

Typewriter* LibraryListModel::typewriter(const Uuid& id) const
{
    const auto it = m_typewriters.find(id);
    return it == m_typewriters.end() ? nullptr : it->second.get();
}

int LibraryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant LibraryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (!row.isHeader)
            if (const Typewriter* typewriter = this->typewriter(row.id))
                return typewriter->displayed();
        return row.title;
    case Qt::AccessibleTextRole:
        return row.title;
    case IsHeaderRole:
        return row.isHeader;
    case IdRole:
        return row.isHeader ? QString() : QString::fromStdString(row.id.toString());
    case KindRole:
        return static_cast<int>(row.kind);
    case ShortDateRole:
        return row.shortDate;
    case PreviewRole:
        return row.preview;
    case BadgeKindRole:
        return static_cast<int>(row.badge.kind);
    case BadgeTextRole:
        return row.badge.text;
    case IsCurrentRole:
        return row.isCurrent;
    default:
        return {};
    }
}

Qt::ItemFlags LibraryListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return Qt::NoItemFlags;
    if (m_rows[static_cast<std::size_t>(index.row())].isHeader)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace palaverly
