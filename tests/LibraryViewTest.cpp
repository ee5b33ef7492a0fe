#include "ui/library/LibraryView.h"

#include "ScriptedRecorder.h"
#include "TempLibrary.h"
#include "WidgetFind.h"

#include "QtWait.h"
#include "model/RecordingStore.h"
#include "system/AppSettings.h"
#include "system/NotificationCenter.h"
#include "ui/detail/LiveRecordingPane.h"
#include "ui/detail/RecordingDetail.h"
#include "ui/library/LibraryListModel.h"
#include "ui/widgets/Placeholders.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace palaverly;
using palaverly::test::ScriptedRecorder;
using palaverly::test::TempLibrary;
using namespace palaverly::test;
namespace fs = std::filesystem;

namespace {

class LibraryViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A fixed noon, so that every recording falls on "today" whatever the time of the run.
        for (int i = 0; i < 5; ++i) {
            auto meta = TempLibrary::meta("Запись " + std::to_string(i + 1));
            meta.createdAt = Timestamp(std::chrono::seconds(m_now.addSecs(-600 * (i + 1)).toSecsSinceEpoch()));
            meta.duration = 30;
            m_metas.push_back(meta);
            m_library.addRecording(meta);
        }
        m_store = std::make_unique<RecordingStore>(m_library.base());
        m_view = std::make_unique<LibraryView>(*m_store, m_recorder, &m_settings);
        m_view->setClock([this] { return m_now; });
        m_view->resize(1000, 600);
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }

    QRect rowRect(int recordingIndex) const
    {
        const int row = m_view->listModel()->rowOf(m_metas[static_cast<std::size_t>(recordingIndex)].id);
        return m_view->list()->visualRect(m_view->listModel()->index(row));
    }

    void click(int recordingIndex, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(m_view->list()->viewport(), Qt::LeftButton, modifiers, rowRect(recordingIndex).center());
    }

    // Opens the row menu the way a right click does and returns it.
    QMenu* rightClick(int recordingIndex)
    {
        const QPoint at = rowRect(recordingIndex).center();
        QTest::mousePress(m_view->list()->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, m_view->list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(m_view->list()->viewport(), &event);
        QMenu* found = nullptr;
        test::waitUntil([&] {
            for (QMenu* menu : m_view->findChildren<QMenu*>())
                if (menu->isVisible())
                    found = menu;
            return found != nullptr;
        });
        return found;
    }

    std::set<Uuid> ids(std::initializer_list<int> indexes) const
    {
        std::set<Uuid> out;
        for (int i : indexes)
            out.insert(m_metas[static_cast<std::size_t>(i)].id);
        return out;
    }

    bool exists(int recordingIndex) const
    {
        return fs::exists(m_library.folderOf(m_metas[static_cast<std::size_t>(recordingIndex)]));
    }

    const QDateTime m_now{QDate::currentDate(), QTime(12, 0)};
    QTemporaryDir m_settingsDir;
    QSettings m_settingsFile{m_settingsDir.filePath("palaverly.conf"), QSettings::IniFormat};
    NotificationCenter m_notifications;
    AppSettings m_settings{m_settingsFile, m_notifications};
    TempLibrary m_library;
    std::vector<RecordingMeta> m_metas;
    std::unique_ptr<RecordingStore> m_store;
    ScriptedRecorder m_recorder;
    std::unique_ptr<LibraryView> m_view;
};

} // namespace

