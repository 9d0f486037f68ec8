// Every caption, column header, tab and item label of Harrowatch's windows
// shows whole at 96, 120 and 144 dots per inch, within the windows' design
// sizes. Windows reads the scale when a program starts, so each scale is
// measured by a run of this program of its own.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chat/chat_window.h"
#include "platform/win32/win32_desktop.h"
#include "schedule/editor.h"
#include "schedule/grid_layout.h"
#include "settings/config_dialog.h"
#include "ui/win32/bind.h"
#include "platform/win32/owners.h"
#include "win32/command_ids.h"
#include "e2e/e2e_fixture.h"
#include "win32/forms.h"

namespace hw::testing {
namespace {

using ui::win32::Dp;
using platform::win32::GetWindowDc;
using platform::win32::SelectInto;

constexpr const char* kChildVariable = "HW_LAYOUT_DPI";

std::string ClassOf(HWND h) {
    char c[64] = {};
    GetClassNameA(h, c, sizeof c);
    return c;
}

// The size `text` takes in `window`'s font.
SIZE TextSize(HWND window, const std::string& text, UINT format = DT_SINGLELINE) {
    const auto dc = GetWindowDc(window);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    const auto chosen = SelectInto(dc.get().dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, 0, 0};
    DrawTextA(dc.get().dc, text.c_str(), -1, &r, format | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
}

struct Clip {
    std::string where, text;
    long need, have;
};

// Static texts and buttons: the caption within the control (a check box's
// caption beside its box).
struct Measuring {
    const std::string* form;
    std::vector<Clip>* clips;
};

BOOL CALLBACK MeasureControl(HWND h, LPARAM lp) {
    const Measuring& m = *reinterpret_cast<Measuring*>(lp);
    const std::string& form = *m.form;
    std::vector<Clip>& clips = *m.clips;
    const std::string cls = ClassOf(h);
    char text[256] = {};
    GetWindowTextA(h, text, sizeof text);
    if (!*text || (cls != "Static" && cls != "Button")) return TRUE;
    const LONG style = GetWindowLongA(h, GWL_STYLE);
    if (cls == "Button" && (style & 0x0F) == BS_GROUPBOX) return TRUE;
    RECT client{};
    GetClientRect(h, &client);
    long room = client.right;
    if (cls == "Button" && ((style & 0x0F) == BS_AUTOCHECKBOX || (style & 0x0F) == BS_CHECKBOX))
        room -= GetSystemMetrics(SM_CXMENUCHECK) + 6;
    const SIZE need = TextSize(h, text);
    if (need.cx > room) clips.push_back({form + " width", text, need.cx, room});
    if (need.cy > client.bottom) clips.push_back({form + " height", text, need.cy, client.bottom});
    return TRUE;
}

void MeasureControls(HWND top, const std::string& form, std::vector<Clip>& clips) {
    Measuring m{&form, &clips};
    EnumChildWindows(top, MeasureControl, reinterpret_cast<LPARAM>(&m));
}

// A list view's column headers, and that its columns fit its width.
void MeasureHeaders(HWND list, const std::string& where, bool mustFit, std::vector<Clip>& clips) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int n = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    int total = 0;
    for (int i = 0; i < n; ++i) {
        char text[128] = {};
        HDITEMA item{};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        total += item.cxy;
        if (!*text || item.cxy == 0) continue;
        const long need = TextSize(header, text).cx + 12;
        if (need > item.cxy) clips.push_back({where + " header", text, need, item.cxy});
    }
    RECT client{};
    GetClientRect(list, &client);
    if (mustFit && total > client.right) clips.push_back({where + " columns", "(all)", total, client.right});
}

void MeasureTabs(HWND tabs, const std::string& where, std::vector<Clip>& clips) {
    RECT client{};
    GetClientRect(tabs, &client);
    const int n = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        RECT r{};
        SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        if (r.right > client.right) clips.push_back({where + " tab", std::to_string(i), r.right, client.right});
    }
}

TEST(LayoutAtThisDpi, EveryTextShowsWhole) {
    const char* asked = std::getenv(kChildVariable);
    if (!asked) GTEST_SKIP() << "run by Layout.EveryTextShowsWholeAtEachScale";
    SetProcessDPIAware();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    ASSERT_EQ(ui::win32::ScreenDpi(), std::atoi(asked)) << "the scale was not taken";

    platform::win32::Win32Desktop desktop;
    ui::Application app;
    win32::MainForm main(desktop, app);
    ASSERT_TRUE(main.Create());
    ui::RecordingMessageBoxes boxes;
    schedule::InitializeResultGrid(main.Model().ResetItemGrid, schedule::kScheduleGridSpec, boxes, {});
    std::vector<Clip> clips;
    // The line of the server's figures, at its widest.
    SetWindowTextA(GetDlgItem(main.hwnd(), hw::win32::kIdResources),
                   "CPU 100.0%  Memory 999.9 GB  Handles 100000  Up 999d 23:59:59");
    MeasureControls(main.hwnd(), "main", clips);
    for (HWND h = GetWindow(main.hwnd(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        const std::string cls = ClassOf(h);
        if (cls == "SysListView32")
            MeasureHeaders(h, "main list " + std::to_string(GetDlgCtrlID(h)), GetDlgCtrlID(h) == hw::win32::kIdGrid, clips);
        if (cls == "SysTabControl32") MeasureTabs(h, "main", clips);
    }
    // The items panel draws its own captions.
    const win32::ItemsPanel* items = main.Items();
    ASSERT_NE(items, nullptr);
    for (const schedule::ResetItem& item : schedule::kResetItems) {
        const RECT r = items->CaptionRect(item.index);
        const SIZE need = TextSize(items->hwnd(), item.caption);
        if (need.cx > r.right - r.left) clips.push_back({"items panel", item.caption, need.cx, r.right - r.left});
    }
    // The status bar's first part holds the schedule's hint.
    HWND bar = GetDlgItem(main.hwnd(), hw::win32::kIdStatusBar);
    RECT part{};
    SendMessageA(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
    const long hint = TextSize(bar, schedule::kPanelHint).cx + 6;
    if (hint > part.right - part.left) clips.push_back({"status bar", schedule::kPanelHint, hint, part.right - part.left});

    ui::Timer timer(desktop);
    settings::frmConfig configModel(desktop, boxes, main.Model().window, timer);
    win32::ConfigForm config(configModel, main.hwnd());
    ASSERT_TRUE(config.Build());
    MeasureControls(config.hwnd(), "configuration", clips);
    for (HWND h = GetWindow(config.hwnd(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        if (ClassOf(h) == "SysTabControl32") MeasureTabs(h, "configuration", clips);

    // Pictures to look at: the schedule tab with a row, and the dialog.
    main.Model().Editor.FillFrequencies();
    main.Model().Schedule.AddRow(0, schedule::kDaily, "12/24/26 12:00 PM");
    main.Model().SSTab.Select(2);
    SendMessageA(GetDlgItem(main.hwnd(), hw::win32::kIdTabs), TCM_SETCURSEL, 2, 0);
    NMHDR change{GetDlgItem(main.hwnd(), hw::win32::kIdTabs), static_cast<UINT_PTR>(hw::win32::kIdTabs), TCN_SELCHANGE};
    SendMessageA(main.hwnd(), WM_NOTIFY, hw::win32::kIdTabs, reinterpret_cast<LPARAM>(&change));
    SetWindowPos(main.hwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    SetWindowPos(config.hwnd(), HWND_TOP, Dp(440), 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    for (int i = 0; i < 20; ++i) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);
    }
    // The schedule grid's cells: the row just added, each text within its
    // column and the room the grid keeps around it.
    const HWND grid = GetDlgItem(main.hwnd(), hw::win32::kIdGrid);
    const ui::GridModel& cells = main.Model().ResetItemGrid;
    for (int c = 0; c < cells.Cols(); ++c) {
        const std::string& text = cells.TextMatrix(1, c);
        const long have = static_cast<long>(SendMessageA(grid, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
        if (text.empty() || have == 0 || cells.Picture(1, c).picture >= 0) continue;
        const long need = TextSize(grid, text).cx + Dp(8);
        if (need > have) clips.push_back({"schedule grid cell", text, need, have});
    }
    SaveScreenshot("layout-" + std::string(asked) + "dpi");

    for (const Clip& c : clips)
        ADD_FAILURE() << "at " << asked << " dpi, " << c.where << " cuts \"" << c.text << "\": needs " << c.need
                      << " px, has " << c.have;
}

TEST(Layout, EveryTextShowsWholeAtEachScale) {
    if (std::getenv(kChildVariable)) GTEST_SKIP();
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    HKEY desktopKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                              nullptr, &desktopKey, nullptr),
              ERROR_SUCCESS);
    auto setDpi = [&](DWORD dpi) {
        return RegSetValueExA(desktopKey, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    };
    for (int dpi : {96, 120, 144}) {
        ASSERT_EQ(setDpi(static_cast<DWORD>(dpi)), ERROR_SUCCESS);
        SetEnvironmentVariableA(kChildVariable, std::to_string(dpi).c_str());
        std::string command = "\"" + std::string(self) + "\" --gtest_filter=LayoutAtThisDpi.*";
        STARTUPINFOA si{sizeof si};
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
        const platform::win32::KernelHandle process(pi.hProcess), thread(pi.hThread);
        ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(code, 0u) << "texts cut at " << dpi << " dpi (the run above says which)";
    }
    SetEnvironmentVariableA(kChildVariable, nullptr);
    setDpi(96);
    RegCloseKey(desktopKey);
}

}  // namespace
}  // namespace hw::testing
