// Menus of another process cannot be read under Wine (GetMenuItemCount
// fails with error 1401), so the menu walk is checked here on a menu of this
// process's own window; the simulation covers the server's menu.
#include <windows.h>

#include <gtest/gtest.h>

#include "automation/windows.h"
#include "platform/win32/win32_desktop.h"

namespace {

TEST(MenuCommandsOnWindows, WalksTheFirstSubmenuLevel) {
    HMENU nested = CreatePopupMenu();
    AppendMenuA(nested, MF_STRING, 77, "Deep");
    HMENU server = CreatePopupMenu();
    AppendMenuA(server, MF_STRING, 31, "&Manage");
    AppendMenuA(server, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(server, MF_POPUP, reinterpret_cast<UINT_PTR>(nested), "More");
    AppendMenuA(server, MF_STRING, 33, "  &Statistics  ");
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 9, "E&xit");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(server), "&Server");
    HWND w = CreateWindowExA(0, "STATIC", "menu holder", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, bar,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(w);
    hw::platform::win32::Win32Desktop d;
    const auto h = static_cast<hw::platform::Hwnd>(reinterpret_cast<ULONG_PTR>(w));
    EXPECT_EQ(hw::automation::GetMenuCommands(d, h),
              (std::vector<std::string>{"&File|0\\E&xit|9", "&Server|1\\&Manage|31", "&Server|1\\&Statistics|33"}));
    DestroyWindow(w);

    HWND plain = CreateWindowExA(0, "STATIC", "no menu", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    EXPECT_TRUE(hw::automation::GetMenuCommands(d, static_cast<hw::platform::Hwnd>(reinterpret_cast<ULONG_PTR>(plain)))
                    .empty());
    DestroyWindow(plain);
}

}  // namespace
