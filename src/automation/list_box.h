// Reading the lines of another program's list box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace hw::automation {

// Lines start..count-1 of a list box of another program, in the ANSI code
// page: one check that its program answers for the whole read, then for
// each line its length and its text. Lengths are asked for in runs, as many
// at once as the backend can ask for together. The time-out bounds the
// whole read: each wait takes only what is left of it. The first line that
// cannot be read in time ends the read; the lines before it are answered.
std::vector<std::string> ReadListBoxLines(platform::Desktop& d, platform::Hwnd listBox, std::int32_t start,
                                          std::int32_t count, std::uint32_t flags, std::uint32_t timeoutMs);

}  // namespace hw::automation
