#pragma once

#include "model/JsonReader.h"
#include "model/Recording.h"

// The decoders of the library's three files, on an object of a parsed document: all or nothing,
// unknown keys ignored, a null optional member the same as a missing one.
namespace palaverly::json {

std::optional<RecordingMeta> decodeMeta(dom::object object);
std::optional<Summary> decodeSummary(dom::object object);
std::optional<Transcript> decodeTranscript(dom::object object);
// Checks the whole transcript as decodeTranscript does, keeping only what the list needs.
std::optional<TranscriptInfo> decodeTranscriptInfo(dom::object object);

// Decodes a whole document with one of the decoders above, e.g. decodeText(text, decodeMeta).
template <typename Decode> auto decodeText(std::string_view text, Decode&& decode)
{
    dom::parser parser;
    return decodeObject(parser, PaddedText(text), decode);
}

} // namespace palaverly::json
