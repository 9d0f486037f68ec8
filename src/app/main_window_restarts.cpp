// The main window's planned restarts (daily, and for memory) and the
// warnings the players get before them and before resets.
#include "app/main_window.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "automation/hold.h"
#include "automation/process.h"
#include "automation/windows.h"
#include "common/datetime.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "schedule/grid_layout.h"
#include "settings/settings.h"

namespace hw::app {

namespace p = platform;

namespace {
// What the warnings call the planned restarts.
constexpr const char* kPlannedRestartItem = "Planned restart";
constexpr const char* kMemoryRestartItem = "Memory restart";

std::int64_t NowMinute(p::Desktop& d) {
    const p::LocalTime t = d.GetLocalTime();
    return LocalMinute(t.year, t.month, t.day, t.hour, t.minute);
}

std::string MinuteText(std::int64_t minute) {
    const datetime::Date date = datetime::CivilFromDays(minute / 1440);
    return schedule::FormatNextTime(
        {date.year, date.month, date.day, static_cast<int>(minute / 60 % 24), static_cast<int>(minute % 60)});
}
// Bytes as megabytes, as the resource line shows them.
std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// The local time of day `ms` from now, "HH:MM".
std::string ClockIn(p::Desktop& d, std::uint64_t ms) {
    const p::LocalTime t = d.GetLocalTime();
    const std::uint64_t at = (((static_cast<std::uint64_t>(t.hour) * 60 + static_cast<std::uint64_t>(t.minute)) * 60 +
                               static_cast<std::uint64_t>(t.second)) * 1000 + static_cast<std::uint64_t>(t.millisecond) + ms) / 60000;
    return settings::FormatDailyTime(static_cast<int>(at % 1440));
}
}  // namespace

void frmMain::WarnPlayers() {
    std::vector<ComingReset> resets;
    // A reset that failed is warned of again before its retry.
    for (int r = 1; r <= Schedule.DataRows() && r < ResetItemGrid.Rows(); ++r) {
        const std::string retry = Schedule.RetryTime(r);
        const std::string time = ResetItemGrid.TextMatrix(r, schedule::kColNextTime);
        resets.push_back({ResetItemGrid.TextMatrix(r, schedule::kColName), retry.empty() ? time : retry,
                          retry.empty() ? std::string() : time});
    }
    // The planned restart is warned of as a reset is, its retries too; not
    // while the operator has the server stopped, which it then skips.
    const auto at = PlannedRestartTime();
    if (at && !server::SaysNotActive(lblStatusLocalServer.Text())) {
        const DailyRestart::Coming next = restart_.Next(NowMinute(desktop_), *at, desktop_.TickCount());
        resets.push_back({kPlannedRestartItem, MinuteText(next.minute),
                          next.minute == next.firstMinute ? std::string() : MinuteText(next.firstMinute)});
    }
    if (memory_.Planned()) {
        // The restart for memory comes on the tick count: the minutes it is
        // warned of follow from it now, whatever the clock did meanwhile.
        const std::uint64_t now = desktop_.TickCount();
        const p::LocalTime t = desktop_.GetLocalTime();
        const std::uint64_t intoMinute = static_cast<std::uint64_t>(t.second) * 1000 + t.millisecond;
        const auto minuteOf = [&](std::uint64_t atMs) {
            return NowMinute(desktop_) + static_cast<std::int64_t>((atMs - std::min(atMs, now) + intoMinute) / 60000);
        };
        memoryByMinute_ = minuteOf(memory_.Planned()->byMs);
        if (memory_.Retrying()) memoryRetryMinute_ = minuteOf(memory_.ComesByMs());
    }
    if (memory_.Planned() && !server::SaysNotActive(lblStatusLocalServer.Text()) && !MemoryLeftToDaily()) {
        const std::string by = MinuteText(memoryByMinute_);
        resets.push_back({kMemoryRestartItem, memory_.Retrying() ? MinuteText(memoryRetryMinute_) : by,
                          memory_.Retrying() ? by : std::string()});
    }
    Warnings.Check(resets, PlayerListView.Items().size(), [this](const std::string& text) {
        Metrics.SendingWarning(true);
        ScopeExit sent([this] { Metrics.SendingWarning(false); });
        Harrowatch->SendServerMessage(text);
        return Harrowatch->LastSendArrived();
    });
}

std::optional<int> frmMain::PlannedRestartTime() {
    const std::string stored = text::Trim(settings::ReadSetting(desktop_, settings::kRestartDailyAt).ToText());
    const std::optional<int> at = settings::ParseDailyTime(stored);
    if (stored != restartSetting_) {
        restartSetting_ = stored;
        restart_.Forget();
        if (!stored.empty() && !at)
            Events.Raise(supervision::EventId::ErrorReported,
                         "\"RestartDailyAt\" is \"" + stored +
                             "\", not a time of day HH:MM from 00:00 to 23:59: the server is not restarted daily");
    }
    return at;
}

void frmMain::RestartIfPlanned() {
    const std::optional<int> at = PlannedRestartTime();
    if (!at || !Harrowatch) return;
    const std::optional<std::int64_t> due = restart_.Due(NowMinute(desktop_), *at, desktop_.TickCount());
    const std::string when = settings::FormatDailyTime(*at);
    if (const auto missed = restart_.TakeMissed())
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "the restart planned for " + settings::FormatDailyTime(static_cast<int>(*missed % 1440)) +
                         " did not come within an hour of its time; the next is tomorrow at " + when);
    if (!due) return;
    // The tick its time came at: polls held back by a relaunch's back-off
    // may first look long after.
    const p::LocalTime t = desktop_.GetLocalTime();
    const std::uint64_t tick = desktop_.TickCount();
    const std::uint64_t late = static_cast<std::uint64_t>(std::max<std::int64_t>(0, NowMinute(desktop_) - *due)) * 60000 +
                               static_cast<std::uint64_t>(t.second) * 1000 + static_cast<std::uint64_t>(t.millisecond);
    const std::uint64_t cameMs = std::min(restart_.DueSinceMs(), tick - std::min(tick, late));
    if (DailyRestartServed(when, cameMs, tick)) return;
    // "Stop Server" deactivated it: a restart would bring it back, and the
    // restart's resets would activate it.
    const int stops = operatorStops_;
    if (OperatorKeepsServerStopped()) {
        restart_.Done();
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "skipped at " + when + ": the server is not active (stopped by the operator), and stays so");
        return;
    }
    using R = server::clsHarrowatch::Restart;
    std::exception_ptr storeFailed;
    const R result = RestartServer("planned for " + when, stops, storeFailed, [this](R r) {
        if (r != R::CloseRefused) restart_.Done();
    });
    if (result == R::CloseRefused) {
        DailyRestartRefused(when);
        return;
    }
    if (storeFailed) std::rethrow_exception(storeFailed);
}

