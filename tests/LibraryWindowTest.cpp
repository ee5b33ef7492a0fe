// The library window over the program's real recorder: a meeting recorded through the PulseAudio
// daemon of run-with-services.sh, transcribed by a loopback speech service and titled by a
// loopback chat endpoint, followed live by the list and the detail.
#include "ui/library/LibraryWindow.h"

#include "ui/detail/LiveRecordingPane.h"
#include "ui/detail/RecordingDetail.h"
#include "ui/detail/TranscriptPane.h"
#include "ui/detail/TranscriptTurns.h"
#include "ui/library/LibraryListModel.h"
#include "ui/library/LibraryView.h"
#include "ui/library/RecordButton.h"
#include "ui/logic/RecorderModelLink.h"

#include "QtWait.h"
#include "RecorderRig.h"

#include <QLabel>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

class LibraryWindowTest : public ::testing::Test, protected RecorderRig {
protected:
    const LibraryListModel::Row* row(const Uuid& id) const
    {
        LibraryListModel* rows = window->view()->listModel();
        const int index = rows->rowOf(id);
        return index < 0 ? nullptr : &rows->rows()[static_cast<std::size_t>(index)];
    }

    std::unique_ptr<RecorderModelLink> link = std::make_unique<RecorderModelLink>(*model);
    QPointer<LibraryWindow> window;
};

} // namespace

TEST_F(LibraryWindowTest, ARecordingFromTheToolbarIsFollowedUntilItHasItsTitle)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the sound server of tests/support/run-with-services.sh";
    chat.setResponder([](const FakeChatService::Call&) { return FakeChatService::reply("Созвон о бюджете"); });

    LibraryWindow::showOrCreate(window, store, *link, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), "Заметки");
    EXPECT_EQ(window->minimumSize(), QSize(880, 460));
    RecordButton* button = window->view()->recordButton();
    EXPECT_EQ(button->text(), "Новая запись");
    // A second request brings the same window forward.
    EXPECT_EQ(LibraryWindow::showOrCreate(window, store, *link, nullptr), window.data());

    QAction* meeting = button->newRecordingMenu()->actions().at(0);
    EXPECT_EQ(meeting->text(), "Новая встреча");
    meeting->trigger();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const Uuid id = *model->currentRecordingID();
    EXPECT_EQ(button->text(), "Остановить запись");
    EXPECT_EQ(window->view()->selection(), std::set<Uuid>{id});
    ASSERT_TRUE(row(id));
    EXPECT_TRUE(row(id)->isCurrent);
    EXPECT_EQ(row(id)->badge.text, "Идёт запись…");
    ASSERT_TRUE(window->view()->detail());
    ASSERT_TRUE(window->view()->detail()->livePane());
    EXPECT_EQ(window->view()->detail()->livePane()->titleLabel()->text(), "Идёт запись встречи");

    settle(1200);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(model->isRecording());
    EXPECT_EQ(button->text(), "Новая запись");
    EXPECT_FALSE(row(id)->isCurrent);

    // The transcript arrives, then the automatic title types itself into the row.
    ASSERT_TRUE(
        waitUntil([&] { return window->view()->detail()->transcriptPane()->state() == TranscriptPaneState::turns; }));
    EXPECT_GT(window->view()->detail()->transcriptPane()->turnsModel()->rowCount(), 0);
    EXPECT_EQ(speech.uploads().at(0).endpoint, "/api/diarize/async");
    ASSERT_TRUE(waitUntil([&] {
        const int index = window->view()->listModel()->rowOf(id);
        return window->view()->listModel()->index(index).data().toString() == "Созвон о бюджете";
    }));
    EXPECT_EQ(row(id)->badge.kind, StatusBadge::Kind::none);
    EXPECT_FALSE(window->view()->detail()->livePane());
    EXPECT_TRUE(window->view()->detail()->player());
    window->close();
}
