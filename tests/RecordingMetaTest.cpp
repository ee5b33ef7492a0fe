#include "model/RecordingMeta.h"
#include "model/JsonCoding.h"
#include "model/Summary.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace palaverly;

namespace {
std::optional<RecordingMeta> decodeMeta(const std::string& text)
{
    return RecordingMeta::fromJson(text);
}
const std::string kHead
    = R"({"id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8","name":"Встреча","createdAt":"2026-03-05T09:41:07Z","duration":12.5)";
} // namespace

TEST(RecordingMetaTest, KindDefaultsToMeetingAndRequiredKeysAreRequired)
{
    const auto older = decodeMeta(kHead + "}");
    ASSERT_TRUE(older);
    EXPECT_EQ(older->kind, RecordingKind::meeting);
    EXPECT_EQ(older->id.toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(older->duration, 12.5);
    EXPECT_EQ(decodeMeta(kHead + R"(,"kind":"note"})")->kind, RecordingKind::note);
    for (const char* other : {R"("webinar")", "7", "true", R"({"raw":"note"})", "null", R"(["note"])"}) {
        const auto decoded = decodeMeta(kHead + R"(,"kind":)" + other + "}");
        ASSERT_TRUE(decoded) << other;
        EXPECT_EQ(decoded->kind, RecordingKind::meeting) << other;
    }

    EXPECT_FALSE(
        decodeMeta(R"({"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","name":"x","createdAt":"2026-03-05T09:41:07Z"})"));
    EXPECT_FALSE(decodeMeta(R"({"id":"not-a-uuid","name":"x","createdAt":"2026-03-05T09:41:07Z","duration":0})"));
    EXPECT_FALSE(decodeMeta(
        R"({"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","name":"x","createdAt":"2026-03-05T09:41:07.250Z","duration":0})"));
    EXPECT_FALSE(decodeMeta(""));
    EXPECT_FALSE(decodeMeta("\x01\x02\xff"));
}

TEST(RecordingMetaTest, WritesAllFiveKeysSortedWithUpperCaseIdAndWholeSecondDate)
{
    const auto meta = decodeMeta(kHead + R"(,"kind":"note"})");
    const std::string encoded = json::encodePretty(meta->toJson());
    EXPECT_EQ(encoded,
        "{\n"
        "  \"createdAt\": \"2026-03-05T09:41:07Z\",\n"
        "  \"duration\": 12.5,\n"
        "  \"id\": \"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\",\n"
        "  \"kind\": \"note\",\n"
        "  \"name\": \"Встреча\"\n"
        "}");
    EXPECT_EQ(decodeMeta(encoded), meta);
}

TEST(RecordingMetaTest, SummaryNeedsAllThreeKeysAndWholeSeconds)
{
    const auto summary
        = Summary::fromJson(R"({"model":"qwen-summary","createdAt":"2026-03-05T09:41:07Z","text":"Итоги"})");
    ASSERT_TRUE(summary);
    EXPECT_EQ(Summary::fromJson(json::encodePretty(summary->toJson())), summary);
    EXPECT_FALSE(Summary::fromJson(R"({"model":"m","createdAt":"2026-03-05T09:41:07.5Z","text":"t"})"));
    EXPECT_FALSE(Summary::fromJson(R"({"model":"m","text":"t"})"));
}
