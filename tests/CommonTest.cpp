#include "common/AtomicFile.h"
#include "common/IsoDate.h"
#include "common/Uuid.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace palaverly;

TEST(UuidTest, RoundTripsCanonicalUpperCaseAndRejectsMalformedText)
{
    const auto id = Uuid::parse("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(Uuid::parse(id->toString()), id);

    for (const char* bad : {"", "6BA7B810-9DAD-11D1-80B4-00C04FD430C", "6BA7B8109DAD-11D1-80B4-00C04FD430C8X",
             "6BA7B810-9DAD-11D1-80B4-00C04FD430CG", "{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;

    const Uuid a = Uuid::generate();
    const Uuid b = Uuid::generate();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.toString()[14], '4'); // version 4
}

TEST(IsoDateTest, WholeSecondsInUtcOnly)
{
    const auto t = parseIsoDate("2026-03-05T09:41:07Z");
    ASSERT_TRUE(t);
    EXPECT_EQ(formatIsoDate(*t), "2026-03-05T09:41:07Z");
    EXPECT_EQ(parseIsoDate("2026-03-05T12:41:07+03:00"), t);
    EXPECT_FALSE(parseIsoDate("2026-03-05T09:41:07.250Z"));
    EXPECT_FALSE(parseIsoDate("2026-03-05T09:41:07"));
    EXPECT_FALSE(parseIsoDate("2026-02-30T09:41:07Z"));
    EXPECT_FALSE(parseIsoDate("2026-03-05 09:41:07Z"));
    EXPECT_EQ(formatIsoDate(Timestamp{}), "1970-01-01T00:00:00Z");
}

TEST(AtomicFileTest, ReplacesWholeAndLeavesNoTemporaryFiles)
{
    QTemporaryDir dir;
    const std::filesystem::path path = dir.filePath("meta.json").toStdString();
    ASSERT_FALSE(writeFileAtomically(path, "first"));
    ASSERT_FALSE(writeFileAtomically(path, "second"));
    EXPECT_EQ(readSmallFile(path, 100), "second");
    EXPECT_FALSE(readSmallFile(path, 3)); // over the limit
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path().toStdString()), {}), 1);

    const auto failure = writeFileAtomically(path.parent_path() / "missing" / "meta.json", "x");
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("meta.json"), std::string::npos);
}
