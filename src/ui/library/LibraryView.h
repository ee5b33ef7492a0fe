#pragma once

#include "ui/logic/LibraryLogic.h"

#include <QDateTime>
#include <QListView>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <set>

class QLabel;
class QLineEdit;
class QMenu;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QTemporaryDir;
class QVariantAnimation;

namespace palaverly {

class AppSettings;
class EmptyState;
class LibraryListModel;
class LibraryRecorder;
class MultiSelectionView;
class RecordButton;
class RecordingDetail;
class RecordingRowDelegate;
class RecordingStore;

// The list of the library: several rows may be selected; a right click shows the row's menu
// without changing the selection. Section headers are never selected: the arrow keys pass over
// them, and a click on one leaves the selection as it was.
class LibraryListView : public QListView {
    Q_OBJECT

public:
    using QListView::QListView;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    bool isHeader(const QModelIndex& index) const;
    // The nearest recording row from `row` on, one step at a time; invalid when there is none.
    QModelIndex nearestRecording(int row, int step) const;
};

// The content of the library window: on the left the searchable list of recordings grouped by
// date, on the right the selected recording's detail, a placeholder, or the summary of a multiple
// selection. Every deletion passes through its confirmation dialog. Follows the store and the
// recorder live. Main thread only.
class LibraryView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kColumnMinWidth = 260;
    static constexpr int kColumnMaxWidth = 380;
    static constexpr int kColumnPreferredWidth = 300;

    // `settings` may be null: the toolbar then shows no hotkeys.
    LibraryView(RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, QWidget* parent = nullptr);
    ~LibraryView() override;

    const std::set<Uuid>& selection() const { return m_selection; }
    void setSelection(const std::set<Uuid>& ids);
    const std::set<Uuid>& pendingDeletion() const { return m_pendingDeletion; }
    QString query() const;
    void setQuery(const QString& query);

    // Sets pendingDeletion and shows the confirmation dialog; nothing for an empty set.
    void requestDeletion(const std::set<Uuid>& ids);
    // The context menu of a row, built afresh (the caller owns it).
    std::unique_ptr<QMenu> makeRowMenu(const Uuid& id);

    // For the window's toolbar.
    RecordButton* recordButton() const { return m_recordButton; }
    // Parts, for tests and the window.
    LibraryListView* list() const { return m_list; }
    LibraryListModel* listModel() const { return m_model; }
    QLineEdit* searchField() const { return m_search; }
    SearchIndex& searchIndex() const { return *m_searchIndex; }
    RecordingDetail* detail() const { return m_detail; }
    QWidget* currentDetailPage() const;
    EmptyState* emptyLibraryPlaceholder() const { return m_emptyLibrary; }
    EmptyState* selectPlaceholder() const { return m_selectHint; }
    MultiSelectionView* multiSelectionView() const { return m_multi; }
    QMessageBox* deletionDialog() const { return m_dialog; }

    // The clock that decides "today"; the system clock unless replaced.
    void setClock(std::function<QDateTime()> now);

private:
    void rebuildList();
    void applySelectionToList();
    void selectionChangedByUser();
    void refreshDetail();
    void followNewRecording();
    void scrollRowToTop(const Uuid& id);
    void showRowMenu(const QPoint& position);
    void confirmDeletion();
    void updateAnimation();
    void followSearchIndex();
    void refreshEmptyHint();

    RecordingStore& m_store;
    LibraryRecorder& m_recorder;
    AppSettings* m_settings = nullptr;

    std::set<Uuid> m_selection;
    std::set<Uuid> m_pendingDeletion;
    std::optional<Uuid> m_scrollTarget;
    std::function<QDateTime()> m_now;
    std::unique_ptr<QTemporaryDir> m_privateIndexFolder;
    std::unique_ptr<SearchIndex> m_searchIndex;
    bool m_syncingSelection = false;

    QLineEdit* m_search = nullptr;
    QLabel* m_indexProgress = nullptr;
    LibraryListView* m_list = nullptr;
    LibraryListModel* m_model = nullptr;
    RecordingRowDelegate* m_delegate = nullptr;
    RecordButton* m_recordButton = nullptr;
    QStackedWidget* m_pages = nullptr;
    EmptyState* m_emptyLibrary = nullptr;
    EmptyState* m_selectHint = nullptr;
    MultiSelectionView* m_multi = nullptr;
    QWidget* m_detailHost = nullptr;
    RecordingDetail* m_detail = nullptr;
    QMessageBox* m_dialog = nullptr;
    QPushButton* m_dialogDelete = nullptr;
    QVariantAnimation* m_scrollAnimation = nullptr;
    QTimer m_animationTimer;
    QTimer m_warmTimer;
    qint64 m_animationStart = 0;
};

} // namespace palaverly
