#include "app/main_window.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/send.h"
#include "automation/wait.h"
#include "automation/windows.h"
#include "common/datetime.h"
#include "common/error.h"
#include "common/scope_exit.h"
#include "ui/report.h"
#include "common/text.h"
#include "schedule/grid_layout.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "supervision/log.h"

namespace hw::app {

namespace p = platform;

namespace {
constexpr const char* kFailingMark = "Refreshing fails: ";
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

frmMain::frmMain(p::Desktop& desktop, ui::MessageBoxHost& boxes, ui::TrayShell& shell,
                 automation::CancelSignal& cancel, ui::Application& app)
    : Log(desktop), EventLog(desktop), Reports(boxes, Events), Webhook(desktop, Events), Resources(desktop),
      Metrics(desktop), RefreshTimer(desktop),
      Schedule(ResetItemGrid, desktop, Reports, [this](bool on) { RefreshTimer.Hold(on); }),
      Editor(ResetItemGrid, Schedule, desktop, Reports, [this](bool on) { RefreshTimer.Hold(on); }),
      Warnings(desktop),
      Tray(shell, text::BaseNameWithoutExtension(desktop.GetOwnModuleFileName())), Balloons(desktop, Tray, hWnd),
      desktop_(desktop),
      boxes_(Reports), cancel_(cancel), app_(app), playerReader_(desktop) {
    outageMark_.onOutage = [this] { PlayersNotRead(); };
    Events.AddSink(&outageMark_);
    Events.AddSink(&Log);
    Events.AddSink(&EventLog);
    Events.AddSink(&Balloons);
    Events.AddSink(&Webhook);
    Events.AddSink(&Metrics);
    // Said once, and again only after a write went through in between.
    Metrics.onUnwritable = [this](const std::string& why) { Events.Raise(supervision::EventId::MetricsUnwritable, why); };
    Webhook.serverStatus = [this] { return lblStatusLocalServer.Text(); };
    Webhook.players = [this] { return static_cast<int>(PlayerListView.Items().size()); };
    Webhook.playersAsOf = [this] { return playersStale_ ? std::optional<p::LocalTime>(playersReadAt_) : std::nullopt; };
    Warnings.onNotSent = [this](const std::string& what) { Events.Raise(supervision::EventId::WarningNotSent, what); };
    // A log that cannot be written says so once, where the operator looks
    // and in the event log, and again only after it was written meanwhile.
    Log.onUnwritable = [this](const std::string& why) {
        StatusBar.SetPanel(1, why);
        Events.Raise(supervision::EventId::LogUnwritable, why);
    };
    PlayerListView.columns = {"ID", "Name", "Address", "Character Name"};
    lblStatusLocalServer.SetText("Server Status");
    lblStatusLocalServer.onChange = [this] { lblStatusLocalServer_Change(); };
    RefreshTimer.SetInterval(kDefaultPollMs);
    RefreshTimer.onTick = [this] { RefreshTimer_Timer(); };
    Toolbar.onClick = [this](int button) { Toolbar_ButtonClick(button); };
    SSTab.onSelect = [this] { SSTab_Click(-1); };
    ResetItemGrid.onEnterCell = [this] { Editor.ResetItemGrid_EnterCell(); };
    BuildMenus();
}

frmMain::~frmMain() {
    if (exitTimer_) desktop_.KillTimer(exitTimer_);
    if (Harrowatch) Harrowatch->UnsubscribeUpdateStatus(subscription_);
}

void frmMain::Form_Load() {
    // A second copy ends before it shows or touches anything.
    if (app_.PrevInstance()) {
        app_.End();
        return;
    }
    Handler h(*this);
    try {
        AllowTaskbarCreated();
        SSTab.SetTabEnabled(3, false);
        schedule::InitializeResultGrid(ResetItemGrid, schedule::kScheduleGridSpec, boxes_,
                                       [this] { desktop_.DoEvents(); });
        ResetItemGrid.SetCurrent(0, 1);
        Editor.FillFrequencies();
        Editor.SetUpPanel();
        settings::WriteFirstRunDefaults(desktop_);
        window.SetVisible(false);
        const int left = settings::ReadEdge(desktop_, settings::kMainLeft);
        const int top = settings::ReadEdge(desktop_, settings::kMainTop);
        const ui::Rect placed = ui::PlaceOnScreen({left, top, left + window.Width(), top + window.Height()}, screen);
        window.Move(placed.left, placed.top);
        lblStatusLocalServer.SetText("INITIALIZING...");
        Toolbar.SetEnabled(false);
        Schedule.FormOpen();
        // The data folder is made, or set right, before the log's first line.
        std::string secured;
        const long unsafe = supervision::SecureDataFolder(desktop_, &secured);
        Events.Raise(supervision::EventId::Started, desktop_.GetOwnModuleFileName());
        if (!secured.empty())
            Events.Raise(unsafe ? supervision::EventId::ErrorReported : supervision::EventId::SettingsApplied, secured);
        // Told of the session's end before the programs of the default level,
        // the server among them. Refused, Harrowatch still knows a server
        // that goes first by Windows' shutting-down flag.
        if (!desktop_.SetProcessShutdownParameters(p::session::kFirstShutdownLevel, 0))
            Events.Raise(supervision::EventId::ErrorReported,
                         "Windows does not tell Harrowatch of the session's end before other programs (Windows error " +
                             std::to_string(desktop_.GetLastError()) + ")");
        // A log-on task left starting a Harrowatch.exe that was moved (or the
        // other package's) starts this one again.
        try {
            if (settings::RepairLogonTask(desktop_))
                Events.Raise(supervision::EventId::SettingsApplied,
                             "the task that starts Harrowatch at log-on starts " + desktop_.GetOwnModuleFileName() +
                                 " again");
        } catch (const std::exception& e) {
            Events.Raise(supervision::EventId::ErrorReported, e.what());
        }
        Harrowatch = std::make_unique<server::clsHarrowatch>(desktop_, boxes_, &cancel_);
        Harrowatch->events = &Events;
        subscription_ = Harrowatch->SubscribeUpdateStatus(
            [this](const std::string& t, const std::string& m, std::int32_t v) { Harrowatch_UpdateStatus(t, m, v); });
        RefreshTimer.SetEnabled(false);
        // The icon comes first: while the server starts, however long that
        // takes, the operator can reach Harrowatch from the tray.
        Tray.AddTrayIcon(hWnd, picSysTray, "");
        Harrowatch->StartServer();
        Toolbar.SetEnabled(true);
        FormRefresh();
    } catch (...) {
        ReportCaught(boxes_, "Form_Load", Report::WaitForOk);
        // An icon left behind would outlive the program.
        if (Tray.Added()) Tray.RemoveTrayIcon(hWnd);
        app_.End();
        return;
    }
    if (!app_.ended) window.SetVisible(true);
}

void frmMain::Harrowatch_UpdateStatus(const std::string& pStatusType, const std::string& pStatusMessage,
                                      std::int32_t pStatusValue) {
    if (pStatusType == server::kUpdateStatus) {
        lblStatusLocalServer.SetText(pStatusMessage);
    } else if (pStatusType == server::kEnableToolbar) {
        Toolbar.SetEnabled(pStatusValue != 0);
    } else if (pStatusType == server::kEnableTimer) {
        // Off and on around each operation: the poll keeps the moment it
        // was due, or operations an interval apart would keep postponing it.
        RefreshTimer.Hold(pStatusValue != 0);
    } else if (pStatusType == server::kForceRefresh) {
        FormRefresh();
    } else if (pStatusType == server::kToggleHourglass) {
        Pointer.Set(pStatusValue == -1);
    }
}

void frmMain::lblStatusLocalServer_Change() {
    if (Tray.Added()) Tray.ModifyTrayIcon(hWnd, std::nullopt, lblStatusLocalServer.Text());
}

void frmMain::FormRefresh() {
    if (exiting_ || app_.ended) return;
    if (refreshing_) {
        refreshAsked_ = true;
        return;
    }
    // A command waits for the server further down the stack: a cycle now
    // would drive the server in the middle of it. The timer comes back on
    // when the command ends.
    if ((Harrowatch && Harrowatch->Busy()) || (Chat && Chat->Busy())) return;
    refreshing_ = true;
    const std::uint64_t began = desktop_.TickCount();
    do {
        refreshAsked_ = false;
        RunCycle();
    } while (refreshAsked_ && !cancel_.Raised());
    refreshing_ = false;
    if (sessionEnding_ || app_.ended) return;
    pollMs_ = desktop_.TickCount() - began;
    WriteMetrics();
}

void frmMain::WatchResources(p::Pid pid) {
    // The controller's handle on the server it found this cycle: no process
    // is opened for it, nothing is sent to the server.
    const bool held = Harrowatch && pid && Harrowatch->ServerPid() == pid;
    const supervision::ServerResources& r = Resources.Sample(pid, held ? Harrowatch->ServerProcess() : p::Handle{});
    lblServerResources.SetText(supervision::ResourceWatch::Describe(r));
    if (const auto line = Resources.DueForLog()) Events.Raise(supervision::EventId::ServerResources, *line);
}

void frmMain::WriteMetrics() {
    if (!Metrics.Due()) return;
    std::string folder;
    try {
        folder = text::Trim(settings::ReadSetting(desktop_, settings::kMetricsFolder).ToText());
    } catch (...) {
        return;  // the registry is told of elsewhere; the next turn reads it again
    }
    supervision::MetricsState state;
    state.resources = Resources.Last();
    state.serverUp = state.resources.pid != 0;
    state.notResponding = state.serverUp && saidSilent_;
    state.relaunchHeld = relaunchHeld_;
    if (!state.serverUp)
        state.players = 0;
    else if (playersReadPid_ == state.resources.pid)
        state.players = playersRead_;  // the list shown may be older: rows not read
    if (pollMs_) state.lastPollSeconds = static_cast<double>(*pollMs_) / 1000.0;
    Metrics.Write(folder, state);
}

void frmMain::WriteMetricsAtExit() {
    // The file stays, saying that nothing watches the server and that none
    // is up (Harrowatch closed it, or Windows does with the session). A
    // Prometheus user's alert on harrowatch_server_up == 0 then fires and a
    // dashboard shows the server down, as it is; a file taken away would
    // make every series vanish, silencing such alerts (only absent() would
    // notice). Its last_write timestamp shows how old it is.
    std::string folder;
    try {
        folder = text::Trim(settings::ReadSetting(desktop_, settings::kMetricsFolder).ToText());
    } catch (...) {
        return;  // the registry fails: the exit goes on
    }
    if (folder.empty()) return;
    supervision::MetricsState state;
    state.watching = false;
    state.players = 0;
    if (Metrics.WriteNow(folder, state))
        automation::WaitUntil(desktop_, [this] { return !Metrics.Writing(); }, kMetricsExitWaitMs);
}

void frmMain::RunCycle() {
    // The session is ending: the server goes with it, and is not relaunched.
    if (sessionEnding_) return;
    RefreshTimer.SetEnabled(false);
    polledPlayers_.reset();
    try {
        // Shown, whether or not a server runs.
        Schedule.LoadIfUnread();
        // A server that keeps ending is not launched again at once.
        relaunchHeld_ = Harrowatch && Harrowatch->RelaunchHeld();
        if (relaunchHeld_) {
            WatchResources(0);
            PlayersNotRead();
            ShowHeldRelaunch();
            RefreshTimer.SetEnabled(true);
            return;
        }
        const p::Pid pid = Harrowatch ? Harrowatch->StartServer() : 0;
        // No server: the controller has switched the timer back on, and the
        // next poll tries again.
        WatchResources(pid);
        if (!pid) {
            PlayersNotRead();
            return;
        }
        ReadInterval();
        if (pid != widthCheckedPid_) {
            // Said once a server: the x86 build cannot read a 64-bit server's
            // lists, and would otherwise just show none.
            widthCheckedPid_ = pid;
            if (automation::BeyondReach(desktop_, pid))
                Events.Raise(supervision::EventId::ErrorReported, kBeyondReachText);
        }
        // Reads that have just held the loop (the chat window's) rest first:
        // the poll comes as soon as the rest is over, with its own allowance.
        if (const std::uint32_t rest = automation::LoopHold::RestLeft(desktop_)) {
            RefreshTimer.SetInterval(rest);
            RefreshTimer.SetEnabled(true);
            return;
        }
        const p::Hwnd server = automation::GetProcessMainWindow(desktop_, pid);
        {
            // The reads share one short allowance of waiting: a server that
            // hangs or slows part-way leaves the rest for the next poll.
            automation::LoopHold hold(desktop_, automation::kMostHoldMs);
            if (!ServerAnswers(server, pid)) {
                PlayersNotRead();
                RefreshTimer.SetEnabled(true);
                return;
            }
            const std::vector<p::Hwnd> windows = automation::GetChildWindows(desktop_, server);
            ReadStatus(windows);
            ReadPlayers(windows, pid);
            ReadMessages(windows, pid);
        }
        // The warnings keep their records in the registry: a failure there
        // is told once the schedule has had its turn, and never holds a
        // reset back.
        std::exception_ptr warningsFailed;
        try {
            WarnPlayers();
        } catch (...) {
            warningsFailed = std::current_exception();
        }
        Schedule.RunDueItems(*Harrowatch);
        FinishOwedRestart();
        RestartIfPlanned();
        GuardMemory();
        if (warningsFailed) std::rethrow_exception(warningsFailed);
        RefreshTimer.SetEnabled(true);
        if (!lastError_.empty()) {
            lastError_.clear();
            failing_.clear();
            ShowPanelHint();
        }
    } catch (...) {
        RefreshFailed();
    }
}

void frmMain::RefreshFailed() {
    // The same error on every tick is reported once; the status bar keeps
    // saying so until a cycle succeeds or another error comes.
    std::string key, description;
    try {
        throw;
    } catch (const HwError& e) {
        key = std::to_string(e.number()) + "|" + e.source() + "|" + e.description();
        description = e.description();
    } catch (const std::exception& e) {
        key = description = e.what();
    }
    if (key != lastError_) {
        lastError_ = key;
        try {
            throw;
        } catch (...) {
            ReportCaught(boxes_, "FormRefresh");
        }
    }
    failing_ = kFailingMark + description;
    ShowPanelHint();
}

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
    if (Harrowatch->ServerSince() > cameMs || operatorStartMs_ > cameMs) {
        // Launched since the time came (after a crash, say), or stopped and
        // started again by the operator: fresh already.
        restart_.Done();
        return;
    }
    if (lastRestartMs_ && lastRestartMs_ + DailyRestart::kServedWithinMinutes * 60000 > cameMs) {
        // Restarted as planned (for memory) shortly before: one restart serves both.
        restart_.Done();
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "not done at " + when + ": the server was restarted as planned " +
                         std::to_string((tick - lastRestartMs_) / 60000) + " minutes before");
        return;
    }
    // "Stop Server" deactivated it: a restart would bring it back, and the
    // restart's resets would activate it.
    const int stops = operatorStops_;
    // A stop the operator chose, and no start since, holds for that server
    // even before it shows: a hung server takes the click late.
    const bool stopAsked = operatorStops_ != startedAfterStops_ && stoppedPid_ &&
                           stoppedPid_ == automation::GetProcessIdByName(desktop_, server::kServerExeName);
    if (stopAsked || ServerStoppedByOperator()) {
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
        const bool again = restart_.Failed(desktop_.TickCount());
        const p::LocalTime t = desktop_.GetLocalTime();
        const int retry = (t.hour * 60 + t.minute + static_cast<int>((DailyRestart::kRetryMs + 59999) / 60000)) % 1440;
        Events.Raise(supervision::EventId::PlannedRestartFailed,
                     "the server did not close for the restart planned for " + when + "; " +
                         (again ? "tried again at " + settings::FormatDailyTime(retry)
                                : "not tried again before tomorrow at " + when));
        return;
    }
    if (storeFailed) std::rethrow_exception(storeFailed);
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
                     why + ": process id " + std::to_string(before) +
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
                 why + ": process id " + std::to_string(before) + " closed, process id " + std::to_string(after) +
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
    // The plan goes with the server it was made for: one launched since
    // (after a crash, by the daily restart) is fresh already.
    if (const auto& plan = memory_.Planned(); plan && (plan->pid != pid || Harrowatch->ServerSince() > plan->sinceMs))
        memory_.Drop();
    if (!limit || !pid) {
        memory_.Drop();
        return;
    }
    // The operator's stop holds: nothing is planned for a stopped server.
    if (server::SaysNotActive(lblStatusLocalServer.Text())) {
        if (memory_.Planned()) {
            memoryOwedAtStop_ = true;  // the operator's start carries it out
            Events.Raise(supervision::EventId::ServerResources,
                         "the restart for memory is not done: the server was stopped by the operator");
        }
        memory_.Drop();
        return;
    }
    // This poll's figure, if it is this server's: unknown is neither 0 nor above.
    const supervision::ServerResources& r = Resources.Last();
    const std::optional<std::uint64_t> bytes = r.pid == pid ? r.privateBytes : std::nullopt;
    if (r.pid == pid && !bytes && memoryUnreadPid_ != pid) {
        memoryUnreadPid_ = pid;
        Events.Raise(supervision::EventId::ServerResources,
                     "the private bytes of process id " + std::to_string(pid) +
                         " cannot be read: RestartAboveMB waits for a figure");
    }
    const std::string limitText = "RestartAboveMB of " + std::to_string(limit >> 20) + " MB";
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
    // Nobody online only as counted this poll: a count not read is no "none".
    const bool nobody = polledPlayers_ && *polledPlayers_ == 0;
    if (!memory_.Due(nobody, now) || MemoryLeftToDaily()) return;
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

void frmMain::ShowHeldRelaunch() {
    const p::LocalTime now = desktop_.GetLocalTime();
    const std::uint64_t wait = Harrowatch->RelaunchAt() - std::min(Harrowatch->RelaunchAt(), desktop_.TickCount());
    const std::int64_t at = ((now.hour * 60 + now.minute) * 60 + now.second + static_cast<std::int64_t>((wait + 999) / 1000)) % 86400;
    char when[16];
    std::snprintf(when, sizeof when, "%02d:%02d:%02d", static_cast<int>(at / 3600), static_cast<int>(at / 60 % 60),
                  static_cast<int>(at % 60));
    // Says why no server runs and when it is launched again.
    const bool missing = Harrowatch->ProgramMissing();
    // Both short enough for the label.
    lblStatusLocalServer.SetText(missing ? std::string(server::kNotFoundStatus) : std::string("RELAUNCH AT ") + when);
    const std::string tip = (missing ? "Server program not found: looked for again at "
                                     : "Server keeps ending: launched again at ") +
                            std::string(when);
    if (Tray.Added() && tip.substr(0, 63) != Tray.TrayIconData().szTip) Tray.ModifyTrayIcon(hWnd, std::nullopt, tip);
}

bool frmMain::ServerAnswers(p::Hwnd server, p::Pid pid) {
    // One short probe a poll, and nothing more while it goes unanswered: a
    // hung server holds no wait of Harrowatch's. A server is called not
    // responding only once it has stayed silent for kHungAfterMs, probe
    // after probe; a busy moment (after a reset, say) is no hang. One that
    // never showed its configuration form is silent since its launch.
    const std::uint64_t stalled = Harrowatch ? Harrowatch->StalledSince(pid) : 0;
    if (!server && !stalled) return true;
    if (pid != silentPid_) {  // another server: its silence is its own
        silentPid_ = pid;
        silentSince_ = 0;
        saidSilent_ = false;
    }
    const std::uint64_t sent = desktop_.TickCount();
    const std::uint32_t wait = automation::LoopHold::Allowance(desktop_, kProbeMs);
    // Right after reads that held the loop, nothing is asked: no answer
    // then says nothing of the server.
    if (!wait && !stalled) return false;
    const bool answers = !stalled && desktop_.SendMessageTimeout(server, 0 /* WM_NULL */, 0, 0, p::msg::kSmtoAbortIfHung,
                                                                 wait, nullptr);
    const std::uint64_t now = desktop_.TickCount();
    if (answers) {
        if (saidSilent_)
            Events.Raise(supervision::EventId::RespondingAgain,
                         "after " + std::to_string((now - silentSince_) / 1000) + " s");
        silentSince_ = 0;
        saidSilent_ = false;
        return true;
    }
    if (!stalled && !desktop_.IsWindow(server)) return true;  // gone, not hung: the next poll sees it
    // Silence is counted probe after probe: two busy moments with a long
    // gap between their probes (Harrowatch was busy with a send, say) say
    // nothing of the time between them, unless a send found the server
    // silent all that time (the operator's chat lines to a hung server hold
    // the poll). Once said, a hang lasts until an answer, however far apart
    // the polls.
    if (silentSince_ && !saidSilent_ && !stalled && sent - lastSilentProbe_ > kSilenceForgottenMs &&
        !(Harrowatch && Harrowatch->Silence().Throughout(pid, lastSilentProbe_, sent)))
        silentSince_ = 0;
    lastSilentProbe_ = sent;
    // A silence the sends saw up to this probe began when they first saw it.
    const std::uint64_t seenSilent = Harrowatch ? Harrowatch->Silence().SilentSince(pid, sent) : 0;
    if (!silentSince_) silentSince_ = std::max<std::uint64_t>(stalled ? stalled : seenSilent ? seenSilent : sent, 1);
    // Probes that each found it busy may each have met a slow request of
    // its own: the server is hung only if Windows also finds that its
    // thread has taken no message for the threshold, or if no probe at all
    // has been answered for far longer (a thread that takes a message now
    // and then, but never ours).
    if (now - silentSince_ < kHungAfterMs ||
        (!saidSilent_ && !stalled && now - silentSince_ < kSilentLongMs && !desktop_.IsHungAppWindow(server))) {
        // Busy for now: this poll leaves it alone, and the next looks again
        // soon (the poll after it restores the interval).
        if (RefreshTimer.Interval() > kSilentProbeGapMs) RefreshTimer.SetInterval(kSilentProbeGapMs);
        return false;
    }
    if (!saidSilent_) {
        saidSilent_ = true;
        Events.Raise(supervision::EventId::NotResponding,
                     stalled ? "its \"Server Configuration\" form has not shown in " +
                                   std::to_string((now - silentSince_) / 1000) + " s"
                             : "its windows have not answered for " + std::to_string((now - silentSince_) / 1000) + " s");
    }
    lblStatusLocalServer.SetText(stalled ? server::kNoFormStatus : "NOT RESPONDING");
    const std::string tip = stalled ? "Server showed no configuration form" : "Server not responding";
    if (Tray.Added() && tip != Tray.TrayIconData().szTip) Tray.ModifyTrayIcon(hWnd, std::nullopt, tip);
    const std::int32_t minutes =
        settings::ReadNumber(desktop_, settings::kHungRestartMinutes, 0, 0, settings::kMostHungMinutes);
    if (minutes > 0 && now - silentSince_ >= static_cast<std::uint64_t>(minutes) * 60000) {
        if (Harrowatch->EndHungServer(now - silentSince_)) {
            silentSince_ = 0;
            saidSilent_ = false;
        }
    }
    return false;
}

void frmMain::ShowPanelHint() {
    // A failure is shown while it lasts; then the selected tab's hint again.
    StatusBar.SetPanel(1, !failing_.empty() ? failing_ : SSTab.Selected() == 2 ? schedule::kPanelHint : "");
}

void frmMain::ReadInterval() {
    const std::string stored = settings::ReadSetting(desktop_, settings::kTimerInterval).ToText();
    if (stored.empty()) return;
    const double ms = text::RoundHalfEven(text::LeadingNumber(stored));
    if (RefreshTimer.SetInterval(static_cast<std::int64_t>(std::clamp(ms, -1.0, 1e12)))) {
        refusedInterval_.clear();
        return;
    }
    // The timer keeps its interval; the operator hears of it once.
    if (stored != refusedInterval_) {
        refusedInterval_ = stored;
        const std::string why = ms < 0 ? "\" is negative: the timer takes 0 to 65535 milliseconds"
                                        : "\" is more than the 65535 milliseconds the timer can take";
        ReportError(boxes_, 380, "Invalid property value: the poll interval \"" + stored + why,
                    std::string(kAppTitle) + " - FormRefresh");
    }
}

void frmMain::ReadStatus(const std::vector<p::Hwnd>& windows) {
    const std::optional<server::ServerStatus> status = serverWindows_.ReadStatus(windows);
    if (!status) return;
    // A field that does not answer in time keeps what it last said.
    if (status->master) txtStatusMasterServer.SetText(*status->master);
    if (!status->local) return;
    lblStatusLocalServer.SetText(*status->local);
    const bool inactive = server::SaysNotActive(lblStatusLocalServer.Text());
    mnuSystemTray.Find("sysStartServer")->enabled = inactive;
    mnuSystemTray.Find("sysStopServer")->enabled = !inactive;
}

void frmMain::ReadPlayers(const std::vector<p::Hwnd>& windows, p::Pid pid) {
    const p::Hwnd list = serverWindows_.PlayerList(windows);
    if (!list) {
        playersRead_.reset();  // no list to count: unknown
        return;
    }
    const std::optional<std::int64_t> counted = serverWindows_.CountPlayers(list);
    if (!counted) {
        PlayersNotRead();  // not answering: what is shown says when it was read
        return;
    }
    const std::int64_t count = static_cast<std::int32_t>(*counted);
    if (count < 0) {
        PlayersNotRead();  // no count to show: the last one stays, with its time
        return;
    }
    if (count == 0) StatusBar.SetPanel(2, "NO PLAYERS ONLINE");
    if (count == 1) StatusBar.SetPanel(2, "1 PLAYER ONLINE");
    if (count > 1) StatusBar.SetPanel(2, std::to_string(count) + " PLAYERS ONLINE");
    playerCount_ = StatusBar.Panel(2);
    polledPlayers_ = count;
    playersRead_ = count;
    playersReadPid_ = pid;
    playersReadAt_ = desktop_.GetLocalTime();
    playersStale_ = false;
    // The same tip again changes nothing the operator sees; the shell is spared it.
    const std::string tip = lblStatusLocalServer.Text() + "\r\n" + StatusBar.Panel(2);
    if (tip.substr(0, 63) != Tray.TrayIconData().szTip) Tray.ModifyTrayIcon(hWnd, std::nullopt, tip);

    // The count just read sizes the rows too: one send, not two.
    const std::int64_t rows = std::max<std::int64_t>(0, count);
    auto cells = serverWindows_.ReadPlayers(playerReader_, list, pid, static_cast<int>(rows));
    if (rows > 0 && cells.empty()) return;  // not answering: the rows shown stay, the count is new
    std::vector<std::vector<std::string>> items;
    items.reserve(static_cast<size_t>(rows));
    for (std::int64_t r = 0; r < rows; ++r) {
        std::vector<std::string> item{std::to_string(r + 1), "", "", ""};
        if (static_cast<size_t>(r) < cells.size())
            for (int c = 0; c < 3; ++c) item[static_cast<size_t>(c) + 1] = cells[static_cast<size_t>(r)][c];
        items.push_back(std::move(item));
    }
    PlayerListView.SetItems(std::move(items));
}

void frmMain::PlayersNotRead() {
    playersRead_.reset();
    if (playersStale_ || playerCount_.empty()) return;
    playersStale_ = true;
    char at[16];
    std::snprintf(at, sizeof at, "%02d:%02d:%02d", playersReadAt_.hour, playersReadAt_.minute, playersReadAt_.second);
    StatusBar.SetPanel(2, playerCount_ + " AS OF " + at);
}

void frmMain::ReadMessages(const std::vector<p::Hwnd>& windows, p::Pid pid) {
    const p::Hwnd list = serverWindows_.MessageList(windows);
    // A server launched anew starts its list from the beginning.
    if (pid != copiedFrom_) {
        copiedFrom_ = pid;
        copiedLines_ = 0;
    }
    if (!list) return;
    // Lines older than the newest kept would be dropped as soon as shown; a
    // long backlog is read over several polls, keeping each one short.
    const auto start = static_cast<std::int32_t>(std::min<std::int64_t>(copiedLines_, INT32_MAX));
    const automation::ListBoxTail tail = automation::ReadListBoxTail(
        desktop_, list, start, static_cast<std::int32_t>(kMonitoredLinesKept), kMostLinesPerPoll);
    if (tail.lines.empty()) return;
    lstMonitoredMsgs.AddLines(tail.lines, ui::ListBox::SelectLast);
    copiedLines_ = std::int64_t{tail.first} + static_cast<std::int64_t>(tail.lines.size());
}

}  // namespace hw::app
