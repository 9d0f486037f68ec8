#include "supervision/backups.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <vector>

#include "common/datetime.h"
#include "common/sddl.h"
#include "common/sha256.h"
#include "common/text.h"
#include "settings/settings.h"
#include "supervision/log.h"

namespace hw::supervision {

std::string BackupFolder(platform::Desktop& d) { return DataFolder(d) + "\\Backups"; }

long SecureBackupFolder(platform::Desktop& d) {
    constexpr std::uint32_t kReadData = 0x1;  // FILE_READ_DATA, FILE_LIST_DIRECTORY
    const std::string backups = BackupFolder(d);
    if (const long e = MakeFolders(d, DataFolder(d))) return e;
    long e = d.CreateDirectory(backups, kBackupsOnly);
    if (e != platform::err::kAlreadyExists) return e;
    std::uint32_t attributes = 0;
    if ((e = d.GetFileAttributes(backups, attributes)) != 0) return e;
    bool link = false;
    if ((e = LeadsElsewhere(d, backups, attributes, link)) != 0) return e;
    if (link) return platform::err::kReparsePoint;
    if (!(attributes & platform::file::kAttributeDirectory)) return platform::err::kAlreadyExists;
    // Made by an earlier Harrowatch, with the data folder's permissions
    // (Users read): set so again, for the copies already in it too.
    std::string now;
    if (d.GetFileSecurity(backups, now) == 0 && !sddl::OthersMay(now, kReadData | sddl::kChangeContent, true))
        return 0;
    e = d.SetFileSecurity(backups, kBackupsOnly);
    // A disk that keeps no permissions (FAT) has none to set: the data
    // folder said so once.
    constexpr long kInvalidFunction = 1, kNotSupported = 50;
    return e == kInvalidFunction || e == kNotSupported ? 0 : e;
}

long BackUp(platform::Desktop& d, const std::string& file, std::string* copy, std::string* digest,
            platform::FileInformation* source, bool* inBackups) {
    if (inBackups) *inBackups = false;
    auto there = [&](long e) {
        if (inBackups) *inBackups = true;
        return e;
    };
    const platform::LocalTime t = d.GetLocalTime();
    char day[16], time[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.year, t.month, t.day);
    std::snprintf(time, sizeof time, "%02d%02d%02d", t.hour, t.minute, t.second);
    const std::string folder = BackupFolder(d) + "\\" + day;
    if (const long e = SecureBackupFolder(d)) return there(e);
    if (const long e = MakeFolders(d, folder)) return there(e);
    const std::string name = file.substr(file.find_last_of('\\') + 1);
    // Copied under a name of its own, then given its name: a copy cut short
    // (an exit, a full disk) never passes for a whole one.
    const std::string part = folder + "\\" + name + ".part";
    d.DeleteFile(part);  // one an exit left
    sha256::Hasher hasher;
    platform::FileInformation read;
    long e = d.CopyFileAsItself(file, part, read, [&](const char* bytes, std::size_t size) { hasher.Add(bytes, size); });
    if (e == platform::err::kSharingViolation) {
        // The file in use, or the day's folder held by a program that lets
        // nothing new in: the number says not which, an empty file does.
        const long probe = d.AppendFile(part, "");
        if (probe == 0) d.DeleteFile(part);
        if (probe == platform::err::kSharingViolation) return there(e);
    }
    if (e != 0) return e;
    // The day's first copy takes the file's name, a later one the time too
    // (and a number, in the same second): none is written over.
    const size_t dot = name.find_last_of('.');
    const std::string stem = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot);
    std::string target;
    for (int n = 0; n < 100; ++n) {
        target = folder + "\\" + (n == 0 ? name : stem + "-" + time + (n > 1 ? "-" + std::to_string(n) : "") + ext);
        e = d.MoveFileEx(part, target, 0);
        if (e != platform::err::kAlreadyExists && e != platform::err::kFileExists) break;
    }
    if (e != 0) d.DeleteFile(part);
    if (e != 0) return there(e);
    if (copy) *copy = target;
    if (digest) *digest = sha256::Hex(hasher.Finish());
    if (source) *source = read;
    return 0;
}

namespace {
// A day folder's files, and the bytes they take.
struct BackupDay {
    std::string folder;
    std::vector<std::string> files;
    std::vector<std::uint64_t> sizes;  // of each file, 0 when not known
    std::uint64_t bytes = 0;
};

// The bytes it freed: a file still in use stays, and still takes its room.
std::uint64_t Remove(platform::Desktop& d, const BackupDay& day) {
    std::uint64_t freed = 0;
    for (size_t i = 0; i < day.files.size(); ++i) {
        const long e = d.DeleteFile(day.folder + "\\" + day.files[i]);
        if (e == 0 || e == platform::err::kFileNotFound) freed += day.sizes[i];
    }
    d.RemoveDirectory(day.folder);
    return freed;
}
}  // namespace