TEST_F(LibraryViewTest, SelectingThreeRowsAndPressingDeleteDeletesThemAfterConfirmation)
{
    EXPECT_EQ(m_view->currentDetailPage(), m_view->selectPlaceholder());
    click(0);
    EXPECT_EQ(m_view->currentDetailPage()->findChild<RecordingDetail*>(), m_view->detail());
    click(1, Qt::ControlModifier);
    click(3, Qt::ControlModifier);
    EXPECT_EQ(m_view->selection(), ids({0, 1, 3}));
    EXPECT_EQ(m_view->currentDetailPage(), m_view->multiSelectionView());

    m_view->list()->setFocus();
    QTest::keyClick(m_view->list(), Qt::Key_Delete);
    ASSERT_TRUE(test::waitUntil([&] { return m_view->deletionDialog()->isVisible(); }));
    EXPECT_EQ(m_view->deletionDialog()->text(), "Удалить 3 заметки?");
    EXPECT_EQ(m_view->deletionDialog()->informativeText(),
        "Аудио и расшифровка будут удалены без возможности восстановления.");
    EXPECT_EQ(m_view->pendingDeletion(), ids({0, 1, 3}));
    QTest::mouseClick(buttonWithText(m_view->deletionDialog(), "Удалить"), Qt::LeftButton);

    EXPECT_FALSE(exists(0));
    EXPECT_FALSE(exists(1));
    EXPECT_FALSE(exists(3));
    EXPECT_TRUE(exists(2));
    EXPECT_EQ(m_store->recordings().size(), 2u);
    EXPECT_TRUE(m_view->selection().empty());
    EXPECT_TRUE(m_view->pendingDeletion().empty());
    EXPECT_EQ(m_view->currentDetailPage(), m_view->selectPlaceholder());
}

TEST_F(LibraryViewTest, RightClickingAnUnselectedRowDeletesOnlyThatRow)
{
    click(0);
    click(1, Qt::ControlModifier);
    QMenu* menu = rightClick(3);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menuTexts(menu).mid(3), (QStringList{"—", "Показать в файловом менеджере", "—", "Удалить"}));
    EXPECT_EQ(m_view->selection(), ids({0, 1})); // the right click selected nothing
    menuAction(menu, "Удалить")->trigger();
    menu->close();
    ASSERT_TRUE(m_view->deletionDialog()->isVisible());
    EXPECT_EQ(m_view->deletionDialog()->text(), "Удалить эту заметку?");
    QTest::mouseClick(buttonWithText(m_view->deletionDialog(), "Удалить"), Qt::LeftButton);
    EXPECT_FALSE(exists(3));
    EXPECT_TRUE(exists(0) && exists(1) && exists(2) && exists(4));
    EXPECT_EQ(m_view->selection(), ids({0, 1}));

    // On one of the selected rows the item names and deletes the whole selection.
    menu = rightClick(1);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menuTexts(menu).last(), "Удалить 2 заметки");
    menuAction(menu, "Удалить 2 заметки")->trigger();
    menu->close();
    EXPECT_EQ(m_view->deletionDialog()->text(), "Удалить 2 заметки?");
    QTest::mouseClick(buttonWithText(m_view->deletionDialog(), "Удалить"), Qt::LeftButton);
    EXPECT_FALSE(exists(0));
    EXPECT_FALSE(exists(1));
    EXPECT_EQ(m_store->recordings().size(), 2u);
}

TEST_F(LibraryViewTest, TheRowMenuRetriesTheSelectionInListOrderAndCopiesATranscript)
{
    // 0 and 1 have recorded audio and no transcript, 2 has a transcript, 3 only a bare header.
    const auto folder = [&](int i) { return m_library.folderOf(m_metas[static_cast<std::size_t>(i)]); };
    for (int i : {0, 1, 2})
        TempLibrary::writeFile(folder(i) / "audio.wav", std::string(4844, '\0'));
    Transcript transcript;
    transcript.segments = std::vector<TranscriptSegment>{{"A", "Да.", 0, 1}, {"B", "Нет.", 1, 2}};
    transcript.speakerLabels = std::map<std::string, std::string>{{"B", "Борис"}};
    TempLibrary::writeFile(folder(2) / "transcript.json", RecordingStore::encode(transcript.toJson()));
    m_store->reload();

    click(1);
    click(0, Qt::ControlModifier);
    click(2, Qt::ControlModifier);
    click(3, Qt::ControlModifier);
    QMenu* menu = rightClick(2);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menuTexts(menu).mid(0, 3),
        (QStringList{"Повторить расшифровку (2)", "Экспортировать…", "Копировать расшифровку"}));
    menuAction(menu, "Копировать расшифровку")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "A: Да.\n\nБорис: Нет.");
    menuAction(menu, "Повторить расшифровку (2)")->trigger();
    menu->close();
    EXPECT_EQ(m_recorder.retried, (std::vector<std::vector<Uuid>>{{m_metas[0].id, m_metas[1].id}}));

    // Neither while one of them waits its turn, nor while it is being made.
    m_recorder.setTranscribing(m_metas[0].id, TranscribingState::queued());
    m_recorder.startRecording(m_metas[1].id, RecordingKind::meeting, std::chrono::system_clock::now());
    for (int i : {0, 1}) {
        menu = rightClick(i);
        ASSERT_TRUE(menu);
        EXPECT_EQ(menuTexts(menu).mid(0, 3),
            (QStringList{"Повторить расшифровку", "Экспортировать…", "Копировать расшифровку"}));
        EXPECT_FALSE(menuAction(menu, "Повторить расшифровку")->isEnabled());
        EXPECT_FALSE(menuAction(menu, "Экспортировать…")->isEnabled());
        menu->close();
    }
}

