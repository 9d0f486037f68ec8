// Harrowatch's registry access uses the 32-bit view, where the 32-bit game
// keeps "INSTDIR" and where an earlier 32-bit Harrowatch stored its settings.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/win32_desktop.h"
#include "settings/registry.h"

namespace {

TEST(RegistryView, ReadsAndWritesThe32BitView) {
    const char* key = "Software\\HarrowatchTests\\View";
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, &k, nullptr), ERROR_SUCCESS);
    const char installDir[] = "C:\\Games\\Kaltor\\";
    RegSetValueExA(k, "INSTDIR", 0, REG_SZ, reinterpret_cast<const BYTE*>(installDir), sizeof installDir);
    RegCloseKey(k);

    hw::platform::win32::Win32Desktop desktop;
    hw::settings::cRegistry r(desktop);
    r.SetClassKey(hw::settings::kHkeyLocalMachine);
    r.SetSectionKey(key);
    r.SetValueKey("INSTDIR");
    EXPECT_EQ(r.Value(), hw::TaggedValue(installDir));

    r.SetValueKey("Written");
    r.SetValueType(1);
    r.SetValue("by Harrowatch");
    // Not in the 64-bit view.
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &k),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &k),
              ERROR_SUCCESS);
    char buf[64] = {};
    DWORD size = sizeof buf, type = 0;
    EXPECT_EQ(RegQueryValueExA(k, "Written", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, "by Harrowatch");
    RegCloseKey(k);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\HarrowatchTests");
}

}  // namespace
