// Sends to another program's window never wait on a program that hangs:
// each gives up on a hung program at once and on any other after
// kSendTimeoutMs, or sooner when a LoopHold's allowance runs out. False when
// the window is gone, hung or too slow.
#pragma once

#include <cstdint>

#include "automation/hold.h"
#include "platform/desktop.h"

namespace hw::automation {

inline bool SendTimed(platform::Desktop& d, platform::Hwnd window, std::uint32_t message, std::uint64_t wParam,
                      std::int64_t lParam, std::int64_t* result = nullptr) {
    const std::uint32_t wait = LoopHold::Allowance(d, platform::msg::kSendTimeoutMs);
    if (!wait) {
        if (result) *result = 0;
        return false;
    }
    return d.SendMessageTimeout(window, message, wParam, lParam, platform::msg::kSmtoAbortIfHung, wait, result);
}

// The text messages whose lParam is a buffer of Harrowatch's own.
inline bool SendTextTimed(platform::Desktop& d, platform::Hwnd window, std::uint32_t message, std::uint64_t wParam,
                          char* buffer, std::uint32_t size, std::int64_t* result = nullptr) {
    const std::uint32_t wait = LoopHold::Allowance(d, platform::msg::kSendTimeoutMs);
    if (!wait) {
        if (result) *result = 0;
        if (buffer && size) buffer[0] = 0;
        return false;
    }
    return d.SendTextMessageTimeout(window, message, wParam, buffer, size, platform::msg::kSmtoAbortIfHung, wait,
                                    result);
}

}  // namespace hw::automation
