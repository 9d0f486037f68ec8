// Junctions and the security of files and folders on the simulated disk:
// paths lead through junctions as on Windows, and each file or folder has an
// owner and an access list, set or inherited from its folder.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <type_traits>

#include "common/sddl.h"
#include "common/text.h"
#include "platform/sim/sim_desktop.h"

namespace hw::platform::sim {

namespace {

std::string ParentOf(const std::string& key) {
    const size_t cut = key.find_last_of('\\');
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

std::string AceText(const sddl::Ace& ace) {
    char rights[16];
    std::snprintf(rights, sizeof rights, "0x%x", ace.rights);
    return "(" + ace.type + ";" + ace.flags + ";" + rights + ";;;" + ace.sid + ")";
}

// A drive's root, and the folders Windows installs, as a fresh Windows has them.
const char* kInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
std::string StockSecurity(const std::string& key) {
    if (key == "C:" || key.empty())
        return "O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)";
    if (key == "C:\\PROGRAMDATA")
        return "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)";
    if (key == "C:\\PROGRAM FILES" || key == "C:\\PROGRAM FILES (X86)" || key == "C:\\WINDOWS")
        return std::string("O:") + kInstaller + "D:P(A;OICI;FA;;;" + kInstaller +
               ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    return "";
}

}  // namespace

long SimDesktop::MoveFolder(const std::string& source, const std::string& target, const std::string& spelled) {
    if (folders_.count(target) || files_.count(target)) return err::kAlreadyExists;
    if (openFolders_.count(source)) return err::kSharingViolation;  // opened for DELETE, which its holder does not share
    // DELETE on it, or FILE_DELETE_CHILD on the folder it is in.
    if (!CallerMay(source, sddl::kDelete) && !CallerMay(ParentOf(source), sddl::kDeleteChild)) return err::kAccessDenied;
    if (const long e = MayCreateIn(target)) return e;
    const std::string below = source + "\\";
    auto moved = [&](const std::string& key) -> std::optional<std::string> {
        if (key == source) return target;
        if (key.compare(0, below.size(), below) == 0) return target + key.substr(source.size());
        return std::nullopt;
    };
    auto rekey = [&](auto& map) {
        std::remove_reference_t<decltype(map)> kept;
        for (auto& entry : map) {
            const std::optional<std::string> to = moved(entry.first);
            kept.emplace(to ? *to : entry.first, std::move(entry.second));
        }
        map = std::move(kept);
    };
    for (const auto& [key, open] : locked_)
        if (open && moved(key)) return err::kSharingViolation;
    for (const auto* held : {&openForReading_, &rangeLocked_})
        for (const std::string& key : *held)
            if (moved(key)) return err::kSharingViolation;
    for (const auto& [key, sharesWrite] : openFolders_)
        if (moved(key)) return err::kSharingViolation;
    rekey(files_);
    rekey(locked_);
    for (auto* held : {&openForReading_, &rangeLocked_}) {
        std::set<std::string> kept;
        for (const std::string& key : *held) kept.insert(moved(key).value_or(key));
        *held = std::move(kept);
    }
    rekey(lastWrite_);
    rekey(security_);
    rekey(owners_);
    rekey(junctions_);
    rekey(reparseTags_);
    std::set<std::string> folders;
    for (const std::string& f : folders_) folders.insert(moved(f).value_or(f));
    folders_ = std::move(folders);
    std::map<std::string, std::string> spelled_now;
    for (auto& [key, as] : spelled_) {
        const std::optional<std::string> to = moved(key);
        spelled_now.emplace(to ? *to : key, to ? spelled + as.substr(std::min(as.size(), source.size())) : as);
    }
    spelled_ = std::move(spelled_now);
    ++moves_;
    return err::kSuccess;
}

bool SimDesktop::Elevated() const { return IntegrityOf(ownPid_) >= proc::kIntegrityHigh; }

std::string SimDesktop::Resolve(const std::string& path, bool last) const {
    std::string key = FolderKeyOf(path);
    for (int hops = 0; hops < 32 && !junctions_.empty(); ++hops) {
        bool changed = false;
        for (size_t i = 0; i <= key.size() && !changed; ++i) {
            if (i < key.size() && key[i] != '\\') continue;
            if (i == key.size() && !last) break;
            const auto it = junctions_.find(key.substr(0, i));
            if (it == junctions_.end()) continue;
            key = it->second + key.substr(i);
            changed = true;
        }
        if (!changed) break;
    }
    return key;
}

void SimDesktop::MakeJunction(const std::string& path, const std::string& target) {
    const std::string key = Resolve(path, false);
    MakeFolder(ParentOf(key));
    folders_.insert(key);
    junctions_[key] = Resolve(target, true);
    spelled_.emplace(key, path);
}

long SimDesktop::UserMakeJunction(const std::string& path, const std::string& target) {
    const std::string key = Resolve(path, false);
    if (folders_.count(key) || files_.count(key)) return err::kAlreadyExists;
    if (!folders_.count(ParentOf(key))) return err::kPathNotFound;
    if (!UserMay(ParentOf(key), sddl::kAddSubfolder)) return err::kAccessDenied;
    MakeJunction(path, target);
    owners_[key] = kUserSid;
    return err::kSuccess;
}

void SimDesktop::MakeSymbolicLink(const std::string& path, const std::string& target) {
    const std::string key = Resolve(path, false);
    MakeFolder(ParentOf(key));
    files_[key] = "";
    lastWrite_[key] = FileTimeNow();
    junctions_[key] = Resolve(target, true);
    spelled_.emplace(key, path);
}

void SimDesktop::SetReparseTag(const std::string& path, std::uint32_t tag) { reparseTags_[Resolve(path, false)] = tag; }

std::uint32_t SimDesktop::ReparseTagOf(const std::string& key) const {
    if (junctions_.count(key)) return folders_.count(key) ? file::kTagMountPoint : file::kTagSymlink;
    const auto it = reparseTags_.find(key);
    return it == reparseTags_.end() ? 0 : it->second;
}

void SimDesktop::MakeHardLink(const std::string& existing, const std::string& link) {
    const std::string key = Resolve(existing, true), name = Resolve(link, false);
    MakeFolder(ParentOf(name));
    std::shared_ptr<std::set<std::string>>& names = hardLinks_[key];
    if (!names) names = std::make_shared<std::set<std::string>>(std::set<std::string>{key});
    names->insert(name);
    hardLinks_[name] = names;
    files_[name] = files_[key];
    lastWrite_[name] = lastWrite_[key];
    security_[name] = SecurityOf(key);  // one file, one access list
    spelled_.emplace(name, link);
}

void SimDesktop::ShareContent(const std::string& key) {
    const auto it = hardLinks_.find(key);
    if (it == hardLinks_.end()) return;
    for (const std::string& other : *it->second) {
        if (other == key) continue;
        files_[other] = files_[key];
        lastWrite_[other] = lastWrite_[key];
    }
}

void SimDesktop::DropName(const std::string& key) {
    junctions_.erase(key);
    reparseTags_.erase(key);
    const auto it = hardLinks_.find(key);
    if (it == hardLinks_.end()) return;
    it->second->erase(key);
    if (it->second->size() == 1) hardLinks_.erase(*it->second->begin());
    hardLinks_.erase(it);
}

void SimDesktop::SetSecurity(const std::string& path, const std::string& sddl) { security_[Resolve(path, false)] = sddl; }

std::string SimDesktop::SecurityOf(const std::string& path) const {
    const std::string key = Resolve(path, false);
    if (const auto it = security_.find(key); it != security_.end()) return it->second;
    const std::string stock = StockSecurity(key);
    if (!stock.empty()) return stock;
    // Inherited: what the folder passes to a folder (CI) or a file (OI).
    const auto owned = owners_.find(key);
    const std::string owner = owned != owners_.end() ? owned->second : "BA";
    const bool folder = folders_.count(key) != 0;
    const std::optional<sddl::Descriptor> parent = sddl::Parse(SecurityOf(ParentOf(key)));
    std::string aces;
    if (parent) {
        for (sddl::Ace ace : parent->aces) {
            const bool passes = sddl::HasFlag(ace.flags, folder ? "CI" : "OI");
            if (!passes || sddl::HasFlag(ace.flags, "NP")) continue;
            std::string flags = folder ? (sddl::HasFlag(ace.flags, "OI") ? "OICI" : "CI") : "";
            ace.flags = flags + "ID";
            if (ace.sid == "CO") ace.sid = owner;
            aces += AceText(ace);
        }
    }
    return "O:" + owner + "D:AI" + aces;
}

bool SimDesktop::UserMay(const std::string& path, std::uint32_t rights) const {
    const std::optional<sddl::Descriptor> d = sddl::Parse(SecurityOf(path));
    if (!d || d->nullDacl || d->owner == kUserSid) return true;
    for (const sddl::Ace& ace : d->aces) {
        const bool user = ace.sid == "BU" || ace.sid == "AU" || ace.sid == "WD" || ace.sid == "IU" || ace.sid == kUserSid;
        if (ace.type == "A" && user && d->AppliesToItself(ace) && (ace.rights & rights)) return true;
    }
    return false;
}

long SimDesktop::GetFileAttributes(const std::string& path, std::uint32_t& attributes) {
    if (fileFault)
        if (const long e = fileFault("attributes", path)) return e;
    const std::string key = Resolve(path, false);
    if (junctions_.count(key)) {
        attributes = (folders_.count(key) ? file::kAttributeDirectory : 0x20) | file::kAttributeReparsePoint;
    } else if (folders_.count(key)) {
        attributes = file::kAttributeDirectory | (reparseTags_.count(key) ? file::kAttributeReparsePoint : 0);
    } else if (files_.count(key)) {
        attributes = 0x20 | (readOnly_.count(text::Upper(path)) ? 0x1 : 0) |  // archive, read-only
                     (reparseTags_.count(key) ? file::kAttributeReparsePoint : 0);
    } else {
        return folders_.count(ParentOf(key)) ? err::kFileNotFound : err::kPathNotFound;
    }
    return err::kSuccess;
}

long SimDesktop::GetReparseTag(const std::string& path, std::uint32_t& tag) {
    std::uint32_t attributes = 0;
    if (const long e = GetFileAttributes(path, attributes)) return e;
    tag = (attributes & file::kAttributeReparsePoint) ? ReparseTagOf(Resolve(path, false)) : 0;
    return err::kSuccess;
}

bool SimDesktop::CallerMay(const std::string& path, std::uint32_t rights) const {
    const std::optional<sddl::Descriptor> d = sddl::Parse(SecurityOf(path));
    if (!d || !d->hasDacl || d->nullDacl) return true;
    // An elevated administrator's token: the Administrators, and the groups
    // every user is in; not elevated, its own account instead.
    auto mine = [this](const std::string& sid) {
        return sid == (Elevated() ? "BA" : kUserSid) || sid == "BU" || sid == "AU" || sid == "WD" || sid == "IU";
    };
    std::uint32_t granted = mine(d->owner) ? 0x20000u | 0x40000u : 0;  // the owner may read and set the list
    for (const sddl::Ace& ace : d->aces)
        if (ace.type == "A" && d->AppliesToItself(ace) && mine(ace.sid)) granted |= ace.rights;
    return (granted & rights) == rights;
}

long SimDesktop::GetFileSecurity(const std::string& path, std::string& sddl) {
    std::uint32_t attributes = 0;
    if (const long e = GetFileAttributes(path, attributes)) return e;
    if (!CallerMay(path, 0x20000)) return err::kAccessDenied;  // READ_CONTROL
    sddl = SecurityOf(path);
    return err::kSuccess;
}

long SimDesktop::SetFileSecurity(const std::string& path, const std::string& text) {
    if (beforeSetFileSecurity) beforeSetFileSecurity(path);
    std::uint32_t attributes = 0;
    if (const long e = GetFileAttributes(path, attributes)) return e;
    if ((attributes & file::kAttributeReparsePoint) && file::IsNameSurrogate(ReparseTagOf(Resolve(path, false))))
        return err::kReparsePoint;
    const std::optional<sddl::Descriptor> d = sddl::Parse(text);
    if (!d || d->owner.empty()) return err::kInvalidParameter;
    // Opened for WRITE_DAC and WRITE_OWNER, as the list grants them (the
    // owner has the first); only an administrator may give it to the
    // Administrators.
    if (!CallerMay(path, 0x20000 | 0x40000 | 0x80000)) return err::kAccessDenied;
    if (d->owner != (Elevated() ? "BA" : kUserSid) && !(Elevated() && d->owner == "SY")) return err::kInvalidOwner;
    security_[Resolve(path, false)] = text;
    return err::kSuccess;
}

long SimDesktop::OpenAsItself(const std::string& path, FileInformation& info, std::string& key) {
    key = Resolve(path, false);
    if (key != FolderKeyOf(path)) return err::kReparsePoint;  // a junction on the way
    if (folders_.count(key)) return junctions_.count(key) ? err::kReparsePoint : err::kAccessDenied;
    const auto it = files_.find(key);
    if (it == files_.end()) return folders_.count(ParentOf(key)) ? err::kFileNotFound : err::kPathNotFound;
    if (locked_[key]) return err::kSharingViolation;
    const auto names = hardLinks_.find(key);
    const std::uint32_t tag = ReparseTagOf(key);
    info = {0x20u | (readOnly_.count(key) ? 0x1u : 0u) | (tag ? file::kAttributeReparsePoint : 0u),
            names == hardLinks_.end() ? 1u : static_cast<std::uint32_t>(names->second->size()), tag,
            it->second.size(), lastWrite_[key]};
    if (file::IsNameSurrogate(tag)) return err::kReparsePoint;  // another kind is read as the file it is
    if (info.links > 1) return err::kTooManyLinks;
    return err::kSuccess;
}

void SimDesktop::TakeCopyTime(std::uint64_t bytes) {
    // The bytes take their time to go over; on Harrowatch's own thread, it
    // is held for all of it.
    const std::uint64_t ms = bytes * 1000 / copyBytesPerSecond_;
    if (onWorker_) {
        workerClock_ += ms;
    } else {
        ++copiesOnOwnThread_;
        MoveClockTo(nowMs_ + ms, false);
    }
}

namespace {
void Feed(const std::string& content, const Desktop::FileBytes& bytes) {
    constexpr std::size_t kRun = 64 * 1024;
    if (!bytes) return;
    for (std::size_t at = 0; at < content.size(); at += kRun)
        bytes(content.data() + at, std::min(kRun, content.size() - at));
}
}  // namespace

bool SimDesktop::SavedMeanwhile(const std::string& key, const FileInformation& opened) const {
    // Harrowatch's reads share writing and deletion. Windows tells a save by
    // the size and last-write time its handle sees now; a file deleted or
    // renamed away meanwhile was read whole all the same.
    const auto file = files_.find(key);
    if (file == files_.end()) return false;
    const auto written = lastWrite_.find(key);
    return file->second.size() != opened.size ||
           (written != lastWrite_.end() ? written->second : 0) != opened.lastWriteTime;
}

long SimDesktop::ReadFileAsItself(const std::string& path, FileInformation& info, const FileBytes& bytes) {
    std::string key;
    if (const long e = OpenAsItself(path, info, key)) return e;
    // Opened; a lock another program holds on its bytes fails the read.
    if (rangeLocked_.count(key)) return err::kLockViolation;
    const std::string content = files_[key];
    TakeCopyTime(content.size());
    Feed(content, bytes);
    return SavedMeanwhile(key, info) ? err::kSharingViolation : err::kSuccess;
}

long SimDesktop::CopyFileAsItself(const std::string& from, const std::string& to, FileInformation& info,
                                  const FileBytes& bytes) {
    std::string source;
    if (const long e = OpenAsItself(from, info, source)) return e;
    const std::string target = Resolve(to, false);
    if (files_.count(target) || folders_.count(target)) return err::kFileExists;
    if (const long e = MayCreateIn(target)) return e;
    if (rangeLocked_.count(source)) return err::kLockViolation;  // the first read; the copy cut short goes
    const std::string content = files_[source];
    if (!Fits(content.size())) return err::kDiskFull;
    TakeCopyTime(content.size());
    Feed(content, bytes);
    // Saved by its program meanwhile: the copy would be of neither version.
    if (SavedMeanwhile(source, info)) return err::kSharingViolation;
    files_[target] = content;
    lastWrite_[target] = info.lastWriteTime;
    spelled_.emplace(target, to);
    return err::kSuccess;
}

}  // namespace hw::platform::sim
