// Scheduled resets carried out in the server: its data manager's views,
// pages, buttons and dialogs, or its data files.
#include <algorithm>
#include <iterator>
#include <optional>
#include <set>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/wait.h"
#include "automation/windows.h"
#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"
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
    for (p::Hwnd h : list) {
        const std::uint64_t asked = desktop_.TickCount();
        if (h && automation::GetControlText(desktop_, h) == text) return h;
        // A read the server was slow to answer held the operator's input
        // already: two in a row would hold it past half a second.
        if (yieldBetween || desktop_.TickCount() - asked >= automation::kPollPauseMs) desktop_.DoEvents();
    }
    return 0;
}

p::Hwnd clsHarrowatch::OpenDataManagerWindow(std::int16_t index) {
    const char* expected = index == 2 ? "Review Transactions" : index == 4 ? "Review Messages" : "Server Data Manager";
    const p::Pid pid = automation::GetProcessIdByName(desktop_, kServerExeName);
    const p::Hwnd main = automation::GetProcessMainWindow(desktop_, pid);

    const std::vector<std::string> commands = automation::GetMenuCommands(desktop_, main);
    if (commands.empty()) return 0;
    const std::string* manage = nullptr;
    for (const std::string& entry : commands) {
        if (entry.find("&Manage") != std::string::npos) {
            manage = &entry;
            break;
        }
        desktop_.DoEvents();
    }
    if (!manage) return 0;
    const std::string tail = manage->substr(manage->find("&Manage"));
    const double id = text::LeadingNumber(text::SplitAtDelimiter(tail, "|", true));
    if (id > 0) Post(main, p::msg::kCommand, static_cast<std::uint64_t>(id), 0);

    // The server opens the data manager and its views in its own time: look
    // for them a while rather than only once.
    auto findIn = [&](const std::function<bool(p::Hwnd)>& match) {
        p::Hwnd found = 0;
        automation::WaitUntil(
            desktop_,
            [&] {
                const std::vector<p::Hwnd> list = GetChildWindows(desktop_, main);
                desktop_.DoEvents();
                for (p::Hwnd h : list) {
                    if (h && match(h)) {
                        found = h;
                        return true;
                    }
                    desktop_.DoEvents();
                }
                return !ServerRunning();
            },
            kViewWaitMs, cancel_);
        return found;
    };
    const p::Hwnd toolbar =
        findIn([&](p::Hwnd h) { return automation::GetWindowClass(desktop_, h) == "ToolbarWindow32"; });
    if (!toolbar) return 0;

    // A button's centre is never the corner: 0 is a point not read, and a
    // click there would open whatever lies under the corner.
    const std::int32_t point = automation::GetToolbarButtonPoint(desktop_, toolbar, pid, index, &toolbarRequests_);
    if (!point) return 0;
    Post(toolbar, p::msg::kLButtonDown, p::msg::kMkLButton, point);
    Post(toolbar, p::msg::kLButtonUp, p::msg::kMkLButton, point);

    const p::Hwnd view = findIn([&](p::Hwnd h) { return automation::GetWindowTitle(desktop_, h) == expected; });
    if (!view) return 0;
    Post(desktop_.GetParent(desktop_.GetParent(toolbar)), p::msg::kClose, 0, 0);
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

bool clsHarrowatch::DeleteDataFile(const std::string& fileName) {
    const std::string dataDir = DataDirectory();
    const std::string path = dataDir + fileName;
    const std::string key = text::Upper(fileName);
    // What goes is what was copied: right before each delete the file's size
    // and last-write time are read again, and a file that changed since its
    // copy (the server wrote it while a reader kept it) is copied again. One
    // whose state cannot be read is kept.
    std::optional<p::FileAttributes> copied;  // the file as its last copy read it
    int copies = 0;
    std::uint64_t copyingMs = 0;  // spent on copies made: the wait for the file is not
    bool stopped = false;
    auto backUpAndDelete = [&]() -> long {
        for (;;) {
            p::FileAttributes now;
            const long state = desktop_.GetFileAttributesEx(path, now);
            if (state == p::err::kFileNotFound || state == p::err::kPathNotFound) return state;
            if (state != 0)
                throw HwError(errnum::kPathFileAccess, kAppTitle,
                              "Path/File access error: the state of '" + path + "' cannot be read (Windows error " +
                                  std::to_string(state) + "): the file was not deleted");
            if (copied && copied->size == now.size && copied->lastWriteTime == now.lastWriteTime)
                return desktop_.DeleteFile(path);
            if (copies == kMostCopies)
                throw HwError(errnum::kPermissionDenied, kAppTitle,
                              "Permission denied: '" + path + "' changed each time it was copied: it was not deleted");
            supervision::FolderCopy one;
            const std::uint64_t began = desktop_.TickCount();
            if (!CopyDataFolder(one, fileName)) {
                stopped = true;
                return p::err::kSharingViolation;  // not deleted: Harrowatch shuts down
            }
            const auto it = one.files.find(key);
            if (!one.folderError && it == one.files.end()) return p::err::kFileNotFound;  // gone meanwhile
            const long e = one.folderError ? one.folderError : it->second;
            const bool inBackups = !one.folderError && one.inBackups.contains(key);
            // In use, or its bytes locked: tried again below. Not found:
            // nothing is deleted that the copy did not see.
            if (!inBackups && (e == p::err::kSharingViolation || e == p::err::kLockViolation ||
                               e == p::err::kPathNotFound || e == p::err::kFileNotFound))
                return e;
            if (e != 0)
                throw HwError(errnum::kBackupFailed, kAppTitle,
                              "The backup copy of '" + path + "' could not be made in '" +
                                  supervision::BackupFolder(desktop_) + "'" +
                                  (inBackups && e == p::err::kSharingViolation
                                       ? ", a folder in use by another program"
                                       : "") +
                                  " (Windows error " + std::to_string(e) + "): the file was not deleted");
            copied = one.seen[key];
            copyingMs += desktop_.TickCount() - began;
            ++copies;
            notBackedUp_.erase(key);
        }
    };
    long r = backUpAndDelete();
    // The server lets go of a file a moment after it is deactivated.
    const std::uint64_t start = desktop_.TickCount();
    copyingMs = 0;
    auto held = [](long e) { return e == p::err::kSharingViolation || e == p::err::kLockViolation; };
    while (held(r) && !stopped && desktop_.TickCount() - start - copyingMs < kFileInUseWaitMs &&
           !(cancel_ && cancel_->Raised())) {
        desktop_.DoEvents();
        desktop_.Sleep(100);
        r = backUpAndDelete();
    }
    if (stopped) return false;
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

bool clsHarrowatch::ProcessScheduledItem(const std::string& pScheduledItem) {
    Operation op(*this);
    bool result = false;
    try {
        const std::string key = text::Upper(pScheduledItem);
        enum { Completed, Ended } outcome = Completed;
        auto end = [&] {
            outcome = Ended;
            return false;
        };
        // Waits for the server's dialog and presses its button (held down).
        // The reset is done once the server has taken the answer, which
        // closes its dialog: a press that a hang or a crash leaves unread is
        // no reset (a dialog gone with its server is no answer taken).
        // Only a dialog that came after the press is its answer: one left
        // open by an earlier reset that gave up on it (its server slow or
        // hung) asks about that reset, and pressing it would do that one.
        auto dialogs = [&](const char* title) {
            std::set<p::Hwnd> open;
            for (p::Hwnd h = desktop_.FindWindowEx(0, 0, "#32770", title); h && open.insert(h).second;
                 h = desktop_.FindWindowEx(0, h, "#32770", title)) {
            }
            return open;
        };
        std::set<p::Hwnd> before;
        auto press = [&](p::Hwnd b, const char* title) {
            before = dialogs(title);
            Click(b);
        };
        auto answer = [&](const char* title, const char* button) {
            p::Hwnd dialog = 0;
            auto fresh = [&]() -> p::Hwnd {
                for (p::Hwnd h : dialogs(title))
                    if (!before.contains(h)) return h;
                return 0;
            };
            if (WaitForWindow(fresh, dialog, kDialogWaitMs) != Wait::Found) return false;
            const p::Hwnd b = FindByControlText(dialog, button, true, false);
            if (!b) return false;
            Click(b, p::msg::kMkLButton);
            return automation::WaitUntil(desktop_, [&] { return !desktop_.IsWindow(dialog); }, kDialogWaitMs,
                                         cancel_) == automation::WaitResult::Done &&
                   ServerRunning();
        };

        auto review = [&](std::int16_t index, const char* button) {
            const p::Hwnd view = OpenDataManagerWindow(index);
            const p::Hwnd b = FindByControlText(view, button, false, true);
            if (!b) return end();
            press(b, "Delete File");
            if (!answer("Delete File", "&Yes")) return end();
            Post(view, p::msg::kClose, 0, 0);
            return true;
        };
        auto dataManager = [&](const char* button) {
            const p::Hwnd view = OpenDataManagerWindow(10);
            const p::Hwnd page = FindByControlText(view, "Store && Confinement", false, true);
            if (!page) return end();
            const p::Hwnd b = FindByControlText(page, button, false, true);
            if (!b) return end();
            press(b, "Reset Data");
            Post(view, p::msg::kClose, 0, 0);
            return answer("Reset Data", "OK") ? true : end();
        };

        // Every reset changes the server's data: its folder is copied first.
        // Where the server resets its own files, a copy that fails is told
        // and the reset goes on; a file Harrowatch deletes waits for its copy.
        notBackedUp_.clear();
        static const char* const kResets[] = {"STORE INVENTORY", "CONFINEMENT",    "THANDREL'S QUESTS",
                                              "GUILD MASTER LOG", "HALL OF RECORDS", "GUILD CREST",
                                              "SERVER MONSTERS",  "TRANSACTION LIST", "PUBLIC MESSAGES"};
        if (std::find(std::begin(kResets), std::end(kResets), key) != std::end(kResets)) {
            supervision::FolderCopy copy;
            if (!CopyDataFolder(copy)) return false;  // Harrowatch shuts down: no reset now
            if (copy.folderError)
                notBackedUp_[""] = "the data folder '" + DataDirectory() + "' not backed up (Windows error " +
                                   std::to_string(copy.folderError) + ")";
            for (const auto& [file, e] : copy.files)
                if (e != 0)
                    notBackedUp_[file] = copy.names[file] + " not backed up (Windows error " + std::to_string(e) + ")";
        }
        // What the log says of the reset: its name, and the copies that failed.
        auto told = [&] {
            std::string text = pScheduledItem;
            for (const auto& [file, note] : notBackedUp_) text += (text == pScheduledItem ? "; " : ", ") + note;
            return text;
        };

        if (key == "STORE INVENTORY") {
            result = dataManager("&Reset Store");
        } else if (key == "CONFINEMENT") {
            result = dataManager("&Reset Confinement");
        } else if (key == "THANDREL'S QUESTS") {
            const p::Hwnd view = OpenDataManagerWindow(10);
            if (const p::Hwnd b = FindByControlText(view, "&Reset Storyline", false, true)) {
                Click(b);
                Post(view, p::msg::kClose, 0, 0);
                result = true;
            }
        } else if (key == "GUILD MASTER LOG") {
            [&] {
                const p::Hwnd view = OpenDataManagerWindow(10);
                const p::Hwnd page = FindByControlText(view, "Guilds", false, true);
                if (!page) return end();
                const p::Hwnd b = FindByControlText(page, "Clear Logs", false, true);
                if (!b) return end();
                press(b, "Delete Guild Logs");
                if (!answer("Delete Guild Logs", "&Yes")) return end();
                Post(view, p::msg::kClose, 0, 0);
                return result = true;
            }();
        } else if (key == "HALL OF RECORDS") {
            result = DeleteDataFile("KALTORHallInfo.KLD");
        } else if (key == "GUILD CREST") {
            result = DeleteDataFile("KALTORGuildMasters.KLD");
        } else if (key == "SERVER MONSTERS") {
            ToggleServer(false);
            result = DeleteDataFile("KALTORServerMonsters.KLD");
            ToggleServer(true);
        } else if (key == "TRANSACTION LIST") {
            result = review(2, "&Delete All Transactions");
        } else if (key == "PUBLIC MESSAGES") {
            result = review(4, "&Delete All Messages");
        }
        if (outcome == Ended) {
            Tell(supervision::EventId::ResetFailed,
                 told() + ": a window or dialog of the server did not come, or the server went");
            return false;
        }
        ToggleServer(true);
        Tell(result ? supervision::EventId::ResetDone : supervision::EventId::ResetFailed, told());
        return result;
    } catch (const std::exception& e) {
        ToggleServer(true);
        std::string text = pScheduledItem;
        for (const auto& [file, note] : notBackedUp_) text += (text == pScheduledItem ? "; " : ", ") + note;
        Tell(supervision::EventId::ResetFailed, text + ": " + e.what());
        ReportCaught(boxes_, "ProcessScheduledItems");
        return false;
    } catch (...) {
        ToggleServer(true);
        ReportCaught(boxes_, "ProcessScheduledItems");
        return false;
    }
}

}  // namespace hw::server
