// clsHarrowatch: everything Harrowatch does to the game server, through the
// server's own windows. It touches no window of Harrowatch; it tells its
// listeners what it does through UpdateStatus.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "automation/remote_lists.h"
#include "automation/wait.h"
#include "platform/desktop.h"
#include "platform/owned.h"
#include "schedule/schedule.h"
#include "server/server_windows.h"
#include "settings/settings.h"
#include "supervision/backoff.h"
#include "supervision/backups.h"
#include "supervision/events.h"
#include "ui/message_box.h"
#include "ui/report.h"

namespace hw::server {

inline constexpr const char* kServerExeName = "KALTOR INTERNET SERVER.EXE";
inline constexpr const char* kGameKey = "Software\\Velmora\\KALTOR";
inline constexpr const char* kSettingsKey = settings::kSettingsKey;

// Status types of UpdateStatus; Booleans travel as -1 and 0.
inline constexpr const char* kUpdateStatus = "UPDATE_STATUS";
inline constexpr const char* kEnableToolbar = "ENABLE_TOOLBAR";
inline constexpr const char* kEnableTimer = "ENABLE_TIMER";
inline constexpr const char* kForceRefresh = "FORCE_REFRESH";
inline constexpr const char* kToggleHourglass = "TOGGLE_HOURGLASS";
// A look at the server while an operation held the poll found it answering,
// or silent; the value is its process id.
inline constexpr const char* kServerAnswers = "SERVER_ANSWERS";
inline constexpr const char* kServerSilent = "SERVER_SILENT";
// The one probe of whether the server takes input (WM_NULL), and the most
// it waits: the poll's and a stop's alike, so both hear the same server.
inline constexpr std::uint32_t kProbeMs = 250;
inline constexpr std::int32_t kTrue = -1;
inline constexpr std::int32_t kFalse = 0;

// The status while a launched server has not shown its configuration form.
inline constexpr const char* kNoFormStatus = "NO CONFIGURATION FORM";
// The status while the server's program is not where the game says it is.
inline constexpr const char* kNotFoundStatus = "KALTOR NOT FOUND";
// The status while the registry does not tell where the server is.
inline constexpr const char* kFolderUnreadStatus = "KALTOR FOLDER UNKNOWN";

// The game's installation directory, ending in a backslash; shared by every
// controller and set by each StartServer.
extern std::string gInstallDirectory;

using StatusListener =
    std::function<void(const std::string& pStatusType, const std::string& pStatusMessage, std::int32_t pStatusValue)>;

// A text sent to the players, awaited in server `pid`'s list from line
// `from` on, until a minute after `at`.
struct PendingEcho {
    std::string said;
    platform::Pid pid = 0;
    std::int32_t from = 0;
    std::uint64_t at = 0;
};
using SentTexts = std::vector<PendingEcho>;

// Failed looks at a server further apart than this are not one silence.
inline constexpr std::uint64_t kSilenceForgottenMs = 3000;

// What Harrowatch's own sends saw of server `pid` between the main window's
// probes: the latest spell in which it took none of their input (a send
// dialog clicked for that did not open), and when it last took some.
struct ServerSilence {
    platform::Pid pid = 0;
    std::uint64_t from = 0, until = 0;
    std::uint64_t answeredAt = 0;
    // Whether the server was seen silent throughout `from`..`to`, with no
    // answer since `from`.
    bool Throughout(platform::Pid server, std::uint64_t since, std::uint64_t to) const {
        return server == pid && until && answeredAt < since && from <= since + kSilenceForgottenMs &&
               until + kSilenceForgottenMs >= to;
    }
    // When the spell of silence that reaches up to `at` began; 0: none.
    std::uint64_t SilentSince(platform::Pid server, std::uint64_t at) const {
        return server == pid && until && from && answeredAt < from && until + kSilenceForgottenMs >= at ? from : 0;
    }
};

// The record the controllers of one Harrowatch share.
struct SharedRecord {
    SentTexts echoes;
    ServerSilence silence;
};

class clsHarrowatch : public schedule::ScheduledItemRunner {
public:
    // cancel: raised when Harrowatch shuts down; every wait ends on it.
    clsHarrowatch(platform::Desktop& desktop, ui::MessageBoxHost& boxes,
                  const automation::CancelSignal* cancel = nullptr);
    ~clsHarrowatch() override;
    clsHarrowatch(const clsHarrowatch&) = delete;
    clsHarrowatch& operator=(const clsHarrowatch&) = delete;

    // Listeners hear this instance only; raising is synchronous.
    int SubscribeUpdateStatus(StatusListener listener);
    void UnsubscribeUpdateStatus(int id);

