// Push-to-talk dictation with the real pieces: the X server (key grab, XTest paste, clipboard),
// the sound server (the virtual microphone), the panel and a speech service on 127.0.0.1.
// A text field of this process stands in for the application that has the keyboard focus.
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "dictation/TextInjector.h"
#include "services/ASRClient.h"
#include "services/UploadAttempts.h"
#include "ui/dictation/DictationPanelController.h"
#include "ui/dictation/DictationPanelLayout.h"
#include "ui/dictation/DictationPanelView.h"
#include "ui/dictation/DictationWiring.h"

#include "FakeSpeechService.h"
#include "FocusedField.h"
#include "LogCapture.h"
#include "RecordingSleeper.h"
#include "SoundServer.h"
#include "SteppedTone.h"
#include "WavFile.h"

#include <QClipboard>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <xcb/xcb.h>

using namespace palaverly;
using test::xdotool;
using Kind = DictationManager::State::Kind;

namespace {

constexpr HotkeyConfig kDictationKey{2, HotkeyConfig::kCommand | HotkeyConfig::kOption}; // Ctrl+Alt+D
const QString kSentence = QStringLiteral("Привет, это проверка диктовки.");
// How long a hold lasts once the microphone's sound arrives: well over the 0.25 s minimum.
constexpr int kHoldMs = 700;

// A wait that lasts until the test opens its gate (or the waiter is stopped).
class Gate {
public:
    void wait(std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, stop, [this] { return m_open; });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    int waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_open = false;
    int m_waiting = 0;
};

class GateSleeper final : public Sleeper {
public:
    bool wait(std::chrono::milliseconds duration, std::stop_token stop) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_delays.push_back(duration);
        }
        gate.wait(stop);
        return !stop.stop_requested();
    }
    std::vector<std::chrono::milliseconds> delays()
    {
        std::lock_guard lock(m_mutex);
        return m_delays;
    }
    Gate gate;

private:
    std::mutex m_mutex;
    std::vector<std::chrono::milliseconds> m_delays;
};

class DictationEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !test::soundServerAvailable())
            GTEST_SKIP() << "needs the X server and the sound server of run-with-services.sh";
        ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
        ASSERT_TRUE(m_app.showAndFocus());
        QGuiApplication::clipboard()->clear();

        m_service.setTranscript(
            {{"text", kSentence.toStdString()}, {"duration_sec", 2.3}, {"processing_time_sec", 0.4}, {"rtf", 0.17}});
        m_client = std::make_unique<ASRClient>(m_service.baseUrl(), m_pollSleeper);

        DictationManager::Dependencies deps; // the real microphone and paste
        deps.transcriber = fixedTranscriber(*m_client);
        deps.sleeper = m_errorSleeper;
        deps.temporaryRoot = m_tempRoot.path().toStdString();
        m_manager = std::make_unique<DictationManager>(std::move(deps));

        DictationHotkeyMonitor::Accessibility access;
        access.isTrusted = [] { return true; };
        m_monitor = DictationHotkeyMonitor::create(access);
        m_panel = std::make_unique<DictationPanelController>(m_manager.get());
        wireDictation(*m_monitor, *m_manager, *m_panel);
        m_monitor->install(kDictationKey);
        ASSERT_TRUE(m_monitor->hasTap());

        // Every state, and what the panel showed once it had followed the state.
        QObject::connect(
            m_manager.get(), &DictationManager::stateChanged, [this] { m_states.push_back(m_manager->state().kind); });
        QObject::connect(
            m_manager.get(), &DictationManager::stateChanged, m_panel.get(),
            [this] { m_shown.push_back(m_panel->panel() ? m_panel->panel()->text() : QStringLiteral("(hidden)")); },
            Qt::QueuedConnection);
        QObject::connect(m_manager.get(), &DictationManager::inputLevelChanged,
            [this] { m_loudest = std::max(m_loudest, m_manager->inputLevel()); });
        m_focusWindow = QGuiApplication::focusWindow();
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, m_panel.get(), [this](QWindow* window) {
            if (window && window != m_focusWindow)
                ++m_focusStolen;
        });
    }

    void TearDown() override
    {
        xdotool({"keyup", "d", "alt", "ctrl"});
        setKeyRepeat(true);
    }

    // A tone into the virtual microphone, heard when this returns. (The monitor of an idle sink
    // delivers nothing, where a real microphone always does.)
    std::unique_ptr<test::SteppedTone> startVoice()
    {
        auto voice = std::make_unique<test::SteppedTone>(test::kMicSink, 0.3);
        return voice->playing() ? std::move(voice) : nullptr;
    }

    // Presses the key and keeps it down until the tone comes through the microphone, and a while
    // longer. (A busy sound server may start a new recording half a second late.)
    bool pressAndHoldWhileTheMicrophoneDelivers()
    {
        if (!xdotool({"keydown", "ctrl+alt+d"}) || !settlesIn(Kind::recording, 5000))
            return false;
        const bool delivering = test::waitUntil([&] { return m_manager->inputLevel() > 0.01f; }, 5000);
        test::settle(kHoldMs);
        return delivering;
    }

    // Switches the server's key repeat (what "xset r on|off" does).
    static bool setKeyRepeat(bool on)
    {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const uint32_t mode = on ? XCB_AUTO_REPEAT_MODE_ON : XCB_AUTO_REPEAT_MODE_OFF;
        xcb_generic_error_t* error = xcb_request_check(
            connection, xcb_change_keyboard_control_checked(connection, XCB_KB_AUTO_REPEAT_MODE, &mode));
        const bool done = !error && !xcb_connection_has_error(connection);
        std::free(error);
        xcb_disconnect(connection);
        return done;
    }
    // Holds then stay shorter than the server's repeat delay without depending on the machine's
    // speed.
    static bool keyRepeatOff() { return setKeyRepeat(false); }

    bool settlesIn(Kind kind, int timeoutMs = 15000)
    {
        return test::waitUntil([&] { return m_manager->state().kind == kind; }, timeoutMs);
    }

    // Speaks `text` in Russian into the virtual microphone and returns when it has been played.
    bool speak(const QString& text)
    {
        const QString wav = m_tempRoot.filePath(QStringLiteral("speech.wav"));
        if (QProcess::execute(QStringLiteral("espeak-ng"), {"-v", "ru", "-w", wav, text}) != 0)
            return false;
        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + test::kMicSink, wav});
        return test::waitUntil([&] { return player.state() == QProcess::NotRunning; }, 15000) && player.exitCode() == 0;
    }

    static QString xprop(WId window, const char* property)
    {
        return QString::fromUtf8(test::runForOutput(
            QStringLiteral("xprop"), {"-id", QString::number(window), QString::fromLatin1(property)}));
    }

    // The loudest sample of the audio the service received in upload `index`.
    float uploadedPeak(size_t index)
    {
        const auto uploads = m_service.uploads();
        if (index >= uploads.size())
            return -1;
        const std::string path = m_tempRoot.filePath(QStringLiteral("upload.wav")).toStdString();
        std::ofstream(path, std::ios::binary) << uploads[index].audio;
        const auto wav = test::readWav(path);
        if (!wav)
            return -1;
        float peak = 0;
        for (float sample : wav->samples)
            peak = std::max(peak, std::fabs(sample));
        return peak;
    }

    test::FocusedField m_app;
    QTemporaryDir m_tempRoot;
    test::FakeSpeechService m_service;
    std::shared_ptr<test::RecordingSleeper> m_pollSleeper = std::make_shared<test::RecordingSleeper>();
    std::shared_ptr<GateSleeper> m_errorSleeper = std::make_shared<GateSleeper>();
    std::unique_ptr<ASRClient> m_client;
    std::unique_ptr<DictationManager> m_manager;
    std::unique_ptr<DictationHotkeyMonitor> m_monitor;
    std::unique_ptr<DictationPanelController> m_panel;
    std::vector<Kind> m_states;
    std::vector<QString> m_shown;
    float m_loudest = 0;
    QWindow* m_focusWindow = nullptr;
    int m_focusStolen = 0;
};

} // namespace

