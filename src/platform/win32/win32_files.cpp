// Files and folders through kernel32: the plain calls (the ones that open
// a file as itself, and security, are in win32_security.cpp).
#include <windows.h>

#include "platform/win32/win32_desktop.h"

#include <string>

namespace hw::platform::win32 {

bool Win32Desktop::FileExists(const std::string& path) {
    DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

long Win32Desktop::DeleteFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::RemoveDirectory(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) {
    return ::MoveFileExA(from.c_str(), to.c_str(), flags) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::GetFileSize(const std::string& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return static_cast<long>(::GetLastError());
    size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return 0;
}

long Win32Desktop::GetFileAttributesEx(const std::string& path, FileAttributes& attributes) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return static_cast<long>(::GetLastError());
    attributes.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.size =
        attributes.folder ? 0 : static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    attributes.lastWriteTime =
        static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return 0;
}

}  // namespace hw::platform::win32
