// Waiting for another program without freezing Harrowatch: every wait looks,
// yields to the message loop, and pauses briefly between looks.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/desktop.h"

namespace hw::automation {

// Raised once when Harrowatch shuts down; every wait ends when it sees it.
class CancelSignal {
public:
    void Raise() { raised_ = true; }
    // Waits may run again (an exit that was waited for goes on).
    void Reset() { raised_ = false; }
    bool Raised() const { return raised_; }

private:
    bool raised_ = false;
};

inline constexpr std::uint32_t kPollPauseMs = 50;
inline constexpr std::uint32_t kNoTimeout = 0xFFFFFFFFu;

enum class WaitResult { Done, TimedOut, Cancelled };

// Calls `done` until it answers true, yielding and pausing between calls.
// Ends early after timeoutMs (kNoTimeout: never) or when cancel is raised.
WaitResult WaitUntil(platform::Desktop& desktop, const std::function<bool()>& done,
                     std::uint32_t timeoutMs = kNoTimeout, const CancelSignal* cancel = nullptr,
                     std::uint32_t pauseMs = kPollPauseMs);

}  // namespace hw::automation
