// Folder security for Harrowatch's own folders: who owns a file or folder and
// who may change it, read and set as SDDL, attributes read without following
// a junction or symbolic link, and files read as themselves for the backups.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/owners.h"
#include "platform/win32/win32_desktop.h"

namespace hw::platform::win32 {

namespace {

long LastError() { return static_cast<long>(::GetLastError()); }

// The file or folder itself, a reparse point included (not what it points at).
KernelHandle OpenItself(const std::string& path, DWORD access) {
    return KernelHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
}

// `path` made whole, as Windows spells it: relative parts and short (8.3)
// names replaced; "" when it cannot be.
std::string LongFullPath(const std::string& path) {
    char full[MAX_PATH * 4] = {};
    DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return {};
    char whole[MAX_PATH * 4] = {};
    n = ::GetLongPathNameA(full, whole, sizeof whole);
    if (n == 0 || n >= sizeof whole) return {};
    return whole;
}

std::string Upper(std::string s) {
    if (!s.empty()) ::CharUpperBuffA(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// Whether the file open in `item` is the one its path names, reached without
// a junction or symbolic link on the way: the path the handle was opened by,
// with every link resolved, is the path as given. A drive that is itself a
// link to a folder (subst) or a share reads as another path, and is refused
// too.
bool ReachedDirectly(::HANDLE item, const std::string& path) {
    const std::string named = LongFullPath(path);
    char resolved[MAX_PATH * 4] = {};
    const DWORD n = ::GetFinalPathNameByHandleA(item, resolved, sizeof resolved, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (named.empty() || n == 0 || n >= sizeof resolved) return false;
    std::string reached = resolved;
    if (reached.rfind("\\\\?\\UNC\\", 0) == 0)
        reached = "\\\\" + reached.substr(8);
    else if (reached.rfind("\\\\?\\", 0) == 0)
        reached = reached.substr(4);
    return Upper(reached) == Upper(named);
}

// What the file open in `item` is, and for a reparse point its tag.
long FactsOf(::HANDLE item, BY_HANDLE_FILE_INFORMATION& facts, std::uint32_t& tag) {
    tag = 0;
    if (!::GetFileInformationByHandle(item, &facts)) return LastError();
    if (!(facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    FILE_ATTRIBUTE_TAG_INFO tagInfo{};
    if (!::GetFileInformationByHandleEx(item, FileAttributeTagInfo, &tagInfo, sizeof tagInfo)) return LastError();
    tag = tagInfo.ReparseTag;
    return 0;
}

// A file opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) in `item`, whose
// facts are `facts`: a junction or link is refused (4395); a reparse point
// of another kind (compressed, deduplicated, held in the cloud) is opened
// again by its path without the flag, so that its file system serves its
// content, and kept only when it is still the same file. `item` is then the
// handle to use, the first one closed.
long ServedAsItself(const std::string& path, DWORD access, DWORD share, DWORD flags, KernelHandle& item,
                    const BY_HANDLE_FILE_INFORMATION& facts, std::uint32_t tag) {
    if (!(facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    if (file::IsNameSurrogate(tag)) return err::kReparsePoint;
    KernelHandle served(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!served) return LastError();
    BY_HANDLE_FILE_INFORMATION again{};
    long e = ::GetFileInformationByHandle(served.get(), &again) ? 0 : LastError();
    // Put a link in its place in between: not the file that was checked.
    if (e == 0 && (again.dwVolumeSerialNumber != facts.dwVolumeSerialNumber ||
                   again.nFileIndexHigh != facts.nFileIndexHigh || again.nFileIndexLow != facts.nFileIndexLow))
        e = err::kReparsePoint;
    if (e == 0) item = std::move(served);
    return e;
}

// Opens a file as itself for reading, and refuses what would not be read as
// the file its path names. It shares writing and deletion: the server saves
// its data files while Harrowatch reads them, and a read must never make
// its save fail. Unchanged() tells afterwards whether it saved meanwhile.
constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

long OpenPlainFile(const std::string& path, KernelHandle& item, FileInformation& info) {
    item.reset(::CreateFileA(path.c_str(), GENERIC_READ, kReadShare, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!item) return LastError();
    BY_HANDLE_FILE_INFORMATION facts{};
    std::uint32_t tag = 0;
    long e = FactsOf(item.get(), facts, tag);
    if (e == 0) {
        info.attributes = facts.dwFileAttributes;
        info.links = facts.nNumberOfLinks;
        info.reparseTag = tag;
        info.size = static_cast<std::uint64_t>(facts.nFileSizeHigh) << 32 | facts.nFileSizeLow;
        info.lastWriteTime = static_cast<std::uint64_t>(facts.ftLastWriteTime.dwHighDateTime) << 32 |
                             facts.ftLastWriteTime.dwLowDateTime;
        if (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) e = ERROR_ACCESS_DENIED;
        else if (facts.nNumberOfLinks > 1) e = err::kTooManyLinks;
        else e = ServedAsItself(path, GENERIC_READ, kReadShare, FILE_FLAG_SEQUENTIAL_SCAN, item, facts, tag);
        if (e == 0 && !ReachedDirectly(item.get(), path)) e = err::kReparsePoint;
    }
    if (e != 0) item.reset();
    return e;
}

// Whether the file read through `item` is still as it was opened: a save
// in between makes what was read neither version (ERROR_SHARING_VIOLATION:
// its program was using it).
long Unchanged(::HANDLE item, const FileInformation& info) {
    BY_HANDLE_FILE_INFORMATION now{};
    if (!::GetFileInformationByHandle(item, &now)) return LastError();
    const std::uint64_t size = static_cast<std::uint64_t>(now.nFileSizeHigh) << 32 | now.nFileSizeLow;
    const std::uint64_t written =
        static_cast<std::uint64_t>(now.ftLastWriteTime.dwHighDateTime) << 32 | now.ftLastWriteTime.dwLowDateTime;
    return size == info.size && written == info.lastWriteTime ? 0 : ERROR_SHARING_VIOLATION;
}

// Reads `source` to its end, each run to `bytes` and, when `target` is
// open, into it.
long Pour(::HANDLE source, ::HANDLE target, const Desktop::FileBytes& bytes) {
    std::vector<char> run(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source, run.data(), static_cast<DWORD>(run.size()), &got, nullptr)) return LastError();
        if (got == 0) return 0;
        if (target != INVALID_HANDLE_VALUE) {
            DWORD put = 0;
            if (!::WriteFile(target, run.data(), got, &put, nullptr)) return LastError();
            if (put != got) return ERROR_WRITE_FAULT;
        }
        if (bytes) bytes(run.data(), got);
    }
}

}  // namespace

long Win32Desktop::AppendFile(const std::string& path, const std::string& bytes) {
    // Others may read the log while it is written. A link in the file's
    // place is opened as itself, then refused.
    constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    KernelHandle f(::CreateFileA(path.c_str(), kAccess, kShare, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!f) return LastError();
    BY_HANDLE_FILE_INFORMATION facts{};
    std::uint32_t tag = 0;
    long e = FactsOf(f.get(), facts, tag);
    if (e == 0) e = ServedAsItself(path, kAccess, kShare, FILE_ATTRIBUTE_NORMAL, f, facts, tag);
    if (e == 0) {
        DWORD written = 0;
        if (!::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) e = LastError();
        else if (written != bytes.size()) e = ERROR_WRITE_FAULT;
    }
    return e;
}

long Win32Desktop::ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    // The folder itself is opened and checked, then listed through that same
    // handle: one put in its place by a junction meanwhile is not listed.
    // Named without a closing backslash (a drive's root keeps it).
    std::string path = folder;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    const KernelHandle folderItself(::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                  nullptr));
    if (!folderItself) {
        const long e = LastError();
        return e == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : e;
    }
    const ::HANDLE item = folderItself.get();
    BY_HANDLE_FILE_INFORMATION facts{};
    std::uint32_t tag = 0;
    if (const long e = FactsOf(item, facts, tag)) return e;
    if (!(facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    if ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && file::IsNameSurrogate(tag)) return err::kReparsePoint;
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
    for (bool first = true;; first = false) {
        if (!::GetFileInformationByHandleEx(item, first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                            buffer.data(), size)) {
            const long e = LastError();
            return e == ERROR_NO_MORE_FILES ? 0 : e;
        }
        const char* at = reinterpret_cast<const char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const int wide = static_cast<int>(entry->FileNameLength / sizeof(WCHAR));
            std::string name;
            const int n = ::WideCharToMultiByte(CP_ACP, 0, entry->FileName, wide, nullptr, 0, nullptr, nullptr);
            if (wide > 0 && n <= 0) return LastError();
            name.resize(static_cast<size_t>(n));
            if (n > 0 && ::WideCharToMultiByte(CP_ACP, 0, entry->FileName, wide, &name[0], n, nullptr, nullptr) != n)
                return LastError();
            if (name != "." && name != "..") names.push_back(name);
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
}

long Win32Desktop::ReadFileAsItself(const std::string& path, FileInformation& info, const FileBytes& bytes) {
    KernelHandle source;
    if (const long e = OpenPlainFile(path, source, info)) return e;
    if (const long e = Pour(source.get(), INVALID_HANDLE_VALUE, bytes)) return e;
    return Unchanged(source.get(), info);
}

long Win32Desktop::CopyFileAsItself(const std::string& from, const std::string& to, FileInformation& info,
                                    const FileBytes& bytes) {
    KernelHandle source;
    if (const long e = OpenPlainFile(from, source, info)) return e;
    // CREATE_NEW fails on any name there, a link included: nothing is
    // written through one. The file takes what its folder passes on.
    KernelHandle target(::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!target) return LastError();
    long e = Pour(source.get(), target.get(), bytes);
    if (e == 0) e = Unchanged(source.get(), info);
    FILETIME written{static_cast<DWORD>(info.lastWriteTime), static_cast<DWORD>(info.lastWriteTime >> 32)};
    if (e == 0 && !::SetFileTime(target.get(), nullptr, nullptr, &written)) e = LastError();
    // The last of the bytes may reach the disk only as the file is closed.
    if (!::CloseHandle(target.release()) && e == 0) e = LastError();
    if (e != 0) ::DeleteFileA(to.c_str());
    return e;
}

long Win32Desktop::CreateDirectory(const std::string& path, const std::string& sddl) {
    LocalMemory<PSECURITY_DESCRIPTOR> sd;
    if (!sddl.empty() &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, sd.put(), nullptr))
        return LastError();
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    return ::CreateDirectoryA(path.c_str(), sddl.empty() ? nullptr : &sa) ? 0 : LastError();
}

long Win32Desktop::GetFileAttributes(const std::string& path, std::uint32_t& attributes) {
    const DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return LastError();
    attributes = a;
    return 0;
}

long Win32Desktop::GetReparseTag(const std::string& path, std::uint32_t& tag) {
    // Opened as itself for its attributes only: a file another program holds
    // without sharing is still looked at, and a cloud file not fetched.
    const KernelHandle item = OpenItself(path, FILE_READ_ATTRIBUTES);
    if (!item) return LastError();
    BY_HANDLE_FILE_INFORMATION facts{};
    return FactsOf(item.get(), facts, tag);
}

long Win32Desktop::GetFileSecurity(const std::string& path, std::string& sddl) {
    const KernelHandle item = OpenItself(path, READ_CONTROL);
    if (!item) return LastError();
    LocalMemory<PSECURITY_DESCRIPTOR> sd;
    const DWORD e = ::GetSecurityInfo(item.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, nullptr, sd.put());
    if (e != ERROR_SUCCESS) return static_cast<long>(e);
    LocalMemory<char*> text;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            sd.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, text.put(), nullptr))
        return LastError();
    sddl = text.get();
    return 0;
}

long Win32Desktop::SetFileSecurity(const std::string& path, const std::string& sddl) {
    LocalMemory<PSECURITY_DESCRIPTOR> sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, sd.put(), nullptr))
        return LastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (!::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted) || !present ||
        !::GetSecurityDescriptorOwner(sd.get(), &owner, &defaulted) || !owner)
        return ERROR_INVALID_PARAMETER;
    // Opened as itself and checked on the handle: a folder swapped for a
    // junction in between is refused, not the folder it points at changed.
    const KernelHandle item = OpenItself(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (!item) return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    std::uint32_t tag = 0;
    if (const long e = FactsOf(item.get(), info, tag)) return e;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && file::IsNameSurrogate(tag)) return err::kReparsePoint;
    return static_cast<long>(::SetSecurityInfo(
        item.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        owner, nullptr, dacl, nullptr));
}

}  // namespace hw::platform::win32
