// Harrowatch.exe: the main window's models bound to native controls, the
// tray icon, and the message loop that the controller's waits yield to.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "app/main_window.h"
#include "platform/win32/win32_desktop.h"
#include "schedule/catalogue.h"
#include "ui/win32/message_box.h"

namespace {

using namespace hw;

constexpr int kClientWidth = 400, kClientHeight = 300;
constexpr UINT kTrayMessage = WM_MOUSEMOVE;  // the tray icon calls back with the mouse-move message
enum : UINT { kCmdRestore = 100, kCmdShowServer, kCmdHideServer, kCmdExit };

HWND H(std::uint64_t h) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(h)); }
std::uint64_t U(const void* h) { return static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(h)); }

class ShellTray : public ui::TrayShell {
public:
    bool NotifyIcon(std::uint32_t message, const ui::TrayIconData& d) override {
        NOTIFYICONDATAA n{};
        n.cbSize = NOTIFYICONDATAA_V1_SIZE;
        n.hWnd = H(d.hWnd);
        n.uID = d.uID;
        n.uFlags = d.uFlags;
        n.uCallbackMessage = d.uCallbackMessage;
        n.hIcon = reinterpret_cast<HICON>(static_cast<ULONG_PTR>(d.hIcon));
        lstrcpynA(n.szTip, d.szTip.c_str(), sizeof n.szTip);
        return Shell_NotifyIconA(message, &n) != FALSE;
    }
};

// Harrowatch's icon, drawn here: a watchful eye on a dark shield.
HICON MakeIcon(int size) {
    std::vector<BYTE> andMask(static_cast<size_t>(size * size / 8), 0), xorBits(static_cast<size_t>(size * size * 4));
    const double c = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x - c) / c, dy = (y - c) / c;
            BYTE r = 0x20, g = 0x40, b = 0x70;  // the shield
            const double eye = dx * dx / 0.85 + dy * dy / 0.25;
            if (eye < 1) r = g = b = 0xF0;  // the white of the eye
            if (dx * dx + dy * dy < 0.12) r = 0x20, g = 0xA0, b = 0x50;  // the iris
            if (dx * dx + dy * dy < 0.03) r = g = b = 0x10;  // the pupil
            BYTE* p = &xorBits[static_cast<size_t>((y * size + x) * 4)];
            p[0] = b;
            p[1] = g;
            p[2] = r;
            p[3] = 0xFF;
        }
    }
    return CreateIcon(GetModuleHandleA(nullptr), size, size, 1, 32, andMask.data(), xorBits.data());
}

class MainWindow {
public:
    MainWindow(platform::win32::Win32Desktop& desktop, ui::win32::Win32MessageBoxes& boxes)
        : desktop_(desktop), boxes_(boxes), form_(desktop, boxes, tray_, cancel_) {}

