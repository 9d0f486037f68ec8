// Scheduled resets carried out in the server: its data manager's views,
// pages, buttons and dialogs, or its data files.
#include <optional>
#include <set>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/wait.h"
#include "automation/windows.h"
#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"
#include "schedule/catalogue.h"
#include "server/controller.h"
#include "supervision/backups.h"

namespace hw::server {

namespace p = platform;
using automation::GetChildWindows;

namespace {
constexpr std::uint32_t kViewWaitMs = 5000;       // for the data manager and its views to open
constexpr std::uint32_t kFileInUseWaitMs = 3000;  // for the server to let go of a data file
constexpr std::uint32_t kCopyWaitMs = 600000;     // for the data folder's copy into the backups
constexpr int kMostCopies = 5;                    // of a file that keeps changing before its delete
}  // namespace

p::Hwnd clsHarrowatch::FindByControlText(p::Hwnd parent, const std::string& text, bool yieldBetween,
                                         bool yieldFirst) {
    if (!parent) return 0;  // nothing to search: as a search that finds nothing
    const std::vector<p::Hwnd> list = GetChildWindows(desktop_, parent);
    if (yieldFirst) desktop_.DoEvents();
    return automation::FindAmong(
        desktop_, list, [&](p::Hwnd h) { return automation::GetControlText(desktop_, h) == text; },
        yieldBetween ? automation::Between::Yield : automation::Between::YieldIfSlow);
}

p::Hwnd clsHarrowatch::OpenDataManagerWindow(const DataView& wanted) {
    const p::Pid pid = automation::GetProcessIdByName(desktop_, kServerExeName);
    const p::Hwnd main = automation::GetProcessMainWindow(desktop_, pid);

    const std::optional<double> id = windows_.ManageCommand(main);
    if (!id) return 0;
    if (*id > 0) windows_.Post(main, p::msg::kCommand, static_cast<std::uint64_t>(*id), 0);

    // The server opens the data manager and its views in its own time: look
    // for them a while rather than only once.
    auto findIn = [&](const std::function<bool(p::Hwnd)>& match) {
        p::Hwnd found = 0;
        automation::WaitUntil(
            desktop_,
            [&] {
                const std::vector<p::Hwnd> list = GetChildWindows(desktop_, main);
                desktop_.DoEvents();
                found = automation::FindAmong(desktop_, list, match, automation::Between::Yield);
                return found || !ServerRunning();
            },
            kViewWaitMs, cancel_);
        return found;
    };
    const p::Hwnd toolbar = findIn([&](p::Hwnd h) { return windows_.IsToolbar(h); });
    if (!toolbar) return 0;

    // A button's centre is never the corner: 0 is a point not read, and a
    // click there would open whatever lies under the corner.
    const std::int32_t point =
        automation::GetToolbarButtonPoint(desktop_, toolbar, pid, wanted.button, &toolbarRequests_);
    if (!point) return 0;
    windows_.Press(toolbar, p::msg::kMkLButton, point);

    const p::Hwnd view = findIn([&](p::Hwnd h) { return windows_.IsView(h, wanted); });
    if (!view) return 0;
    windows_.Post(desktop_.GetParent(desktop_.GetParent(toolbar)), p::msg::kClose, 0, 0);
    return view;
}

std::string clsHarrowatch::DataDirectory() const {
    return text::AddTrailingBackslash(text::AddTrailingBackslash(gInstallDirectory) + "System\\Kaltor");
}

bool clsHarrowatch::CopyDataFolder(supervision::FolderCopy& result, const std::string& only) {
    // A large folder takes a while: the copy runs on the worker thread (one
    // job after another, the old days' clean-up inside it) while the message
    // loop goes on here. Only copies and shared state cross, and the worker's
    // own desktop: a copy that an exit leaves behind finishes on its own,
    // and its answer goes nowhere.
    struct Job {
        supervision::FolderCopy result;
        bool done = false;
    };
    auto job = std::make_shared<Job>();
    p::Desktop& d = desktop_;
    d.RunInBackground(
        [job, copies = copies_, folder = DataDirectory(), limits = supervision::ReadBackupLimits(d),
         only](p::Desktop& worker) { job->result = copies->CopyChanged(worker, folder, limits, only); },
        [job] { job->done = true; });
    // Supervision waits with the reset: a copy that does not end (a stalled
    // share, a failing disk) fails the reset instead of holding it for good.
    const automation::WaitResult waited =
        automation::WaitUntil(desktop_, [&] { return job->done; }, kCopyWaitMs, cancel_);
    if (waited == automation::WaitResult::Cancelled) return false;
    if (waited == automation::WaitResult::TimedOut)
        throw HwError(errnum::kBackupFailed, kAppTitle,
                      "The copy of '" + DataDirectory() + "' into the backups did not finish within " +
                          std::to_string(kCopyWaitMs / 60000) + " minutes: the reset was not run");
    result = std::move(job->result);
    return true;
}

long clsHarrowatch::BackUpAndDelete(DeleteAttempt& a) {
    for (;;) {
        p::FileAttributes now;
        const long state = desktop_.GetFileAttributesEx(a.path, now);
        if (state == p::err::kFileNotFound || state == p::err::kPathNotFound) return state;
        if (state != 0)
            throw HwError(errnum::kPathFileAccess, kAppTitle,
                          "Path/File access error: the state of '" + a.path + "' cannot be read (Windows error " +
                              std::to_string(state) + "): the file was not deleted");
        if (a.copied && a.copied->size == now.size && a.copied->lastWriteTime == now.lastWriteTime)
            return desktop_.DeleteFile(a.path);
        if (a.copies == kMostCopies)
            throw HwError(errnum::kPermissionDenied, kAppTitle,
                          "Permission denied: '" + a.path + "' changed each time it was copied: it was not deleted");
        supervision::FolderCopy one;
        const std::uint64_t began = desktop_.TickCount();
        if (!CopyDataFolder(one, a.fileName)) {
            a.stopped = true;
            return p::err::kSharingViolation;  // not deleted: Harrowatch shuts down
        }
        const auto it = one.files.find(a.key);
        if (!one.folderError && it == one.files.end()) return p::err::kFileNotFound;  // gone meanwhile
        const long e = one.folderError ? one.folderError : it->second;
        const bool inBackups = !one.folderError && one.inBackups.contains(a.key);
        // In use, or its bytes locked: tried again. Not found: nothing is
        // deleted that the copy did not see.
        if (!inBackups && (e == p::err::kSharingViolation || e == p::err::kLockViolation ||
                           e == p::err::kPathNotFound || e == p::err::kFileNotFound))
            return e;
        if (e != 0)
            throw HwError(errnum::kBackupFailed, kAppTitle,
                          "The backup copy of '" + a.path + "' could not be made in '" +
                              supervision::BackupFolder(desktop_) + "'" +
                              (inBackups && e == p::err::kSharingViolation ? ", a folder in use by another program"
                                                                           : "") +
                              " (Windows error " + std::to_string(e) + "): the file was not deleted");
        a.copied = one.seen[a.key];
        a.copyingMs += desktop_.TickCount() - began;
        ++a.copies;
        notBackedUp_.erase(a.key);
    }
}

bool clsHarrowatch::DeleteDataFile(const std::string& fileName) {
    const std::string dataDir = DataDirectory();
    const std::string path = dataDir + fileName;
    // What goes is what was copied: right before each delete the file's size
    // and last-write time are read again, and a file that changed since its
    // copy (the server wrote it while a reader kept it) is copied again. One
    // whose state cannot be read is kept.
    DeleteAttempt attempt{fileName, path, text::Upper(fileName)};
    long r = BackUpAndDelete(attempt);
    // The server lets go of a file a moment after it is deactivated.
    const std::uint64_t start = desktop_.TickCount();
    attempt.copyingMs = 0;
    auto held = [](long e) { return e == p::err::kSharingViolation || e == p::err::kLockViolation; };
    while (held(r) && !attempt.stopped && desktop_.TickCount() - start - attempt.copyingMs < kFileInUseWaitMs &&
           !(cancel_ && cancel_->Raised())) {
        desktop_.DoEvents();
        desktop_.Sleep(100);
        r = BackUpAndDelete(attempt);
    }
    if (attempt.stopped) return false;
    // A file that is already gone is as reset as one just deleted; a data
    // folder that is not there is a wrong installation directory.
    switch (r) {
        case 0:
        case p::err::kFileNotFound:
            return true;
        case p::err::kPathNotFound:
            throw HwError(errnum::kPathNotFound, kAppTitle,
                          "Path not found: the server's data folder '" + dataDir +
                              "' is not there; check the game's installation directory (INSTDIR)");
        case p::err::kSharingViolation:
            throw HwError(errnum::kPermissionDenied, kAppTitle, "Permission denied: '" + path + "'");
        case p::err::kLockViolation:
            throw HwError(errnum::kPermissionDenied, kAppTitle,
                          "Permission denied: another program has locked part of '" + path + "' (Windows error " +
                              std::to_string(r) + ")");
        case p::err::kAccessDenied:
            throw HwError(errnum::kPathFileAccess, kAppTitle,
                          "Path/File access error: '" + path + "' may not be deleted (read-only, or no rights)");
        default:
            throw HwError(errnum::kPathFileAccess, kAppTitle,
                          "Path/File access error: '" + path + "' cannot be deleted (Windows error " + std::to_string(r) + ")");
    }
}

clsHarrowatch::ResetOutcome clsHarrowatch::RunInDataManager(const ResetSteps& steps) {
    const p::Hwnd view = OpenDataManagerWindow(*steps.view);
    const p::Hwnd holder = steps.page ? FindByControlText(view, steps.page, false, true) : view;
    if (steps.page && !holder) return ResetOutcome::Ended;
    const p::Hwnd button = FindByControlText(holder, steps.button, false, true);
    if (!steps.question) {
        if (!button) return ResetOutcome::NotDone;
        windows_.Press(button);
        windows_.Post(view, p::msg::kClose, 0, 0);
        return ResetOutcome::Done;
    }
    if (!button) return ResetOutcome::Ended;
    // The reset is done once the server has taken the answer, which closes
    // its dialog: a press that a hang or a crash leaves unread is no reset
    // (a dialog gone with its server is no answer taken). Only a dialog
    // that came after the press is its answer: one left open by an earlier
    // reset that gave up on it (its server slow or hung) asks about that
    // reset, and pressing it would do that one.
    const std::set<p::Hwnd> before = windows_.Dialogs(steps.question);
    windows_.Press(button);
    if (steps.closeViewFirst) windows_.Post(view, p::msg::kClose, 0, 0);
    p::Hwnd dialog = 0;
    const auto fresh = [&]() -> p::Hwnd {
        for (p::Hwnd h : windows_.Dialogs(steps.question))
            if (!before.contains(h)) return h;
        return 0;
    };
    if (WaitForWindow(fresh, dialog, kDialogWaitMs) != Wait::Found) return ResetOutcome::Ended;
    const p::Hwnd answer = FindByControlText(dialog, steps.answer, true, false);
    if (!answer) return ResetOutcome::Ended;
    windows_.Press(answer, p::msg::kMkLButton);
    if (automation::WaitUntil(desktop_, [&] { return !desktop_.IsWindow(dialog); }, kDialogWaitMs, cancel_) !=
            automation::WaitResult::Done ||
        !ServerRunning())
        return ResetOutcome::Ended;
    if (!steps.closeViewFirst) windows_.Post(view, p::msg::kClose, 0, 0);
    return ResetOutcome::Done;
}

bool clsHarrowatch::BackUpBeforeReset() {
    supervision::FolderCopy copy;
    if (!CopyDataFolder(copy)) return false;
    if (copy.folderError)
        notBackedUp_[""] = "the data folder '" + DataDirectory() + "' not backed up (Windows error " +
                           std::to_string(copy.folderError) + ")";
    for (const auto& [file, e] : copy.files)
        if (e != 0) notBackedUp_[file] = copy.names[file] + " not backed up (Windows error " + std::to_string(e) + ")";
    return true;
}

std::string clsHarrowatch::ResetText(const std::string& item) const {
    // The reset's name, and the copies that failed.
    std::string text = item;
    for (const auto& [file, note] : notBackedUp_) text += (text == item ? "; " : ", ") + note;
    return text;
}

bool clsHarrowatch::ProcessScheduledItem(const std::string& pScheduledItem) {
    const auto run = [&](PollTimer&) {
        const schedule::ResetItem* item = schedule::FindResetItem(pScheduledItem);
        const ResetSteps* steps = item ? FindResetSteps(item->index) : nullptr;
        // Every reset changes the server's data: its folder is copied first.
        // Where the server resets its own files, a copy that fails is told
        // and the reset goes on; a file Harrowatch deletes waits for its copy.
        notBackedUp_.clear();
        if (steps && !BackUpBeforeReset()) return false;  // Harrowatch shuts down: no reset now
        ResetOutcome outcome = ResetOutcome::NotDone;
        if (steps && steps->dataFile) {
            if (steps->deactivated) ToggleServer(false);
            outcome = DeleteDataFile(steps->dataFile) ? ResetOutcome::Done : ResetOutcome::NotDone;
            if (steps->deactivated) ToggleServer(true);
        } else if (steps) {
            outcome = RunInDataManager(*steps);
        }
        if (outcome == ResetOutcome::Ended) {
            Tell(supervision::EventId::ResetFailed,
                 ResetText(pScheduledItem) + ": a window or dialog of the server did not come, or the server went");
            return false;
        }
        ToggleServer(true);
        const bool done = outcome == ResetOutcome::Done;
        Tell(done ? supervision::EventId::ResetDone : supervision::EventId::ResetFailed, ResetText(pScheduledItem));
        return done;
    };
    return RunOperation("ProcessScheduledItems", run, [&](PollTimer&) {
        ToggleServer(true);
        try {
            throw;
        } catch (const std::exception& e) {
            Tell(supervision::EventId::ResetFailed, ResetText(pScheduledItem) + ": " + e.what());
        } catch (...) {
        }
    });
}

}  // namespace hw::server
