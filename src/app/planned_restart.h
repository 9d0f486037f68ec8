// When the daily planned restart ("RestartDailyAt") is due, on local minutes
// (days since 1970 times 1440, plus the minute of the day).
//
// A restart is due when the clock passes its time while Harrowatch watches:
// a time that passed while Harrowatch was not running is not made up, nor
// is one the clock jumped over by more than an hour. Once a calendar day:
// a clock that goes back over the time (daylight saving's end) does not
// restart the server twice. A due restart that cannot be carried out at
// once (a reset runs, the server does not answer) waits up to an hour; one
// the server refuses is tried again a few times, then left for the next day.
#pragma once

#include <cstdint>
#include <optional>

namespace hw::app {

class DailyRestart {
public:
    static constexpr std::int64_t kLatestMinutes = 60;
    static constexpr std::uint64_t kRetryMs = 5 * 60000;
    static constexpr int kMostTries = 3;
    // A planned restart (for memory) this shortly before its time serves
    // for the daily one too.
    static constexpr std::int64_t kServedWithinMinutes = 60;

    struct Coming {
        std::int64_t minute;      // when it comes (for a retry: the retry's minute)
        std::int64_t firstMinute;  // its planned time
    };

    // Looks at the clock: `now` as local minute, `at` the planned minute of
    // the day, `tickMs` the tick count. Answers the planned time that is due
    // now, if one is.
    std::optional<std::int64_t> Due(std::int64_t now, int at, std::uint64_t tickMs);
    // The tick at which the restart now due was first seen due.
    std::uint64_t DueSinceMs() const { return dueSinceMs_; }
    // The next restart, for the warnings to the players: the one due or
    // waiting for its retry, else the next planned time to come.
    Coming Next(std::int64_t now, int at, std::uint64_t tickMs) const;
    // Carried out, or given up for its day.
    void Done();
    // The server refused: answers whether it is tried again (after kRetryMs).
    bool Failed(std::uint64_t tickMs);
    // A due restart the clock left more than an hour behind: its planned
    // time, answered once.
    std::optional<std::int64_t> TakeMissed();
    // "RestartDailyAt" changed: the times already passed stay passed.
    void Forget() { pending_.reset(), tries_ = 0, retryAtMs_ = 0, retryMinute_.reset(); }

private:
    std::optional<std::int64_t> lastSeen_;
    std::int64_t doneDay_ = INT64_MIN;
    std::optional<std::int64_t> pending_;
    std::optional<std::int64_t> missed_;
    std::uint64_t dueSinceMs_ = 0;
    std::uint64_t retryAtMs_ = 0;
    mutable std::optional<std::int64_t> retryMinute_;  // the minute a retry is warned of
    int tries_ = 0;
};

// The local minute of a date and time.
std::int64_t LocalMinute(int year, int month, int day, int hour, int minute);

}  // namespace hw::app