    bool Create(HINSTANCE instance) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.hIcon = MakeIcon(32);
        wc.hIconSm = smallIcon_ = MakeIcon(16);
        wc.lpszClassName = "HarrowatchMain";
        RegisterClassExA(&wc);
        RECT r{0, 0, kClientWidth, kClientHeight};
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        AdjustWindowRect(&r, style, FALSE);
        hwnd_ = CreateWindowExA(0, wc.lpszClassName, "Harrowatch", style, 0, 0, r.right - r.left, r.bottom - r.top,
                                nullptr, nullptr, instance, this);
        if (!hwnd_) return false;
        boxes_.SetOwner(U(hwnd_));
        BuildControls(instance);
        Bind();
        return true;
    }

    void Start() {
        form_.hWnd = U(hwnd_);
        form_.picSysTray = U(smallIcon_);
        form_.StartMonitoring();
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_NCCREATE) SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                                                                     reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        return self ? self->Handle(h, m, wp, lp) : DefWindowProcA(h, m, wp, lp);
    }

    LRESULT Handle(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        static const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        if (m == taskbarCreated && taskbarCreated) {
            // The shell came back: the tray is the only way to exit, so the icon goes up again.
            form_.Tray.AddTrayIcon(U(hwnd_), U(smallIcon_), form_.lblStatusLocalServer.Text());
            return 0;
        }
        switch (m) {
            case kTrayMessage:
                if (wp == 1 && lp >= WM_MOUSEFIRST && lp <= WM_MOUSELAST) {
                    TrayCallback(static_cast<UINT>(lp));
                    return 0;
                }
                break;
            case WM_COMMAND:
                Command(LOWORD(wp));
                return 0;
            case WM_NOTIFY: {
                auto* n = reinterpret_cast<NMHDR*>(lp);
                if (n->hwndFrom == tabs_ && n->code == TCN_SELCHANGE) {
                    const int i = static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0));
                    if (!form_.SSTab.TabEnabled(i)) {
                        SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(form_.SSTab.Selected()), 0);  // the fourth tab stays shut
                    } else {
                        form_.SSTab.Select(i);
                    }
                    ShowTab();
                }
                return 0;
            }
            case WM_CLOSE:
                // Closing keeps Harrowatch running in the tray.
                ShowWindow(h, SW_HIDE);
                return 0;
            case WM_SETCURSOR:
                if (form_.Pointer.busy) {
                    SetCursor(LoadCursor(nullptr, IDC_WAIT));
                    return TRUE;
                }
                break;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
        }
        return DefWindowProcA(h, m, wp, lp);
    }

    void TrayCallback(UINT mouse) {
        if (mouse == WM_LBUTTONDBLCLK) {
            ShowWindow(hwnd_, SW_SHOWNORMAL);
            SetForegroundWindow(hwnd_);
        } else if (mouse == WM_RBUTTONUP) {
            HMENU menu = CreatePopupMenu();
            AppendMenuA(menu, MF_STRING, kCmdRestore, "&Restore Harrowatch");
            AppendMenuA(menu, MF_STRING, kCmdShowServer, "Show &Kaltor Window");
            AppendMenuA(menu, MF_STRING, kCmdHideServer, "&Hide Kaltor Window");
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, kCmdExit, "&Exit Harrowatch");
            POINT pt;
            GetCursorPos(&pt);
            SetForegroundWindow(hwnd_);
            TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
            DestroyMenu(menu);
        }
    }

    void Command(UINT id) {
        if (!form_.Harrowatch) return;
        switch (id) {
            case kCmdRestore:
                ShowWindow(hwnd_, SW_SHOWNORMAL);
                break;
            case kCmdShowServer:
                form_.Harrowatch->ShowServerWindow();
                break;
            case kCmdHideServer:
                form_.Harrowatch->HideServerWindow();
                break;
            case kCmdExit:
                // Exit only once the server is gone; a wait in progress ends first.
                if (form_.Harrowatch->Busy()) cancel_.Raise();
                form_.Harrowatch->HideServerWindow();
                if (form_.Harrowatch->StopServer()) {
                    form_.Tray.RemoveTrayIcon(U(hwnd_));
                    DestroyWindow(hwnd_);
                }
                break;
        }
    }

    void BuildControls(HINSTANCE instance) {
        HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        auto make = [&](DWORD ex, const char* cls, const char* text, DWORD style, int x, int y, int w, int h) {
            HWND c = CreateWindowExA(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_, nullptr,
                                     instance, nullptr);
            SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            return c;
        };
        toolbar_ = make(0, TOOLBARCLASSNAMEA, "", TBSTYLE_FLAT | CCS_NODIVIDER | CCS_NORESIZE | TBSTYLE_TOOLTIPS, 0, 0,
                        140, 28);
        SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBADDBITMAP std{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
        SendMessageA(toolbar_, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&std));
        const int images[] = {STD_PROPERTIES, STD_REDOW, STD_FIND, STD_FILENEW, STD_PRINTPRE};
        TBBUTTON buttons[5] = {};
        for (int i = 0; i < 5; ++i) {
            buttons[i].iBitmap = images[i];
            buttons[i].idCommand = 200 + i;
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
        }
        SendMessageA(toolbar_, TB_ADDBUTTONSA, 5, reinterpret_cast<LPARAM>(buttons));
        status_ = make(0, "STATIC", "Server Status", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, 150, 4, 244, 20);
        tabs_ = make(0, WC_TABCONTROLA, "", WS_CLIPSIBLINGS, 4, 30, 392, 244);
        int i = 0;
        for (const std::string& name : form_.SSTab.Names()) {
            TCITEMA t{};
            t.mask = TCIF_TEXT;
            t.pszText = const_cast<char*>(name.c_str());
            SendMessageA(tabs_, TCM_INSERTITEMA, i++, reinterpret_cast<LPARAM>(&t));
        }
        players_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL, 10, 56, 380, 210);
        const int widths[] = {30, 110, 110, 120};
        for (int c = 0; c < 4; ++c) {
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.cx = widths[c];
            col.pszText = const_cast<char*>(form_.PlayerListView.columns[static_cast<size_t>(c)].c_str());
            SendMessageA(players_, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
        }
        SendMessageA(players_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        messages_ = make(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 10, 56, 380, 210);
        schedule_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", LVS_REPORT | LVS_NOSORTHEADER, 10, 56, 380, 210);
        const char* scheduleColumns[] = {"Scheduled Item to Reset", "Frequency", "Next Occurance"};
        for (int c = 0; c < 3; ++c) {
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.cx = c == 0 ? 150 : 110;
            col.pszText = const_cast<char*>(scheduleColumns[c]);
            SendMessageA(schedule_, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
        }
        master_ = make(WS_EX_CLIENTEDGE, "EDIT", "", ES_READONLY | ES_AUTOHSCROLL, 10, 60, 380, 22);
        statusBar_ = make(0, STATUSCLASSNAMEA, "", SBARS_SIZEGRIP, 0, 0, 0, 0);
        int parts[] = {200, -1};
        SendMessageA(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        ShowTab();
    }

    void ShowTab() {
        const int tab = form_.SSTab.Selected();
        ShowWindow(players_, tab == 0 ? SW_SHOW : SW_HIDE);
        ShowWindow(messages_, tab == 1 ? SW_SHOW : SW_HIDE);
        ShowWindow(schedule_, tab == 2 ? SW_SHOW : SW_HIDE);
        ShowWindow(master_, tab == 3 ? SW_SHOW : SW_HIDE);
    }

    void Bind() {
        form_.lblStatusLocalServer.onRedraw = [this] { SetWindowTextA(status_, form_.lblStatusLocalServer.Text().c_str()); };
        form_.txtStatusMasterServer.onRedraw = [this] { SetWindowTextA(master_, form_.txtStatusMasterServer.Text().c_str()); };
        form_.Toolbar.onRedraw = [this] { EnableWindow(toolbar_, form_.Toolbar.Enabled()); };
        form_.StatusBar.onRedraw = [this] {
            for (int i = 0; i < 2; ++i)
                SendMessageA(statusBar_, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(form_.StatusBar.Panel(i + 1).c_str()));
        };
        form_.PlayerListView.onRedraw = [this] { FillListView(players_, form_.PlayerListView.Items()); };
        form_.lstMonitoredMsgs.onRedraw = [this](std::size_t dropped) {
            SendMessageA(messages_, WM_SETREDRAW, FALSE, 0);
            for (std::size_t i = 0; i < dropped; ++i) SendMessageA(messages_, LB_DELETESTRING, 0, 0);
            const auto& lines = form_.lstMonitoredMsgs.Lines();
            for (auto n = static_cast<std::size_t>(SendMessageA(messages_, LB_GETCOUNT, 0, 0)); n < lines.size(); ++n)
                SendMessageA(messages_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[n].c_str()));
            SendMessageA(messages_, LB_SETCURSEL, static_cast<WPARAM>(form_.lstMonitoredMsgs.Selected()), 0);
            SendMessageA(messages_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(messages_, nullptr, TRUE);
        };
        form_.ResetItemGrid.onChanged = [this] {
            std::vector<std::vector<std::string>> rows;
            for (int r = 1; r < form_.ResetItemGrid.Rows(); ++r) {
                const int pic = form_.ResetItemGrid.Picture(r, schedule::kColPicture).picture;
                rows.push_back({pic >= 0 ? schedule::kResetItems[static_cast<size_t>(pic)].caption : "",
                                form_.ResetItemGrid.TextMatrix(r, schedule::kColFreq),
                                form_.ResetItemGrid.TextMatrix(r, schedule::kColNextTime)});
            }
            FillListView(schedule_, rows);
        };
        form_.Pointer.onChange = [] { SetCursor(LoadCursor(nullptr, IDC_WAIT)); };
    }

    static void FillListView(HWND lv, const std::vector<std::vector<std::string>>& rows) {
        SendMessageA(lv, WM_SETREDRAW, FALSE, 0);
        SendMessageA(lv, LVM_DELETEALLITEMS, 0, 0);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                LVITEMA item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(r);
                item.iSubItem = static_cast<int>(c);
                item.pszText = const_cast<char*>(rows[r][c].c_str());
                SendMessageA(lv, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, c == 0 ? 0 : r,
                             reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageA(lv, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(lv, nullptr, TRUE);
    }

    platform::win32::Win32Desktop& desktop_;
    ui::win32::Win32MessageBoxes& boxes_;
    ShellTray tray_;
    automation::CancelSignal cancel_;
    app::frmMain form_;
    HWND hwnd_ = nullptr, toolbar_ = nullptr, status_ = nullptr, tabs_ = nullptr, players_ = nullptr;
    HWND messages_ = nullptr, schedule_ = nullptr, master_ = nullptr, statusBar_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A second copy ends at once, before touching anything.
    HANDLE single = CreateMutexA(nullptr, TRUE, "Local\\Harrowatch.SingleInstance");
    if (!single || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    platform::win32::Win32Desktop desktop;
    ui::win32::Win32MessageBoxes boxes;
    auto window = std::make_unique<MainWindow>(desktop, boxes);
    if (!window->Create(instance)) return 1;
    window->Start();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    window.reset();
    CloseHandle(single);
    return 0;
}
