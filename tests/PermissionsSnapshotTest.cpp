#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "system/SystemSettingsPage.h"

#include "QtWait.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>

using namespace palaverly;
using Status = PermissionStatus;
using Kind = PermissionKind;

namespace {

class PermissionsSnapshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_store = std::make_unique<QSettings>(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    }

    static bool servicesRunning()
    {
        return !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("PULSE_SERVER");
    }

    // Probes of a sound server and a display that do not exist.
    PermissionsSnapshot::Probes deadProbes() const
    {
        return {SoundServerProbe::create(m_dir.filePath("no-such-socket").prepend("unix:").toUtf8()),
            SyntheticInputProbe::create(":4242"), nullptr,
            std::make_shared<std::optional<PermissionsSnapshot::Reading>>()};
    }

    static bool answered(const PermissionsSnapshot& snapshot)
    {
        return test::waitUntil([&] { return !snapshot.isProbing(); });
    }

    Status requestAndWait(PermissionsSnapshot& snapshot, Kind kind)
    {
        std::optional<Status> answer;
        snapshot.request(kind, [&](Status status) { answer = status; });
        EXPECT_FALSE(answer) << "answered before returning to the event loop";
        EXPECT_TRUE(test::waitUntil([&] { return answer.has_value(); }));
        return answer.value_or(Status::notDetermined);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_store;
};

} // namespace

TEST_F(PermissionsSnapshotTest, WithSoundServerAndDisplayEverythingIsGranted)
{
    if (!servicesRunning())
        GTEST_SKIP() << "needs run-with-services.sh";
    PermissionsSnapshot snapshot(*m_store);
    ASSERT_TRUE(answered(snapshot));
    EXPECT_EQ(snapshot.microphone(), Status::granted);
    EXPECT_EQ(snapshot.screenRecording(), Status::granted);
    EXPECT_EQ(snapshot.accessibility(), Status::granted);
    EXPECT_TRUE(snapshot.allGranted());

    for (Kind kind : kAllPermissionKinds)
        EXPECT_EQ(requestAndWait(snapshot, kind), Status::granted);
    EXPECT_TRUE(m_store->value(PermissionsSnapshot::kHasPromptedScreenRecordingKey).toBool());
    EXPECT_TRUE(m_store->value(PermissionsSnapshot::kHasPromptedAccessibilityKey).toBool());
}

