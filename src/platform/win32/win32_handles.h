// The facade's handle values and Win32's own, each way, and FILETIME counts:
// for the backend's sources, after <windows.h>.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace hw::platform::win32 {

inline ::HKEY ToHkey(HKey k) { return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(k.value())); }
inline ::HANDLE ToHandle(Handle h) { return reinterpret_cast<::HANDLE>(static_cast<ULONG_PTR>(h.value())); }
inline Handle FromHandle(::HANDLE h) { return static_cast<Handle>(reinterpret_cast<ULONG_PTR>(h)); }

inline ::HWND ToHwnd(Hwnd h) { return reinterpret_cast<::HWND>(static_cast<ULONG_PTR>(h.value())); }
inline Hwnd FromHwnd(::HWND h) { return static_cast<Hwnd>(reinterpret_cast<ULONG_PTR>(h)); }
inline ::HMENU ToHmenu(HMenu m) { return reinterpret_cast<::HMENU>(static_cast<ULONG_PTR>(m.value())); }
inline HMenu FromHmenu(::HMENU m) { return static_cast<HMenu>(reinterpret_cast<ULONG_PTR>(m)); }

inline std::uint64_t FromFileTime(const ::FILETIME& t) {
    return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

}  // namespace hw::platform::win32
