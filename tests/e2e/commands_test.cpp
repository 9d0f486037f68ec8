// Harrowatch.exe's tray icon, menus, toolbar, chat window, configuration
// dialog and schedule editor, driven from outside as the shell and an
// operator would.
#include "e2e/e2e_fixture.h"
#include "settings/startup.h"

#include <shellapi.h>

#include <cstdio>

namespace hw::testing {
namespace {

class CommandsE2E : public HarrowatchE2E {
protected:
    std::string Script() override {
        return "at 0 join Dorn 10.0.0.5 Dornak\nevery 2500 chat Dorn anyone there?\n";
    }
    std::string Status() { return Text(Control(main_, win32::kIdStatusLabel)); }
    Hwnd ServerWindow() { return automation::GetProcessMainWindow(d(), server_); }
};

// The texts of a window's children, a line each (EnumChildWindows' callback).
BOOL CALLBACK CollectText(HWND child, LPARAM all) {
    char text[1024] = {};
    GetWindowTextA(child, text, sizeof text);
    *reinterpret_cast<std::string*>(all) += std::string(text) + "\n";
    return TRUE;
}

TEST_F(CommandsE2E, TrayMenuToolbarChatAndExit) {
    StartHarrowatch();
    ASSERT_TRUE(env_->WaitFor([&] { return Status() == "NOT ACTIVE"; }, 30000)) << Status();

    // A right-button release over the icon opens the tray menu.
    Tray(WM_RBUTTONUP);
    Hwnd menu = 0;
    EXPECT_TRUE(env_->WaitFor([&] { return (menu = d().FindWindow("#32768", nullptr)) != 0 && d().IsWindowVisible(menu); },
                              10000));
    if (menu) PostMessageA(H(main_), WM_CANCELMODE, 0, 0);
    env_->WaitFor([&] { return !d().IsWindowVisible(menu); }, 5000);

    // "Start Server" and "Stop Server", as the menu reports a choice.
    Command(win32::kTrayMenuBase + 2);
    EXPECT_TRUE(env_->WaitFor([&] { return Status().rfind("ACTIVE", 0) == 0; }, 20000)) << Status();
    Command(win32::kTrayMenuBase + 3);
    EXPECT_TRUE(env_->WaitFor([&] { return Status() == "NOT ACTIVE"; }, 20000)) << Status();

    // Toolbar buttons 4 and 5 show and hide the server's window.
    const Hwnd toolbar = Control(main_, win32::kIdToolbar);
    Command(win32::kToolbarBase + 3, toolbar);
    EXPECT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(ServerWindow()); }, 10000));
    Command(win32::kToolbarBase + 4, toolbar);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindowVisible(ServerWindow()); }, 10000));

    // The chat window: a line sent reaches the server, a player's line arrives.
    Command(win32::kTrayMenuBase + 0);
    const Hwnd chat = WaitForForm(win32::kChatClass, "Enter Message Text...",
                                  {win32::kIdMessageText, win32::kIdTranscript, win32::kIdSend});
    ASSERT_TRUE(chat);
    const Hwnd input = Control(chat, win32::kIdMessageText), transcript = Control(chat, win32::kIdTranscript);
    EXPECT_TRUE(env_->WaitFor([&] { return Text(transcript).find("anyone there?") != std::string::npos; }, 15000))
        << Text(transcript);
    SendMessageA(H(input), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("hello players"));
    Click(Control(chat, win32::kIdSend));
    EXPECT_TRUE(env_->WaitFor([&] {
        for (const std::string& l : ServerLines())
            if (l.find("\"hello players\"") != std::string::npos) return true;
        return false;
    }, 20000));
    EXPECT_TRUE(env_->WaitFor([&] { return Text(transcript).find("Server Admin -- hello players") != std::string::npos; },
                              5000)) << Text(transcript);
    EXPECT_TRUE(env_->WaitFor([&] { return Text(input).empty(); }, 5000));
    // Beside the main window, which would cover it at the same place.
    SetWindowPos(H(chat), HWND_TOP, 420, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    Screenshot("chat-window");
    PostMessageA(H(chat), WM_CLOSE, 0, 0);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(chat); }, 10000));

    // Closing the main window leaves Harrowatch in the tray, its position saved.
    PostMessageA(H(main_), WM_CLOSE, 0, 0);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindowVisible(main_); }, 10000));
    EXPECT_TRUE(Alive(harrowatch_));
    EXPECT_NE(Stored("Software\\Harrowatch\\Window Position\\Harrowatch", "Left"), "");
    Tray(WM_LBUTTONDBLCLK);  // and a double-click brings it back
    EXPECT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(main_); }, 10000));

    // The shell starts again without the icon: "TaskbarCreated" puts it back.
    auto iconThere = [&] {
        NOTIFYICONDATAA n{};
        n.cbSize = NOTIFYICONDATAA_V1_SIZE;
        n.hWnd = H(main_);
        n.uID = 1;
        return Shell_NotifyIconA(NIM_MODIFY, &n) != FALSE;
    };
    if (iconThere()) {
        NOTIFYICONDATAA n{};
        n.cbSize = NOTIFYICONDATAA_V1_SIZE;
        n.hWnd = H(main_);
        n.uID = 1;
        Shell_NotifyIconA(NIM_DELETE, &n);
        EXPECT_FALSE(iconThere());
        PostMessageA(H(main_), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_TRUE(env_->WaitFor(iconThere, 10000));
    } else {
        std::printf("the shell here shows no tray icons: their re-adding is not checked\n");
    }

    // "&Exit Harrowatch" stops the server and ends Harrowatch.
    Command(win32::kTrayMenuBase + 7);  // "&Exit Harrowatch", the last
    EXPECT_TRUE(env_->WaitFor([&] { return !Alive(server_); }, 30000));
    EXPECT_TRUE(env_->WaitFor([&] { return !Alive(harrowatch_); }, 30000));
}

