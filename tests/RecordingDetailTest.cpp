#include "ui/detail/RecordingDetail.h"

#include "ScriptedRecorder.h"
#include "TempLibrary.h"
#include "WidgetFind.h"

#include "QtWait.h"
#include "model/JsonCoding.h"
#include "model/RecordingStore.h"
#include "ui/detail/ChipsFlowLayout.h"
#include "ui/detail/LiveRecordingPane.h"
#include "ui/detail/SpeakerChipsBar.h"
#include "ui/detail/SummaryPane.h"
#include "ui/detail/TranscriptExportDialog.h"
#include "ui/detail/TranscriptPane.h"
#include "ui/detail/TranscriptTurns.h"
#include "ui/widgets/Placeholders.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace palaverly;
using palaverly::test::ScriptedRecorder;
using palaverly::test::TempLibrary;
using namespace palaverly::test;
namespace fs = std::filesystem;

namespace {

Transcript meetingTranscript()
{
    Transcript t;
    t.segments = std::vector<TranscriptSegment>{{"SPEAKER_00", "Начнём.", 0.5, 2}, {"SPEAKER_00", "Повестка.", 2, 4},
        {"SPEAKER_01", "Да.", 4, 5}, {"SPEAKER_00", "Итак.", 6, 9}, {"SPEAKER_02", "<b>Жирный</b> & co", 9, 11}};
    t.numSpeakers = 3;
    t.durationSec = 11;
    t.processingTimeSec = 1;
    t.rtf = 0.1;
    t.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна"}, {"SPEAKER_02", "<i>Глеб</i>"}};
    return t;
}

class RecordingDetailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_meta = TempLibrary::meta("Планёрка");
        m_meta.duration = 11;
        m_folder = m_library.addRecording(m_meta);
        writeTranscript(meetingTranscript());
        m_store = std::make_unique<RecordingStore>(m_library.base());
        open();
    }

    void open()
    {
        m_detail = std::make_unique<RecordingDetail>(*m_store, m_recorder, nullptr, m_meta.id);
        m_detail->resize(800, 600);
        m_detail->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_detail.get()));
    }

    void writeTranscript(const Transcript& transcript)
    {
        TempLibrary::writeFile(m_folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
    }

    Transcript transcriptOnDisk() const
    {
        return *Transcript::fromJson(TempLibrary::readFile(m_folder / "transcript.json"));
    }

    SpeakerChipsBar* chips() const { return m_detail->transcriptPane()->chipsBar(); }

    TempLibrary m_library;
    RecordingMeta m_meta;
    fs::path m_folder;
    std::unique_ptr<RecordingStore> m_store;
    ScriptedRecorder m_recorder;
    std::unique_ptr<RecordingDetail> m_detail;
};

} // namespace

TEST_F(RecordingDetailTest, TheNameIsSavedOnlyWhenItIsNewAndNotBlank)
{
    QLineEdit* name = m_detail->nameField();
    EXPECT_EQ(name->text(), "Планёрка");
    EXPECT_EQ(name->placeholderText(), "Название");
    const std::string metaBefore = TempLibrary::readFile(m_folder / "meta.json");
    QSignalSpy changed(m_store.get(), &RecordingStore::recordingsChanged);

    // Only spaces: the old name comes back, nothing is written.
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "   ");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(name->text(), "Планёрка");
    EXPECT_FALSE(name->hasFocus());
    // The same name with spaces around it: no write either.
    name->setText("  Планёрка ");
    m_detail->commitName();
    EXPECT_EQ(TempLibrary::readFile(m_folder / "meta.json"), metaBefore);
    EXPECT_EQ(changed.count(), 0);

    // A new name is trimmed and saved, also when the field just loses the focus.
    name->setFocus();
    name->selectAll();
    name->insert("  Итоги квартала ");
    name->clearFocus();
    EXPECT_EQ(m_store->recording(m_meta.id)->name, "Итоги квартала");
    EXPECT_EQ(name->text(), "Итоги квартала");
}

