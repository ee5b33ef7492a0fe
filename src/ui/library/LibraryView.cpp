#include "ui/library/LibraryView.h"

#include "model/RecordingStore.h"
#include "system/AppSettings.h"
#include "ui/detail/RecordingDetail.h"
#include "ui/detail/TranscriptExportDialog.h"
#include "ui/library/LibraryListModel.h"
#include "ui/library/RecordButton.h"
#include "ui/library/RecordingRowDelegate.h"
#include "ui/logic/LibraryRecorder.h"
#include "ui/widgets/FileReveal.h"
#include "ui/widgets/Placeholders.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QEasingCurve>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace palaverly {

namespace {

constexpr int kScrollMs = 200;
constexpr int kAnimationFrameMs = 33;
constexpr int kPulsePeriodMs = 1200;
// How often the list looks at what the search index's worker has read meanwhile.
constexpr int kIndexPollMs = 150;

} // namespace

void LibraryListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton || isHeader(indexAt(event->position().toPoint()))) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

QModelIndex LibraryListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex target = QListView::moveCursor(action, modifiers);
    if (!isHeader(target))
        return target;
    // Past the header the way the cursor went; at the top or bottom of the list, back the other
    // way; with no recording at all, where it was.
    const bool upwards
        = action == MoveUp || action == MovePageUp || action == MovePrevious || action == MoveLeft || action == MoveEnd;
    const int step = upwards ? -1 : 1;
    if (const QModelIndex beyond = nearestRecording(target.row() + step, step); beyond.isValid())
        return beyond;
    if (const QModelIndex back = nearestRecording(target.row() - step, -step); back.isValid())
        return back;
    return currentIndex();
}

bool LibraryListView::isHeader(const QModelIndex& index) const
{
    return index.isValid() && index.data(LibraryListModel::IsHeaderRole).toBool();
}

QModelIndex LibraryListView::nearestRecording(int row, int step) const
{
    for (; row >= 0 && row < model()->rowCount(); row += step) {
        const QModelIndex index = model()->index(row, 0);
        if (!isHeader(index))
            return index;
    }
    return {};
}

