// Sends to another program's window never wait on a program that hangs:
// each gives up on a hung program at once and on any other after
// kSendTimeoutMs. False when the window is gone, hung or too slow.
#pragma once

#include <cstdint>

#include "platform/desktop.h"

namespace hw::automation {

inline bool SendTimed(platform::Desktop& d, platform::Hwnd window, std::uint32_t message, std::uint64_t wParam,
                      std::int64_t lParam, std::int64_t* result = nullptr) {
    return d.SendMessageTimeout(window, message, wParam, lParam, platform::msg::kSmtoAbortIfHung,
                                platform::msg::kSendTimeoutMs, result);
}

// The text messages whose lParam is a buffer of Harrowatch's own.
inline bool SendTextTimed(platform::Desktop& d, platform::Hwnd window, std::uint32_t message, std::uint64_t wParam,
                          char* buffer, std::uint32_t size, std::int64_t* result = nullptr) {
    return d.SendTextMessageTimeout(window, message, wParam, buffer, size, platform::msg::kSmtoAbortIfHung,
                                    platform::msg::kSendTimeoutMs, result);
}

}  // namespace hw::automation
