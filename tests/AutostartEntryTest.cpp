#include "system/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace palaverly;

TEST(AutostartEntryTest, SwitchingWritesAndRemovesTheDesktopEntry)
{
    QTemporaryDir dir;
    AutostartEntry entry(dir.filePath("config"), "/home/ann/My Apps/palaverly");
    EXPECT_EQ(entry.path(), dir.filePath("config/autostart/palaverly.desktop"));
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_EQ(entry.setEnabled(false), std::nullopt); // nothing to remove is fine

    EXPECT_EQ(entry.setEnabled(true), std::nullopt);
    EXPECT_TRUE(entry.isEnabled());
    QFile file(entry.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\nName=Palaverly\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/home/ann/My Apps/palaverly\"\n"));
    EXPECT_TRUE(text.contains("\nIcon=palaverly\n"));
    file.close();

    EXPECT_EQ(entry.setEnabled(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry.path()));
}

TEST(AutostartEntryTest, TheDesktopsOwnSwitchAndQuoting)
{
    QTemporaryDir dir;
    AutostartEntry entry(dir.path(), "/usr/bin/palaverly");
    ASSERT_EQ(entry.setEnabled(true), std::nullopt);
    QFile file(entry.path());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(entry.isEnabled());

    EXPECT_TRUE(AutostartEntry::desktopEntry("/usr/bin/palaverly").contains("\nExec=/usr/bin/palaverly\n"));
    // Inside quotes " ` $ \ take a backslash, which the value escaping doubles again.
    EXPECT_TRUE(AutostartEntry::desktopEntry("/opt/a$b/p\"q").contains("\nExec=\"/opt/a\\\\$b/p\\\\\"q\"\n"));

    // A folder that cannot be made is reported, not thrown.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AutostartEntry blocked(dir.filePath("blocked"), "/usr/bin/palaverly");
    const auto failure = blocked.setEnabled(true);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->startsWith("Не удалось")) << failure->toStdString();
}