LibraryView::LibraryView(RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_recorder(recorder)
    , m_settings(settings)
    , m_now([] { return QDateTime::currentDateTime(); })
{
    // Beside the store's cache; a store without one (tests, previews) gets a private file.
    std::filesystem::path indexFile;
    if (!store.cacheFile().empty()) {
        indexFile = store.cacheFile().parent_path() / "search.sqlite";
    } else {
        m_privateIndexFolder = std::make_unique<QTemporaryDir>();
        indexFile = std::filesystem::path(m_privateIndexFolder->path().toStdString()) / "search.sqlite";
    }
    m_searchIndex = std::make_unique<SearchIndex>(indexFile);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(splitter);

    // Left column.
    auto* column = new QWidget(splitter);
    column->setMinimumWidth(kColumnMinWidth);
    column->setMaximumWidth(kColumnMaxWidth);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(8, 10, 8, 0);
    columnLayout->setSpacing(8);
    auto* title = style::plainLabel(QStringLiteral("Заметки"), column);
    title->setFont(style::font(15, QFont::Bold));
    title->setContentsMargins(6, 0, 0, 0);
    columnLayout->addWidget(title);
    m_search = new QLineEdit(column);
    m_search->setPlaceholderText(QStringLiteral("Поиск в заметках"));
    m_search->setClearButtonEnabled(true);
    m_search->addAction(
        symbolIcon(QStringLiteral("magnifyingglass"), style::secondaryText(palette())), QLineEdit::LeadingPosition);
    columnLayout->addWidget(m_search);
    m_indexProgress = style::plainLabel(QString(), column);
    m_indexProgress->setFont(style::font(11));
    m_indexProgress->setContentsMargins(6, 0, 0, 0);
    QPalette progressPalette = m_indexProgress->palette();
    progressPalette.setColor(QPalette::WindowText, style::secondaryText(palette()));
    m_indexProgress->setPalette(progressPalette);
    m_indexProgress->hide();
    columnLayout->addWidget(m_indexProgress);

    m_list = new LibraryListView(column);
    m_model = new LibraryListModel(this);
    m_delegate = new RecordingRowDelegate(this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_delegate);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setMouseTracking(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(false);
    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    m_list->setPalette(listPalette);
    columnLayout->addWidget(m_list, 1);
    column->setLayout(columnLayout);

    // Right column.
    m_pages = new QStackedWidget(splitter);
    m_pages->setMinimumWidth(420);
    m_emptyLibrary = new EmptyState({QStringLiteral("BrandMark"), QStringLiteral("Заметок пока нет"), QString(), false,
                                        false, colors::accent(), nullptr, 56},
        m_pages);
    refreshEmptyHint();
    if (m_settings) {
        connect(m_settings, &AppSettings::meetingHotkeyChanged, this, &LibraryView::refreshEmptyHint);
        connect(m_settings, &AppSettings::noteHotkeyChanged, this, &LibraryView::refreshEmptyHint);
    }
    m_selectHint
        = new EmptyState({QStringLiteral("waveform"), QStringLiteral("Выберите заметку"),
                             QStringLiteral("Кликните по заметке в списке слева, чтобы увидеть итоги и расшифровку."),
                             false, false, QColor(), nullptr, 44},
            m_pages);
    m_multi = new MultiSelectionView(m_pages);
    m_detailHost = new QWidget(m_pages);
    auto* hostLayout = new QVBoxLayout(m_detailHost);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* page : {static_cast<QWidget*>(m_emptyLibrary), static_cast<QWidget*>(m_selectHint),
             static_cast<QWidget*>(m_multi), m_detailHost})
        m_pages->addWidget(page);

    splitter->addWidget(column);
    splitter->addWidget(m_pages);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kColumnPreferredWidth, 900});

    m_recordButton = new RecordButton(recorder, settings, this);

    // Deletion dialog, reused for every request.
    m_dialog = style::confirmationDialog(this,
        QStringLiteral("Аудио и расшифровка будут удалены без возможности восстановления."), QStringLiteral("Удалить"),
        &m_dialogDelete);
    connect(m_dialog, &QMessageBox::finished, this, [this] {
        if (m_dialog->clickedButton() == m_dialogDelete)
            confirmDeletion();
        else
            m_pendingDeletion.clear();
    });

    connect(m_search, &QLineEdit::textChanged, this, &LibraryView::rebuildList);
    connect(
        m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &LibraryView::selectionChangedByUser);
    connect(m_list, &QWidget::customContextMenuRequested, this, &LibraryView::showRowMenu);
    connect(m_multi, &MultiSelectionView::deleteRequested, this, [this] { requestDeletion(m_selection); });
    for (const QKeySequence& key : {QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)}) {
        auto* shortcut = new QShortcut(key, m_list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (!m_selection.empty())
                requestDeletion(m_selection);
        });
    }

    connect(&store, &RecordingStore::recordingsChanged, this, [this] {
        m_searchIndex->invalidate();
        m_searchIndex->prepare(m_store.recordings(), QLocale::system());
        m_warmTimer.start();
        rebuildList();
        refreshDetail();
    });
    connect(&recorder, &LibraryRecorder::currentRecordingIDChanged, this, &LibraryView::followNewRecording);
    connect(&recorder, &LibraryRecorder::transcribingStatesChanged, this, &LibraryView::rebuildList);
    connect(&recorder, &LibraryRecorder::recordingStateChanged, this, &LibraryView::rebuildList);

    m_animationTimer.setInterval(kAnimationFrameMs);
    connect(&m_animationTimer, &QTimer::timeout, this, [this] {
        const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_animationStart;
        m_delegate->setPhase(static_cast<qreal>(elapsed % kPulsePeriodMs) / kPulsePeriodMs);
        m_list->viewport()->update();
    });
    m_warmTimer.setInterval(kIndexPollMs);
    connect(&m_warmTimer, &QTimer::timeout, this, &LibraryView::followSearchIndex);
    m_searchIndex->prepare(m_store.recordings(), QLocale::system());
    m_warmTimer.start();

    rebuildList();
    refreshDetail();
    // The list, not the search field, has the keyboard at first (the delete key acts on it).
    m_list->setFocus();
}

LibraryView::~LibraryView() = default;

QString LibraryView::query() const
{
    return m_search->text();
}

void LibraryView::setQuery(const QString& query)
{
    m_search->setText(query);
}

void LibraryView::setClock(std::function<QDateTime()> now)
{
    m_now = std::move(now);
    rebuildList();
}

