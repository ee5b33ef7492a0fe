// library_preview --state NAME [--size WxH] [--out FILE.png] [--hold SECONDS]
// Opens the library window on a demo library in a temporary folder, in one of the states below,
// and either saves a picture of the window (--out) or keeps it open (--hold) for a screenshot of
// the whole screen. For looking at the window; not a test.
//
// States: empty, none, detail, playing, summary-running, summary-failed, live, live-no-sound, failed,
// transcribing, plain, crowded, multi, search, dialog, rename, idle-toolbar, toolbar-menu,
// row-menu, row-menu-transcript, actions-menu, failed-actions-menu, chip-menu, export-dialog,
// warning, keys-across-header (the last meeting of today selected, then the down arrow).
#include "DemoLibrary.h"
#include "ScriptedRecorder.h"

#include "audio/AudioPlayer.h"
#include "model/RecordingStore.h"
#include "system/AppSettings.h"
#include "system/NotificationCenter.h"
#include "ui/detail/RecordingDetail.h"
#include "ui/detail/SpeakerChipsBar.h"
#include "ui/detail/TranscriptExportDialog.h"
#include "ui/detail/TranscriptPane.h"
#include "ui/library/LibraryView.h"
#include "ui/library/LibraryWindow.h"
#include "ui/library/RecordButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