    platform::Pid StartServer();
    void HideServerWindow();
    void ShowServerWindow();
    bool StopServer();
    void ToggleServer(bool pServerActive);
    void SendServerMessage(const std::string& pMessageText);
    bool ProcessScheduledItem(const std::string& pScheduledItem) override;
    std::string ProcessChatText();

    // How long a wait for one of the server's dialogs may take.
    static constexpr std::uint32_t kDialogWaitMs = 30000;
    static constexpr std::uint32_t kSendDialogWaitMs = 10000;
    static constexpr std::uint32_t kIdleWaitMs = 30000;
    // How long a launched server may take to show its configuration form
    // (and, with AutoStart, its "&Save" button).
    static constexpr std::uint32_t kFormWaitMs = 60000;
    // A form that shows at the end of that minute still gets this long for
    // its "&Save" button.
    static constexpr std::uint32_t kSaveWaitMs = 10000;
    // How long a stop waits for the operator to answer the server's "Close
    // Server" question.
    static constexpr std::uint32_t kCloseAnswerWaitMs = 120000;

    std::int32_t mMessageLineCount = 0;
    // True while one of the operations is on the stack (it may be waiting).
    bool Busy() const { return depth_ > 0; }

    // Where the controller tells what happens to the server; none: nothing told.
    supervision::Events* events = nullptr;
    // A controller beside the supervising one (the chat window's) tells only
    // its own sends: the server's launches and ends are told once, by the
    // controller that watches them.
    bool supervises = true;
    // The Windows session is ending: a server that ends now is no quick end.
    bool sessionEnding = false;
    // No server runs, and quick ends hold its relaunch back for now.
    bool RelaunchHeld();
    std::uint64_t RelaunchAt() const { return backoff_.RelaunchAt(); }
    int QuickEnds() const { return backoff_.QuickEnds(); }
    // The server's program was not there at the last look: RelaunchAt says
    // when it is looked for again.
    bool ProgramMissing() const { return backoff_.Missing(); }
    // Whether the last SendServerMessage went through the server's dialog;
    // when it did not, why (empty when it did).
    bool LastSendArrived() const { return lastSendArrived_; }
    const std::string& LastSendFailure() const { return lastSendFailure_; }
    // The texts this controller and `other` send are one record: the
    // server's line of a text either sent (a warning of the main window's, a
    // chat line) is never read back as a player's chat by either.
    // So is what their sends saw of the server's silence.
    void ShareSentTexts(const clsHarrowatch& other) { shared_ = other.shared_; }
    const ServerSilence& Silence() const { return shared_->silence; }
    // The daily planned restart: closes the server as StopServer does (its
    // own close, its question) and launches it again. Its end is no crash
    // and no quick end; Harrowatch shutting down meanwhile launches nothing.
    enum class Restart { Restarted, NotRunning, CloseRefused, Cancelled, NotLaunched };
    Restart PlannedRestart();
    // Planned restarts carried out (the server closed and launched again).
    int PlannedRestarts() const { return plannedRestarts_; }
    // A planned restart that did not launch the server itself (its close
    // came after Harrowatch stopped waiting, or its launch failed) is
    // carried out by the launch that follows: the server launched so, once,
    // counted as a planned restart (0: none).
    platform::Pid TakeRestartLaunch();
    // A planned restart's server closed and its launch is still to be
    // finished (by TakeRestartLaunch's caller).
    bool RestartOwed() const { return restartOwed_ || restartLaunch_; }
    // A close Harrowatch stopped waiting for stays Harrowatch's until the
    // server ends (a slow save, a hung server that takes it once it answers
    // again): its clean end then is a stop, not a crash. Once its question
    // has been answered, the server goes within this time or has declined.
    static constexpr std::uint64_t kAnsweredCloseMs = 30000;
    // When the server running now was launched or first seen (tick count).
    std::uint64_t ServerSince() const { return serverSince_; }
    // Ends a server that has stopped answering; the next poll launches it again.
    bool EndHungServer(std::uint64_t silentForMs);
    // The server `pid`, launched by Harrowatch, did not show its
    // configuration form in time: when its wait began, or 0. It counts as
    // not responding from then until the form shows.
    std::uint64_t StalledSince(platform::Pid pid);
    // The server seen running at the last look and the handle the
    // controller holds on it (waiting and asking, and reading its memory
    // counters when Windows allowed it); 0 when none.
    platform::Pid ServerPid() const { return serverProcess_ ? serverPid_ : 0; }
    platform::Handle ServerProcess() const { return serverProcess_.get(); }
    // Set while Harrowatch exits: StartServer launches nothing.
    bool exiting = false;

private:
    enum class Wait { Found, ServerGone, TimedOut, Cancelled };
    void RaiseUpdateStatus(const std::string& type, const std::string& message, std::int32_t value);

