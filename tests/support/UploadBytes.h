#pragma once

#include <cstdint>
#include <string>

namespace palaverly::test {

// Bytes that start like a WAV file and also hold CR LF and "--Boundary-" runs, as real audio
// may: an upload that mistook them for a part's end would show in a byte-for-byte comparison.
inline std::string uploadBytes(std::size_t size, std::uint32_t seed = 12345)
{
    std::string bytes = "RIFF\x24\x00\x00\x00WAVEfmt \r\n--\r\n--Boundary-";
    std::uint32_t state = seed;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(state >> 24));
    }
    bytes.resize(size);
    return bytes;
}

} // namespace palaverly::test
