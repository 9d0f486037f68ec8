#include "app/planned_restart.h"

#include "common/datetime.h"

namespace hw::app {

namespace {
std::int64_t DayOf(std::int64_t minute) { return minute >= 0 ? minute / 1440 : (minute - 1439) / 1440; }
}  // namespace

std::int64_t LocalMinute(int year, int month, int day, int hour, int minute) {
    return datetime::DaysFromCivil(year, month, day) * 1440 + hour * 60 + minute;
}

std::optional<std::int64_t> DailyRestart::Due(std::int64_t now, int at, std::uint64_t tickMs) {
    std::int64_t latest = DayOf(now) * 1440 + at;  // the planned time last come
    if (latest > now) latest -= 1440;
    // Passed while watched, and not yet done that day. A clock that went
    // back makes lastSeen_ later than now: nothing has passed.
    if (lastSeen_ && *lastSeen_ < latest && DayOf(latest) != doneDay_ && pending_ != latest) {
        pending_ = latest;
        dueSinceMs_ = tickMs;
        tries_ = 0;
        retryAtMs_ = 0;
    }
    lastSeen_ = now;
    if (!pending_) return std::nullopt;
    if (now - *pending_ > kLatestMinutes) {
        missed_ = pending_;
        Done();
        return std::nullopt;
    }
    // A retry comes in the minute its warnings named, once that is known.
    if (now < *pending_ || (retryMinute_ ? now < *retryMinute_ : tickMs < retryAtMs_)) return std::nullopt;
    return pending_;
}

DailyRestart::Coming DailyRestart::Next(std::int64_t now, int at, std::uint64_t tickMs) const {
    if (pending_) {
        if (tickMs < retryAtMs_) {
            // Worked out once a retry: computed afresh each poll, the minute
            // flipped with the seconds, and each flip warned the players anew.
            if (!retryMinute_) retryMinute_ = now + static_cast<std::int64_t>((retryAtMs_ - tickMs + 59999) / 60000);
            return {*retryMinute_, *pending_};
        }
        return {*pending_, *pending_};
    }
    std::int64_t next = DayOf(now) * 1440 + at;
    // Passed since the last look (the clock jumped over it, daylight
    // saving's start): due at this poll, and its warnings with it.
    if (next > now) next -= 1440;
    if (lastSeen_ && *lastSeen_ < next && DayOf(next) != doneDay_ && now - next <= kLatestMinutes) return {next, next};
    next += 1440;
    if (DayOf(next) == doneDay_) next += 1440;
    return {next, next};
}

void DailyRestart::Done() {
    if (pending_) doneDay_ = DayOf(*pending_);
    pending_.reset();
    tries_ = 0;
    retryAtMs_ = 0;
    retryMinute_.reset();
}

bool DailyRestart::Failed(std::uint64_t tickMs) {
    if (++tries_ >= kMostTries) {
        Done();
        return false;
    }
    retryAtMs_ = tickMs + kRetryMs;
    retryMinute_.reset();
    return true;
}

std::optional<std::int64_t> DailyRestart::TakeMissed() {
    const auto missed = missed_;
    missed_.reset();
    return missed;
}

}  // namespace hw::app
