// Relaunch back-off: a server that ends within a minute of its launch is not
// launched again at the next poll. It waits first, 5 s, doubling with each
// further quick end up to 5 minutes, and goes on trying every 5 minutes for
// as long as it takes. A run of a minute or more starts afresh.
#pragma once

#include <cstdint>

namespace hw::supervision {

class RelaunchBackoff {
public:
    static constexpr std::uint64_t kQuickRunMs = 60000;
    static constexpr std::uint64_t kFirstDelayMs = 5000;
    static constexpr std::uint64_t kLongestDelayMs = 300000;

    void Launched(std::uint64_t nowMs) { launchedAt_ = nowMs; }
    // The server ended. Ended by Harrowatch, or with the Windows session, it
    // is no quick end. Answers the wait before the next launch (0: none).
    std::uint64_t Ended(std::uint64_t nowMs, bool endedByHarrowatch);
    // The program to launch was not there: it is looked for again after the
    // same waits, without counting as a quick end. Answers the wait.
    std::uint64_t Missing(std::uint64_t nowMs);
    // It is there again: its waits start afresh.
    void Found() { missingDelay_ = 0; }
    bool Missing() const { return missingDelay_ != 0; }
    bool Waiting(std::uint64_t nowMs) const { return nowMs < relaunchAt_; }
    std::uint64_t RelaunchAt() const { return relaunchAt_; }
    int QuickEnds() const { return quickEnds_; }

private:
    std::uint64_t launchedAt_ = 0;
    std::uint64_t relaunchAt_ = 0;
    std::uint64_t delay_ = 0;
    std::uint64_t missingDelay_ = 0;
    int quickEnds_ = 0;
};

}  // namespace hw::supervision
