// The memory guard ("RestartAboveMB"): once the server's private bytes pass
// the limit, a restart is planned. It comes at the first poll that finds no
// player online, or kMostWaitMs after it was planned, the players warned as
// before a reset. On the tick count: a clock set by hand moves no restart.
//
// A figure Windows did not give plans nothing and drops nothing. A figure
// that falls back below keeps the plan: a growing server seldom gives its
// memory back for good, the players may have been warned already, and a
// figure hovering about the limit would otherwise plan and drop by turns.
// The plan goes when the server it was made for is gone (a crash, a daily
// restart, the operator's hand) or the limit no longer holds its figure.
//
// No loop: after any planned restart no memory restart comes for
// kLeastGapMs; a server still above meanwhile is told once.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/types.h"

namespace hw::app {

class MemoryGuard {
public:
    static constexpr std::uint64_t kMostWaitMs = 30 * 60000;
    static constexpr std::uint64_t kLeastGapMs = 6 * 3600000ull;
    static constexpr std::uint64_t kRetryMs = 5 * 60000;
    static constexpr int kMostTries = 3;

    struct Plan {
        platform::Pid pid = 0;
        std::uint64_t bytes = 0;    // the figure that planned it
        std::uint64_t sinceMs = 0;  // planned then
        std::uint64_t byMs = 0;     // comes then at the latest, players or not
    };
    enum class Seen { Nothing, Planned, StillAbove };

    // One poll's figure for the server `pid` (nothing: Windows did not give
    // it), with `limitBytes` (0: off) at tick `nowMs`; the latest time lands
    // on the first minute's start at least kMostWaitMs away, `msIntoMinute`
    // being how far into its minute the clock is. Answers Planned when this figure plans the restart, and
    // StillAbove once a gap when the gap holds one back.
    Seen See(std::uint64_t limitBytes, platform::Pid pid, std::optional<std::uint64_t> bytes, std::uint64_t nowMs,
             std::uint64_t msIntoMinute);
    const std::optional<Plan>& Planned() const { return plan_; }
    // Whether the planned restart comes now: nobody online (as read this
    // poll), or its latest time has come; never while a retry waits.
    bool Due(bool nobodyOnline, std::uint64_t nowMs) const;
    // When it comes at the latest: its retry while one waits.
    std::uint64_t ComesByMs() const { return retryAtMs_ ? retryAtMs_ : plan_ ? plan_->byMs : 0; }
    bool Retrying() const { return retryAtMs_ != 0; }
    // A planned restart (this one or the daily) was carried out: the gap begins.
    void Restarted(std::uint64_t nowMs);
    // The server refused to close: answers whether it is tried again after
    // kRetryMs; if not, the plan goes and the gap begins.
    bool Failed(std::uint64_t nowMs);
    void Drop();
    // When the gap after the last planned restart ends (0: none holds).
    std::uint64_t GapEndsMs() const { return lastRestartMs_ ? *lastRestartMs_ + kLeastGapMs : 0; }

private:
    std::optional<Plan> plan_;
    std::optional<std::uint64_t> lastRestartMs_;
    std::uint64_t retryAtMs_ = 0;
    int tries_ = 0;
    bool saidStillAbove_ = false;
};

}  // namespace hw::app
