// Memory of another process through kernel32.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

namespace hw::platform::win32 {

RemoteAddress Win32Desktop::VirtualAllocEx(Handle process, std::uint64_t size,
                                           std::uint32_t allocationType, std::uint32_t protect) {
    return static_cast<RemoteAddress>(reinterpret_cast<ULONG_PTR>(
        ::VirtualAllocEx(ToHandle(process), nullptr, size, allocationType, protect)));
}
bool Win32Desktop::VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                                 std::uint32_t freeType) {
    return ::VirtualFreeEx(ToHandle(process), reinterpret_cast<void*>(static_cast<ULONG_PTR>(address.value())),
                           size, freeType) != FALSE;
}
bool Win32Desktop::ReadProcessMemory(Handle process, RemoteAddress address, void* buffer,
                                     std::uint64_t size, std::uint64_t* bytesRead) {
    SIZE_T n = 0;
    BOOL ok = ::ReadProcessMemory(ToHandle(process),
                                  reinterpret_cast<const void*>(static_cast<ULONG_PTR>(address.value())), buffer,
                                  size, &n);
    if (bytesRead) *bytesRead = n;
    return ok != FALSE;
}
bool Win32Desktop::WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                      std::uint64_t size, std::uint64_t* bytesWritten) {
    SIZE_T n = 0;
    BOOL ok = ::WriteProcessMemory(ToHandle(process),
                                   reinterpret_cast<void*>(static_cast<ULONG_PTR>(address.value())), buffer, size,
                                   &n);
    if (bytesWritten) *bytesWritten = n;
    return ok != FALSE;
}
bool Win32Desktop::IsWow64Process(Handle process, bool* wow64) {
    BOOL w = FALSE;
    if (!::IsWow64Process(ToHandle(process), &w)) return false;
    *wow64 = w != FALSE;
    return true;
}

}  // namespace hw::platform::win32
