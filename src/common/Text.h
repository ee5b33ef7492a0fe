#pragma once

#include <string>
#include <string_view>

namespace palaverly {

// Removes white space and line breaks (Unicode's, not only ASCII's) from both ends.
std::string trimmedWhitespace(std::string_view text);

} // namespace palaverly
