#pragma once

#include <string_view>

namespace palaverly {

// True for an address that cannot reach a service: empty, without a host, or on the reserved
// top-level domain "invalid", which never resolves. Builds configured without a real service
// carry such addresses ("https://asr.palaverly.invalid"); the program then says that the
// service is not set up instead of pretending to reach it.
bool isPlaceholderAddress(std::string_view url);

} // namespace palaverly