TEST_F(CommandsE2E, ScheduleEditorAndConfigurationDialog) {
    StartHarrowatch();
    ASSERT_TRUE(env_->WaitFor([&] { return Status() == "NOT ACTIVE"; }, 30000)) << Status();
    const Hwnd tabs = Control(main_, win32::kIdTabs);
    // The "Scheduled Tasks" tab, chosen with the keyboard.
    SetForegroundWindow(H(main_));
    PostMessageA(H(tabs), WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageA(H(tabs), WM_KEYDOWN, VK_RIGHT, 0);
    const Hwnd grid = Control(main_, win32::kIdGrid);
    ASSERT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(grid); }, 10000));

    // A double-click on "Public Messages" in the items panel adds a row.
    Hwnd panel = d().FindWindowEx(main_, 0, "HarrowatchResetItems", nullptr);
    ASSERT_NE(panel, nullptr);
    const int x = 90 / 15 + 30, y = 1605 / 15 + 8;  // the item's place on the canvas
    const Hwnd bar = [&] {
        for (Hwnd h : automation::GetChildWindows(d(), main_))
            if (h && automation::GetWindowClass(d(), h) == "ScrollBar") return h;
        return Hwnd{};
    }();
    ASSERT_NE(bar, nullptr);
    PostMessageA(H(main_), WM_VSCROLL, SB_BOTTOM, static_cast<LPARAM>(bar.value()));  // the item is low on the canvas
    PostMessageA(H(panel), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y - 60));
    PostMessageA(H(panel), WM_LBUTTONUP, 0, MAKELPARAM(x, y - 60));
    ASSERT_TRUE(env_->WaitFor([&] { return SendMessageA(H(grid), LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000));

    // To the frequency cell: the drop-down floats over it; choose "Daily".
    SetFocus(H(grid));
    PostMessageA(H(grid), WM_KEYDOWN, VK_RIGHT, 0);
    const Hwnd frequency = Control(main_, win32::kIdFrequency);
    ASSERT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(frequency); }, 10000));
    SendMessageA(H(frequency), CB_SETCURSEL, 0, 0);
    PostMessageA(H(main_), WM_COMMAND, MAKEWPARAM(win32::kIdFrequency, CBN_SELCHANGE), static_cast<LPARAM>(frequency.value()));
    // To the next-time cell: type a time and Enter.
    PostMessageA(H(grid), WM_KEYDOWN, VK_RIGHT, 0);
    const Hwnd time = Control(main_, win32::kIdNextTime);
    ASSERT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(time); }, 10000));
    SendMessageA(H(time), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    Type(time, "12/24/26 3 PM:x\r");  // the colon and the letter x are refused
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindowVisible(time); }, 10000));
    Screenshot("schedule-tab");
    Click(Control(main_, win32::kIdApplyReset));
    EXPECT_TRUE(env_->WaitFor([&] { return Stored("Software\\Harrowatch\\Scheduled Events", "Daily") != ""; }, 10000));
    EXPECT_EQ(Stored("Software\\Harrowatch\\Scheduled Events", "Daily"), "Public Messages|12/24/26 03:00 PM");

    // The configuration dialog from the toolbar: a new interval, applied.
    // No log-on task left by an earlier run: the box starts unchecked.
    const long removed = d().DeleteTask(settings::kLogonTaskName);
    ASSERT_TRUE(removed == 0 || removed == platform::err::kHrFileNotFound) << removed;
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Harrowatch");
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Harrowatch");
    Command(win32::kToolbarBase + 0, Control(main_, win32::kIdToolbar));
    const Hwnd dialog = WaitForForm(win32::kConfigClass, "Harrowatch - Configuration",
                                    {win32::kIdInterval, win32::kIdWindowsStartup, win32::kIdApply});
    ASSERT_TRUE(dialog);
    const Hwnd interval = Control(dialog, win32::kIdInterval);
    EXPECT_EQ(Text(interval), "1000");
    SendMessageA(H(interval), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1500"));
    Click(Control(dialog, win32::kIdWindowsStartup));
    Screenshot("configuration-dialog");
    Click(Control(dialog, win32::kIdApply));
    // This build lies in a folder its user may change (under Wine, every
    // folder is the user's): start at log-on is refused, saying why, and the
    // rest is applied.
    Hwnd refusal = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (refusal = d().FindWindow("#32770", "Harrowatch")) != 0; }, 10000));
    std::string said;
    EnumChildWindows(H(refusal), CollectText, reinterpret_cast<LPARAM>(&said));
    EXPECT_NE(said.find("users who are not administrators may change"), std::string::npos) << said;
    Screenshot("log-on-refused");
    PostMessageA(H(refusal), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(refusal); }, 10000));
    EXPECT_EQ(SendMessageA(H(Control(dialog, win32::kIdWindowsStartup)), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(Stored("Software\\Harrowatch", "TimerInterval"), "1500");
    Click(Control(dialog, win32::kIdApply));
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(dialog); }, 10000));
    EXPECT_EQ(Stored("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Harrowatch"), "");
    EXPECT_EQ(d().DeleteTask(settings::kLogonTaskName), platform::err::kHrFileNotFound);
}

}  // namespace
}  // namespace hw::testing
