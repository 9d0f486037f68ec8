// Security descriptors in their text form (SDDL), as Windows writes them for
// files and folders: "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)". Enough
// of it to tell who may change a file or folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hw::sddl {

struct Ace {
    std::string type;   // "A" allow, "D" deny, ...
    std::string flags;  // "OICI", "ID", "IO", ...
    std::uint32_t rights = 0;  // generic rights mapped to the file ones
    std::string sid;    // an alias ("BA") or "S-1-..."; well-known ones as their alias
};

struct Descriptor {
    std::string owner;  // as sid above; "" when not given
    bool hasDacl = false;   // no "D:" part: no access list, everyone may do anything
    bool nullDacl = false;  // "D:NO_ACCESS_CONTROL": everyone may do anything
    bool protectedDacl = false;
    std::vector<Ace> aces;
    // The ACEs that apply to the item itself (not inherit-only).
    bool AppliesToItself(const Ace& ace) const;
};

// Nothing when the text is not SDDL this reader knows.
std::optional<Descriptor> Parse(const std::string& text);
bool HasFlag(const std::string& flags, const char* flag);

// File rights (FILE_*, DELETE, WRITE_DAC, WRITE_OWNER).
constexpr std::uint32_t kAddFile = 0x2;        // also write data
constexpr std::uint32_t kAddSubfolder = 0x4;   // also append data
constexpr std::uint32_t kWriteEa = 0x10;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kWriteAttributes = 0x100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kReadAndExecute = 0x1200a9;
// What lets someone put, swap or remove what is in a folder, or change a file.
constexpr std::uint32_t kChangeContent = kAddFile | kAddSubfolder | kWriteEa | kDeleteChild | kWriteAttributes |
                                         kDelete | kWriteDac | kWriteOwner;
// What lets someone rename or replace a folder's children, or the folder.
constexpr std::uint32_t kReplaceChildren = kDeleteChild | kDelete | kWriteDac | kWriteOwner;

// Whether anyone other than Administrators, SYSTEM and Windows' installer
// service owns the item or is allowed any of `rights` on it; with
// `orWhatItMakes`, also on what is made in it (inheritable entries). An
// access list missing, text that does not read, and entries of a kind this
// reader does not know (other than "deny") all count as open to all.
bool OthersMay(const std::string& text, std::uint32_t rights, bool orWhatItMakes = false);
// Administrators, SYSTEM, Windows' installer service.
bool Trusted(const std::string& sid);

}  // namespace hw::sddl
