// Starting, stopping, activating, hiding and showing the server.
#include "server/controller.h"

#include "automation/hold.h"
#include "automation/process.h"
#include "automation/windows.h"
#include "common/error.h"
#include "common/scope_exit.h"
#include "ui/report.h"
#include "common/text.h"
#include "settings/registry.h"

namespace hw::server {

std::string gInstallDirectory;

namespace p = platform;
using automation::GetChildWindows;

clsHarrowatch::clsHarrowatch(p::Desktop& desktop, ui::MessageBoxHost& boxes, const automation::CancelSignal* cancel)
    : desktop_(desktop), boxes_(boxes), cancel_(cancel) {}

int clsHarrowatch::SubscribeUpdateStatus(StatusListener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void clsHarrowatch::UnsubscribeUpdateStatus(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void clsHarrowatch::RaiseUpdateStatus(const std::string& type, const std::string& message, std::int32_t value) {
    const auto listeners = listeners_;  // a handler may unsubscribe
    for (const auto& [id, listener] : listeners) listener(type, message, value);
}

bool clsHarrowatch::ServerRunning() {
    // Looking the server up by name opens every process on the machine; the
    // waits ask many times a second, so a handle on the server found last
    // answers while that process lives.
    if (serverProcess_) {
        if (desktop_.WaitForSingleObject(serverProcess_.get(), 0) == p::proc::kWaitTimeout) {
            NoteLongRun();
            if (lateClose_) WatchLateClose();
            return true;
        }
        NoteEnded();
        serverProcess_.reset();
    }
    const p::Pid pid = automation::GetProcessIdByName(desktop_, kServerExeName);
    if (!pid) return false;
    // Waiting and asking are rights Windows grants even on a server that
    // runs elevated; reading its memory counters too needs PROCESS_VM_READ,
    // which such a server refuses (its memory is then unknown).
    constexpr std::uint32_t kWatch = p::proc::kSynchronize | p::proc::kQueryLimitedInformation;
    serverProcess_ = p::UniqueHandle(desktop_, desktop_.OpenProcess(kWatch | p::proc::kVmRead, false, pid));
    if (!serverProcess_) serverProcess_ = p::UniqueHandle(desktop_, desktop_.OpenProcess(kWatch, false, pid));
    serverPid_ = serverProcess_ ? pid : 0;
    if (serverProcess_ && pid != launchedPid_) {
        serverSince_ = desktop_.TickCount();
        Tell(supervision::EventId::ServerFound, "process id " + std::to_string(pid.value()));
    }
    return true;
}

void clsHarrowatch::NoteEnded() {
    std::uint32_t code = 0;
    const bool known = desktop_.GetExitCodeProcess(serverProcess_.get(), &code);
    const std::uint64_t now = desktop_.TickCount();
    // Windows may close the server before it tells Harrowatch the session
    // ends; its shutting-down flag is set from the start.
    const bool withSession = sessionEnding || desktop_.GetSystemMetrics(p::session::kSmShuttingDown) != 0;
    // A close Harrowatch asked for is its own, however late the server takes
    // it: a server that exits cleanly (or whose code is not known) took it;
    // one that ends with another code has crashed meanwhile.
    const bool late = lateClose_ && lateClose_->pid == serverPid_ && (!known || code == 0);
    const bool planned = planned_ || (late && lateClose_->planned);
    if (late && lateClose_->planned && !planned_) restartOwed_ = true;  // the launch that follows carries it out
    lateClose_.reset();
    // Asked to close, a server ends cleanly: one that ends with another
    // code meanwhile (a crash as it starts, say) has crashed. A hung server
    // Harrowatch ended has the code Harrowatch gave it.
    const bool crashedWhileClosing = endedByHarrowatch_ && !hungSilentMs_ && known && code != 0;
    const bool byHarrowatch = (endedByHarrowatch_ && !crashedWhileClosing) || withSession || late;
    endedByHarrowatch_ = false;
    const std::uint64_t hungFor = hungSilentMs_;
    hungSilentMs_ = 0;
    loopBehind_ = 0;
    const std::uint64_t wait = backoff_.Ended(now, byHarrowatch);
    const std::string what = "process id " + std::to_string(serverPid_.value()) +
                             (known ? ", exit code " + std::to_string(code) : std::string()) + ", after " +
                             std::to_string((now - serverSince_) / 1000) + " s";
    // A hung server Harrowatch ended: its end is told once, as that.
    if (hungFor)
        Tell(supervision::EventId::HungServerEnded, what + ", silent for " + std::to_string(hungFor / 60000) + " min");
    else
        Tell(byHarrowatch ? supervision::EventId::ServerStopped : supervision::EventId::ServerEnded,
             what + (!byHarrowatch  ? ""
                     : withSession ? ", with the Windows session"
                     : planned     ? ", planned restart"
                                   : ", closed by Harrowatch"));
    if (wait)
        Tell(supervision::EventId::RelaunchDelayed, "launched again in " + std::to_string(wait / 1000) + " s, after " +
                                                        std::to_string(backoff_.QuickEnds()) + " quick end" +
                                                        (backoff_.QuickEnds() == 1 ? "" : "s") + " in a row");
}

void clsHarrowatch::NoteLongRun() {
    // Out of a crash loop only once a run has lasted as long as a quick end may.
    if (!loopBehind_ || desktop_.TickCount() - serverSince_ < supervision::RelaunchBackoff::kQuickRunMs) return;
    Tell(supervision::EventId::RelaunchedAfterCrashes, "process id " + std::to_string(serverPid_.value()) + ", running " +
                                                           std::to_string((desktop_.TickCount() - serverSince_) / 1000) +
                                                           " s after " + std::to_string(loopBehind_) +
                                                           " quick ends in a row");
    loopBehind_ = 0;
}

void clsHarrowatch::WatchLateClose() {
    if (lateClose_->pid != serverPid_) {
        lateClose_.reset();
        return;
    }
    const std::uint64_t now = desktop_.TickCount();
    p::Pid asker = 0;
    if (const p::Hwnd question = windows_.CloseQuestion())
        desktop_.GetWindowThreadProcessId(question, &asker);
    if (asker == serverPid_) {
        lateClose_->questionSeen = true;
        lateClose_->signMs = now;
        return;
    }
    if (lateClose_->questionSeen && now - lateClose_->signMs >= kAnsweredCloseMs) lateClose_.reset();
}

p::Pid clsHarrowatch::TakeRestartLaunch() {
    const p::Pid pid = std::exchange(restartLaunch_, p::Pid{});
    if (pid) ++plannedRestarts_;
    return pid;
}

bool clsHarrowatch::RelaunchHeld() { return !ServerRunning() && backoff_.Waiting(desktop_.TickCount()); }

bool clsHarrowatch::EndHungServer(std::uint64_t silentForMs) {
    const p::Pid pid = RunningServerPid();
    if (!pid) return false;
    p::UniqueHandle process(desktop_, desktop_.OpenProcess(p::proc::kTerminate, false, pid));
    endedByHarrowatch_ = true;
    hungSilentMs_ = std::max<std::uint64_t>(silentForMs, 1);
    if (!process || !desktop_.TerminateProcess(process.get(), 1)) {
        endedByHarrowatch_ = false;
        hungSilentMs_ = 0;
        Tell(supervision::EventId::ErrorReported, "the hung server could not be ended (Windows error " +
                                                      std::to_string(desktop_.GetLastError()) + ")");
        return false;
    }
    // Its end is told when it is seen, with its exit code.
    desktop_.WaitForSingleObject(serverProcess_.get(), 1000);
    return true;
}

std::uint64_t clsHarrowatch::StalledSince(p::Pid pid) {
    if (!pid || pid != stalledPid_) return 0;
    // A form that shows late: the server has come that far after all, and
    // with AutoStart it is saved now, as it would have been at once.
    if (const p::Hwnd form = windows_.ConfigurationForm()) {
        stalledPid_ = 0;
        const p::Hwnd save = windows_.SaveButton(form);
        if (save && SettingIsOne(settings::kAutoStart.name)) {
            Operation op(*this);
            SaveConfiguration(pid, form, save);
            // Settled (and hidden) as a launch that went as it should is,
            // before the poll drives it: a restart's items run then.
            if (SettingIsOne(settings::kHideKaltorWindow.name)) SettleAndHide(pid);
        }
    }
    return pid == stalledPid_ ? stalledSince_ : 0;
}

p::Pid clsHarrowatch::RunningServerPid() {
    if (!ServerRunning()) return 0;
    return serverProcess_ ? serverPid_ : automation::GetProcessIdByName(desktop_, kServerExeName);
}

clsHarrowatch::~clsHarrowatch() = default;

p::Hwnd clsHarrowatch::ServerMainWindow() {
    const p::Pid pid = RunningServerPid();
    return pid ? automation::GetProcessMainWindow(desktop_, pid) : 0;
}

clsHarrowatch::Wait clsHarrowatch::WaitForWindow(const std::function<p::Hwnd()>& lookup, p::Hwnd& found,
                                                 std::uint32_t timeoutMs) {
    const std::uint64_t start = desktop_.TickCount();
    for (;;) {
        if (cancel_ && cancel_->Raised()) return Wait::Cancelled;
        found = lookup();
        if (!ServerRunning()) return Wait::ServerGone;
        if (found) return Wait::Found;
        desktop_.DoEvents();
        if (timeoutMs != automation::kNoTimeout && desktop_.TickCount() - start >= timeoutMs) return Wait::TimedOut;
        desktop_.Sleep(automation::kPollPauseMs);
    }
}

void clsHarrowatch::PauseWithEvents(std::uint32_t ms, bool endOnCancel) {
    const std::uint64_t end = desktop_.TickCount() + ms;
    while (desktop_.TickCount() < end && !(endOnCancel && cancel_ && cancel_->Raised())) {
        desktop_.Sleep(static_cast<std::uint32_t>(std::min<std::uint64_t>(automation::kPollPauseMs, end - desktop_.TickCount())));
        desktop_.DoEvents();
    }
}

void clsHarrowatch::WaitUntilIdle(p::Pid pid) {
    platform::UniqueHandle process(
        desktop_, desktop_.OpenProcess(p::proc::kQueryInformation | p::proc::kSynchronize, false, pid));
    // A server that runs elevated cannot be asked: it is not waited for.
    if (process) automation::WaitForProcessIdle(desktop_, process.get(), kIdleWaitMs, cancel_);
}

bool clsHarrowatch::SettingIsOne(const std::string& name) {
    settings::cRegistry reg = settings::MachineKey(desktop_, kSettingsKey);
    reg.SetValueKey(name);
    reg.SetValueType(p::reg::kDword);
    return reg.Value() == TaggedValue(std::int32_t{1});
}

void clsHarrowatch::SettleAndHide(p::Pid pid) {
    p::Hwnd main = automation::GetProcessMainWindow(desktop_, pid);
    std::vector<p::Hwnd> list = GetChildWindows(desktop_, main);
    for (;;) {
        const size_t remembered = list.size();
        if (windows_.MessagePanel(list)) {
            HideServerWindow();
            return;
        }
        PauseWithEvents(1000);
        if (cancel_ && cancel_->Raised()) return;
        WaitUntilIdle(pid);
        if (!main) main = automation::GetProcessMainWindow(desktop_, pid);
        list = GetChildWindows(desktop_, main);
        if (list.size() == remembered) return;  // settled without the window: leave it shown
    }
}

void clsHarrowatch::SaveConfiguration(p::Pid pid, p::Hwnd form, p::Hwnd save) {
    // A click that arrives while the new form is still taking the focus is
    // lost (the button lets go of the mouse when it loses the focus): let
    // the server settle first, and press again while the form stays.
    WaitUntilIdle(pid);
    for (int attempt = 0; attempt < 5; ++attempt) {
        windows_.Press(save);
        automation::WaitUntil(
            desktop_, [&] { return !desktop_.IsWindow(form) || !ServerRunning(); }, 2000, cancel_);
        if (!desktop_.IsWindow(form) || !desktop_.IsWindow(save) || !ServerRunning()) return;
        if (cancel_ && cancel_->Raised()) return;
    }
}

bool clsHarrowatch::ReadInstallDirectory() {
    settings::cRegistry reg(desktop_);
    reg.SetClassKey(settings::kHkeyLocalMachine);
    reg.SetSectionKey(kGameKey);
    reg.SetValueKey("INSTDIR");
    reg.SetValueType(p::reg::kSz);
    // A read that failed is no "not set": the server is not looked for
    // beside Harrowatch (and the operator not told to move it) because
    // the registry failed for a moment. The folder read last serves;
    // with none yet, the next poll asks again.
    TaggedValue installDir;
    try {
        installDir = reg.ReadValue();
        folderUnreadTold_ = false;
    } catch (const HwError& e) {
        if (gInstallDirectory.empty()) {
            if (!folderUnreadTold_)
                Tell(supervision::EventId::ErrorReported,
                     std::string("the server's folder could not be read; asked again at the next poll: ") + e.what());
            folderUnreadTold_ = true;
            RaiseUpdateStatus(kUpdateStatus, kFolderUnreadStatus, 0);
            return false;
        }
        installDir = gInstallDirectory;
    }
    gInstallDirectory = text::IsBlankValue(installDir)
                            ? text::AddTrailingBackslash(text::FolderOf(desktop_.GetOwnModuleFileName()))
                            : text::AddTrailingBackslash(installDir.ToText());
    return true;
}

bool clsHarrowatch::ProgramThere(const std::string& program) {
    if (desktop_.FileExists(program)) {
        missingProgramTold_.clear();
        backoff_.Found();
        return true;
    }
    // Said once for each place looked in; the poll goes on, and
    // launches the server as soon as it is there.
    RaiseUpdateStatus(kUpdateStatus, kNotFoundStatus, 0);
    // Looked for again after the waits of a relaunch, not at every poll.
    backoff_.Missing(desktop_.TickCount());
    if (program != missingProgramTold_) {
        missingProgramTold_ = program;
        // Without waiting for OK: a box that held this operation would hold
        // every poll behind it, and the launch once the server is back.
        boxes_.Report("You must run Harrowatch from your Kaltor directory.", kAppTitle,
                      ui::mb::kOk | ui::mb::kIconExclamation);
    }
    return false;
}

p::Pid clsHarrowatch::LaunchServer(const std::string& program) {
    RaiseUpdateStatus(kUpdateStatus, "STARTING KALTOR....", 0);
    RaiseUpdateStatus(kEnableToolbar, "", kFalse);
    p::UniqueHandle launched;
    const p::Pid pid = automation::LaunchProgram(desktop_, program, gInstallDirectory, false, cancel_, &launched);
    RaiseUpdateStatus(kEnableToolbar, "", kTrue);
    if (!pid) return 0;
    launchedPid_ = pid;
    // Watched from its launch on: an end before the first look is an end too.
    if (launched) {
        serverProcess_ = std::move(launched);
        serverPid_ = pid;
    }
    serverSince_ = desktop_.TickCount();
    backoff_.Launched(serverSince_);
    Tell(supervision::EventId::ServerLaunched,
         "process id " + std::to_string(pid.value()) + (planned_ || restartOwed_ ? ", planned restart" : ""));
    // This launch carries out the planned restart owed, however its form
    // comes: a later one (after a crash) is no restart.
    if (restartOwed_ && !planned_) restartLaunch_ = pid;
    restartOwed_ = false;
    // A single quick end is no loop.
    loopBehind_ = backoff_.QuickEnds() >= 2 ? backoff_.QuickEnds() : 0;
    return pid;
}

clsHarrowatch::Wait clsHarrowatch::AwaitConfigurationForm(p::Pid pid) {
    // A server that never gets as far as its form is given a minute, then
    // left running and counted as not responding (TimedOut).
    const std::uint64_t waitFrom = desktop_.TickCount();
    const auto left = [&] {
        const std::uint64_t spent = desktop_.TickCount() - waitFrom;
        return static_cast<std::uint32_t>(spent >= kFormWaitMs ? 0 : kFormWaitMs - spent);
    };
    const auto stalled = [&](const std::string& what) {
        stalledPid_ = pid;
        stalledSince_ = std::max<std::uint64_t>(waitFrom, 1);
        RaiseUpdateStatus(kUpdateStatus, kNoFormStatus, 0);
        Tell(supervision::EventId::ErrorReported, "the server showed " + what + " within " +
                                                      std::to_string(kFormWaitMs / 1000) + " s (process id " +
                                                      std::to_string(pid.value()) + ")");
        desktop_.DoEvents();
        return Wait::TimedOut;
    };
    p::Hwnd form = 0;
    Wait w = WaitForWindow([&] { return windows_.ConfigurationForm(); }, form, kFormWaitMs);
    if (w == Wait::TimedOut) return stalled("no \"Server Configuration\" form");
    if (w != Wait::Found) return w;  // gone while starting: the next poll launches it again
    if (SettingIsOne(settings::kAutoStart.name)) {
        p::Hwnd save = 0;
        // The operator may save the form first: then there is nothing to press.
        w = WaitForWindow(
            [&] {
                const p::Hwnd b = windows_.SaveButton(form);
                return b ? b : (desktop_.IsWindow(form) ? p::Hwnd{} : form);
            },
            save, std::max(left(), kSaveWaitMs));
        if (w == Wait::TimedOut) return stalled("its \"Server Configuration\" form but no \"&Save\" button");
        if (w != Wait::Found) return w;
        if (save != form) SaveConfiguration(pid, form, save);
    }
    if (SettingIsOne(settings::kHideKaltorWindow.name)) SettleAndHide(pid);
    return Wait::Found;
}

p::Pid clsHarrowatch::StartServer() {
    const auto start = [&](PollTimer& timer) -> p::Pid {
        if (!ReadInstallDirectory()) {
            timer.OnAtEnd();
            return 0;
        }
        timer.Off();
        p::Pid pid = RunningServerPid();
        // A server runs (started from elsewhere, say): a later wait is a relaunch's.
        if (pid) backoff_.Found();
        // Harrowatch on its way out finds the server, and launches none it
        // would only close again, or leave behind. Nor while Windows ends the
        // session: a server launched now would be closed with it; called
        // off, the next poll launches it.
        if (!pid && (exiting || desktop_.GetSystemMetrics(p::session::kSmShuttingDown))) return 0;
        if (!pid) {
            const std::string program = gInstallDirectory + kServerExeName;
            if (!ProgramThere(program)) return 0;
            pid = LaunchServer(program);
            if (pid) {
                const Wait w = AwaitConfigurationForm(pid);
                if (w == Wait::TimedOut) return pid;  // left running, not responding
                if (w == Wait::Cancelled) timer.LeaveOff();
                if (w != Wait::Found) return 0;
            }
        }
        desktop_.DoEvents();
        return pid;
    };
    // On an error the result is 0, as at entry: the refresh cycle goes no further.
    return RunOperation("StartServer", start, [&](PollTimer& timer) {
        RaiseUpdateStatus(kEnableToolbar, "", kTrue);
        timer.OnAtEnd();
    });
}

void clsHarrowatch::HideServerWindow() {
    RunOperation("HideServerWindow", [&](PollTimer&) {
        const p::Pid pid = StartServer();
        if (!pid) return;
        desktop_.ShowWindow(automation::GetProcessMainWindow(desktop_, pid), p::wnd::kSwHide);
        desktop_.UpdateWindow(desktop_.GetDesktopWindow());
        desktop_.DoEvents();
    });
}

void clsHarrowatch::ShowServerWindow() {
    RunOperation("ShowServerWindow", [&](PollTimer&) {
        const p::Pid pid = StartServer();
        if (!pid) return;
        const p::Hwnd main = automation::GetProcessMainWindow(desktop_, pid);
        desktop_.ShowWindow(main, p::wnd::kSwShowNormal);
        desktop_.MoveWindow(main, 100, 100, 700, 600, true);
        desktop_.UpdateWindow(desktop_.GetDesktopWindow());
        desktop_.DoEvents();
    });
}

void clsHarrowatch::ToggleServer(bool pServerActive) {
    const auto toggle = [&](PollTimer&) {
        if (!ServerRunning() && !pServerActive) return;
        const p::Pid pid = StartServer();
        const p::Hwnd main = automation::GetProcessMainWindow(desktop_, pid);
        if (const p::Hwnd button = windows_.ActivationButton(main, pServerActive)) windows_.Press(button);
    };
    RunOperation("ToggleServer", toggle, [](PollTimer& timer) { timer.OnAtEnd(); });
}

clsHarrowatch::Restart clsHarrowatch::PlannedRestart() {
    Operation op(*this);
    if (!RunningServerPid()) return Restart::NotRunning;
    planned_ = true;
    ScopeExit done([this] { planned_ = false; });
    if (!StopServer()) return Restart::CloseRefused;
    // Harrowatch exits, or Windows ends the session: the server stays closed.
    if ((cancel_ && cancel_->Raised()) || sessionEnding) return Restart::Cancelled;
    restartOwed_ = false;
    if (!StartServer()) {
        restartOwed_ = true;  // the launch that brings the server back carries the restart out
        return Restart::NotLaunched;
    }
    ++plannedRestarts_;
    return Restart::Restarted;
}

void clsHarrowatch::ProbeWhileWaiting(std::optional<bool>& answered) {
    // A server hung through a stop that gave up (and the next) is then
    // told not responding at the first poll, as if the poll had watched.
    // One that answers is told responding again at once, though the poll
    // stays off while the stop waits. Only the answer tells it: a question
    // on the screen may have been shown before the hang began.
    // A server that never showed its form is silent since its launch, and
    // told so by the poll; its window's answers say nothing of that.
    if (serverPid_ && serverPid_ == stalledPid_) return;
    const p::Hwnd main = ServerMainWindow();
    const std::uint32_t wait = automation::LoopHold::Allowance(desktop_, kProbeMs);
    if (!main || !wait) return;
    const std::uint64_t sent = desktop_.TickCount();
    const auto value = static_cast<std::int32_t>(serverPid_.value());
    if (desktop_.SendMessageTimeout(main, 0 /* WM_NULL */, 0, 0, p::msg::kSmtoAbortIfHung, wait, nullptr)) {
        NoteAnswered(serverPid_);
        if (answered != true) RaiseUpdateStatus(kServerAnswers, "", value);
        answered = true;
    } else if (desktop_.GetLastError() != p::err::kAccessDenied && desktop_.IsWindow(main)) {
        // (Refused: the server has higher rights, and the poll tells that.)
        NoteSilent(serverPid_, sent, desktop_.TickCount());
        answered = false;
        RaiseUpdateStatus(kServerSilent, "", value);
    }
}

bool clsHarrowatch::StopServer() {
    const auto stop = [&](PollTimer& timer) {
        timer.Off();
        // Stopped: the poll stays off.
        const auto stopped = [&] {
            timer.LeaveOff();
            return true;
        };
        if (!ServerRunning()) return stopped();
        endedByHarrowatch_ = true;
        windows_.Post(ServerMainWindow(), p::msg::kClose, 0, 0);
        // The server may ask the operator first, at once or a while later:
        // whenever its question shows, Harrowatch waits for the answer, and
        // the time to close counts from then. Not for ever: an operator who
        // has walked away leaves a server that is still watched.
        std::uint64_t askedSince = 0;
        std::uint64_t probedAt = 0;
        std::optional<bool> answered;
        bool asking = false;
        lateClose_.reset();
        for (int pass = 0; pass < 10;) {
            if (!ServerRunning()) return stopped();
            const p::Hwnd question = windows_.CloseQuestion();
            p::Pid asker = 0;
            if (question) desktop_.GetWindowThreadProcessId(question, &asker);
            asking = question && asker == serverPid_;
            const std::uint64_t now = desktop_.TickCount();
            // A hung server cannot take the operator's answer: its question
            // holds the stop no longer than its silence would.
            if (asking && answered != false) {
                if (!askedSince) askedSince = std::max<std::uint64_t>(now, 1);
                if (now - askedSince < kCloseAnswerWaitMs) {
                    pass = 0;
                    if (!probedAt || now - probedAt >= 1000) {
                        probedAt = std::max<std::uint64_t>(now, 1);
                        ProbeWhileWaiting(answered);
                    }
                    desktop_.DoEvents();
                    desktop_.Sleep(automation::kPollPauseMs);
                    continue;
                }
            }
            probedAt = std::max<std::uint64_t>(now, 1);
            ProbeWhileWaiting(answered);
            PauseWithEvents(1000, false);  // the stop is itself part of shutting down
            ++pass;
        }
        // Not stopped yet. Its question still showing, or none seen (a slow
        // save, a question still to come), the server may take the close
        // later: its end is then Harrowatch's. Its question answered while
        // it stays, the next end of this server is its own.
        endedByHarrowatch_ = false;
        if (asking || !askedSince)
            lateClose_ = LateClose{serverPid_, planned_, asking, std::max<std::uint64_t>(desktop_.TickCount(), 1)};
        return false;
    };
    return RunOperation("StopServer", stop, [&](PollTimer& timer) {
        endedByHarrowatch_ = false;
        timer.LeaveOff();
    });
}

}  // namespace hw::server
