// frmMain: Harrowatch's main window as the system sees it: its controls (as
// models), the controller's status events, the poll timer and the refresh
// cycle that mirrors the server and runs the schedule.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/memory_guard.h"
#include "app/planned_restart.h"
#include "app/reset_warnings.h"
#include "app/tray_icon.h"
#include "automation/remote_lists.h"
#include "automation/wait.h"
#include "chat/chat_window.h"
#include "platform/desktop.h"
#include "schedule/editor.h"
#include "schedule/schedule.h"
#include "server/controller.h"
#include "settings/config_dialog.h"
#include "supervision/event_log.h"
#include "supervision/events.h"
#include "supervision/log.h"
#include "supervision/metrics.h"
#include "supervision/resources.h"
#include "supervision/reports.h"
#include "supervision/webhook.h"
#include "ui/controls.h"
#include "ui/grid.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace hw::app {

inline constexpr std::size_t kMonitoredLinesKept = 20000;
inline constexpr const char* kBeyondReachText =
    "The server is a 64-bit program and this Harrowatch is the 32-bit (x86) one: it cannot read the server's "
    "players and messages. Install the 64-bit (x64) Harrowatch.";
// What a second start of Harrowatch asks of the running copy: show its window.
inline constexpr const char* kShowWindowMessage = "Harrowatch.ShowWindow";

// A second start finds the running copy's main window (of `mainClass`) in
// this session and has it shown and brought forward; false when there is
// none here to find (it runs in another session, or is still starting).
bool ShowRunningCopy(platform::Desktop& desktop, const std::string& mainClass);
// The most server lines one poll copies: a long list is caught up with over
// several polls, each short enough for the window to stay responsive.
inline constexpr std::int32_t kMostLinesPerPoll = 500;
inline constexpr std::uint32_t kDefaultPollMs = 5000;
// How long an exit waits for the last metrics file (a stalled share: the
// exit goes on without it).
inline constexpr std::uint32_t kMetricsExitWaitMs = 2000;
// How long a server stays silent before it counts as not responding: the
// time after which Windows itself calls a window hung.
inline constexpr std::uint64_t kHungAfterMs = 5000;
// Probes unanswered this long make a hang whatever Windows says of it.
inline constexpr std::uint64_t kSilentLongMs = 30000;
// While a server is silent but not yet called hung, the poll looks again
// this soon: two busy moments a poll apart are no hang of 5 s.
inline constexpr std::uint32_t kSilentProbeGapMs = 1000;
// Failed probes further apart than this are not one silence, unless
// Harrowatch's own sends found the server silent in between.
inline constexpr std::uint64_t kSilenceForgottenMs = server::kSilenceForgottenMs;
// The status while the server runs with higher rights than Harrowatch.
inline constexpr const char* kElevatedStatus = "NEEDS ADMINISTRATOR";
inline constexpr const char* kExitRefusedText =
    "The server did not close, so Harrowatch keeps running and watching it. Exit again once the server can close.";
// The window at its design size, twips: a client area of 5985 x 4860 and
// the frame around it.
inline constexpr int kMainWidth = 6105, kMainHeight = 5355;
// Mouse messages the shell reports over the tray icon.
inline constexpr int kTrayLeftDoubleClick = 515, kTrayRightButtonUp = 517;
inline constexpr std::uint32_t kWmQueryEndSession = 0x0011, kWmEndSession = 0x0016;
// The toolbar's buttons, counted from 1.
enum ToolbarButton { kConfigure = 1, kStartServer, kStopServer, kShowServer, kHideServer };

class frmMain {
public:
    frmMain(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::TrayShell& shell,
            automation::CancelSignal& cancel, ui::Application& app);
    ~frmMain();

    // Start-up: a second copy ends silently; otherwise the editor, first-run
    // settings, position, schedule, controller, server, tray icon and the
    // first refresh (which starts the poll timer), then the window shows.
    void Form_Load();
    // Closing saves the position and hides into the tray (cancel := true).
    void Form_Unload(bool& cancel);
    // "&Exit Harrowatch": ends once the server is gone. Chosen while an
    // operation waits, it cancels the wait and goes on once that unwound.
    void sysExit_Click();

    // The tray icon's notifications: x carries the mouse message.
    void Form_MouseMove(int button, int shift, float x, float y);
    void sysChatServer_Click() { OpenChat(); }
    void lvServerMessage_Click() { OpenChat(); }
    void sysStartServer_Click() { ToggleServer(true); }
    void sysStopServer_Click() { ToggleServer(false); }
    void sysConfigue_Click();
    void Toolbar_ButtonClick(int button);
    void SSTab_Click(int previousTab);
    void PlayerListView_MouseDown(int button, int shift, float x, float y);