namespace {
// Harrowatch's own day folders (named exactly YYYY-MM-DD), oldest first, with
// what they hold; none when the backup folder cannot be listed.
std::map<std::int64_t, BackupDay> OurDays(platform::Desktop& d) {
    std::map<std::int64_t, BackupDay> ours;
    std::vector<std::string> names;
    if (SecureBackupFolder(d) != 0 || d.ListFolder(BackupFolder(d), names) != 0) return ours;
    for (const std::string& name : names) {
        std::int64_t day = 0;
        if (!datetime::ParseDay(name, day)) continue;
        BackupDay b{BackupFolder(d) + "\\" + name, {}, {}, 0};
        if (d.ListFolder(b.folder, b.files) != 0) continue;
        for (const std::string& f : b.files) {
            std::uint64_t size = 0;
            if (d.GetFileSize(b.folder + "\\" + f, size) != 0) size = 0;
            b.sizes.push_back(size);
            b.bytes += size;
        }
        ours[day] = std::move(b);
    }
    return ours;
}

std::int64_t Today(platform::Desktop& d) {
    const platform::LocalTime now = d.GetLocalTime();
    return datetime::DaysFromCivil(now.year, now.month, now.day);
}
}  // namespace

void RemoveOldBackups(platform::Desktop& d, int days, std::uint64_t maxBytes, std::uint64_t room) {
    const std::int64_t today = Today(d);
    std::map<std::int64_t, BackupDay> ours = OurDays(d);
    std::vector<std::int64_t> named;
    for (const auto& [day, b] : ours) named.push_back(day);
    for (std::int64_t day : DaysPastKeeping(named, today, days)) {
        Remove(d, ours[day]);
        ours.erase(day);
    }
    std::uint64_t total = room;
    for (const auto& [day, b] : ours) total += b.bytes;
    while (total > maxBytes && ours.size() > 1) {
        const auto oldest = ours.begin();
        if (oldest->first == today) break;  // a clock put back: today's copies stay too
        total -= std::min(total, Remove(d, oldest->second));
        ours.erase(oldest);
    }
}

bool MakeRoomInBackups(platform::Desktop& d, std::uint64_t bytes) {
    const std::int64_t today = Today(d);
    std::map<std::int64_t, BackupDay> ours = OurDays(d);
    // The oldest days that hold enough, leaving the newest and today's;
    // none when even all of those would not.
    std::vector<std::int64_t> going;
    std::uint64_t held = 0;
    for (auto it = ours.begin(); it != ours.end() && std::next(it) != ours.end() && held < bytes; ++it) {
        if (it->first == today) break;
        going.push_back(it->first);
        held += it->second.bytes;
    }
    if (held < bytes) return false;
    for (std::int64_t day : going) Remove(d, ours[day]);
    return true;
}

BackupLimits ReadBackupLimits(platform::Desktop& d) {
    const std::int32_t days =
        settings::ReadNumber(d, settings::kBackupDays, settings::kDefaultBackupDays, 0, settings::kMostDays);
    const std::int32_t megabytes =
        settings::ReadNumber(d, settings::kBackupMaxMB, settings::kDefaultBackupMaxMB, 1, settings::kMostBackupMB);
    return {days, static_cast<std::uint64_t>(megabytes) << 20};
}

bool DataFolderCopies::Holds(platform::Desktop& d, const Copied& copied) {
    platform::FileAttributes held;
    return d.GetFileAttributesEx(copied.copy, held) == 0 && !held.folder && held.size == copied.size &&
           held.lastWriteTime == copied.lastWriteTime;
}

namespace {
// The SHA-256 of a file read as itself; 0, or the Win32 error (a link, or a
// file with other names, is refused as the copy refuses it).
long Digest(platform::Desktop& d, const std::string& path, std::string& digest, platform::FileInformation& info) {
    sha256::Hasher hasher;
    const long e = d.ReadFileAsItself(path, info, [&](const char* bytes, std::size_t size) { hasher.Add(bytes, size); });
    if (e == 0) digest = sha256::Hex(hasher.Finish());
    return e;
}
}  // namespace

