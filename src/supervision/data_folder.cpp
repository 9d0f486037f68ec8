// %ProgramData%\Harrowatch: logs and backups, written and cleaned up with
// administrator rights. ProgramData lets every user make folders, so a folder
// left open, or a junction laid in it, would let anyone have Harrowatch
// write or delete files anywhere. It is kept for administrators only, and
// nothing below it is followed through a junction or link.
#include <string>

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

long SecureDataFolder(p::Desktop& d, std::string* why) {
    const std::string folder = DataFolder(d);
    auto fail = [&](long e, const std::string& what) {
        if (why) *why = folder + " " + what + " (Windows error " + std::to_string(e) + "): Harrowatch keeps no log and no backup there";
        return e;
    };
    std::uint32_t attributes = 0;
    long e = d.GetFileAttributes(folder, attributes);
    if (e == p::err::kFileNotFound || e == p::err::kPathNotFound) {
        e = d.CreateDirectory(folder, kAdministratorsOnly);
        if (e == 0) return 0;
        if (e != p::err::kAlreadyExists) return fail(e, "cannot be made");
        e = d.GetFileAttributes(folder, attributes);
    }
    if (e != 0) return fail(e, "cannot be looked at");
    if (attributes & p::file::kAttributeReparsePoint)
        return fail(p::err::kReparsePoint, "is a junction or link to another folder");
    if (!(attributes & p::file::kAttributeDirectory)) return fail(p::err::kAlreadyExists, "is a file, not a folder");
    std::string now;
    if ((e = d.GetFileSecurity(folder, now)) != 0) return fail(e, "has permissions that cannot be read");
    if (!sddl::OthersMay(now, sddl::kChangeContent)) return 0;
    if ((e = d.SetFileSecurity(folder, kAdministratorsOnly)) != 0)
        return fail(e, "may be changed by users who are not administrators, and its permissions cannot be set");
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
            // Below the data folder, only what is a real folder is gone into.
            std::uint32_t attributes = 0;
            const long e = d.GetFileAttributes(sofar, attributes);
            if (e == 0 && (attributes & p::file::kAttributeReparsePoint)) return p::err::kReparsePoint;
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
