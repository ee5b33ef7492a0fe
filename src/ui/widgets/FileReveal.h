#pragma once

#include <filesystem>

namespace palaverly {

// Shows a file or folder in the desktop's file manager, selected: through the
// org.freedesktop.FileManager1 service when the session has one, otherwise by opening the
// folder that holds it. Returns at once. Main thread.
void revealInFileManager(const std::filesystem::path& path);

} // namespace palaverly
