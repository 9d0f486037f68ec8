// Junctions and the security of files and folders on the simulated disk:
// paths lead through junctions as on Windows, and each file or folder has an
// owner and an access list, set or inherited from its folder.
#include <cstdio>
#include <optional>

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
    const std::string key = Resolve(path, false);
    if (junctions_.count(key)) {
        attributes = file::kAttributeDirectory | file::kAttributeReparsePoint;
    } else if (folders_.count(key)) {
        attributes = file::kAttributeDirectory;
    } else if (files_.count(key)) {
        attributes = 0x20 | (readOnly_.count(text::Upper(path)) ? 0x1 : 0);  // archive, read-only
    } else {
        return folders_.count(ParentOf(key)) ? err::kFileNotFound : err::kPathNotFound;
    }
    return err::kSuccess;
}

long SimDesktop::GetFileSecurity(const std::string& path, std::string& sddl) {
    std::uint32_t attributes = 0;
    if (const long e = GetFileAttributes(path, attributes)) return e;
    sddl = SecurityOf(path);
    return err::kSuccess;
}

long SimDesktop::SetFileSecurity(const std::string& path, const std::string& text) {
    std::uint32_t attributes = 0;
    if (const long e = GetFileAttributes(path, attributes)) return e;
    if (attributes & file::kAttributeReparsePoint) return err::kReparsePoint;
    const std::optional<sddl::Descriptor> d = sddl::Parse(text);
    if (!d || d->owner.empty()) return err::kInvalidParameter;
    const std::optional<sddl::Descriptor> now = sddl::Parse(SecurityOf(path));
    // Only its owner or an administrator may change who may use it; and only
    // an administrator may give it to the Administrators.
    if (!Elevated() && !(now && now->owner == kUserSid)) return err::kAccessDenied;
    if (d->owner != (Elevated() ? "BA" : kUserSid) && !(Elevated() && d->owner == "SY")) return err::kInvalidOwner;
    security_[Resolve(path, false)] = text;
    return err::kSuccess;
}

}  // namespace hw::platform::sim
