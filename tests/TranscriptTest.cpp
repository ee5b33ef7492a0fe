#include "model/Transcript.h"
#include "model/JsonCoding.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace palaverly;

namespace {
std::optional<Transcript> decode(const char* text)
{
    return Transcript::fromJson(text);
}
} // namespace

TEST(TranscriptTest, DecodesOptionalPartsAndRejectsAnyWrongPiece)
{
    const auto plain = decode(R"({"text":"Привет","duration_sec":1.5,"processing_time_sec":0.2,"rtf":0.13})");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->segments);
    EXPECT_FALSE(plain->numSpeakers);
    EXPECT_FALSE(plain->speakerLabels);
    EXPECT_EQ(plain->plainText(), "Привет");

    const auto full = decode(R"({"segments":[{"speaker":"A","text":"Hi","start":0,"end":1.25,"extra":true}],
        "num_speakers":1,"speaker_labels":null,"duration_sec":2,"processing_time_sec":1,"rtf":0.5,"unknown":[]})");
    ASSERT_TRUE(full);
    ASSERT_EQ(full->segments->size(), 1u);
    EXPECT_EQ((*full->segments)[0], (TranscriptSegment{"A", "Hi", 0, 1.25}));
    EXPECT_EQ(full->numSpeakers, 1);
    EXPECT_FALSE(full->speakerLabels); // null is absent

    for (const char* bad :
        {
            R"({"duration_sec":1,"processing_time_sec":1})", // no rtf
            R"({"duration_sec":"1","processing_time_sec":1,"rtf":1})", // number as string
            R"({"duration_sec":1,"processing_time_sec":1,"rtf":1,"segments":[{"speaker":1,"text":"a","start":0,"end":1}]})",
            R"({"duration_sec":1,"processing_time_sec":1,"rtf":1,"segments":[{"speaker":"A","text":"a","start":0}]})",
            R"({"duration_sec":1,"processing_time_sec":1,"rtf":1,"num_speakers":1.5})",
            R"({"duration_sec":1,"processing_time_sec":1,"rtf":1,"speaker_labels":{"A":3}})",
            R"({"duration_sec":1,"processing_time_sec":1,"rtf":1,"text":5})",
            R"([1,2,3])",
            R"({"duration_sec":1,)",
        })
        EXPECT_FALSE(decode(bad)) << bad;
}

TEST(TranscriptTest, PlainTextUsesNamesBlankLinesAndFallsBackToText)
{
    Transcript transcript;
    transcript.segments = std::vector<TranscriptSegment>{{"A", "Hi", 0, 1}, {"B", "Yes", 1, 2}};
    transcript.speakerLabels = std::map<std::string, std::string>{{"A", "Anna"}, {"B", ""}};
    EXPECT_EQ(transcript.plainText(), "Anna: Hi\n\nB: Yes");
    EXPECT_EQ(transcript.displayName("B"), "B"); // an empty label shows the id
    EXPECT_EQ(transcript.displayName("C"), "C");

    transcript.segments = std::vector<TranscriptSegment>{};
    EXPECT_EQ(transcript.plainText(), "");
    transcript.text = "весь текст";
    EXPECT_EQ(transcript.plainText(), "весь текст");
}

TEST(TranscriptTest, EncodesSortedKeysWithoutAbsentOptionalsAndRoundTrips)
{
    Transcript transcript;
    transcript.text = "Привет, мир";
    transcript.segments = std::vector<TranscriptSegment>{{"SPEAKER_00", "Привет, мир", 0.5, 2.25}};
    transcript.durationSec = 3;
    transcript.processingTimeSec = 0.75;
    transcript.rtf = 0.25;
    transcript.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна"}};

    const std::string encoded = json::encodePretty(transcript.toJson());
    EXPECT_EQ(encoded.find("num_speakers"), std::string::npos);
    EXPECT_EQ(encoded.find("null"), std::string::npos);
    size_t previous = 0;
    for (const char* key : {"duration_sec", "processing_time_sec", "rtf", "segments", "speaker_labels", "text"}) {
        const size_t at = encoded.find("\n  \"" + std::string(key) + "\"");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, previous) << key;
        previous = at;
    }
    EXPECT_NE(encoded.find("Анна"), std::string::npos); // UTF-8 kept, not escaped
    EXPECT_NE(encoded.find("\n  \"rtf\": 0.25"), std::string::npos);

    EXPECT_EQ(Transcript::fromJson(encoded), transcript);
}