TEST_F(RecordingDetailTest, FactsAndSpeakerTextsAreShownAsTheyAre)
{
    const QString facts = m_detail->factsText();
    EXPECT_TRUE(facts.startsWith("Встреча · ")) << facts.toStdString();
    EXPECT_TRUE(facts.endsWith(" · 3 спикера · 0:11")) << facts.toStdString();
    // Labels that look like markup are plain text everywhere they appear.
    SpeakerChip* glebChip = chips()->chip("SPEAKER_02");
    ASSERT_TRUE(glebChip);
    auto* label = glebChip->findChild<QLabel*>();
    EXPECT_EQ(label->text(), "<i>Глеб</i>");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    auto* turns = m_detail->transcriptPane()->turnsModel();
    ASSERT_EQ(turns->rowCount(), 4);
    EXPECT_EQ(turns->index(3).data(TranscriptTurnsModel::NameRole).toString(), "<i>Глеб</i>");
    EXPECT_EQ(turns->index(0).data(TranscriptTurnsModel::TextRole).toString(), "Начнём. Повестка.");

    m_detail->transcriptPane()->copyTurn(3);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "<b>Жирный</b> & co");
}

TEST_F(RecordingDetailTest, RenamingASpeakerToNothingRemovesTheLabel)
{
    chips()->openRename("SPEAKER_00");
    SpeakerRenamePopover* popover = chips()->renamePopover();
    ASSERT_TRUE(popover);
    EXPECT_EQ(popover->nameField()->text(), "Анна");
    EXPECT_TRUE(popover->resetButton()); // she has a name of the user's
    ASSERT_EQ(popover->suggestionButtons().size(), 2u);
    popover->nameField()->setText("   ");
    QTest::mouseClick(popover->applyButton(), Qt::LeftButton);
    const Transcript onDisk = transcriptOnDisk();
    ASSERT_TRUE(onDisk.speakerLabels);
    EXPECT_EQ(*onDisk.speakerLabels, (std::map<std::string, std::string>{{"SPEAKER_02", "<i>Глеб</i>"}}));
    EXPECT_EQ(chips()->chip("SPEAKER_00")->stat().displayName, "SPEAKER_00");
    EXPECT_TRUE(test::waitUntil([&] { return !chips()->renamePopover(); }));

    // A speaker without a name offers no reset; a name is trimmed and saved.
    chips()->openRename("SPEAKER_01");
    popover = chips()->renamePopover();
    EXPECT_FALSE(popover->resetButton());
    EXPECT_EQ(popover->nameField()->text(), "");
    popover->nameField()->insert(" Борис ");
    QTest::keyClick(popover->nameField(), Qt::Key_Return);
    EXPECT_EQ(transcriptOnDisk().speakerLabels->at("SPEAKER_01"), "Борис");

    // Cancelling changes nothing.
    const std::string before = TempLibrary::readFile(m_folder / "transcript.json");
    chips()->openRename("SPEAKER_01");
    chips()->renamePopover()->nameField()->setText("Другое имя");
    QTest::mouseClick(chips()->renamePopover()->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(TempLibrary::readFile(m_folder / "transcript.json"), before);
}

TEST_F(RecordingDetailTest, MergingTwoSpeakersAfterConfirmationRewritesTheTranscript)
{
    // Cancelled first: nothing changes.
    const std::string before = TempLibrary::readFile(m_folder / "transcript.json");
    std::unique_ptr<QMenu> menu = chips()->makeChipMenu("SPEAKER_01");
    QMenu* mergeMenu = menu->actions().at(1)->menu();
    ASSERT_TRUE(mergeMenu);
    EXPECT_EQ(menu->actions().at(1)->text(), "Объединить с…");
    ASSERT_EQ(mergeMenu->actions().size(), 2);
    EXPECT_EQ(mergeMenu->actions().at(0)->text(), "Анна");
    mergeMenu->actions().at(0)->trigger();
    QMessageBox* dialog = chips()->mergeDialog();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->text(), "Объединить «SPEAKER_01» в «Анна»?");
    EXPECT_EQ(dialog->informativeText(), "Реплики первого спикера переедут ко второму. Это нельзя отменить.");
    QTest::mouseClick(buttonWithText(dialog, "Отмена"), Qt::LeftButton);
    EXPECT_FALSE(chips()->pendingMerge());
    EXPECT_EQ(TempLibrary::readFile(m_folder / "transcript.json"), before);

    // From the rename popover's suggestions, confirmed.
    chips()->openRename("SPEAKER_01");
    QTest::mouseClick(chips()->renamePopover()->suggestionButtons().at(0), Qt::LeftButton);
    ASSERT_TRUE(chips()->pendingMerge());
    EXPECT_EQ(chips()->pendingMerge()->into, "SPEAKER_00");
    QTest::mouseClick(buttonWithText(dialog, "Объединить"), Qt::LeftButton);
    EXPECT_FALSE(chips()->pendingMerge());

    const Transcript onDisk = transcriptOnDisk();
    for (const auto& segment : *onDisk.segments)
        EXPECT_NE(segment.speaker, "SPEAKER_01");
    EXPECT_EQ(onDisk.numSpeakers, 2);
    // The view follows: two chips, and A's turns joined into one.
    EXPECT_EQ(chips()->stats().size(), 2u);
    EXPECT_EQ(m_detail->transcriptPane()->turnsModel()->rowCount(), 2);
}

