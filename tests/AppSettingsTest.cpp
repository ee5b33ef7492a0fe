#include "system/AppSettings.h"
#include "system/NotificationCenter.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace palaverly;

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        reopenStore();
        m_center.addObserver(
            QString::fromLatin1(notifications::kHotkeysChanged), &m_center, [this](const QVariantMap& userInfo) {
                ++m_hotkeysChanged;
                EXPECT_TRUE(userInfo.isEmpty());
            });
    }

    // A new QSettings on the same file, as after a restart. Only when no AppSettings uses the
    // old one.
    void reopenStore()
    {
        m_store.reset();
        m_store = std::make_unique<QSettings>(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    }

    QByteArray fileText() const
    {
        QFile file(m_dir.filePath("palaverly.conf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_store;
    NotificationCenter m_center;
    int m_hotkeysChanged = 0;
};

} // namespace

TEST_F(AppSettingsTest, FreshStoreGivesTheDefaultsUntilValuesAreStored)
{
    AppSettings settings(*m_store, m_center);
    EXPECT_TRUE(settings.autoCheckUpdates());
    EXPECT_EQ(settings.meetingHotkey(), HotkeyConfig({15, 2304}));
    EXPECT_EQ(settings.noteHotkey(), HotkeyConfig({45, 2304}));
    EXPECT_FALSE(settings.stopHotkey().isAssigned());
    EXPECT_EQ(settings.dictationHotkey(), HotkeyConfig{});
    EXPECT_TRUE(m_store->allKeys().isEmpty());
    EXPECT_EQ(m_hotkeysChanged, 0);

    // Stored values win over the defaults, key code 0 (nothing assigned) included.
    m_store->setValue("noteHotkey", QByteArray(R"({"keyCode":0,"modifiers":2304})"));
    m_store->setValue("meetingHotkey", QByteArray(R"({"modifiers":512,"keyCode":49})"));
    m_store->setValue("autoCheckUpdates", false);
    AppSettings stored(*m_store, m_center);
    EXPECT_FALSE(stored.noteHotkey().isAssigned());
    EXPECT_EQ(stored.meetingHotkey(), HotkeyConfig({49, 512}));
    EXPECT_FALSE(stored.autoCheckUpdates());
}

TEST_F(AppSettingsTest, UnreadableValuesFallBackToDefaultsAndStayInTheStore)
{
    m_store->setValue("meetingHotkey", QByteArray("not json"));
    m_store->setValue("noteHotkey", QByteArray(R"({"keyCode":7})"));
    m_store->setValue("stopHotkey", QStringLiteral(R"({"keyCode":1,"modifiers":256})")); // text, not data
    m_store->setValue("dictationHotkey", QByteArray(R"({"keyCode":-3,"modifiers":256})"));
    m_store->setValue("autoCheckUpdates", QStringLiteral("nope"));
    m_store->sync();
    reopenStore();
    const QByteArray before = fileText();

    AppSettings settings(*m_store, m_center);
    EXPECT_EQ(settings.meetingHotkey(), AppSettings::kDefaultMeetingHotkey);
    EXPECT_EQ(settings.noteHotkey(), AppSettings::kDefaultNoteHotkey);
    EXPECT_EQ(settings.stopHotkey(), HotkeyConfig{});
    EXPECT_EQ(settings.dictationHotkey(), HotkeyConfig{});
    EXPECT_TRUE(settings.autoCheckUpdates());

    m_store->sync();
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(m_store->value("meetingHotkey").toByteArray(), "not json");
    EXPECT_EQ(m_store->value("noteHotkey").toByteArray(), R"({"keyCode":7})");
    EXPECT_EQ(m_store->value("autoCheckUpdates").toString(), "nope");
    EXPECT_EQ(m_hotkeysChanged, 0);
}

TEST_F(AppSettingsTest, EveryHotkeyAssignmentPersistsAndPostsOnceAndUpdatesPostNothing)
{
    AppSettings settings(*m_store, m_center);
    QSignalSpy dictationChanged(&settings, &AppSettings::dictationHotkeyChanged);
    QSignalSpy updatesChanged(&settings, &AppSettings::autoCheckUpdatesChanged);

    settings.setDictationHotkey({9, 4096});
    EXPECT_EQ(m_hotkeysChanged, 1);
    EXPECT_EQ(dictationChanged.count(), 1);
    EXPECT_EQ(m_store->value("dictationHotkey").toByteArray(), R"({"keyCode":9,"modifiers":4096})");
    EXPECT_TRUE(fileText().contains(R"x(dictationHotkey="@ByteArray({\"keyCode\":9,\"modifiers\":4096})")x"));

    // The same value again: written and announced, but the property did not change.
    m_store->remove("dictationHotkey");
    m_store->sync();
    settings.setDictationHotkey({9, 4096});
    EXPECT_EQ(m_hotkeysChanged, 2);
    EXPECT_EQ(dictationChanged.count(), 1);
    EXPECT_TRUE(m_store->contains("dictationHotkey"));

    settings.setMeetingHotkey({});
    settings.setNoteHotkey({45, 256});
    settings.setStopHotkey({1, 512});
    EXPECT_EQ(m_hotkeysChanged, 5);

    settings.setAutoCheckUpdates(false);
    settings.setAutoCheckUpdates(false);
    EXPECT_EQ(m_hotkeysChanged, 5);
    EXPECT_EQ(updatesChanged.count(), 1);
    EXPECT_TRUE(fileText().contains("autoCheckUpdates=false"));

    QSettings sameFile(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    AppSettings restarted(sameFile, m_center);
    EXPECT_EQ(restarted.meetingHotkey(), HotkeyConfig{});
    EXPECT_EQ(restarted.noteHotkey(), HotkeyConfig({45, 256}));
    EXPECT_EQ(restarted.stopHotkey(), HotkeyConfig({1, 512}));
    EXPECT_EQ(restarted.dictationHotkey(), HotkeyConfig({9, 4096}));
    EXPECT_FALSE(restarted.autoCheckUpdates());
    EXPECT_EQ(m_hotkeysChanged, 5);
}