TEST_F(PermissionsSnapshotTest, WithoutThemThePromptFlagsTellDeniedFromNeverAsked)
{
    const PermissionsSnapshot::Probes probes = deadProbes();
    PermissionsSnapshot snapshot(*m_store, probes);
    EXPECT_EQ(snapshot.microphone(), Status::notDetermined); // nothing known before the first answer
    ASSERT_TRUE(answered(snapshot));
    EXPECT_EQ(snapshot.microphone(), Status::denied);
    EXPECT_EQ(snapshot.screenRecording(), Status::notDetermined);
    EXPECT_EQ(snapshot.accessibility(), Status::notDetermined);
    EXPECT_FALSE(snapshot.allGranted());
    // A window opened later starts from that answer.
    EXPECT_EQ(PermissionsSnapshot(*m_store, probes).microphone(), Status::denied);

    QSignalSpy microphone(&snapshot, &PermissionsSnapshot::microphoneChanged);
    QSignalSpy screen(&snapshot, &PermissionsSnapshot::screenRecordingChanged);
    QSignalSpy accessibility(&snapshot, &PermissionsSnapshot::accessibilityChanged);
    snapshot.refresh();
    ASSERT_TRUE(answered(snapshot));
    EXPECT_EQ(microphone.count() + screen.count() + accessibility.count(), 0);

    EXPECT_EQ(requestAndWait(snapshot, Kind::microphone), Status::denied);
    EXPECT_EQ(requestAndWait(snapshot, Kind::screenRecording), Status::denied); // even the first time
    EXPECT_EQ(snapshot.screenRecording(), Status::notDetermined); // callers refresh
    snapshot.refresh();
    EXPECT_EQ(snapshot.status(Kind::screenRecording), Status::denied); // the flag counts at once
    EXPECT_EQ(snapshot.status(Kind::accessibility), Status::notDetermined);
    EXPECT_EQ(screen.count(), 1);
    EXPECT_EQ(microphone.count() + accessibility.count(), 0);

    EXPECT_EQ(requestAndWait(snapshot, Kind::accessibility), Status::denied);
    snapshot.refresh();
    EXPECT_EQ(accessibility.count(), 1);
    ASSERT_TRUE(answered(snapshot)); // done with the store it reads

    // The flags survive a restart.
    m_store = std::make_unique<QSettings>(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    PermissionsSnapshot restarted(*m_store, PermissionsSnapshot::Probes{});
    ASSERT_TRUE(answered(restarted));
    EXPECT_EQ(restarted.microphone(), Status::denied);
    EXPECT_EQ(restarted.screenRecording(), Status::denied);
    EXPECT_EQ(restarted.accessibility(), Status::denied);
}

namespace {

// A sound server that answers only when the test lets it, counting the questions.
class HeldSoundServer final : public SoundServerProbe {
public:
    Result check() override
    {
        ++asked;
        std::unique_lock lock(mutex);
        released.wait(lock, [this] { return open; });
        return {true, true};
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        released.notify_all();
    }
    std::atomic<int> asked{0};

private:
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
};

} // namespace

TEST_F(PermissionsSnapshotTest, AProbeThatHangsHoldsUpNothingAndRefreshesWhileItWaitsMakeOneMoreRound)
{
    auto server = std::make_shared<HeldSoundServer>();
    PermissionsSnapshot snapshot(*m_store, PermissionsSnapshot::Probes{server, nullptr, nullptr});
    EXPECT_TRUE(snapshot.isProbing());
    EXPECT_EQ(snapshot.microphone(), Status::notDetermined);
    for (int i = 0; i < 5; ++i)
        snapshot.refresh(); // every window activation while the server hangs
    test::settle(100);
    EXPECT_EQ(server->asked.load(), 1);

    QSignalSpy microphone(&snapshot, &PermissionsSnapshot::microphoneChanged);
    server->release();
    ASSERT_TRUE(answered(snapshot));
    EXPECT_EQ(snapshot.microphone(), Status::granted);
    EXPECT_EQ(snapshot.screenRecording(), Status::granted);
    EXPECT_EQ(microphone.count(), 1);
    EXPECT_EQ(server->asked.load(), 2); // the refreshes made one more round, not five
}

TEST_F(PermissionsSnapshotTest, RefreshSeesTheDisplayAndSoundServerOfTheSession)
{
    if (!servicesRunning())
        GTEST_SKIP() << "needs run-with-services.sh";
    // The sound server is there but the display is not, and the other way round.
    PermissionsSnapshot soundOnly(
        *m_store, PermissionsSnapshot::Probes{SoundServerProbe::create(), SyntheticInputProbe::create(":4242")});
    ASSERT_TRUE(answered(soundOnly));
    EXPECT_EQ(soundOnly.microphone(), Status::granted);
    EXPECT_EQ(soundOnly.screenRecording(), Status::granted);
    EXPECT_EQ(soundOnly.accessibility(), Status::notDetermined);

    PermissionsSnapshot displayOnly(*m_store, PermissionsSnapshot::Probes{nullptr, SyntheticInputProbe::create()});
    ASSERT_TRUE(answered(displayOnly));
    EXPECT_EQ(displayOnly.microphone(), Status::denied);
    EXPECT_EQ(displayOnly.screenRecording(), Status::notDetermined);
    EXPECT_EQ(displayOnly.accessibility(), Status::granted);
}

TEST(SystemSettingsPageTest, SoundSettingsOfTheDesktopOrOurHelpPage)
{
    const auto installed = [](QStringList programs) {
        return [programs](const QString& name) { return programs.contains(name) ? "/usr/bin/" + name : QString(); };
    };
    const auto everything = installed({"pavucontrol", "gnome-control-center", "systemsettings"});
    const SystemSettingsPage microphone = SystemSettingsPage::forPermission(Kind::microphone, everything);
    EXPECT_EQ(microphone.program, "/usr/bin/pavucontrol");
    EXPECT_EQ(microphone.arguments, QStringList{"--tab=4"});
    EXPECT_EQ(SystemSettingsPage::forPermission(Kind::screenRecording, everything).arguments, QStringList{"--tab=3"});

    EXPECT_EQ(SystemSettingsPage::forPermission(Kind::screenRecording, installed({"gnome-control-center"})).program,
        "/usr/bin/gnome-control-center");

    const SystemSettingsPage accessibility = SystemSettingsPage::forPermission(Kind::accessibility, everything);
    EXPECT_TRUE(accessibility.program.isEmpty());
    EXPECT_EQ(accessibility.helpAnchor, "accessibility");
    const SystemSettingsPage bare = SystemSettingsPage::forPermission(Kind::screenRecording, installed({}));
    EXPECT_TRUE(bare.program.isEmpty());
    for (Kind kind : kAllPermissionKinds) {
        const QString anchor = SystemSettingsPage::forPermission(kind, installed({})).helpAnchor;
        EXPECT_TRUE(SystemSettingsPage::helpPageHtml().contains("id=\"" + anchor + "\"")) << anchor.toStdString();
    }
}
