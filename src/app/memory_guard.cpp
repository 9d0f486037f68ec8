#include "app/memory_guard.h"

namespace hw::app {

MemoryGuard::Seen MemoryGuard::See(std::uint64_t limitBytes, platform::Pid pid, std::optional<std::uint64_t> bytes,
                                   std::uint64_t nowMs, std::uint64_t msIntoMinute) {
    // Off, or a limit the operator has raised past the plan's figure.
    if (plan_ && (!limitBytes || plan_->bytes <= limitBytes)) Drop();
    if (!limitBytes || !pid || !bytes || *bytes <= limitBytes || plan_) return Seen::Nothing;
    if (lastRestartMs_ && nowMs < GapEndsMs()) {
        if (saidStillAbove_) return Seen::Nothing;
        saidStillAbove_ = true;
        return Seen::StillAbove;
    }
    // Never sooner than kMostWaitMs: at the start of the minute after it.
    const std::uint64_t into = msIntoMinute % 60000;
    const std::uint64_t wait = kMostWaitMs + (into ? 60000 - into : 0);
    plan_ = Plan{pid, *bytes, nowMs, nowMs + wait};
    return Seen::Planned;
}

bool MemoryGuard::Due(bool nobodyOnline, std::uint64_t nowMs) const {
    if (!plan_) return false;
    if (retryAtMs_) return nowMs >= retryAtMs_;
    return nobodyOnline || nowMs >= plan_->byMs;
}

void MemoryGuard::Restarted(std::uint64_t nowMs) {
    Drop();
    lastRestartMs_ = nowMs;
    saidStillAbove_ = false;
}

bool MemoryGuard::Failed(std::uint64_t nowMs) {
    if (++tries_ >= kMostTries) {
        Restarted(nowMs);  // given up: not tried again before the gap is over
        return false;
    }
    retryAtMs_ = nowMs + kRetryMs;
    return true;
}

void MemoryGuard::Drop() {
    plan_.reset();
    retryAtMs_ = 0;
    tries_ = 0;
}

}  // namespace hw::app
