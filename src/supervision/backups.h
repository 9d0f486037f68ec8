// Copies of the server's data files, made before each reset, under
// %ProgramData%\Harrowatch\Backups\YYYY-MM-DD\, which only administrators
// may read: Harrowatch may read what users may not, and the game's folder may
// be one users can write. Before the copies, days older
// than "BackupDays" go (never the newest "BackupDays" there are), and the
// oldest days while all of them pass "BackupMaxMB" (never the newest).
// Copying blocks: it runs on the worker thread, and so does the clean-up,
// so that the two never cross.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/desktop.h"

namespace hw::supervision {

std::string BackupFolder(platform::Desktop& desktop);
// The backups' owner and permissions: Administrators and SYSTEM only, for
// all made in them.
inline constexpr const char* kBackupsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
// Makes the backup folder so (the data folder first), or sets it so again
// when others may read or change it; refuses a junction or link. 0, or the
// Win32 error.
long SecureBackupFolder(platform::Desktop& desktop);

// Copies `file` into today's folder (a second copy the same day gets the time
// in its name), read as itself: a junction or link (4395) and a file with
// other names (1142) are refused, not copied. 0, or the Win32 error of the
// folder or the copy; *copy says where it went, *digest the SHA-256 of what
// was copied, *source what the file was, *inBackups whether it failed in the
// backups' folders rather than on reading the file.
long BackUp(platform::Desktop& desktop, const std::string& file, std::string* copy = nullptr,
            std::string* digest = nullptr, platform::FileInformation* source = nullptr, bool* inBackups = nullptr);

// Removes the day folders older than `days` (0: none for their age) but the
// newest `days` of them; then the oldest while they and `room` bytes to come
// take more than `maxBytes`, but never the newest day nor today's. Only
// folders named exactly YYYY-MM-DD, and only the files in them, go.
void RemoveOldBackups(platform::Desktop& desktop, int days, std::uint64_t maxBytes, std::uint64_t room = 0);
// For a copy that found the disk full: removes Harrowatch's own oldest day
// folders that hold `bytes` in all, never the newest day nor today's; none
// when those could not. Whether any went.
bool MakeRoomInBackups(platform::Desktop& desktop, std::uint64_t bytes);

// "BackupDays" and "BackupMaxMB" as stored (their defaults when missing or
// out of range).
struct BackupLimits {
    int days = 30;
    std::uint64_t maxBytes = 2048ull << 20;
};
BackupLimits ReadBackupLimits(platform::Desktop& desktop);

// What one copy of the data folder came to, by upper-cased file name: 0 for
// a file whose copy is in the backups (made now, or earlier and unchanged
// since), else the Win32 error of its copy. `folderError` is the error of
// listing the folder itself.
struct FolderCopy {
    std::map<std::string, long> files;
    std::map<std::string, std::string> names;  // as the folder spells them
    // Each file as its copy (or the read that found it unchanged) saw it:
    // its size and last-write time.
    std::map<std::string, platform::FileAttributes> seen;
    // The files whose copy failed in the backups' folders, not on reading.
    std::set<std::string> inBackups;
    long folderError = 0;
};

// The files of a data folder copied so far: where each copy went, and its
// size, last-write time and SHA-256. A file whose content is still that, and
// whose copy is still there as it was made, is not copied again: a file of
// another size is copied at once, one of the same size is read and compared
// (a rewrite within one time stamp, or a time set back, changes no time). A
// copy that failed counts as none.
class DataFolderCopies {
public:
    // Copies the files of `folder` (not its sub-folders) into today's backup
    // folder, or only the one named `only`; old days go first, with room
    // made for the copies to come. Blocks: for the worker thread.
    FolderCopy CopyChanged(platform::Desktop& desktop, const std::string& folder, const BackupLimits& limits,
                           const std::string& only = {});

private:
    struct Copied {
        std::uint64_t size = 0, lastWriteTime = 0;  // of the copy
        std::string copy, digest;
    };
    // Whether the copy is there as it was made.
    static bool Holds(platform::Desktop& desktop, const Copied& copied);
    struct ToCopy {
        std::string key, path;  // the name upper-cased, and the file's path
        std::uint64_t size = 0;
    };
    // The copy a file may be as: this run's last of its upper-cased path
    // `at`, or else `todays` when of `size`; an empty copy when none.
    Copied EarlierCopy(platform::Desktop& desktop, const std::string& at, const std::string& todays, std::uint64_t size);
    // Whether `file` has the content of its earlier copy (recorded as backed
    // up), needs a copy, is gone, or could not be read (recorded).
    enum class Found { Same, Changed, Gone, Unreadable };
    Found Compare(platform::Desktop& desktop, const ToCopy& file, const std::string& todays, FolderCopy& result);
    // Copies `c`, with room made once on a full disk, and records how it went.
    void CopyOne(platform::Desktop& desktop, const ToCopy& c, FolderCopy& result);
    std::map<std::string, Copied> copied_;  // by the upper-cased path copied
};

}  // namespace hw::supervision
