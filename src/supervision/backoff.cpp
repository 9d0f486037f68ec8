#include "supervision/backoff.h"

#include <algorithm>

namespace hw::supervision {

std::uint64_t RelaunchBackoff::Ended(std::uint64_t nowMs, bool endedByHarrowatch) {
    if (endedByHarrowatch || nowMs - launchedAt_ >= kQuickRunMs) {
        quickEnds_ = 0;
        delay_ = 0;
        relaunchAt_ = 0;
        return 0;
    }
    ++quickEnds_;
    delay_ = delay_ == 0 ? kFirstDelayMs : std::min(delay_ * 2, kLongestDelayMs);
    relaunchAt_ = nowMs + delay_;
    return delay_;
}

std::uint64_t RelaunchBackoff::Missing(std::uint64_t nowMs) {
    missingDelay_ = missingDelay_ == 0 ? kFirstDelayMs : std::min(missingDelay_ * 2, kLongestDelayMs);
    relaunchAt_ = nowMs + missingDelay_;
    return missingDelay_;
}

}  // namespace hw::supervision