TEST_F(DictationEndToEndTest, HeldKeySpeechIsPastedOnceIntoTheFocusedFieldAndTheClipboardComesBack)
{
    // The clipboard belongs to another program beforehand.
    const QByteArray held = QStringLiteral("содержимое буфера до диктовки").toUtf8();
    ASSERT_TRUE(test::ownClipboardElsewhere(QStringLiteral("UTF8_STRING"), held));
    const QStringList targetsBefore = test::clipboardTargetsElsewhere();

    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+d"}));
    ASSERT_TRUE(settlesIn(Kind::recording, 5000));

    // The panel: a frameless tool window above the others on every desktop, out of the task bar,
    // taking no input, centred 96 pixels below the top of the available area.
    ASSERT_TRUE(test::waitUntil([&] { return m_panel->panel() && m_panel->panel()->windowHandle()->isExposed(); }));
    DictationPanelView* panel = m_panel->panel();
    const Qt::WindowFlags flags = panel->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    for (Qt::WindowType flag : {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    const QPoint placed = panel->pos();
    EXPECT_EQ(
        placed, dictationpanel::panelOrigin(QGuiApplication::primaryScreen()->availableGeometry(), panel->size()));
    EXPECT_GE(panel->width(), 200);
    const QString states = xprop(panel->winId(), "_NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR"})
        EXPECT_TRUE(states.contains(QLatin1String(state))) << states.toStdString() << " lacks " << state;
    EXPECT_TRUE(xprop(panel->winId(), "WM_HINTS").contains(QLatin1String("input or input focus: False")));
    m_panel->show(); // a second show changes nothing
    EXPECT_EQ(m_panel->panel(), panel);

    ASSERT_TRUE(speak(kSentence)); // over two seconds: the held key repeats meanwhile
    // The service answers a moment later, so the panel can be seen recognizing.
    m_service.scriptUploads({test::FakeSpeechService::accepted("job-1").after(std::chrono::milliseconds(300))});
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    ASSERT_TRUE(settlesIn(Kind::transcribing, 5000));
    ASSERT_TRUE(test::waitUntil([&] { return m_shown.size() == 2; }));
    EXPECT_EQ(m_panel->panel(), panel); // the same panel, where it was
    test::settle(50);
    EXPECT_EQ(panel->pos(), placed);
    ASSERT_TRUE(settlesIn(Kind::idle));

    // The sentence arrives once, and nothing of the key combination with it.
    EXPECT_TRUE(test::waitUntil([&] { return m_app.field().text() == kSentence; }, 3000));
    test::settle(int(TextInjector::kRestoreDelay.count()) + 250);
    EXPECT_EQ(m_app.field().text(), kSentence);
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_D), 0);

    // One dictation of the speech: its audio is loud and lasts as long as the hold.
    ASSERT_EQ(m_service.uploads().size(), 1u);
    EXPECT_EQ(m_service.uploads()[0].endpoint, "/api/transcribe/async");
    EXPECT_GT(m_service.uploads()[0].audio.size(), 44u + 2u * 48000u * 2u);
    EXPECT_GT(uploadedPeak(0), 0.1f);
    EXPECT_GT(m_loudest, 0.01f);
    EXPECT_EQ(m_manager->inputLevel(), 0.0f);

    // The panel went through listening and recognizing and is gone.
    EXPECT_TRUE(test::waitUntil([&] { return m_states.size() == 3; }));
    EXPECT_EQ(m_states, (std::vector{Kind::recording, Kind::transcribing, Kind::idle}));
    EXPECT_EQ(m_shown,
        (std::vector<QString>{QStringLiteral("Слушаю…"), QStringLiteral("Распознаю…"), QStringLiteral("(hidden)")}));

    // The clipboard holds again what it held, target by target.
    const QStringList targetsAfter = test::clipboardTargetsElsewhere();
    for (const QString& target : targetsBefore) {
        if (target == QLatin1String("TARGETS"))
            continue;
        EXPECT_TRUE(targetsAfter.contains(target)) << target.toStdString();
        EXPECT_EQ(test::clipboardElsewhere(target), held) << target.toStdString();
    }

    // The focus never left the field, and no dictation is left on disk.
    EXPECT_EQ(m_focusStolen, 0);
    EXPECT_TRUE(m_app.hasInputFocus());
    EXPECT_EQ(QApplication::focusWidget(), &m_app.field());
    EXPECT_TRUE(QDir(m_tempRoot.path()).entryList({"dictation-*"}, QDir::Dirs).isEmpty());
}