TEST_F(LibraryViewTest, CancellingTheDialogDeletesNothingAndKeepsTheSelection)
{
    click(0);
    click(2, Qt::ControlModifier);
    click(4, Qt::ControlModifier);
    QTest::keyClick(m_view->list(), Qt::Key_Delete);
    ASSERT_TRUE(m_view->deletionDialog()->isVisible());
    QTest::mouseClick(buttonWithText(m_view->deletionDialog(), "Отмена"), Qt::LeftButton);
    EXPECT_TRUE(m_view->pendingDeletion().empty());
    EXPECT_EQ(m_view->selection(), ids({0, 2, 4}));
    EXPECT_EQ(m_store->recordings().size(), 5u);

    // Escape dismisses it the same way; the multiple selection's button opens it again.
    m_view->multiSelectionView()->deleteButton()->click();
    ASSERT_TRUE(m_view->deletionDialog()->isVisible());
    QTest::keyClick(m_view->deletionDialog(), Qt::Key_Escape);
    EXPECT_FALSE(m_view->deletionDialog()->isVisible());
    EXPECT_TRUE(m_view->pendingDeletion().empty());
    EXPECT_EQ(m_store->recordings().size(), 5u);
}

TEST_F(LibraryViewTest, ArrowKeysPassOverSectionHeadersAndAClickOnOneKeepsTheSelection)
{
    auto older = TempLibrary::meta("Вчерашняя");
    older.createdAt = Timestamp(std::chrono::seconds(m_now.addDays(-1).toSecsSinceEpoch()));
    m_library.addRecording(older);
    m_store->reload();
    const auto headerRect = [&](const char* title) {
        const auto& rows = m_view->listModel()->rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].isHeader && rows[i].title == QString::fromUtf8(title))
                return m_view->list()->visualRect(m_view->listModel()->index(static_cast<int>(i)));
        return QRect();
    };
    ASSERT_TRUE(headerRect("Вчера").isValid());

    click(4); // the last of today
    m_view->list()->setFocus();
    QTest::keyClick(m_view->list(), Qt::Key_Down);
    EXPECT_EQ(m_view->selection(), std::set<Uuid>{older.id});
    ASSERT_TRUE(m_view->detail());
    EXPECT_EQ(m_view->detail()->recordingID(), older.id);
    QTest::keyClick(m_view->list(), Qt::Key_Up);
    EXPECT_EQ(m_view->selection(), ids({4}));
    QTest::keyClick(m_view->list(), Qt::Key_Home); // the first row is a header
    EXPECT_EQ(m_view->selection(), ids({0}));
    QTest::keyClick(m_view->list(), Qt::Key_Up); // nothing above but the header
    EXPECT_EQ(m_view->selection(), ids({0}));

    QTest::mouseClick(m_view->list()->viewport(), Qt::LeftButton, {}, headerRect("Вчера").center());
    EXPECT_EQ(m_view->selection(), ids({0}));
    EXPECT_EQ(m_view->detail()->recordingID(), m_metas[0].id);
}