    // Messages of the main window that the system answers itself; true when
    // handled, with the window procedure's result. The shell's
    // "TaskbarCreated" puts the tray icon back; WM_QUERYENDSESSION and
    // WM_ENDSESSION end Harrowatch with the Windows session, without holding
    // it up and without relaunching the server Windows is closing. A second
    // start's kShowWindowMessage shows the window as the tray icon would.
    bool Form_Message(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam, std::int64_t& result);
    bool SessionEnding() const { return sessionEnding_; }

    void Harrowatch_UpdateStatus(const std::string& pStatusType, const std::string& pStatusMessage,
                                 std::int32_t pStatusValue);
    void RefreshTimer_Timer() { FormRefresh(); }
    // One refresh cycle. A cycle asked for while one runs (a tick or a forced
    // refresh during a reset's wait) runs once after it instead.
    void FormRefresh();
    void lblStatusLocalServer_Change();

    // Supervision: what happens goes to the day's log (and the event log);
    // every message box passes through Reports, so every error does too.
    supervision::Events Events;
    supervision::ActionLog Log;
    supervision::EventLogSink EventLog;
    supervision::ReportingBoxes Reports;
    // The operator away from the console: the webhook, and (below, once the
    // icon is there) the tray's balloons.
    supervision::Webhook Webhook;
    // What the server uses, read each poll (Last() keeps the poll's
    // figures), and the metrics file for Prometheus.
    supervision::ResourceWatch Resources;
    supervision::Metrics Metrics;

    // The window's handle and tray picture, once a binding gives them.
    platform::Hwnd hWnd = 0;
    std::uint64_t picSysTray = 0;

    ui::Toolbar Toolbar;
    ui::Label lblStatusLocalServer;
    // The server's processor, memory, handles and uptime, in one line.
    ui::Label lblServerResources;
    ui::Tabs SSTab{{"Connected Users", "Server Messages", "Scheduled Tasks", "Information"}};
    ui::ListView PlayerListView;
    ui::ListBox lstMonitoredMsgs{kMonitoredLinesKept};
    ui::TextBox txtStatusMasterServer;
    ui::StatusBar StatusBar;
    ui::Timer RefreshTimer;
    ui::BusyPointer Pointer;
    ui::GridModel ResetItemGrid;
    ui::PopupMenu mnuSystemTray, mnuListView;
    ui::Window window{kMainWidth, kMainHeight};
    ui::Screen screen;

    std::unique_ptr<server::clsHarrowatch> Harrowatch;
    schedule::Schedule Schedule;
    schedule::ScheduleEditor Editor;
    ResetWarnings Warnings;
    TrayIcon Tray;
    TrayBalloons Balloons;

    // The configuration dialog while it is open, and how it is shown: the
    // binding runs it modally, a test acts on it.
    std::unique_ptr<settings::frmConfig> Config;
    std::function<void(settings::frmConfig&)> runConfigModal;
    // The chat window, and the binding that gives it a native window (or
    // brings the open one forward).
    std::unique_ptr<chat::frmMessage> Chat;
    std::function<void(chat::frmMessage&)> onChatOpen;
    std::function<void(chat::frmMessage&)> onChatShow;
    // A closed chat window's model is about to go: its native window must go first.
    std::function<void(chat::frmMessage&)> onChatRelease;
    // Pops a menu up at the pointer.
    ui::PopupHost popup;
    // Shows a folder to the operator (the shell's window).
    std::function<void(const std::string& folder)> openFolder;

    bool ConfigVisible() const { return Config && !Config->Closed(); }
    bool ExitPending() const { return exitPending_; }

