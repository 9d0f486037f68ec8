// %ProgramData%\Harrowatch: logs and backups, written and cleaned up with
// administrator rights. ProgramData lets every user make folders, so a folder
// left open, or a junction laid in it, would let anyone have Harrowatch
// write or delete files anywhere. It is kept for administrators only, and
// nothing below it is followed through a junction or link.
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/sddl.h"
#include "common/text.h"
#include "supervision/log.h"

namespace hw::supervision {

namespace p = hw::platform;

std::string DataFolder(p::Desktop& d) {
    char buf[1024] = {};
    const std::uint32_t n = d.ExpandEnvironmentStrings("%ProgramData%", buf, sizeof buf);
    std::string base = n > 0 && n <= sizeof buf ? std::string(buf) : std::string();
    if (base.empty() || base.find('%') != std::string::npos) base = "C:\\ProgramData";
    while (!base.empty() && base.back() == '\\') base.pop_back();
    return base + "\\Harrowatch";
}

namespace {

// What is known of the disk, by desktop, reached from the interface thread
// (the log) and the worker (the backups) alike. Never freed: a job that an
// exit leaves running may still reach it.
std::mutex& DiskFactsLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

// Desktops (by serial) whose disk keeps no permissions (FAT, or Wine): the
// folder is used as it is, and that was said once.
std::set<std::uint64_t>& KeepsNoPermissions() {
    static auto* desktops = new std::set<std::uint64_t>;
    return *desktops;
}

bool OpenToOthers(const std::string& security) { return sddl::OthersMay(security, sddl::kChangeContent, true); }

// Whether the disk keeps what permissions it is given, found once a
// desktop: a folder made beside the data folder for administrators only
// reads back so. A probe that cannot be made says nothing: kept, then.
bool DiskKeepsPermissions(p::Desktop& d, const std::string& folder) {
    static auto* known = new std::map<std::uint64_t, bool>;
    {
        std::lock_guard<std::mutex> hold(DiskFactsLock());
        if (const auto it = known->find(d.Serial()); it != known->end()) return it->second;
    }
    const std::string probe = folder + " (probe)";
    bool keeps = true;
    if (d.CreateDirectory(probe, kAdministratorsOnly) == 0) {
        std::string back;
        keeps = d.GetFileSecurity(probe, back) != 0 || !OpenToOthers(back);
        d.RemoveDirectory(probe);
    }
    std::lock_guard<std::mutex> hold(DiskFactsLock());
    return (*known)[d.Serial()] = keeps;
}


// Whether all below `folder` is Harrowatch's: files and folders, no junction
// or link among them, owned by administrators or SYSTEM, with no entry of
// their own for anyone else (the entries they inherit follow the folder's
// when it is set right).
bool AllOurs(p::Desktop& d, const std::string& folder, int depth) {
    std::vector<std::string> names;
    if (d.ListFolder(folder, names) != 0) return false;
    for (const std::string& name : names) {
        const std::string path = folder + "\\" + name;
        std::uint32_t attributes = 0;
        bool link = false;
        std::string security;
        if (d.GetFileAttributes(path, attributes) != 0 || LeadsElsewhere(d, path, attributes, link) != 0 || link)
            return false;
        if (d.GetFileSecurity(path, security) != 0) return false;
        const std::optional<sddl::Descriptor> read = sddl::Parse(security);
        if (!read || !read->hasDacl || read->nullDacl || !sddl::Trusted(read->owner)) return false;
        for (const sddl::Ace& ace : read->aces)
            if (ace.type != "D" && !sddl::HasFlag(ace.flags, "ID") && !sddl::Trusted(ace.sid) &&
                (ace.rights & sddl::kChangeContent))
                return false;
        if ((attributes & p::file::kAttributeDirectory) && (depth == 0 || !AllOurs(d, path, depth - 1))) return false;
    }
    return true;
}

// The folder cannot be secured: told in `why`, with what Windows said.
long Fail(const std::string& folder, std::string* why, long e, const std::string& what) {
    if (why) *why = folder + " " + what + " (Windows error " + std::to_string(e) + "): Harrowatch keeps no log and no backup there";
    return e;
}

long MakeFolder(p::Desktop& d, const std::string& folder, std::string* why) {
    const long e = d.CreateDirectory(folder, kAdministratorsOnly);
    if (e != 0) return Fail(folder, why, e, "cannot be made");
    return 0;
}

// Someone else's folder, or something else in its place: moved aside
// whole (administrators may rename anything in ProgramData), kept for
// whoever wants it, and the folder made anew. A user may have made
// folders in it, laid junctions, or kept a handle: none of it reaches
// the new one.
long SetAside(p::Desktop& d, const std::string& folder, std::string* why, const std::string& reason) {
    const p::LocalTime t = d.GetLocalTime();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    const std::string aside = folder + " (set aside " + stamp + ")";
    if (const long e = d.MoveFileEx(folder, aside, 0))
        return Fail(folder, why, e, reason + ", and cannot be set aside" +
                                        (e == p::err::kSharingViolation ? ": another program has it, or something in it, open" : ""));
    if (const long e = MakeFolder(d, folder, why)) return e;
    if (why) *why = folder + " " + reason + ": it was set aside, with all in it, as " + aside + ", and made anew for administrators only";
    return 0;
}

// A disk that keeps no permissions is told once for each disk.
void TellKeepsNoPermissions(p::Desktop& d, const std::string& folder, std::string* why) {
    bool first = false;
    {
        std::lock_guard<std::mutex> hold(DiskFactsLock());
        first = KeepsNoPermissions().insert(d.Serial()).second;
    }
    if (first && why)
        *why = "the disk of " + folder + " keeps no permissions: whoever may write there may change Harrowatch's logs and backups";
}

}  // namespace

long LeadsElsewhere(p::Desktop& d, const std::string& path, std::uint32_t attributes, bool& link) {
    link = false;
    if (!(attributes & p::file::kAttributeReparsePoint)) return 0;
    std::uint32_t tag = 0;
    if (const long e = d.GetReparseTag(path, tag)) return e;
    link = p::file::IsNameSurrogate(tag);
    return 0;
}

long SecureDataFolder(p::Desktop& d, std::string* why) {
    const std::string folder = DataFolder(d);
    auto fail = [&](long e, const std::string& what) { return Fail(folder, why, e, what); };
    auto setAside = [&](const std::string& reason) { return SetAside(d, folder, why, reason); };
    std::uint32_t attributes = 0;
    long e = d.GetFileAttributes(folder, attributes);
    if (e == p::err::kFileNotFound) return MakeFolder(d, folder, why);
    bool link = false;
    if (e == 0) e = LeadsElsewhere(d, folder, attributes, link);
    if (e != 0) return fail(e, "cannot be looked at");
    if (link) return setAside("was a junction or link to another folder");
    if (!(attributes & p::file::kAttributeDirectory)) return setAside("was a file, not a folder");
    std::string now;
    e = d.GetFileSecurity(folder, now);
    if (e == p::err::kAccessDenied) return setAside("was someone else's, closed to administrators");
    if (e != 0) return fail(e, "has permissions that cannot be read");
    if (!OpenToOthers(now)) return 0;
    if (!DiskKeepsPermissions(d, folder)) {
        TellKeepsNoPermissions(d, folder, why);
        return 0;
    }
    // Made by someone else, or holding what others made or may change: a
    // user may still hold a handle to it, or own what is in it.
    const std::optional<sddl::Descriptor> read = sddl::Parse(now);
    if (!read || !sddl::Trusted(read->owner)) return setAside("was made by a user who is not an administrator");
    if (!AllOurs(d, folder, 3)) return setAside("held what users who are not administrators made or may change");
    // Set through a handle to the folder itself, which refuses a junction
    // put in its place since the checks.
    e = d.SetFileSecurity(folder, kAdministratorsOnly);
    if (e == p::err::kReparsePoint) return setAside("was a junction or link to another folder");
    if (e != 0) return fail(e, "may be changed by users who are not administrators, and its permissions cannot be set");
    // Checked again now that no user may change it: what was laid in it, or
    // put in its place, while it was still open.
    if (d.GetFileAttributes(folder, attributes) != 0 || LeadsElsewhere(d, folder, attributes, link) != 0 || link ||
        !(attributes & p::file::kAttributeDirectory) || d.GetFileSecurity(folder, now) != 0 || OpenToOthers(now) ||
        !AllOurs(d, folder, 3))
        return setAside("held what users who are not administrators made or may change");
    if (why) *why = "the permissions of " + folder + " were set again: only administrators may change what is in it";
    return 0;
}

long MakeFolders(p::Desktop& d, const std::string& path) {
    const std::string data = DataFolder(d);
    const bool ours = text::Upper(path).rfind(text::Upper(data), 0) == 0 &&
                      (path.size() == data.size() || path[data.size()] == '\\');
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') continue;
        const std::string sofar = path.substr(0, i);
        if (sofar.size() <= 3) continue;  // "C:" or "C:\"
        if (ours && sofar.size() == data.size()) {
            if (const long e = SecureDataFolder(d)) return e;
            continue;
        }
        if (ours && sofar.size() > data.size()) {
            // Below the data folder, only a folder is gone into, never a
            // junction or link (a cloud folder is a folder).
            std::uint32_t attributes = 0;
            bool link = false;
            long e = d.GetFileAttributes(sofar, attributes);
            if (e == 0) e = LeadsElsewhere(d, sofar, attributes, link);
            if (e == 0 && link) return p::err::kReparsePoint;
            if (e == 0 && (attributes & p::file::kAttributeDirectory)) continue;
            if (e == 0) return p::err::kAlreadyExists;
            if (e != p::err::kFileNotFound) return e;
        }
        const long e = d.CreateDirectory(sofar, "");
        if (e != 0 && e != p::err::kAlreadyExists) return e;
    }
    return 0;
}

}  // namespace hw::supervision