bool frmMain::DailyRestartServed(const std::string& when, std::uint64_t cameMs, std::uint64_t tick) {
    if (Harrowatch->ServerSince() > cameMs || operatorStartMs_ > cameMs) {
        // Launched since the time came (after a crash, say), or stopped and
        // started again by the operator: fresh already.
        restart_.Done();
        // A launch in the restart's place (after a crash or a hang) is the
        // day's restart: what is scheduled for every restart runs in it, as
        // it would have in the planned one. Not in a server the operator
        // stopped (a relaunch since keeps to that stop), nor in one a
        // restart launched: its items ran then, or run once it answers.
        if (Harrowatch->ServerSince() > cameMs && lastRestartMs_ < Harrowatch->ServerSince() &&
            !Harrowatch->RestartOwed() && !owedRestart_ && operatorStops_ == startedAfterStops_ &&
            !OperatorKeepsServerStopped()) {
            int items = 0;
            std::exception_ptr storeFailed;
            try {
                items = Schedule.RunRestartItems(*Harrowatch);
            } catch (...) {
                storeFailed = std::current_exception();
            }
            if (items > 0 || storeFailed)
                Events.Raise(supervision::EventId::PlannedRestart,
                             "planned for " + when + ": the server was launched again since (process id " +
                                 std::to_string(Harrowatch->ServerPid().value()) + "), " + std::to_string(items) +
                                 " restart item" + (items == 1 ? "" : "s") + " run in it");
            if (storeFailed) std::rethrow_exception(storeFailed);
        }
        return true;
    }
    if (lastRestartMs_ && lastRestartMs_ + DailyRestart::kServedWithinMinutes * 60000 > cameMs) {
        // Restarted as planned (for memory) shortly before: one restart serves both.
        restart_.Done();
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "not done at " + when + ": the server was restarted as planned " +
                         std::to_string((tick - lastRestartMs_) / 60000) + " minutes before");
        return true;
    }
    return false;
}

