#include "updater/Appcast.h"

#include <gtest/gtest.h>

using namespace palaverly;

TEST(AppcastTest, ItemsTakeTheirVersionsFromElementsOrTheEnclosure)
{
    const auto parsed = parseAppcast(R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle" xmlns:x="urn:other">
  <channel>
    <title>Feed</title>
    <item>
      <title> First </title>
      <link>https://example.org/1</link>
      <sparkle:version>17</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <x:version>999</x:version>
      <enclosure url="https://example.org/1.deb"/>
    </item>
    <item>
      <enclosure url="https://example.org/2.deb" sparkle:version="18"/>
    </item>
    <item><title>No version, left out</title><enclosure url="https://example.org/3.deb"/></item>
  </channel>
</rss>)");
    const auto* items = std::get_if<std::vector<AppcastItem>>(&parsed);
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].title, "First");
    EXPECT_EQ((*items)[0].versionString, "17");
    EXPECT_EQ((*items)[0].displayVersionString, "1.2");
    EXPECT_EQ((*items)[0].downloadPage(), "https://example.org/1");
    EXPECT_EQ((*items)[1].versionString, "18");
    EXPECT_EQ((*items)[1].displayVersionString, "18"); // no short version: the version itself
    EXPECT_EQ((*items)[1].downloadPage(), "https://example.org/2.deb");
    // Only a web address is a download page: a feed cannot have the desktop open anything else.
    EXPECT_EQ((AppcastItem{"", "1", "1", "javascript:alert(1)", "http://example.org/p.deb"}.downloadPage()),
        "http://example.org/p.deb");
    EXPECT_EQ((AppcastItem{"", "1", "1", "file:///etc/passwd", "/usr/bin/x"}.downloadPage()), "");
    EXPECT_EQ((AppcastItem{"", "1", "1", "https:///no-host", ""}.downloadPage()), "");

    const auto empty = parseAppcast(R"(<rss version="2.0"><channel/></rss>)");
    ASSERT_NE(std::get_if<std::vector<AppcastItem>>(&empty), nullptr);
    EXPECT_TRUE(std::get<std::vector<AppcastItem>>(empty).empty());

    for (const char* broken :
        {"", "<rss><channel><item>", "<feed/>", "<rss version=\"2.0\"/>", "<rss><channel/></rss>junk"}) {
        const auto result = parseAppcast(broken);
        const auto* error = std::get_if<AppcastParseError>(&result);
        ASSERT_NE(error, nullptr) << broken;
        EXPECT_FALSE(error->message.isEmpty()) << broken;
    }
}

TEST(AppcastTest, VersionsCompareLikeReleaseNumbers)
{
    struct Case {
        const char* older;
        const char* newer;
    };
    for (const Case& c : {Case{"1.9", "1.10"}, Case{"2.0", "2.1"}, Case{"1.1", "1.1.1"}, Case{"2.0b1", "2.0"},
             Case{"2.0b1", "2.0b2"}, Case{"2.0a9", "2.0b1"}, Case{"9", "10"}, Case{"1.0-rc1", "1.0.1"},
             Case{"123456789012345678901", "123456789012345678902"}}) {
        EXPECT_LT(compareVersions(c.older, c.newer), 0) << c.older << " < " << c.newer;
        EXPECT_GT(compareVersions(c.newer, c.older), 0) << c.newer << " > " << c.older;
    }
    for (const Case& c : {Case{"1.0", "1.0.0"}, Case{"2.1", "2.1"}, Case{"007", "7"}, Case{"1.2", "1-2"}})
        EXPECT_EQ(compareVersions(c.older, c.newer), 0) << c.older << " == " << c.newer;

    const std::vector<AppcastItem> items{{"", "5", "1.5", "", ""}, {"", "12", "2.1", "", ""}, {"", "9", "1.9", "", ""}};
    EXPECT_EQ(bestUpdate(items, "10").value().displayVersionString, "2.1");
    EXPECT_FALSE(bestUpdate(items, "12"));
    EXPECT_FALSE(bestUpdate({}, "1"));
}