TEST_F(RecordingDetailTest, ChipClicksWalkTheTurnsOfTheirSpeaker)
{
    QSignalSpy seeks(chips(), &SpeakerChipsBar::seekRequested);
    SpeakerChip* anna = chips()->chip("SPEAKER_00");
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(anna, Qt::LeftButton, {}, QPoint(8, anna->height() / 2));
    ASSERT_EQ(seeks.count(), 3);
    EXPECT_EQ(seeks.at(0).at(0).toDouble(), 0.5);
    EXPECT_EQ(seeks.at(1).at(0).toDouble(), 6);
    EXPECT_EQ(seeks.at(2).at(0).toDouble(), 0.5);

    // One speaker: no chips.
    Transcript solo;
    solo.segments = std::vector<TranscriptSegment>{{"S", "Один.", 0, 1}, {"S", "Два.", 1, 2}};
    writeTranscript(solo);
    m_store->reload();
    EXPECT_TRUE(chips()->isHidden());
    EXPECT_EQ(m_detail->transcriptPane()->state(), TranscriptPaneState::turns);
}

TEST_F(RecordingDetailTest, EightChipsOverflowWithRoomForTheButton)
{
    Transcript crowd;
    std::vector<TranscriptSegment> segments;
    for (int i = 0; i < 8; ++i)
        segments.push_back({"SPEAKER_0" + std::to_string(i), "Реплика.", i * 1.0, i + 1.0});
    crowd.segments = segments;
    writeTranscript(crowd);
    m_store->reload();
    m_detail->resize(420, 600);
    QApplication::processEvents();
    ChipsFlowLayout* flow = chips()->flowLayout();
    ASSERT_TRUE(flow->placement().overflowPosition);
    EXPECT_LT(flow->placement().placements.size(), 8u);
    QToolButton* more = chips()->overflowButton();
    EXPECT_EQ(more->text(), "ещё");
    EXPECT_EQ(more->toolTip(), "Показать всех спикеров");
    EXPECT_GE(more->x(), 0);
    const int room = chips()->width() - 24 - more->x();
    EXPECT_GE(room, 80);
    // Two rows at most: every shown chip sits on one of the first two rows.
    std::set<int> rows;
    for (const auto& [index, point] : flow->placement().placements)
        rows.insert(static_cast<int>(point.y()));
    EXPECT_LE(rows.size(), 2u);

    m_detail->resize(1400, 600);
    EXPECT_TRUE(test::waitUntil([&] { return !flow->placement().overflowPosition; }, 2000));
    EXPECT_TRUE(test::waitUntil([&] { return chips()->overflowButton()->x() < -1000; }, 2000))
        << chips()->overflowButton()->x() << " " << chips()->width();
}

