// Warnings to the players before scheduled resets: "WarnPlayersMinutes" (N)
// minutes before a reset falls due, and one minute before, the text of
// "WarnPlayersText" goes to the players through the server's send dialog.
// Each warning goes once for its due time, also across a restart of
// Harrowatch (what was sent is kept in the registry), and none while no
// player is online. A warning whose minute no check saw goes late, with the
// minutes truly left, while at least one is; one never sent is logged. The
// reset itself runs at its due time, as ever; a retry after a failed reset
// is warned of as a reset of its own.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "schedule/next_time.h"

namespace hw::app {

inline constexpr const char* kWarnedKey = "Software\\Harrowatch\\Warnings Sent";

struct ComingReset {
    std::string item;
    std::string nextTime;  // as the grid shows it, or the time of a retry
    std::string firstTime;  // the grid's time while a retry is coming
};

// The text for `minutes`: {minutes} replaced, and "{minutes} minutes" said
// as "1 minute" when it is one; any other "minutes" of the text stays.
std::string WarningText(const std::string& pattern, int minutes);

class ResetWarnings {
public:
    explicit ResetWarnings(platform::Desktop& desktop) : d_(desktop) {}
    // Sends what is due now through `send` (which answers whether the
    // server took it), for the resets to come, with `players` online.
    // Answers the warnings it tried, for the log.
    std::vector<std::string> Check(const std::vector<ComingReset>& resets, std::size_t players,
                                   const std::function<bool(const std::string&)>& send);
    // A warning that could not be sent: told to the log by the caller.
    std::function<void(const std::string& what)> onNotSent;

private:
    // The registry's record of what was sent keeps a warning from going
    // twice across a restart. One that cannot be written or cleaned stops
    // no warning: the first such error is kept and thrown once Check is done.
    bool Sent(const std::string& key);
    void MarkSent(const std::string& key, std::int64_t dueMinute);
    void ForgetPast(std::int64_t nowMinute);
    // Forgets what was sent of resets no longer among `resets`.
    void ForgetOver(const std::vector<ComingReset>& resets);
    // The warnings of reset `r` whose minute (`before`, then 1) has come at
    // minute `now`, each sent once; what was sent is added to `tried`.
    void Warn(const ComingReset& r, std::int64_t now, int before, const std::string& pattern,
              std::vector<std::string>& tried, const std::function<bool(const std::string&)>& send);
    // The registry's record of one warning; false when it could not be removed.
    bool Forget(const std::string& key);
    void Keep(std::exception_ptr failure);
    platform::Desktop& d_;
    // What this run sent or logged, by due minute: kept while the reset is
    // still coming (a day at most), so that one held past its time is not
    // logged again when the registry forgets it.
    std::map<std::string, std::int64_t> sent_;
    // Warnings still to come that this run knows the registry holds no
    // record of: a record left by an earlier run (of a warning that went
    // before the clock went back) is looked for once, not at every check.
    std::set<std::string> unrecorded_;
    std::exception_ptr failed_;
    // The settings as last read.
    int minutes_ = 0;
    std::string pattern_;
};

}  // namespace hw::app