    // The main poll timer as one operation holds it: what it switched off
    // is switched on again on every way out ("ENABLE_TIMER" 0, then -1).
    class PollTimer {
    public:
        explicit PollTimer(clsHarrowatch& c) : c_(c) {}
        ~PollTimer() { Restore(); }
        PollTimer(const PollTimer&) = delete;
        PollTimer& operator=(const PollTimer&) = delete;
        void Off() {
            c_.RaiseUpdateStatus(kEnableTimer, "", kFalse);
            owed_ = true;
        }
        // Switched on at the way out, whether or not it was switched off.
        void OnAtEnd() { owed_ = true; }
        // Left off at the way out: Harrowatch is on its way out, or the server stopped.
        void LeaveOff() { owed_ = false; }

    private:
        void Restore() {
            if (std::exchange(owed_, false)) c_.RaiseUpdateStatus(kEnableTimer, "", kTrue);
        }
        clsHarrowatch& c_;
        bool owed_ = false;
    };
    // Runs fn(timer) as the operation `name`: marked on the stack while it
    // runs. What it throws restores what onError restores, then the timer,
    // and is reported as the procedure `name`; the result is then the
    // empty one (0, false, none).
    template <class Fn>
    auto RunOperation(const char* name, Fn&& fn, const std::function<void(PollTimer&)>& onError = {})
        -> std::invoke_result_t<Fn&, PollTimer&>;
    // StartServer's steps.
    bool ReadInstallDirectory();
    bool ProgramThere(const std::string& program);
    platform::Pid LaunchServer(const std::string& program);
    Wait AwaitConfigurationForm(platform::Pid pid);
    // SendServerMessage's steps.
    void SendFailed(const std::string& text, const std::string& why);
    // The server's send dialog, clicked open; 0 (the failure told) when it did not open.
    platform::Hwnd OpenSendDialog(const std::string& text, platform::Pid sentTo, platform::Hwnd main,
                                  const std::vector<platform::Hwnd>& windows);
    // Whether the text went into the dialog's text box.
    bool FillSendDialog(const std::string& text, platform::Hwnd dialog);
    // ProcessScheduledItem's steps.
    enum class ResetOutcome { Done, NotDone, Ended };
    ResetOutcome RunInDataManager(const ResetSteps& steps);
    bool BackUpBeforeReset();
    std::string ResetText(const std::string& item) const;
    bool ServerRunning();
    platform::Pid RunningServerPid();
    platform::Hwnd ServerMainWindow();
    // Looks `lookup` up until it answers a window, yielding and pausing
    // between looks; ends when the server is gone, after timeoutMs, or on
    // cancellation.
    Wait WaitForWindow(const std::function<platform::Hwnd()>& lookup, platform::Hwnd& found,
                       std::uint32_t timeoutMs = automation::kNoTimeout);
    // Sleeps in short slices, letting the message loop run between them.
    void PauseWithEvents(std::uint32_t ms, bool endOnCancel = true);
    void WaitUntilIdle(platform::Pid pid);
    bool SettingIsOne(const std::string& name);
    void SettleAndHide(platform::Pid pid);
    void SaveConfiguration(platform::Pid pid, platform::Hwnd form, platform::Hwnd save);
    platform::Hwnd OpenDataManagerWindow(const DataView& view);
    platform::Hwnd FindByControlText(platform::Hwnd parent, const std::string& text, bool yieldBetween,
                                     bool yieldFirst);
    bool DeleteDataFile(const std::string& fileName);
    // One try at a delete: the file copied first when it changed since its
    // last copy, then deleted; the Windows error of the delete (0: deleted).
    struct DeleteAttempt {
        std::string fileName, path, key;  // key: the name upper-cased
        std::optional<platform::FileAttributes> copied;  // the file as its last copy read it
        int copies = 0;
        std::uint64_t copyingMs = 0;  // spent on copies made: the wait for the file is not
        bool stopped = false;         // Harrowatch shuts down
    };
    long BackUpAndDelete(DeleteAttempt& attempt);
    // The server's data folder, ending in a backslash.
    std::string DataDirectory() const;
    // Copies the data folder's files that changed since their last copy
    // (only the one named `only`, when given) into today's backup folder.
    // False when Harrowatch shut down before it was done.
    bool CopyDataFolder(supervision::FolderCopy& result, const std::string& only = {});
    // Whether a chat text at `index` of the server's list is its line of a
    // text sent from here; each sent text is matched once.
    bool TakeEcho(const std::string& said, std::int32_t index);

    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    ServerWindows windows_{desktop_};
    const automation::CancelSignal* cancel_;
    // The data manager's toolbar, asked where its buttons are.
    automation::UnansweredBlocks toolbarRequests_{desktop_};
    std::vector<std::pair<int, StatusListener>> listeners_;
    int nextListener_ = 1;
    int depth_ = 0;
    void Tell(supervision::EventId id, const std::string& text) {
        if (!events) return;
        if (supervises || id == supervision::EventId::MessageSent || id == supervision::EventId::MessageNotSent)
            events->Raise(id, text);
    }
    // The server behind serverProcess_ has ended: tells how, and holds the
    // next launch back when it ended quickly.
    void NoteEnded();
    // The server still runs: tells once that a run has outlasted a crash loop.
    void NoteLongRun();
    platform::UniqueHandle serverProcess_;  // the server last seen running
    supervision::RelaunchBackoff backoff_;
    std::uint64_t serverSince_ = 0;         // when it was launched or first seen
    platform::Pid launchedPid_ = 0;         // the last server Harrowatch launched
    bool endedByHarrowatch_ = false;        // a stop or a hung server's end is under way
    bool planned_ = false;                  // a planned restart is under way
    int plannedRestarts_ = 0;
    // A close Harrowatch stopped waiting for, which the server may still take.
    struct LateClose {
        platform::Pid pid = 0;
        bool planned = false;       // asked by a planned restart
        bool questionSeen = false;  // its "Close Server" question has shown
        std::uint64_t signMs = 0;   // when its question last showed
    };
    std::optional<LateClose> lateClose_;
    // Watches the question of a late close: once answered, a server that
    // stays has declined.
    void WatchLateClose();
    bool restartOwed_ = false;              // a planned restart's server ended, none launched since
    platform::Pid restartLaunch_ = 0;       // launched in its place, for TakeRestartLaunch
    std::uint64_t hungSilentMs_ = 0;        // a hung server's end is under way: how long it was silent
    int loopBehind_ = 0;                    // quick ends before this run, while it is not yet a long one
    platform::Pid stalledPid_ = 0;          // a launched server that never showed its configuration form
    std::uint64_t stalledSince_ = 0;
    bool lastSendArrived_ = false;
    std::string missingProgramTold_;        // the missing server program the operator was told of
    bool folderUnreadTold_ = false;         // a failed read of the server's folder was logged
    std::string lastSendFailure_;
    std::shared_ptr<SharedRecord> shared_ = std::make_shared<SharedRecord>();
    void NoteSilent(platform::Pid pid, std::uint64_t from, std::uint64_t until);
    // One short look at whether the server takes input, noted for the poll,
    // which is off while a stop waits, and told to the main window, which
    // judges hangs. `answered` holds the stop's last look (none yet: empty);
    // an answer after none or after silence is told.
    void ProbeWhileWaiting(std::optional<bool>& answered);
    void NoteAnswered(platform::Pid pid);
    platform::Pid chatFrom_ = 0;            // the server whose list mMessageLineCount counts
    platform::Hwnd chatList_ = 0;           // its message list, as last found
    bool countTaken_ = false;               // mMessageLineCount says where reading goes on
    platform::Pid serverPid_ = 0;
    // The copies made of the data folder's files, whatever copies them next.
    std::shared_ptr<supervision::DataFolderCopies> copies_ = std::make_shared<supervision::DataFolderCopies>();
    // The running reset's files that could not be copied first, by
    // upper-cased name ("" for the folder), and what the log says of each.
    std::map<std::string, std::string> notBackedUp_;
    friend class Operation;
};

// Marks an operation of the controller on the stack for as long as it runs.
class Operation {
public:
    explicit Operation(clsHarrowatch& c) : c_(c) { ++c_.depth_; }
    ~Operation() { --c_.depth_; }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    clsHarrowatch& c_;
};

template <class Fn>
auto clsHarrowatch::RunOperation(const char* name, Fn&& fn, const std::function<void(PollTimer&)>& onError)
    -> std::invoke_result_t<Fn&, PollTimer&> {
    using Result = std::invoke_result_t<Fn&, PollTimer&>;
    Operation op(*this);
    try {
        PollTimer timer(*this);
        try {
            return fn(timer);
        } catch (...) {
            if (onError) onError(timer);
            throw;
        }
    } catch (...) {
        ReportCaught(boxes_, name);
        return Result();
    }
}

}  // namespace hw::server