void LibraryView::setSelection(const std::set<Uuid>& ids)
{
    m_selection = ids;
    applySelectionToList();
    refreshDetail();
}

QWidget* LibraryView::currentDetailPage() const
{
    return m_pages->currentWidget();
}

void LibraryView::rebuildList()
{
    LibraryListModel::Inputs inputs;
    inputs.query = m_search->text();
    inputs.now = m_now();
    inputs.calendar = UserCalendar::current();
    inputs.currentRecordingID = m_recorder.currentRecordingID();
    inputs.transcribingState = [this](const Uuid& id) { return m_recorder.transcribingState(id); };
    auto rows = LibraryListModel::buildRows(m_store.recordings(), inputs, *m_searchIndex);

    const int scroll = m_list->verticalScrollBar()->value();
    m_syncingSelection = true;
    const bool sameCount = static_cast<int>(rows.size()) == m_model->rowCount();
    m_model->setRows(std::move(rows));
    applySelectionToList();
    m_syncingSelection = false;
    if (sameCount && !m_scrollAnimation)
        m_list->verticalScrollBar()->setValue(scroll);

    if (m_scrollTarget && m_model->rowOf(*m_scrollTarget) >= 0) {
        const Uuid target = *m_scrollTarget;
        m_scrollTarget.reset();
        scrollRowToTop(target);
    }
    updateAnimation();
}

void LibraryView::applySelectionToList()
{
    const bool wasSyncing = m_syncingSelection;
    m_syncingSelection = true;
    QItemSelection selection;
    for (const Uuid& id : m_selection) {
        const int row = m_model->rowOf(id);
        if (row >= 0)
            selection.select(m_model->index(row), m_model->index(row));
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty() && !m_list->selectionModel()->currentIndex().isValid())
        m_list->selectionModel()->setCurrentIndex(selection.indexes().first(), QItemSelectionModel::NoUpdate);
    m_syncingSelection = wasSyncing;
}

void LibraryView::selectionChangedByUser()
{
    if (m_syncingSelection)
        return;
    std::set<Uuid> ids;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        if (auto id = Uuid::parse(index.data(LibraryListModel::IdRole).toString().toStdString()))
            ids.insert(*id);
    m_selection = std::move(ids);
    refreshDetail();
}

void LibraryView::refreshDetail()
{
    if (m_selection.size() >= 2) {
        m_multi->setCount(m_selection.size());
        m_pages->setCurrentWidget(m_multi);
        return;
    }
    if (m_selection.size() == 1 && m_store.recording(*m_selection.begin())) {
        const Uuid id = *m_selection.begin();
        if (!m_detail || m_detail->recordingID() != id) {
            // A new selection gets a new detail: name field, player and chips start fresh.
            delete m_detail;
            m_detail = new RecordingDetail(m_store, m_recorder, m_settings, id, m_detailHost);
            m_detailHost->layout()->addWidget(m_detail);
            connect(m_detail, &RecordingDetail::deleteRequested, this, [this, id] { requestDeletion({id}); });
        }
        m_pages->setCurrentWidget(m_detailHost);
        return;
    }
    if (m_detail) {
        m_detail->deleteLater();
        m_detail = nullptr;
    }
    m_pages->setCurrentWidget(m_store.recordings().empty() ? m_emptyLibrary : m_selectHint);
}

void LibraryView::followNewRecording()
{
    const auto id = m_recorder.currentRecordingID();
    if (!id)
        return;
    m_selection = {*id};
    m_scrollTarget = *id;
    if (!m_search->text().isEmpty())
        m_search->clear(); // rebuilds the list
    else
        rebuildList();
    refreshDetail();
}

void LibraryView::scrollRowToTop(const Uuid& id)
{
    const int row = m_model->rowOf(id);
    if (row < 0)
        return;
    // The section header above the row scrolls away with the rest.
    QScrollBar* bar = m_list->verticalScrollBar();
    const int target = std::clamp(bar->value() + m_list->visualRect(m_model->index(row)).top(), 0, bar->maximum());
    if (m_scrollAnimation)
        m_scrollAnimation->stop();
    m_scrollAnimation = new QVariantAnimation(this);
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->setDuration(kScrollMs);
    m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_scrollAnimation, &QVariantAnimation::valueChanged, bar,
        [bar](const QVariant& value) { bar->setValue(value.toInt()); });
    connect(m_scrollAnimation, &QVariantAnimation::finished, this, [this] { m_scrollAnimation = nullptr; });
    m_scrollAnimation->start(QAbstractAnimation::DeleteWhenStopped);
}