TEST_F(LibraryViewTest, SearchShowsOneFlatSectionAndANewRecordingClearsIt)
{
    const auto headers = [&] {
        QStringList out;
        for (const auto& row : m_view->listModel()->rows())
            if (row.isHeader)
                out << row.title;
        return out;
    };
    EXPECT_EQ(headers(), QStringList{"Сегодня"});
    m_view->setQuery("  запись 3 ");
    EXPECT_EQ(headers(), QStringList{"Результаты поиска"});
    ASSERT_EQ(m_view->listModel()->rows().size(), 2u);
    EXPECT_EQ(m_view->listModel()->rows()[1].id, m_metas[2].id);

    // A recording starts while searching: the search goes, the new row is selected and growing.
    auto fresh = TempLibrary::meta("Встреча — сейчас");
    fresh.createdAt = Timestamp(std::chrono::seconds(m_now.toSecsSinceEpoch()));
    m_library.addRecording(fresh);
    m_store->reload();
    m_recorder.startRecording(fresh.id, RecordingKind::meeting, std::chrono::system_clock::now());
    EXPECT_EQ(m_view->query(), "");
    EXPECT_EQ(headers(), QStringList{"Сегодня"});
    EXPECT_EQ(m_view->selection(), std::set<Uuid>{fresh.id});
    const auto& row = m_view->listModel()->rows()[static_cast<std::size_t>(m_view->listModel()->rowOf(fresh.id))];
    EXPECT_TRUE(row.isCurrent);
    EXPECT_EQ(row.badge.text, "Идёт запись…");
    ASSERT_TRUE(m_view->detail());
    EXPECT_EQ(m_view->detail()->recordingID(), fresh.id);
}

TEST_F(LibraryViewTest, PlaceholdersFollowTheLibraryBadgesTheRecorderAndHintsTheHotkeys)
{
    // Keys whose names do not depend on the keyboard layout.
    m_settings.setMeetingHotkey({96, HotkeyConfig::kCommand}); // F5
    m_settings.setNoteHotkey({});
    m_settings.setStopHotkey({97, HotkeyConfig::kCommand | HotkeyConfig::kShift}); // F6
    m_recorder.startRecording(m_metas[0].id, RecordingKind::meeting, std::chrono::system_clock::now());
    ASSERT_TRUE(m_view->detail() && m_view->detail()->livePane());
    EXPECT_EQ(m_view->detail()->livePane()->stopButton()->text(), "Остановить запись (Ctrl+Shift+F6)");
    m_recorder.stopRecording();

    m_recorder.setTranscribing(m_metas[1].id, TranscribingState::failed("Нет сети"));
    const auto badge = [&](int i) {
        return m_view->listModel()
            ->rows()[static_cast<std::size_t>(m_view->listModel()->rowOf(m_metas[i].id))]
            .badge.text;
    };
    EXPECT_EQ(badge(1), "Ошибка расшифровки");
    EXPECT_EQ(badge(0), "Нет расшифровки");
    m_recorder.setTranscribing(m_metas[1].id, TranscribingState::running("uploading"));
    EXPECT_EQ(badge(1), "Расшифровываем…");

    std::set<Uuid> all;
    for (const auto& meta : m_metas)
        all.insert(meta.id);
    m_store->deleteRecordings(all);
    EXPECT_EQ(m_view->currentDetailPage(), m_view->emptyLibraryPlaceholder());
    EXPECT_EQ(m_view->emptyLibraryPlaceholder()->title(), "Заметок пока нет");
    EXPECT_EQ(m_view->emptyLibraryPlaceholder()->message(),
        "Нажмите Ctrl+F5 для встречи или выберите «Быстрая заметка» в меню «Новая запись».");
    m_settings.setNoteHotkey({98, HotkeyConfig::kOption}); // F7
    EXPECT_EQ(
        m_view->emptyLibraryPlaceholder()->message(), "Нажмите Ctrl+F5 для встречи или Alt+F7 — для быстрой заметки.");
}
