#pragma once

#include <cstdlib>
#include <memory>

namespace palaverly {

// Replies, errors and events from xcb are malloc'ed and owned by the caller.
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbPtr = std::unique_ptr<T, XcbFree>;

} // namespace palaverly