DataFolderCopies::Copied DataFolderCopies::EarlierCopy(platform::Desktop& d, const std::string& at,
                                                       const std::string& todays, std::uint64_t size) {
    // The last copy of this run, or else the plain-named one of today
    // (Harrowatch started again the same day), when it is as made and of
    // the file's size: compared by content. Any other is copied.
    auto last = copied_.find(at);
    if (last != copied_.end()) return last->second;
    Copied earlier;
    platform::FileAttributes held;
    if (d.GetFileAttributesEx(todays, held) == 0 && !held.folder && held.size == size) {
        platform::FileInformation info;
        if (Digest(d, todays, earlier.digest, info) == 0) earlier = {info.size, info.lastWriteTime, todays, earlier.digest};
    }
    return earlier;
}

DataFolderCopies::Found DataFolderCopies::Compare(platform::Desktop& d, const ToCopy& file, const std::string& todays,
                                                  FolderCopy& result) {
    const std::string at = text::Upper(file.path);
    const Copied earlier = EarlierCopy(d, at, todays, file.size);
    if (earlier.copy.empty() || earlier.size != file.size || !Holds(d, earlier)) return Found::Changed;
    std::string digest;
    platform::FileInformation info;
    const long e = Digest(d, file.path, digest, info);
    if (e == platform::err::kFileNotFound) return Found::Gone;
    // Saved by the server while it was compared: changed, so copied.
    if (e == platform::err::kSharingViolation && info.size) return Found::Changed;
    if (e != 0) {
        result.files[file.key] = e;
        return Found::Unreadable;
    }
    if (digest != earlier.digest) return Found::Changed;
    copied_[at] = earlier;
    result.files[file.key] = 0;
    result.seen[file.key] = {false, info.size, info.lastWriteTime};
    return Found::Same;
}

void DataFolderCopies::CopyOne(platform::Desktop& d, const ToCopy& c, FolderCopy& result) {
    Copied made;
    platform::FileInformation source;
    bool inBackups = false;
    long e = BackUp(d, c.path, &made.copy, &made.digest, &source, &inBackups);
    // Full though no limit was passed (others filled it): room from
    // Harrowatch's own oldest days, then once more.
    if ((e == platform::err::kDiskFull || e == platform::err::kHandleDiskFull) && MakeRoomInBackups(d, c.size))
        e = BackUp(d, c.path, &made.copy, &made.digest, &source, &inBackups);
    if (e != 0 && inBackups) result.inBackups.insert(c.key);
    result.files[c.key] = e;
    if (e == 0) {
        made.size = source.size;
        made.lastWriteTime = source.lastWriteTime;
        result.seen[c.key] = {false, source.size, source.lastWriteTime};
        copied_[text::Upper(c.path)] = made;
    } else {
        copied_.erase(text::Upper(c.path));
    }
}

FolderCopy DataFolderCopies::CopyChanged(platform::Desktop& d, const std::string& folder, const BackupLimits& limits,
                                         const std::string& only) {
    FolderCopy result;
    const std::string base = text::AddTrailingBackslash(folder);
    std::vector<std::string> names;
    result.folderError = d.ListFolder(base, names);
    if (result.folderError) return result;
    const platform::LocalTime t = d.GetLocalTime();
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.year, t.month, t.day);
    const std::string todays = BackupFolder(d) + "\\" + day + "\\";

    std::vector<ToCopy> changed, unchanged;
    std::uint64_t room = 0;
    for (const std::string& name : names) {
        const std::string key = text::Upper(name);
        if (!only.empty() && key != text::Upper(only)) continue;
        const std::string path = base + name;
        platform::FileAttributes a;
        const long e = d.GetFileAttributesEx(path, a);
        if (e == platform::err::kFileNotFound) continue;  // gone since the listing
        if (e == 0 && a.folder) continue;
        result.names[key] = name;
        if (e != 0) {
            result.files[key] = e;
            continue;
        }
        const ToCopy file{key, path, a.size};
        const Found found = Compare(d, file, todays + name, result);
        if (found == Found::Same) unchanged.push_back(file);
        if (found != Found::Changed) continue;
        changed.push_back(file);
        room += a.size;
    }
    if (changed.empty()) return result;
    // Room first: a full disk makes room from Harrowatch's own old days.
    RemoveOldBackups(d, limits.days, limits.maxBytes, room);
    for (const ToCopy& c : changed) CopyOne(d, c, result);
    // Room made (old days removed first, or room on a full disk during the
    // copies) may have taken the day that held the only copy of a file left
    // alone: it is copied again, or said to be missing.
    for (const ToCopy& u : unchanged)
        if (!Holds(d, copied_[text::Upper(u.path)])) CopyOne(d, u, result);
    return result;
}

}  // namespace hw::supervision