bool frmMain::OperatorKeepsServerStopped() {
    // A stop the operator chose, and no start since, holds for that server
    // even before it shows: a hung server takes the click late.
    const bool stopAsked = operatorStops_ != startedAfterStops_ && stoppedPid_ &&
                           stoppedPid_ == automation::GetProcessIdByName(desktop_, server::kServerExeName);
    return stopAsked || ServerStoppedByOperator();
}

void frmMain::DailyRestartRefused(const std::string& when) {
    const bool again = restart_.Failed(desktop_.TickCount());
    const p::LocalTime t = desktop_.GetLocalTime();
    const int retry = (t.hour * 60 + t.minute + static_cast<int>((DailyRestart::kRetryMs + 59999) / 60000)) % 1440;
    Events.Raise(supervision::EventId::PlannedRestartFailed,
                 "the server did not close for the restart planned for " + when + "; " +
                     (again ? "tried again at " + settings::FormatDailyTime(retry)
                            : "not tried again before tomorrow at " + when));
}

bool frmMain::ServerStoppedByOperator() {
    // Read afresh: the operator may have stopped it while this poll's resets ran.
    // Input goes first, and the reads have one allowance of their own: one
    // that comes in the rest after the poll's reads spent theirs keeps what
    // the poll read.
    desktop_.DoEvents();
    if (const p::Hwnd main = automation::GetProcessMainWindow(
            desktop_, automation::GetProcessIdByName(desktop_, server::kServerExeName))) {
        automation::LoopHold hold(desktop_, automation::kMostHoldMs);
        ReadStatus(automation::GetChildWindows(desktop_, main));
    }
    return server::SaysNotActive(lblStatusLocalServer.Text());
}

frmMain::RestartResult frmMain::RestartServer(const std::string& why, int stops, std::exception_ptr& storeFailed,
                                              const std::function<void(RestartResult)>& settle) {
    using R = RestartResult;
    const p::Pid before = automation::GetProcessIdByName(desktop_, server::kServerExeName);
    owedRestart_.reset();
    const R result = Harrowatch->PlannedRestart();
    // Closed: a fresh server, which the memory guard leaves alone a while.
    if (result == R::Restarted || result == R::NotLaunched) memory_.Restarted(desktop_.TickCount());
    // Not launched, or a close the server may still take: the launch that
    // brings the server back carries the restart out.
    if (result == R::NotLaunched || result == R::CloseRefused) owedRestart_ = OwedRestart{why, before, stops};
    settle(result);
    if (result == R::NotLaunched)
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "the server closed for the restart " + why +
                         " but did not start again; the poll launches it again, and the restart items run then");
    if (result == R::Restarted) FinishRestart(why, before, stops, storeFailed);
    return result;
}

void frmMain::FinishOwedRestart() {
    const p::Pid launched = Harrowatch->TakeRestartLaunch();
    if (!launched) return;
    const OwedRestart owed = owedRestart_.value_or(OwedRestart{"planned", 0, operatorStops_});
    owedRestart_.reset();
    memory_.Restarted(desktop_.TickCount());
    std::exception_ptr storeFailed;
    FinishRestart(owed.why, owed.before, owed.stops, storeFailed);
    if (storeFailed) std::rethrow_exception(storeFailed);
}