TEST_F(DictationEndToEndTest, AShortHoldSendsNothingAndAModifierLetGoFirstEndsTheDictation)
{
    const auto voice = startVoice();
    ASSERT_TRUE(voice);
    ASSERT_TRUE(keyRepeatOff());
    // xdotool times the 0.2 s itself, so a slow machine cannot stretch the hold.
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+d", "sleep", "0.2", "keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    ASSERT_TRUE(test::waitUntil([&] { return m_states.size() == 2; }));
    EXPECT_EQ(m_states, (std::vector{Kind::recording, Kind::idle}));
    test::settle();
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_TRUE(m_app.field().text().isEmpty());

    // Alt goes up first: the dictation ends there, and the D going up later reaches the field.
    ASSERT_TRUE(pressAndHoldWhileTheMicrophoneDelivers());
    ASSERT_TRUE(xdotool({"keyup", "alt"}));
    // Recognition has begun (and may be over already: the service answers at once).
    ASSERT_TRUE(test::waitUntil([&] { return m_states.size() >= 4; }, 5000));
    EXPECT_EQ(m_states[3], Kind::transcribing);
    ASSERT_TRUE(xdotool({"keyup", "d"}));
    EXPECT_TRUE(test::waitUntil([&] { return m_app.count(QEvent::KeyRelease, Qt::Key_D) == 1; }, 3000));
    ASSERT_TRUE(xdotool({"keyup", "ctrl"}));
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_TRUE(test::waitUntil([&] { return m_app.field().text() == kSentence; }, 3000));
    EXPECT_EQ(m_service.uploads().size(), 1u);
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_D), 0);
}

TEST_F(DictationEndToEndTest, AFailingServiceShowsTheErrorForThreeSeconds)
{
    test::LogCapture log;
    std::string body;
    for (int i = 0; i < 10; ++i)
        body += "Сервис перегружен. ";
    m_service.scriptUploads(
        std::vector<test::FakeAnswer>(kUploadAttempts, test::FakeAnswer::reply(503, body, "text/plain")));
    const auto voice = startVoice();
    ASSERT_TRUE(voice);
    ASSERT_TRUE(keyRepeatOff());
    ASSERT_TRUE(pressAndHoldWhileTheMicrophoneDelivers());
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    ASSERT_TRUE(settlesIn(Kind::error));
    const QString message
        = QStringLiteral("Не удалось отправить на расшифровку: HTTP 503 — ") + QString::fromStdString(body);
    EXPECT_TRUE(log.contains(QStringLiteral("Dictation"), QStringLiteral("Dictation transcribe failed: ") + message));

    // The panel shows the first 80 characters of it, on at most two lines.
    ASSERT_TRUE(test::waitUntil([&] { return m_panel->panel() && !m_panel->panel()->text().isEmpty(); }));
    const QString shown = m_panel->panel()->text();
    EXPECT_LE(shown.count('\n'), 1);
    EXPECT_TRUE(message.startsWith(QString(shown).replace('\n', ' ').remove(QChar(0x2026)).trimmed()))
        << shown.toStdString();
    EXPECT_LE(QString(shown).remove('\n').remove(QChar(0x2026)).size(), 80);

    // The error stays while the 3 seconds run, whatever the key does meanwhile. (A press during
    // recognition meets the same rule.)
    ASSERT_TRUE(test::waitUntil([&] { return m_errorSleeper->gate.waiting() == 1; }));
    EXPECT_EQ(m_errorSleeper->delays(), std::vector<std::chrono::milliseconds>{std::chrono::seconds(3)});
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+d"}));
    test::settle(300);
    EXPECT_EQ(m_manager->state().kind, Kind::error);
    EXPECT_NE(m_panel->panel(), nullptr);

    m_errorSleeper->gate.open();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_TRUE(test::waitUntil([&] { return m_panel->panel() == nullptr; }));
    EXPECT_TRUE(m_app.field().text().isEmpty());
    EXPECT_TRUE(QDir(m_tempRoot.path()).entryList({"dictation-*"}, QDir::Dirs).isEmpty());
}

