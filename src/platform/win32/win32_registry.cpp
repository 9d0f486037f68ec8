// The registry through advapi32.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <string>

namespace hw::platform::win32 {

namespace {

// Registry access goes through the 32-bit view, where the 32-bit game and
// earlier 32-bit builds of Harrowatch keep their values.
constexpr REGSAM kView = KEY_WOW64_32KEY;

}  // namespace

long Win32Desktop::RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                HKey& result) {
    ::HKEY k = nullptr;
    LONG r = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, access | kView, &k);
    result = r == ERROR_SUCCESS ? static_cast<HKey>(reinterpret_cast<ULONG_PTR>(k)) : 0;
    return r;
}

long Win32Desktop::RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                  HKey& result) {
    ::HKEY k = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    char emptyClass[1] = {0};
    LONG r = ::RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                               access | kView, &sa, &k, nullptr);
    result = r == ERROR_SUCCESS ? static_cast<HKey>(reinterpret_cast<ULONG_PTR>(k)) : 0;
    return r;
}

long Win32Desktop::RegCloseKey(HKey key) { return ::RegCloseKey(ToHkey(key)); }

long Win32Desktop::RegDeleteKey(HKey root, const std::string& subKey) {
    return ::RegDeleteKeyExA(ToHkey(root), subKey.c_str(), kView, 0);
}

long Win32Desktop::RegDeleteValue(HKey key, const std::string& valueName) {
    return ::RegDeleteValueA(ToHkey(key), valueName.c_str());
}

long Win32Desktop::RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) {
    DWORD t = 0, s = size ? *size : 0;
    LONG r = ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, &t, data,
                                size ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return r;
}

long Win32Desktop::RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                                 const std::uint8_t* data, std::uint32_t size) {
    return ::RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, data, size);
}

long Win32Desktop::RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                   std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    DWORD sk = 0, msk = 0, v = 0, mv = 0;
    LONG r = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &sk, &msk, nullptr, &v, &mv,
                                nullptr, nullptr, nullptr);
    if (subKeys) *subKeys = sk;
    if (maxSubKeyLen) *maxSubKeyLen = msk;
    if (values) *values = v;
    if (maxValueNameLen) *maxValueNameLen = mv;
    return r;
}

long Win32Desktop::RegEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) {
    DWORD n = *nameLen;
    LONG r = ::RegEnumValueA(ToHkey(key), index, name, &n, nullptr, nullptr, nullptr, nullptr);
    *nameLen = n;
    return r;
}

long Win32Desktop::RegEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    return ::RegEnumKeyA(ToHkey(key), index, name, nameSize);
}

std::uint32_t Win32Desktop::ExpandEnvironmentStrings(const std::string& source, char* destination,
                                                     std::uint32_t size) {
    return ::ExpandEnvironmentStringsA(source.c_str(), destination, size);
}

}  // namespace hw::platform::win32