void frmMain::FinishRestart(const std::string& why, p::Pid before, int stops, std::exception_ptr& storeFailed) {
    lastRestartMs_ = std::max<std::uint64_t>(desktop_.TickCount(), 1);
    if (operatorStops_ != stops) {
        // Stopped by the operator while it closed: it stays stopped, and
        // the restart items (which activate it) wait for the next restart.
        Events.Raise(supervision::EventId::PlannedRestart,
                     why + ": process id " + std::to_string(before.value()) +
                         " closed and launched again, left stopped as the operator asked meanwhile");
        return;
    }
    // Back as it was: active, then what is scheduled for every restart.
    Harrowatch->ToggleServer(true);
    const p::Pid after = automation::GetProcessIdByName(desktop_, server::kServerExeName);
    int items = 0;
    try {
        items = Schedule.RunRestartItems(*Harrowatch);
    } catch (...) {
        storeFailed = std::current_exception();  // told once the restart itself is
    }
    Events.Raise(supervision::EventId::PlannedRestart,
                 why + ": process id " + std::to_string(before.value()) + " closed, process id " + std::to_string(after.value()) +
                     " launched, " + std::to_string(items) + " restart item" + (items == 1 ? "" : "s") + " run");
}

bool frmMain::MemoryLeftToDaily() {
    if (!memory_.Planned() || memory_.Retrying()) return false;
    const std::optional<int> at = PlannedRestartTime();
    return at && restart_.Next(NowMinute(desktop_), *at, desktop_.TickCount()).minute <= memoryByMinute_;
}

std::uint64_t frmMain::MemoryLimitBytes() {
    const std::string stored = text::Trim(settings::ReadSetting(desktop_, settings::kRestartAboveMB).ToText());
    const std::int32_t mb = settings::ReadNumber(desktop_, settings::kRestartAboveMB, -1, 0, settings::kMostRestartMB);
    if (stored != memoryLimitSetting_) {
        memoryLimitSetting_ = stored;
        if (!stored.empty() && mb < 0)
            Events.Raise(supervision::EventId::ErrorReported,
                         "\"RestartAboveMB\" is \"" + stored + "\", not a whole number of megabytes from 0 to " +
                             std::to_string(settings::kMostRestartMB) + ": the server's memory is not watched for a restart");
    }
    return mb > 0 ? static_cast<std::uint64_t>(mb) << 20 : 0;
}

void frmMain::GuardMemory() {
    if (!Harrowatch) return;
    const std::uint64_t limit = MemoryLimitBytes();
    const p::Pid pid = Harrowatch->ServerPid();
    const std::uint64_t now = desktop_.TickCount();
    if (!MemoryWatched(limit, pid)) return;
    const std::optional<std::uint64_t> bytes = PolledPrivateBytes(pid);
    const std::string limitText = "RestartAboveMB of " + std::to_string(limit >> 20) + " MB";
    PlanMemoryRestart(limit, pid, bytes, now, limitText);
    // Nobody online only as counted this poll: a count not read is no "none".
    const bool nobody = polledPlayers_ && *polledPlayers_ == 0;
    if (!memory_.Due(nobody, now) || MemoryLeftToDaily()) return;
    RestartForMemory(limitText, nobody, now);
}

bool frmMain::MemoryWatched(std::uint64_t limit, p::Pid pid) {
    // The plan goes with the server it was made for: one launched since
    // (after a crash, by the daily restart) is fresh already.
    if (const auto& plan = memory_.Planned(); plan && (plan->pid != pid || Harrowatch->ServerSince() > plan->sinceMs))
        memory_.Drop();
    if (!limit || !pid) {
        memory_.Drop();
        return false;
    }
    // The operator's stop holds: nothing is planned for a stopped server.
    if (server::SaysNotActive(lblStatusLocalServer.Text())) {
        if (memory_.Planned()) {
            memoryOwedAtStop_ = true;  // the operator's start carries it out
            Events.Raise(supervision::EventId::ServerResources,
                         "the restart for memory is not done: the server was stopped by the operator");
        }
        memory_.Drop();
        return false;
    }
    return true;
}

