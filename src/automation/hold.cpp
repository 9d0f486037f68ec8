#include "automation/hold.h"

#include <algorithm>

namespace hw::automation {

namespace {
// Sends are made from the interface thread; a worker has no hold of its own.
thread_local LoopHold* current = nullptr;
thread_local std::uint64_t currentUntil = 0;
// A hold is followed by a rest as long as it held the loop: holds that come
// back to back (the chat window's 120 ms ticks, a poll's) would otherwise
// keep the loop held between them too.
thread_local std::uint64_t restUntil = 0, restFrom = 0;
thread_local std::uint64_t restOf = 0;  // the desktop's serial

// The rest still to run on this desktop's clock, if any.
std::uint64_t RestUntil(const platform::Desktop& desktop, std::uint64_t now) {
    return restOf == desktop.Serial() && restFrom <= now && now < restUntil ? restUntil : 0;
}
}  // namespace

LoopHold::LoopHold(platform::Desktop& desktop, std::uint32_t mostMs)
    : desktop_(desktop), mostMs_(mostMs), start_(desktop.TickCount()), until_(start_ + mostMs), outer_(current) {
    // A hold inside another is work run by a loop the outer one let run (a
    // modal box, a wait): the input came through, so it has its own allowance.
    if (RestUntil(desktop, start_)) until_ = start_;
    current = this;
    currentUntil = until_;
}

LoopHold::~LoopHold() {
    const std::uint64_t now = desktop_.TickCount();
    // Only a hold whose allowance ran out rests the next: time spent on
    // Harrowatch's own work is no sign of a slow server, and ticks that each
    // took a little of it would otherwise keep one another resting for good.
    // A hold that ran a loop of its own (a modal box) rests no longer than
    // its allowance.
    if (until_ > start_ && now >= until_) {
        const std::uint64_t until = std::max(RestUntil(desktop_, now), now + std::min<std::uint64_t>(now - start_, mostMs_));
        restOf = desktop_.Serial();
        restFrom = now;
        restUntil = until;
    }
    current = outer_;
    currentUntil = outer_ ? outer_->until_ : 0;
}

std::uint32_t LoopHold::RestLeft(platform::Desktop& desktop) {
    const std::uint64_t now = desktop.TickCount();
    const std::uint64_t until = RestUntil(desktop, now);
    return until ? static_cast<std::uint32_t>(until - now) : 0;
}

std::uint32_t LoopHold::Allowance(platform::Desktop& desktop, std::uint32_t timeoutMs) {
    if (!current) return timeoutMs;
    const std::uint64_t now = desktop.TickCount();
    if (now >= currentUntil) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(timeoutMs, currentUntil - now));
}

}  // namespace hw::automation