TEST_F(RecordingDetailTest, PanesFollowTheJobsAndTheRecording)
{
    SummaryPane* summary = m_detail->summaryPane();
    EXPECT_EQ(summary->state(), SummaryPaneState::generate);
    EXPECT_EQ(summary->placeholder()->title(), "Сгенерировать итоги");
    QTest::mouseClick(qobject_cast<QPushButton*>(summary->placeholder()->action()), Qt::LeftButton);
    EXPECT_EQ(m_recorder.resummarized, std::vector<Uuid>{m_meta.id});

    m_recorder.setSummarizing(m_meta.id, SummarizingState::running());
    EXPECT_EQ(summary->placeholder()->title(), "Готовим итоги…");
    m_recorder.setSummarizing(m_meta.id, SummarizingState::failed("Модель не ответила"));
    EXPECT_EQ(summary->placeholder()->title(), "Не получилось");
    EXPECT_EQ(summary->placeholder()->message(), "Модель не ответила");

    TempLibrary::writeFile(m_folder / "summary.json",
        RecordingStore::encode(Summary{"qwen-summary", m_meta.createdAt, "Решили <всё>."}.toJson()));
    m_store->reload();
    EXPECT_EQ(summary->state(), SummaryPaneState::summary);
    EXPECT_EQ(summary->textView()->toPlainText(), "Решили <всё>.");
    m_recorder.setSummarizing(m_meta.id, SummarizingState::running());
    EXPECT_TRUE(summary->updatingIndicator()->isVisibleTo(summary));
    std::unique_ptr<QMenu> actions = m_detail->makeActionsMenu();
    EXPECT_EQ(menuTexts(actions.get()),
        (QStringList{"Перегенерировать итоги", "—", "Экспортировать…", "Копировать расшифровку",
            "Показать в файловом менеджере", "—", "Удалить заметку"}));
    QSignalSpy deleteRequested(m_detail.get(), &RecordingDetail::deleteRequested);
    actions->actions().last()->trigger();
    EXPECT_EQ(deleteRequested.count(), 1);

    // Without a transcript and without a recognizer to make one, the pane leads to the settings.
    fs::remove(m_folder / "transcript.json");
    m_store->reload();
    m_recorder.serviceSetUp = false;
    m_recorder.setTranscribing(m_meta.id, TranscribingState::failed("Не удалось найти сервер"));
    EmptyState* missing = m_detail->transcriptPane()->placeholder();
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->title(), "Сервис распознавания не настроен");
    QTest::mouseClick(qobject_cast<QPushButton*>(missing->action()), Qt::LeftButton);
    EXPECT_EQ(m_recorder.serviceSettingsOpened, 1);
    m_recorder.serviceSetUp = true;
    m_recorder.setTranscribing(m_meta.id, TranscribingState::failed("Не удалось найти сервер"));
    EXPECT_EQ(m_detail->transcriptPane()->placeholder()->title(), "Нет расшифровки");

    // While this recording is being made, the live pane stands in for both sections.
    m_recorder.startRecording(
        m_meta.id, RecordingKind::meeting, std::chrono::system_clock::now() - std::chrono::seconds(61));
    ASSERT_TRUE(m_detail->livePane());
    EXPECT_EQ(m_detail->livePane()->titleLabel()->text(), "Идёт запись встречи");
    EXPECT_EQ(m_detail->livePane()->elapsedLabel()->text(), "1:01");
    EXPECT_EQ(m_detail->livePane()->stopButton()->text(), "Остановить запись"); // no stop hotkey
    EXPECT_EQ(m_detail->livePane()->bars()->history().size(), 32u);
    EXPECT_FALSE(m_detail->livePane()->warningLine()->isVisibleTo(m_detail->livePane()));
    m_recorder.setCaptureWarning("Не слышно собеседников");
    EXPECT_TRUE(m_detail->livePane()->warningLine()->isVisibleTo(m_detail->livePane()));
    EXPECT_EQ(m_detail->livePane()->warningLabel()->text(), "Не слышно собеседников");
    m_recorder.setCaptureWarning(std::nullopt);
    EXPECT_FALSE(m_detail->livePane()->warningLine()->isVisibleTo(m_detail->livePane()));
    QTest::mouseClick(m_detail->livePane()->stopButton(), Qt::LeftButton);
    EXPECT_EQ(m_recorder.meetingToggles, 1);
    EXPECT_FALSE(m_detail->livePane());
}

