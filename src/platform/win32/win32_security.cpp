// Folder security for Harrowatch's own folders: who owns a file or folder and
// who may change it, read and set as SDDL, and attributes read without
// following a junction or symbolic link.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "common/scope_exit.h"
#include "platform/win32/win32_desktop.h"

namespace hw::platform::win32 {

namespace {

long LastError() { return static_cast<long>(::GetLastError()); }

// The file or folder itself, a reparse point included (not what it points at).
::HANDLE OpenItself(const std::string& path, DWORD access) {
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

long Win32Desktop::CreateDirectory(const std::string& path, const std::string& sddl) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    if (!sddl.empty() &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                                nullptr))
        return LastError();
    ScopeExit free([&] {
        if (sa.lpSecurityDescriptor) ::LocalFree(sa.lpSecurityDescriptor);
    });
    return ::CreateDirectoryA(path.c_str(), sddl.empty() ? nullptr : &sa) ? 0 : LastError();
}

long Win32Desktop::GetFileAttributes(const std::string& path, std::uint32_t& attributes) {
    const DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return LastError();
    attributes = a;
    return 0;
}

long Win32Desktop::GetFileSecurity(const std::string& path, std::string& sddl) {
    const ::HANDLE item = OpenItself(path, READ_CONTROL);
    if (item == INVALID_HANDLE_VALUE) return LastError();
    ScopeExit close([&] { ::CloseHandle(item); });
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD e = ::GetSecurityInfo(item, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, nullptr, &sd);
    if (e != ERROR_SUCCESS) return static_cast<long>(e);
    ScopeExit freeSd([&] { ::LocalFree(sd); });
    char* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            sd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
        return LastError();
    sddl = text;
    ::LocalFree(text);
    return 0;
}

long Win32Desktop::SetFileSecurity(const std::string& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return LastError();
    ScopeExit freeSd([&] { ::LocalFree(sd); });
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (!::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present ||
        !::GetSecurityDescriptorOwner(sd, &owner, &defaulted) || !owner)
        return ERROR_INVALID_PARAMETER;
    // Opened as itself and checked on the handle: a folder swapped for a
    // junction in between is refused, not the folder it points at changed.
    const ::HANDLE item = OpenItself(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (item == INVALID_HANDLE_VALUE) return LastError();
    ScopeExit close([&] { ::CloseHandle(item); });
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(item, &info)) return LastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return err::kReparsePoint;
    return static_cast<long>(::SetSecurityInfo(
        item, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        owner, nullptr, dacl, nullptr));
}

}  // namespace hw::platform::win32