    bool Refreshing() const { return refreshing_; }
    std::int64_t CopiedServerLines() const { return copiedLines_; }

private:
    // Marks a handler that may reach the controller as on the stack.
    struct Handler {
        explicit Handler(frmMain& f) : f_(f) { ++f_.handlers_; }
        ~Handler() { --f_.handlers_; }
        Handler(const Handler&) = delete;
        Handler& operator=(const Handler&) = delete;
        frmMain& f_;
    };
    bool OperationOnStack() const;
    // Form_Load's steps: the "Scheduled Tasks" tab's grid and editor; the
    // window where it was last left (on a screen that shows it); the data
    // folder secured, the log begun, the session's end and the log-on task
    // seen to.
    void SetUpScheduleTab();
    void PlaceAtStoredPosition();
    void StartLogAndSession();
    void ToggleServer(bool on);
    void OpenChat();
    void OpenLogFolder();
    void BuildMenus();
    void RunCycle();
    // The poll's reads of server `pid`: its status, players and messages.
    // False when the poll goes no further (its reads rest, or the server
    // does not answer); the timer is then on again.
    bool ReadServer(platform::Pid pid);
    void ReadInterval();
    void ReadStatus(const std::vector<platform::Hwnd>& windows);
    void ReadPlayers(const std::vector<platform::Hwnd>& windows, platform::Pid pid);
    // The players shown can no longer be read: they are marked with the time
    // they were.
    void PlayersNotRead();
    void ReadMessages(const std::vector<platform::Hwnd>& windows, platform::Pid pid);
    void RefreshFailed();
    void ShowPanelHint();
    // The server answers one short probe, or the poll leaves it alone.
    bool ServerAnswers(platform::Hwnd server, platform::Pid pid);
    // The silence counted is server `pid`'s (another's is forgotten).
    void TrackSilenceOf(platform::Pid pid);
    // A probe sent at `sent` to `server` went unanswered: counted, and told
    // once past the threshold. True while it is only a busy moment so far.
    bool HeardSilence(platform::Hwnd server, platform::Pid pid, std::uint64_t sent, std::uint64_t stalled, bool mayEnd);
    // Windows refuses Harrowatch's messages to server `pid`: told once.
    void ServerElevated(platform::Pid pid);
    // The server answered a probe at `now`: a silence told ends.
    void AnsweringAgain(std::uint64_t now);
    // A probe sent at `sent` went unanswered: when the silence of server
    // `pid` began (`stalled`: since when its form has not shown; 0: it has).
    void CountSilence(platform::Pid pid, std::uint64_t sent, std::uint64_t stalled);
    // Silent past the threshold: told once, shown, and (`mayEnd`) ended
    // when the operator set a time for that.
    void NotResponding(std::uint64_t now, std::uint64_t stalled, bool mayEnd);
    void ShowHeldRelaunch();
    void WarnPlayers();
    // Reads what the server `pid` uses (0: none runs) and shows it.
    void WatchResources(platform::Pid pid);
    void WriteMetrics();
    // "RestartDailyAt" as minutes after midnight; nothing when it is off or
    // not a time (told once for each value stored).
    std::optional<int> PlannedRestartTime();
    // The daily restart, when due: after the schedule's resets, never in
    // the middle of one.
    void RestartIfPlanned();
    // The daily restart that came at `cameMs` is served already: by a
    // launch since, or by a planned restart shortly before (told).
    bool DailyRestartServed(const std::string& when, std::uint64_t cameMs, std::uint64_t tick);
    // The operator's stop holds for the server that runs: asked for it, or
    // its status reads "NOT ACTIVE".
    bool OperatorKeepsServerStopped();
    // The server did not close for the daily restart at `when`: told, with
    // when it is tried again.
    void DailyRestartRefused(const std::string& when);
    // The memory guard: plans a restart when the server's private bytes
    // pass "RestartAboveMB", and carries it out when it is due; after the
    // daily restart, which may have made it needless.
    void GuardMemory();
    // Drops a memory plan made for another server, or while the memory is
    // not watched (no limit, no server, or stopped by the operator): false
    // then.
    bool MemoryWatched(std::uint64_t limit, platform::Pid pid);
    // This poll's private bytes of server `pid`; nothing when unknown (told
    // once for each server).
    std::optional<std::uint64_t> PolledPrivateBytes(platform::Pid pid);
    // Plans the restart for memory when `bytes` first pass `limit`, and tells it.
    void PlanMemoryRestart(std::uint64_t limit, platform::Pid pid, const std::optional<std::uint64_t>& bytes,
                           std::uint64_t now, const std::string& limitText);
    // The restart for memory, now due, carried out unless the operator has
    // the server stopped.
    void RestartForMemory(const std::string& limitText, bool nobody, std::uint64_t now);
    // "RestartAboveMB" in bytes; 0 when off or not a number of megabytes
    // (told once for each value stored).
    std::uint64_t MemoryLimitBytes();
    // Whether the operator has the server stopped ("NOT ACTIVE"), its
    // status read afresh.
    bool ServerStoppedByOperator();
    // A planned restart carried out: the server closed through its own
    // close, launched again and, unless the operator stopped it since
    // `stops`, activated with the restart rows run. `why` says which, in
    // the events' texts; a failure of the schedule's store comes back in
    // `storeFailed`. `settle` hears the controller's answer at once, before
    // anything that may throw: the caller's records are right whatever follows.
    using RestartResult = server::clsHarrowatch::Restart;
    RestartResult RestartServer(const std::string& why, int stops, std::exception_ptr& storeFailed,
                                const std::function<void(RestartResult)>& settle);
    // The server `before` closed for a planned restart and its successor is
    // up: activated, its restart rows run, and the restart told.
    void FinishRestart(const std::string& why, platform::Pid before, int stops, std::exception_ptr& storeFailed);
    // A planned restart whose close came late, or whose launch failed, is
    // carried out by the launch that brought the server back.
    void FinishOwedRestart();
    // The memory restart is left to the daily one, which comes by its latest time.
    bool MemoryLeftToDaily();
    // Writes the metrics file once more as Harrowatch exits.
    void WriteMetricsAtExit();
    void SavePosition();
    void AllowTaskbarCreated();
    void EndWithSession();
    void ShowFromTray();

    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    automation::CancelSignal& cancel_;
    ui::Application& app_;
    int subscription_ = 0;
    int handlers_ = 0;
    bool exitPending_ = false;
    bool exiting_ = false;
    bool sessionEnding_ = false;
    std::uint32_t taskbarCreated_ = 0;
    std::uint32_t showWindow_ = 0;
    platform::Pid widthCheckedPid_ = 0;
    std::uint32_t exitTimer_ = 0;
    bool refreshing_ = false;
    bool refreshAsked_ = false;
    std::string lastError_;            // the error the last cycles met, reported once
    std::uint64_t lastSilentProbe_ = 0;  // when a probe last went unanswered
    std::string failing_;              // what panel 1 says while cycles fail
    std::uint64_t silentSince_ = 0;    // when the server stopped answering; 0: it answers
    platform::Pid silentPid_ = 0;      // the server process that silence belongs to
    bool saidSilent_ = false;          // its silence has been told as "not responding"
    std::string shownBeforeSilence_;   // the status shown before "NOT RESPONDING"
    platform::Pid elevatedTold_;       // the server told to run with higher rights than Harrowatch
    bool relaunchHeld_ = false;        // the last cycle held the relaunch back
    std::optional<std::uint64_t> pollMs_;  // how long the last cycle took
    std::string refusedInterval_;      // a stored interval the timer cannot take, reported once
    DailyRestart restart_;
    std::string restartSetting_;       // "RestartDailyAt" as last read
    int operatorStops_ = 0;            // "Stop Server" chosen so far
    int startedAfterStops_ = 0;        // operatorStops_ at the operator's last start after a stop
    platform::Pid stoppedPid_ = 0;     // the server the operator's last "Stop Server" was for
    std::uint64_t operatorStartMs_ = 0;  // that start (tick count; 0: none)
    bool memoryOwedAtStop_ = false;    // a restart for memory waited when the operator stopped the server
    std::uint64_t lastRestartMs_ = 0;  // the last planned restart carried out (tick count; 0: none)
    // A planned restart a later launch is to carry out: why, the server it
    // closed, and the operator's stops then.
    struct OwedRestart {
        std::string why;
        platform::Pid before = 0;
        int stops = 0;
    };
    std::optional<OwedRestart> owedRestart_;
    MemoryGuard memory_;
    std::string memoryLimitSetting_;   // "RestartAboveMB" as last read
    std::int64_t memoryByMinute_ = 0;  // the local minute the memory restart comes by, for the warnings
    std::int64_t memoryRetryMinute_ = 0;
    platform::Pid memoryUnreadPid_ = 0;  // the server whose memory could not be read, told once
    std::optional<std::int64_t> polledPlayers_;  // the players counted this poll, if they were
    std::int64_t copiedLines_ = 0;     // how far the server's message list has been copied
    platform::Pid copiedFrom_ = 0;     // the server process that list belongs to
    automation::ListViewReader playerReader_;
    server::ServerWindows serverWindows_{desktop_};
    // Hears of the server ending or going silent before any other sink, so
    // that what they tell of the players says when it was read.
    struct OutageMark : supervision::EventSink {
        std::function<void()> onOutage;
        void Take(const supervision::Event& e) override {
            using supervision::EventId;
            if (onOutage && (e.id == EventId::ServerEnded || e.id == EventId::NotResponding ||
                             e.id == EventId::HungServerEnded || e.id == EventId::RelaunchDelayed))
                onOutage();
        }
    } outageMark_;
    std::string playerCount_;          // panel 2 as last read
    platform::LocalTime playersReadAt_{};
    bool playersStale_ = false;        // panel 2 and the list are as of playersReadAt_
    // The count last read from the server while it answered, and which
    // server; forgotten once a read fails (the metrics then have no sample).
    std::optional<std::int64_t> playersRead_;
    platform::Pid playersReadPid_ = 0;
};

}  // namespace hw::app