TEST_F(RecordingDetailTest, AFailedTranscriptionSaysWhyBesideItsPlaceholder)
{
    std::filesystem::remove(m_folder / "transcript.json");
    m_store->reload();
    const QString reason = QStringLiteral("Сервер распознавания ответил 502:\n<html>") + QString(300, QLatin1Char('x'));
    m_recorder.setTranscribing(m_meta.id, TranscribingState::failed(reason.toStdString()));
    EmptyState* placeholder = m_detail->transcriptPane()->placeholder();
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->title(), "Нет расшифровки");
    const QLabel* detail = placeholder->detailLabel();
    EXPECT_TRUE(detail->isVisibleTo(placeholder));
    EXPECT_TRUE(detail->text().startsWith("Сервер распознавания ответил 502: <html>xxx"))
        << detail->text().toStdString();
    EXPECT_EQ(detail->text().size(), 120);
    EXPECT_EQ(detail->textFormat(), Qt::PlainText);
    EXPECT_TRUE(detail->toolTip().contains("<br>&lt;html&gt;" + QString(300, QLatin1Char('x'))));

    // Running again: the placeholder of a running job, without the old reason.
    m_recorder.setTranscribing(m_meta.id, TranscribingState::running("uploading"));
    ASSERT_NE(m_detail->transcriptPane()->placeholder(), nullptr);
    EXPECT_FALSE(m_detail->transcriptPane()->placeholder()->detailLabel()->isVisibleTo(m_detail.get()));
}

TEST_F(RecordingDetailTest, TheTranscriptIsExportedInTheFilterFormatAndCopied)
{
    std::unique_ptr<QMenu> actions = m_detail->makeActionsMenu();
    menuAction(actions.get(), "Копировать расшифровку")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), meetingTranscript().plainText());

    QTemporaryDir folder;
    menuAction(actions.get(), "Экспортировать…")->trigger();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible())
                dialog = found;
        return dialog != nullptr;
    }));
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), "Планёрка.md");
    dialog->setDirectory(folder.path());
    dialog->selectFile("Планёрка.md");
    // The user picks the SRT filter: the proposed name follows, and the file is SRT.
    const QString srt = exportFormatInfo(ExportFormat::srt).filter;
    dialog->selectNameFilter(srt);
    emit dialog->filterSelected(srt);
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), "Планёрка.srt");
    static_cast<QDialog*>(dialog)->accept(); // as the save button does
    const fs::path written = fs::path(folder.path().toStdString()) / "Планёрка.srt";
    EXPECT_EQ(TempLibrary::readFile(written),
        exportDocument(m_detail->recording(), m_store->transcript(m_detail->recording()).get(), ExportFormat::srt,
            QTimeZone::systemTimeZone())
            .toStdString());
    const fs::directory_iterator files(folder.path().toStdString());
    EXPECT_EQ(std::distance(files, fs::directory_iterator()), 1); // no temporary file left behind
}

TEST_F(RecordingDetailTest, AMissingTranscriptOffersTheRetryUntilItIsQueued)
{
    TempLibrary::writeFile(m_folder / "audio.wav", std::string(4844, '\0'));
    fs::remove(m_folder / "transcript.json");
    m_store->reload();
    TranscriptPane* pane = m_detail->transcriptPane();
    ASSERT_TRUE(pane->placeholder());
    EXPECT_EQ(pane->placeholder()->title(), "Нет расшифровки");
    auto* retry = qobject_cast<QPushButton*>(pane->placeholder()->action());
    ASSERT_TRUE(retry);
    EXPECT_EQ(retry->text(), "Повторить расшифровку");
    QTest::mouseClick(retry, Qt::LeftButton);
    EXPECT_EQ(m_recorder.retried, (std::vector<std::vector<Uuid>>{{m_meta.id}}));
    std::unique_ptr<QMenu> actions = m_detail->makeActionsMenu();
    EXPECT_TRUE(menuAction(actions.get(), "Повторить расшифровку")->isEnabled());

    m_recorder.setTranscribing(m_meta.id, TranscribingState::queued());
    EXPECT_EQ(pane->placeholder()->title(), "В очереди на расшифровку");
    EXPECT_FALSE(pane->placeholder()->action());
    actions = m_detail->makeActionsMenu();
    EXPECT_FALSE(menuAction(actions.get(), "Повторить расшифровку")->isEnabled());
}
