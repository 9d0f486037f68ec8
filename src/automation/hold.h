// Work run from Harrowatch's message loop (a poll, a chat tick) holds the
// operator's input until it returns. A LoopHold gives the sends made while it
// lasts one allowance of waiting in all: each send waits at most what is left
// of it, and none is made once it is spent (it fails as a time-out does).
// A hold that spends its allowance is followed by a rest as long, in which
// the next hold has no allowance at all.
// So a server that hangs, or answers slowly, part-way through a chain of
// reads ends the chain instead of holding the loop for a time-out a read.
// Outside any hold, a send waits its own time-out.
#pragma once

#include <cstdint>

#include "platform/desktop.h"

namespace hw::automation {

// The most the reads of one poll, or of one chat tick, may hold the loop:
// input posted meanwhile is handled within half a second.
inline constexpr std::uint32_t kMostHoldMs = 400;

class LoopHold {
public:
    LoopHold(platform::Desktop& desktop, std::uint32_t mostMs);
    ~LoopHold();
    LoopHold(const LoopHold&) = delete;
    LoopHold& operator=(const LoopHold&) = delete;

    // What a send may wait now: timeoutMs, or less while a hold runs; 0 when
    // the hold's allowance is spent and nothing may be sent.
    static std::uint32_t Allowance(platform::Desktop& desktop, std::uint32_t timeoutMs);

    // What is left of the rest after the last hold (0: none).
    static std::uint32_t RestLeft(platform::Desktop& desktop);

private:
    platform::Desktop& desktop_;
    std::uint32_t mostMs_;
    std::uint64_t start_;
    std::uint64_t until_;
    LoopHold* outer_;
};

}  // namespace hw::automation