std::unique_ptr<QMenu> LibraryView::makeRowMenu(const Uuid& id)
{
    auto menu = std::make_unique<QMenu>();
    const Recording* recording = m_store.recording(id);
    if (!recording)
        return menu;
    const std::set<Uuid> targets = deletionTargets(id, m_selection);

    // Retry acts on the same recordings as delete (the selection when the row is part of it), in
    // the order of the list.
    std::vector<Uuid> retries;
    bool anyWithoutTranscript = false;
    for (const Recording& candidate : m_store.recordings()) {
        if (!targets.count(candidate.id) || hasTranscriptText(candidate))
            continue;
        anyWithoutTranscript = true;
        if (m_recorder.canRetryTranscription(candidate))
            retries.push_back(candidate.id);
    }
    if (anyWithoutTranscript) {
        QAction* retry = menu->addAction(symbolIcon(QStringLiteral("arrow.clockwise")), retryItemTitle(retries.size()),
            this, [this, retries] { m_recorder.retryTranscription(retries); });
        retry->setEnabled(!retries.empty());
    }
    addTranscriptActions(menu.get(), m_store, *recording, window());
    menu->addSeparator();

    const std::filesystem::path folder = recording->directoryURL();
    menu->addAction(symbolIcon(QStringLiteral("folder")), QStringLiteral("Показать в файловом менеджере"), this,
        [folder] { revealInFileManager(folder); });
    menu->addSeparator();
    menu->addAction(symbolIcon(QStringLiteral("trash"), colors::red()), deleteItemTitle(targets.size()), this,
        [this, targets] { requestDeletion(targets); });
    return menu;
}

void LibraryView::showRowMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    if (!index.isValid() || index.data(LibraryListModel::IsHeaderRole).toBool())
        return;
    const auto id = Uuid::parse(index.data(LibraryListModel::IdRole).toString().toStdString());
    if (!id)
        return;
    QMenu* menu = makeRowMenu(*id).release();
    menu->setParent(this, Qt::Popup);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void LibraryView::requestDeletion(const std::set<Uuid>& ids)
{
    if (ids.empty())
        return;
    m_pendingDeletion = ids;
    const QString title = deletionDialogTitle(ids.size());
    m_dialog->setWindowTitle(title);
    m_dialog->setText(title);
    m_dialog->open();
}

void LibraryView::confirmDeletion()
{
    const std::set<Uuid> ids = std::move(m_pendingDeletion);
    m_pendingDeletion.clear();
    for (const Uuid& id : ids)
        m_selection.erase(id);
    applySelectionToList();
    refreshDetail();
    // Running jobs of these recordings go on; the store logs what it cannot remove.
    m_store.deleteRecordings(ids);
}

void LibraryView::updateAnimation()
{
    const bool animate = m_model->hasAnimatedRows();
    if (animate && !m_animationTimer.isActive()) {
        m_animationStart = QDateTime::currentMSecsSinceEpoch();
        m_animationTimer.start();
    } else if (!animate && m_animationTimer.isActive()) {
        m_animationTimer.stop();
    }
}

void LibraryView::refreshEmptyHint()
{
    // The hint names the hotkeys the user set; without settings, the program's own.
    const HotkeyConfig meeting = m_settings ? m_settings->meetingHotkey() : AppSettings::kDefaultMeetingHotkey;
    const HotkeyConfig note = m_settings ? m_settings->noteHotkey() : AppSettings::kDefaultNoteHotkey;
    m_emptyLibrary->setMessage(emptyLibraryHint(meeting.displayString(), note.displayString()));
}

void LibraryView::followSearchIndex()
{
    const bool grew = m_searchIndex->collect();
    const SearchIndex::Progress progress = m_searchIndex->progress();
    if (progress.complete()) {
        m_warmTimer.stop();
        m_indexProgress->hide();
    } else {
        m_indexProgress->setText(
            QStringLiteral("Готовим поиск по расшифровкам: %1 из %2").arg(progress.indexed).arg(progress.total));
        m_indexProgress->show();
    }
    if (grew && isSearching(m_search->text()))
        rebuildList();
}

} // namespace palaverly
