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
#include "common/error.h"
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
        SetUpScheduleTab();
        // A registry that cannot be read or written now is told, and the
        // start goes on: the settings are read again at every poll.
        try {
            settings::WriteFirstRunDefaults(desktop_);
        } catch (const std::exception& e) {
            Events.Raise(supervision::EventId::ErrorReported, std::string("the settings were not set up at start: ") + e.what());
        }
        window.SetVisible(false);
        PlaceAtStoredPosition();
        lblStatusLocalServer.SetText("INITIALIZING...");
        Toolbar.SetEnabled(false);
        Schedule.FormOpen();
        StartLogAndSession();
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

void frmMain::SetUpScheduleTab() {
    SSTab.SetTabEnabled(3, false);
    schedule::InitializeResultGrid(ResetItemGrid, schedule::kScheduleGridSpec, boxes_, [this] { desktop_.DoEvents(); });
    ResetItemGrid.SetCurrent(0, 1);
    Editor.FillFrequencies();
    Editor.SetUpPanel();
}

void frmMain::PlaceAtStoredPosition() {
    const int left = settings::ReadEdge(desktop_, settings::kMainLeft);
    const int top = settings::ReadEdge(desktop_, settings::kMainTop);
    const ui::Rect placed = ui::PlaceOnScreen({left, top, left + window.Width(), top + window.Height()}, screen);
    window.Move(placed.left, placed.top);
}

void frmMain::StartLogAndSession() {
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
    } else if (sessionEnding_ || app_.ended) {
        // Harrowatch has gone with the session: nothing more is told.
    } else if (pStatusType == server::kServerAnswers) {
        // An answer ends a silence, told or still being counted.
        if (silentPid_ == p::Pid{static_cast<std::uint32_t>(pStatusValue)}) AnsweringAgain(desktop_.TickCount());
    } else if (pStatusType == server::kServerSilent) {
        // A stop's look, while the poll is off: judged as the poll's are,
        // but a stop under way is not cut short by ending the server.
        const p::Pid pid{static_cast<std::uint32_t>(pStatusValue)};
        TrackSilenceOf(pid);
        if (const p::Hwnd server = automation::GetProcessMainWindow(desktop_, pid))
            HeardSilence(server, pid, desktop_.TickCount(), 0, false);
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
    Metrics.WatchStall();
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
        if (!ReadServer(pid)) return;
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

bool frmMain::ReadServer(p::Pid pid) {
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
        return false;
    }
    const p::Hwnd server = automation::GetProcessMainWindow(desktop_, pid);
    // The reads share one short allowance of waiting: a server that hangs
    // or slows part-way leaves the rest for the next poll.
    automation::LoopHold hold(desktop_, automation::kMostHoldMs);
    if (!ServerAnswers(server, pid)) {
        PlayersNotRead();
        RefreshTimer.SetEnabled(true);
        return false;
    }
    const std::vector<p::Hwnd> windows = automation::GetChildWindows(desktop_, server);
    ReadStatus(windows);
    ReadPlayers(windows, pid);
    ReadMessages(windows, pid);
    return true;
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
    TrackSilenceOf(pid);
    const std::uint64_t sent = desktop_.TickCount();
    const std::uint32_t wait = automation::LoopHold::Allowance(desktop_, server::kProbeMs);
    // Right after reads that held the loop, nothing is asked: no answer
    // then says nothing of the server.
    if (!wait && !stalled) return false;
    const bool answers = !stalled && desktop_.SendMessageTimeout(server, 0 /* WM_NULL */, 0, 0, p::msg::kSmtoAbortIfHung,
                                                                 wait, nullptr);
    if (!answers && !stalled && desktop_.GetLastError() == p::err::kAccessDenied) {
        // Windows refused the message: the server runs with higher rights,
        // and no silence says anything of it.
        ServerElevated(pid);
        return false;
    }
    const std::uint64_t now = desktop_.TickCount();
    if (answers) {
        AnsweringAgain(now);
        return true;
    }
    if (!stalled && !desktop_.IsWindow(server)) return true;  // gone, not hung: the next poll sees it
    // Busy for now: this poll leaves it alone, and the next looks again
    // soon (the poll after it restores the interval).
    if (HeardSilence(server, pid, sent, stalled, true) && RefreshTimer.Interval() > kSilentProbeGapMs)
        RefreshTimer.SetInterval(kSilentProbeGapMs);
    return false;
}

void frmMain::TrackSilenceOf(p::Pid pid) {
    if (pid == silentPid_) return;
    // Another server: its silence is its own.
    silentPid_ = pid;
    silentSince_ = 0;
    saidSilent_ = false;
}

bool frmMain::HeardSilence(p::Hwnd server, p::Pid pid, std::uint64_t sent, std::uint64_t stalled, bool mayEnd) {
    CountSilence(pid, sent, stalled);
    const std::uint64_t now = desktop_.TickCount();
    // Probes that each found it busy may each have met a slow request of
    // its own: the server is hung only if Windows also finds that its
    // thread has taken no message for the threshold, or if no probe at all
    // has been answered for far longer (a thread that takes a message now
    // and then, but never ours).
    if (now - silentSince_ < kHungAfterMs ||
        (!saidSilent_ && !stalled && now - silentSince_ < kSilentLongMs && !desktop_.IsHungAppWindow(server)))
        return true;
    NotResponding(now, stalled, mayEnd);
    return false;
}

void frmMain::ServerElevated(p::Pid pid) {
    silentSince_ = 0;
    saidSilent_ = false;
    lblStatusLocalServer.SetText(kElevatedStatus);
    if (std::exchange(elevatedTold_, pid) != pid)
        Events.Raise(supervision::EventId::ErrorReported,
                     "process id " + std::to_string(pid.value()) + ": " + server::kServerElevatedText);
}

void frmMain::AnsweringAgain(std::uint64_t now) {
    if (saidSilent_) {
        Events.Raise(supervision::EventId::RespondingAgain, "after " + std::to_string((now - silentSince_) / 1000) + " s");
        // What the server last said, until a poll reads it again (a stop's
        // look hears the answer with the poll off).
        if (lblStatusLocalServer.Text() == "NOT RESPONDING") lblStatusLocalServer.SetText(shownBeforeSilence_);
    }
    silentSince_ = 0;
    saidSilent_ = false;
}

void frmMain::CountSilence(p::Pid pid, std::uint64_t sent, std::uint64_t stalled) {
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
}

void frmMain::NotResponding(std::uint64_t now, std::uint64_t stalled, bool mayEnd) {
    if (!saidSilent_) {
        saidSilent_ = true;
        shownBeforeSilence_ = lblStatusLocalServer.Text();
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
    if (mayEnd && minutes > 0 && now - silentSince_ >= static_cast<std::uint64_t>(minutes) * 60000) {
        if (Harrowatch->EndHungServer(now - silentSince_)) {
            silentSince_ = 0;
            saidSilent_ = false;
        }
    }
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
