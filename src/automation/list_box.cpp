#include "automation/list_box.h"

#include <algorithm>

namespace hw::automation {

namespace p = platform;

namespace {
// The most lengths asked for in one run: a run is answered back to back by
// the other program, and a read's lines are mostly new ones, a few at a time.
constexpr std::int32_t kLengthRun = 64;
}  // namespace

std::vector<std::string> ReadListBoxLines(p::Desktop& d, p::Hwnd listBox, std::int32_t start, std::int32_t count,
                                          std::uint32_t flags, std::uint32_t timeoutMs) {
    std::vector<std::string> lines;
    const std::uint64_t until = d.TickCount() + timeoutMs;
    auto left = [&d, until] {
        const std::uint64_t now = d.TickCount();
        return static_cast<std::uint32_t>(until > now ? until - now : 0);
    };
    // One probe for the whole read, first: under Wine each text message
    // waits out a hung receiver however short its time-out.
    if (start < 0 || count <= start || !d.SendMessageTimeout(listBox, p::msg::kNull, 0, 0, flags, timeoutMs, nullptr))
        return lines;
    std::string text;
    for (std::int32_t line = start; line < count && left();) {
        const std::vector<std::int64_t> lengths =
            d.GetListBoxTextLengths(listBox, line, std::min(kLengthRun, count - line), flags, left());
        if (lengths.empty()) break;
        for (const std::int64_t length : lengths) {
            const std::uint32_t wait = left();
            if (!wait || length < 0 || !d.GetListBoxText(listBox, line, length, flags, wait, text)) return lines;
            lines.push_back(text);
            ++line;
        }
    }
    return lines;
}

}  // namespace hw::automation