std::optional<std::uint64_t> frmMain::PolledPrivateBytes(p::Pid pid) {
    // This poll's figure, if it is this server's: unknown is neither 0 nor above.
    const supervision::ServerResources& r = Resources.Last();
    const std::optional<std::uint64_t> bytes = r.pid == pid ? r.privateBytes : std::nullopt;
    if (r.pid == pid && !bytes && memoryUnreadPid_ != pid) {
        memoryUnreadPid_ = pid;
        Events.Raise(supervision::EventId::ServerResources,
                     "the private bytes of process id " + std::to_string(pid.value()) +
                         " cannot be read: RestartAboveMB waits for a figure");
    }
    return bytes;
}

void frmMain::PlanMemoryRestart(std::uint64_t limit, p::Pid pid, const std::optional<std::uint64_t>& bytes,
                                std::uint64_t now, const std::string& limitText) {
    const p::LocalTime t = desktop_.GetLocalTime();
    const std::uint64_t msIntoMinute = static_cast<std::uint64_t>(t.second) * 1000 + static_cast<std::uint64_t>(t.millisecond);
    switch (memory_.See(limit, pid, bytes, now, msIntoMinute)) {
        case MemoryGuard::Seen::Planned:
            memoryByMinute_ = NowMinute(desktop_) + static_cast<std::int64_t>((memory_.Planned()->byMs - now + msIntoMinute) / 60000);
            Events.Raise(supervision::EventId::ServerResources,
                         Megabytes(*bytes) + " private bytes, above " + limitText +
                             ": the server is restarted once no player is online, at " +
                             settings::FormatDailyTime(static_cast<int>(memoryByMinute_ % 1440)) + " at the latest");
            break;
        case MemoryGuard::Seen::StillAbove:
            Events.Raise(supervision::EventId::ServerResources,
                         Megabytes(*bytes) + " private bytes, still above " + limitText +
                             " after a planned restart: not restarted for memory before " +
                             ClockIn(desktop_, memory_.GapEndsMs() - now));
            break;
        case MemoryGuard::Seen::Nothing: break;
    }
}

void frmMain::RestartForMemory(const std::string& limitText, bool nobody, std::uint64_t now) {
    const int stops = operatorStops_;
    if (ServerStoppedByOperator()) {
        Events.Raise(supervision::EventId::ServerResources,
                     "the restart for memory is not done: the server was stopped by the operator");
        memory_.Drop();
        memoryOwedAtStop_ = true;
        return;
    }
    const std::string why = "for memory (" + Megabytes(memory_.Planned()->bytes) + " private bytes, above " +
                            limitText + ") " +
                            (nobody ? "with no player online" : "after 30 minutes with players online");
    using R = server::clsHarrowatch::Restart;
    std::exception_ptr storeFailed;
    const R result = RestartServer(why, stops, storeFailed, [this](R r) {
        if (r == R::NotRunning || r == R::Cancelled) memory_.Drop();  // nothing runs, or Harrowatch is on its way out
    });
    if (result == R::CloseRefused) {
        const bool again = memory_.Failed(now);
        memoryRetryMinute_ = NowMinute(desktop_) + static_cast<std::int64_t>((MemoryGuard::kRetryMs + 59999) / 60000);
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "the server did not close for the restart " + why + "; " +
                         (again ? "tried again at " + ClockIn(desktop_, MemoryGuard::kRetryMs)
                                : "not tried again before " + ClockIn(desktop_, memory_.GapEndsMs() - now)));
    }
    if (storeFailed) std::rethrow_exception(storeFailed);
}

}  // namespace hw::app