TEST_F(DictationEndToEndTest, ASoundServerThatDiesWhileTheKeyIsHeldEndsTheDictationInAnError)
{
    test::LogCapture log;
    auto voice = startVoice();
    ASSERT_TRUE(voice);
    ASSERT_TRUE(keyRepeatOff());
    ASSERT_TRUE(pressAndHoldWhileTheMicrophoneDelivers());
    std::optional<test::SoundServerOutage> outage(std::in_place);
    ASSERT_TRUE(outage->killed());
    voice.reset(); // it died with the server
    ASSERT_TRUE(settlesIn(Kind::error, 5000));
    EXPECT_EQ(m_manager->state().message, DictationManager::kSoundServerGone);
    EXPECT_TRUE(log.contains(QStringLiteral("Dictation"),
        QStringLiteral("Dictation recording failed: ") + QString::fromUtf8(DictationManager::kSoundServerGone)));
    ASSERT_TRUE(test::waitUntil([&] { return m_panel->panel() && !m_panel->panel()->text().isEmpty(); }));
    EXPECT_EQ(
        QString(m_panel->panel()->text()).replace('\n', ' '), QString::fromUtf8(DictationManager::kSoundServerGone));

    // Letting the key go sends nothing; the error gives way to idle as any error does.
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    ASSERT_TRUE(outage->restart());
    ASSERT_TRUE(test::waitUntil([&] { return m_errorSleeper->gate.waiting() == 1; }));
    m_errorSleeper->gate.open();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_TRUE(test::waitUntil([&] { return m_panel->panel() == nullptr; }));
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_TRUE(m_app.field().text().isEmpty());
    EXPECT_TRUE(QDir(m_tempRoot.path()).entryList({"dictation-*"}, QDir::Dirs).isEmpty());

    // The next dictation records from the server that came back.
    voice = startVoice();
    ASSERT_TRUE(voice);
    ASSERT_TRUE(pressAndHoldWhileTheMicrophoneDelivers());
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_TRUE(test::waitUntil([&] { return m_app.field().text() == kSentence; }, 3000));
}

TEST_F(DictationEndToEndTest, TheKeyDoesNothingWhileAMeetingRecords)
{
    test::LogCapture log;
    m_manager->canStart = [] { return false; }; // what the tray answers while the recorder records
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+d"}));
    test::settle(400);
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt", "keyup", "ctrl"}));
    test::settle(300);
    EXPECT_TRUE(m_states.empty());
    EXPECT_EQ(m_panel->panel(), nullptr);
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_EQ(
        log.count(QStringLiteral("Dictation"), QStringLiteral("Dictation skipped — another recording is in progress")),
        1);
    EXPECT_TRUE(m_app.field().text().isEmpty());
}