using namespace palaverly;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Qt's own texts in Russian, as the program has them.
    QTranslator qtTranslation;
    if (qtTranslation.load(QLocale(QStringLiteral("ru_RU")), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslation);
    QString state = QStringLiteral("detail");
    QString out;
    QSize size(1200, 720);
    int hold = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString key = QString::fromLocal8Bit(argv[i]);
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (key == QStringLiteral("--state"))
            state = value;
        else if (key == QStringLiteral("--out"))
            out = value;
        else if (key == QStringLiteral("--hold"))
            hold = value.toInt();
        else if (key == QStringLiteral("--size")) {
            const auto parts = value.split(QLatin1Char('x'));
            size = QSize(parts.value(0).toInt(), parts.value(1).toInt());
        }
    }

    QTemporaryDir dir;
    const std::filesystem::path base = std::filesystem::path(dir.path().toStdString()) / "recordings";
    const QDateTime now = QDateTime::currentDateTime();
    test::DemoLibrary demo;
    if (state != QStringLiteral("empty"))
        demo = test::DemoLibrary::write(base, now);
    RecordingStore store(base);
    test::ScriptedRecorder recorder;
    if (state != QStringLiteral("empty") && state != QStringLiteral("idle-toolbar")
        && state != QStringLiteral("toolbar-menu"))
        recorder.startRecording(
            demo.inProgress, RecordingKind::meeting, std::chrono::system_clock::now() - std::chrono::seconds(95));
    recorder.setTranscribing(demo.failedNote, TranscribingState::failed("Сервер распознавания недоступен (HTTP 503)"));
    recorder.setTranscribing(demo.transcribing, TranscribingState::running("processing"));
    QTimer levels;
    QObject::connect(&levels, &QTimer::timeout, [&] {
        static int tick = 0;
        recorder.setInputLevel(static_cast<float>(0.05 + 0.25 * (0.5 + 0.5 * std::sin(tick++ * 0.7))));
    });
    levels.start(33);

    // Settings in a file of the temporary folder: the default hotkeys plus a stop hotkey.
    QSettings settingsFile(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    NotificationCenter notifications;
    AppSettings settings(settingsFile, notifications);
    settings.setStopHotkey(HotkeyConfig{47, HotkeyConfig::kCommand});

    QPointer<LibraryWindow> window;
    LibraryWindow::showOrCreate(window, store, recorder, &settings);
    window->resize(size);
    LibraryView* view = window->view();
    const auto select = [&](const Uuid& id) { view->setSelection({id}); };

    if (state == QStringLiteral("detail") || state == QStringLiteral("rename") || state == QStringLiteral("playing")
        || state == QStringLiteral("idle-toolbar") || state == QStringLiteral("toolbar-menu")
        || state == QStringLiteral("actions-menu") || state == QStringLiteral("chip-menu")
        || state == QStringLiteral("export-dialog") || state == QStringLiteral("keys-across-header"))
        select(demo.longMeeting);
    else if (state == QStringLiteral("summary-running")) {
        recorder.setSummarizing(demo.longMeeting, SummarizingState::running());
        select(demo.longMeeting);
    } else if (state == QStringLiteral("summary-failed")) {
        recorder.setSummarizing(demo.crowdedMeeting, SummarizingState::failed("Модель не ответила за 60 секунд"));
        select(demo.crowdedMeeting);
    } else if (state == QStringLiteral("live"))
        select(demo.inProgress);
    else if (state == QStringLiteral("warning")) {
        recorder.setCaptureWarning(std::string("Не слышно собеседников — звук звонка может идти на другое устройство"));
        select(demo.inProgress);
    } else if (state == QStringLiteral("live-no-sound")) {
        levels.stop();
        recorder.setInputLevel(0);
        recorder.setCaptureWarning("Нет звукового сервера — запись ждёт");
        select(demo.inProgress);
    } else if (state == QStringLiteral("failed") || state == QStringLiteral("failed-actions-menu"))
        select(demo.failedNote);
    else if (state == QStringLiteral("transcribing"))
        select(demo.transcribing);
    else if (state == QStringLiteral("plain"))
        select(demo.plainTextNote);
    else if (state == QStringLiteral("crowded"))
        select(demo.crowdedMeeting);
    else if (state == QStringLiteral("multi") || state == QStringLiteral("dialog")) {
        view->setSelection({demo.longMeeting, demo.failedNote, demo.plainTextNote});
        if (state == QStringLiteral("dialog"))
            view->requestDeletion(view->selection());
    } else if (state == QStringLiteral("search"))
        view->setQuery(QStringLiteral("бюджет"));

    QTimer::singleShot(400, [&] {
        if (state == QStringLiteral("rename") && view->detail())
            view->detail()->transcriptPane()->chipsBar()->openRename("SPEAKER_00");
        if (state == QStringLiteral("toolbar-menu"))
            view->recordButton()->showMenu();
        if (state == QStringLiteral("keys-across-header")) {
            view->list()->setFocus();
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(view->list(), &down);
        }
        if (state == QStringLiteral("row-menu") || state == QStringLiteral("row-menu-transcript")) {
            QMenu* menu
                = view->makeRowMenu(state == QStringLiteral("row-menu") ? demo.failedNote : demo.longMeeting).release();
            menu->popup(window->mapToGlobal(QPoint(120, 330)));
        }
        if (state == QStringLiteral("export-dialog") && view->detail())
            askAndExportTranscript(view->detail()->recording(), store.transcript(view->detail()->recording()), window);
        if ((state == QStringLiteral("actions-menu") || state == QStringLiteral("failed-actions-menu"))
            && view->detail()) {
            QMenu* menu = view->detail()->makeActionsMenu().release();
            menu->popup(window->mapToGlobal(QPoint(900, 90)));
        }
        if (state == QStringLiteral("chip-menu") && view->detail()) {
            SpeakerChipsBar* chips = view->detail()->transcriptPane()->chipsBar();
            QMenu* menu = chips->makeChipMenu("SPEAKER_02").release();
            menu->popup(chips->mapToGlobal(QPoint(240, 30)));
            menu->actions().at(1)->menu()->popup(chips->mapToGlobal(QPoint(420, 60)));
        }
        if (state == QStringLiteral("playing") && view->detail() && view->detail()->player()) {
            view->detail()->player()->seek(60);
            view->detail()->player()->play();
        }
    });
    QTimer::singleShot(hold > 0 ? hold * 1000 : 1500, [&] {
        if (!out.isEmpty()) {
            QWidget* target = state == QStringLiteral("dialog") ? static_cast<QWidget*>(view->deletionDialog())
                                                                : static_cast<QWidget*>(window);
            if (!target->grab().save(out))
                std::fprintf(stderr, "cannot save %s\n", qPrintable(out));
            if (state == QStringLiteral("dialog"))
                window->grab().save(out + QStringLiteral(".window.png"));
        }
        app.quit();
    });
    return app.exec();
}
