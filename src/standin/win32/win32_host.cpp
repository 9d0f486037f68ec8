// The stand-in server as a real Windows program, "KALTOR INTERNET SERVER.EXE":
// the behaviour model hosted in native windows with the real server's class
// names. Its script is "standin.txt" beside the program (or the file that
// HW_STANDIN_SCRIPT names).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/owners.h"
#include "standin/server.h"

namespace hw::standin {
namespace {

using platform::win32::KernelHandle;

class Win32Host;
Win32Host* g_host = nullptr;

HWND H(WinId w) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(w)); }
WinId W(HWND h) { return static_cast<WinId>(reinterpret_cast<ULONG_PTR>(h)); }

LRESULT CALLBACK ContainerProc(HWND, UINT, WPARAM, LPARAM) noexcept;
LRESULT CALLBACK StatusProc(HWND, UINT, WPARAM, LPARAM) noexcept;
INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;
void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD) noexcept;

// Nothing may cross back into Windows from a window, dialog or timer
// procedure: an exception there is written to the debugger's output, and the
// procedure answers `onError`.
void TellFromCallback(const char* where, const char* what) noexcept {
    try {
        OutputDebugStringA((std::string("KALTOR INTERNET SERVER: ") + where + ": " + what + "\n").c_str());
    } catch (...) {
        OutputDebugStringA(where);
    }
}

template <class R, class F>
R Guarded(const char* where, R onError, F&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        TellFromCallback(where, e.what());
    } catch (...) {
        TellFromCallback(where, "an exception of no known kind");
    }
    return onError;
}

class Win32Host : public Host {
public:
    explicit Win32Host(HINSTANCE instance) : instance_(instance), start_(GetTickCount64()) { g_host = this; }

    void SetEvents(Events* events) override { events_ = events; }
    Events* events() { return events_; }
    Kind KindOf(HWND h) {
        auto it = kinds_.find(h);
        return it == kinds_.end() ? Kind::Panel : it->second;
    }
    const std::string& Live(HWND h) { return live_[h]; }
    bool IsDialog(HWND h) { return dialogs_.count(h) != 0; }
    const std::set<HWND>& dialogs() const { return dialogs_; }

    WinId Create(const WindowSpec& s) override {
        HWND parent = H(s.parent);
        const DWORD child = WS_CHILD | (s.visible ? WS_VISIBLE : 0);
        HWND h = nullptr;
        switch (s.kind) {
            case Kind::Form:
                h = MakeForm(s);
                break;
            case Kind::ChildForm:
                h = CreateWindowExA(WS_EX_WINDOWEDGE, s.className.c_str(), s.text.c_str(),
                                    child | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPSIBLINGS |
                                        WS_CLIPCHILDREN,
                                    s.x, s.y, s.width, s.height, parent, nullptr, instance_, nullptr);
                SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                break;
            case Kind::Frame:
            case Kind::Panel:
                h = CreateWindowExA(0, s.kind == Kind::Frame ? "ThunderRT6Frame" : s.className.c_str(),
                                    s.text.c_str(), child | WS_CLIPSIBLINGS, s.x, s.y, s.width, s.height,
                                    parent, nullptr, instance_, nullptr);
                break;
            case Kind::Button:
                h = CreateWindowExA(0, s.className.c_str(), s.text.c_str(), child | BS_PUSHBUTTON, s.x, s.y,
                                    s.width, s.height, parent, nullptr, instance_, nullptr);
                break;
            case Kind::StatusField:
                h = CreateWindowExA(WS_EX_CLIENTEDGE, s.className.c_str(), s.text.c_str(), child, s.x, s.y,
                                    s.width, s.height, parent, nullptr, instance_, nullptr);
                break;
            case Kind::ListBox:
                h = CreateWindowExA(WS_EX_CLIENTEDGE, s.className.c_str(), "",
                                    child | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, s.x, s.y, s.width,
                                    s.height, parent, nullptr, instance_, nullptr);
                break;
            case Kind::ListView:
                h = MakeListView(s, parent, child);
                break;
            case Kind::Toolbar:
                h = MakeToolbar(s, parent, child);
                break;
            case Kind::Dialog:
                h = MakeDialog(s);
                break;
            case Kind::DialogButton:
                h = CreateWindowExA(0, "BUTTON", s.text.c_str(), child | WS_TABSTOP | BS_PUSHBUTTON, s.x, s.y,
                                    s.width, s.height, parent, nullptr, instance_, nullptr);
                break;
            case Kind::Edit:
                h = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", s.text.c_str(), child | WS_TABSTOP | ES_AUTOHSCROLL,
                                    s.x, s.y, s.width, s.height, parent, nullptr, instance_, nullptr);
                break;
        }
        if (!h) return 0;
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        kinds_[h] = s.kind;
        return W(h);
    }

    void Destroy(WinId window) override {
        HWND h = H(window);
        dialogs_.erase(h);
        DestroyWindow(h);
    }
    bool Exists(WinId window) override { return IsWindow(H(window)) != FALSE; }
    void Show(WinId window, bool visible) override { ShowWindow(H(window), visible ? SW_SHOW : SW_HIDE); }

    void SetLiveText(WinId window, const std::string& text) override {
        HWND h = H(window);
        if (KindOf(h) == Kind::StatusField) {
            live_[h] = text;
            InvalidateRect(h, nullptr, TRUE);
        } else {
            SetWindowTextA(h, text.c_str());
        }
    }
    std::string LiveText(WinId window) override {
        HWND h = H(window);
        if (KindOf(h) == Kind::StatusField) return live_[h];
        char buf[4096] = {};
        GetWindowTextA(h, buf, sizeof buf);
        return buf;
    }

    void ListBoxAdd(WinId listBox, const std::vector<std::string>& lines) override {
        const HWND h = H(listBox);
        if (lines.size() > 1) SendMessageA(h, WM_SETREDRAW, FALSE, 0);
        LRESULT last = LB_ERR;
        for (const std::string& line : lines)
            last = SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        if (lines.size() > 1) {
            SendMessageA(h, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(h, nullptr, TRUE);
        }
        if (last != LB_ERR) SendMessageA(h, LB_SETTOPINDEX, static_cast<WPARAM>(last), 0);
    }
    void ListBoxClear(WinId listBox) override { SendMessageA(H(listBox), LB_RESETCONTENT, 0, 0); }
    int ListBoxCount(WinId listBox) override {
        return static_cast<int>(SendMessageA(H(listBox), LB_GETCOUNT, 0, 0));
    }

    void ListViewSet(WinId listView, const std::vector<std::vector<std::string>>& rows) override {
        HWND h = H(listView);
        SendMessageA(h, WM_SETREDRAW, FALSE, 0);
        SendMessageA(h, LVM_DELETEALLITEMS, 0, 0);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                LVITEMA item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(r);
                item.iSubItem = static_cast<int>(c);
                item.pszText = const_cast<char*>(rows[r][c].c_str());
                SendMessageA(h, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, c == 0 ? 0 : r,
                             reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageA(h, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(h, nullptr, TRUE);
    }

    void SetMenuBar(WinId form, const std::vector<Menu>& menus) override {
        HMENU bar = CreateMenu();
        for (const Menu& m : menus) {
            HMENU popup = CreatePopupMenu();
            for (const MenuItem& i : m.items)
                AppendMenuA(popup, i.id ? MF_STRING : MF_SEPARATOR, i.id, i.id ? i.text.c_str() : nullptr);
            AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), m.text.c_str());
        }
        SetMenu(H(form), bar);
    }

    void After(std::uint32_t ms, std::function<void()> work) override {
        UINT_PTR id = SetTimer(nullptr, 0, ms ? ms : 1, TimerProc);
        timers_[id] = std::move(work);
    }
    void RunTimer(UINT_PTR id) {
        KillTimer(nullptr, id);
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        auto work = std::move(it->second);
        timers_.erase(it);
        work();
    }
    std::uint64_t NowMs() override { return GetTickCount64() - start_; }
    std::string ClockText() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %s", t.wHour % 12 == 0 ? 12 : t.wHour % 12, t.wMinute,
                      t.wSecond, t.wHour < 12 ? "AM" : "PM");
        return buf;
    }
    void Hang(std::uint32_t ms) override { Sleep(ms); }  // the message loop stands still
    void Crash() override { TerminateProcess(GetCurrentProcess(), 3); }
    void Exit() override {
        held_.clear();
        if (mainForm_) DestroyWindow(mainForm_);
        PostQuitMessage(0);
    }

    std::string InstallDirectory() override {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string p(path);
        return p.substr(0, p.find_last_of('\\') + 1);
    }
    void EnsureDirectory(const std::string& path) override {
        for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1))
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
    void WriteFile(const std::string& path, const std::string& content) override {
        const KernelHandle f(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f) return;
        DWORD n = 0;
        ::WriteFile(f.get(), content.data(), static_cast<DWORD>(content.size()), &n, nullptr);
    }
    bool FileExists(const std::string& path) override {
        DWORD a = GetFileAttributesA(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }
    void HoldFile(const std::string& path, bool hold) override {
        auto it = held_.find(path);
        if (!hold) {
            if (it != held_.end()) held_.erase(it);
            return;
        }
        if (it != held_.end()) return;
        KernelHandle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (f) held_[path] = std::move(f);
    }
    std::string ReadScript() override {
        char env[MAX_PATH] = {};
        std::string path = GetEnvironmentVariableA("HW_STANDIN_SCRIPT", env, MAX_PATH) ? std::string(env)
                                                                                         : InstallDirectory() + "standin.txt";
        const KernelHandle f(
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!f) return {};
        std::string text(static_cast<size_t>(GetFileSize(f.get(), nullptr)), '\0');
        DWORD n = 0;
        ReadFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        text.resize(n);
        return text;
    }

private:
    // The windows that take more than a call to make: a form (one with a
    // taskbar button is the main form, which owns the others), a list view
    // with its columns, a toolbar with its buttons, and a dialog from an
    // empty template.
    HWND MakeForm(const WindowSpec& s) {
        HWND h = CreateWindowExA(s.appWindow ? WS_EX_APPWINDOW : WS_EX_DLGMODALFRAME, s.className.c_str(),
                                 s.text.c_str(),
                                 (s.appWindow ? WS_OVERLAPPEDWINDOW : WS_POPUP | WS_CAPTION | WS_SYSMENU) |
                                     WS_CLIPCHILDREN,
                                 s.x, s.y, s.width, s.height, s.appWindow ? nullptr : mainForm_, nullptr, instance_,
                                 nullptr);
        if (s.appWindow) mainForm_ = h;
        if (s.visible) ShowWindow(h, SW_SHOW);
        return h;
    }

    HWND MakeListView(const WindowSpec& s, HWND parent, DWORD child) {
        HWND h = CreateWindowExA(WS_EX_CLIENTEDGE, s.className.c_str(), "",
                                 child | LVS_REPORT | LVS_SHOWSELALWAYS, s.x, s.y, s.width, s.height, parent,
                                 nullptr, instance_, nullptr);
        for (size_t i = 0; i < s.columns.size(); ++i) {
            LVCOLUMNA c{};
            c.mask = LVCF_TEXT | LVCF_WIDTH;
            c.cx = i == 0 ? 40 : (s.width - 60) / static_cast<int>(s.columns.size() - 1);
            c.pszText = const_cast<char*>(s.columns[i].c_str());
            SendMessageA(h, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&c));
        }
        SendMessageA(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        return h;
    }

    HWND MakeToolbar(const WindowSpec& s, HWND parent, DWORD child) {
        HWND h = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", child | TBSTYLE_FLAT | CCS_NODIVIDER | CCS_NORESIZE,
                                 s.x, s.y, s.width, s.height, parent, nullptr, instance_, nullptr);
        SendMessageA(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBADDBITMAP std{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
        SendMessageA(h, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&std));
        std::vector<TBBUTTON> buttons(static_cast<size_t>(s.buttons));
        for (int i = 0; i < s.buttons; ++i) {
            buttons[i] = TBBUTTON{};
            buttons[i].iBitmap = i % 15;
            buttons[i].idCommand = static_cast<int>(kToolbarFirstId) + i;
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
        }
        SendMessageA(h, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
        return h;
    }

    HWND MakeDialog(const WindowSpec& s) {
        // A "#32770" dialog from an empty template; its controls come after.
        struct {
            DLGTEMPLATE t;
            WORD menu, cls, title;
        } tpl{};
        tpl.t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;
        tpl.t.cx = static_cast<short>(s.width * 2 / 3);
        tpl.t.cy = static_cast<short>(s.height * 2 / 3);
        HWND h = CreateDialogIndirectParamA(instance_, &tpl.t, mainForm_, DialogProc, 0);
        SetWindowTextA(h, s.text.c_str());
        MoveWindow(h, s.x, s.y, s.width, s.height, TRUE);
        ShowWindow(h, SW_SHOW);
        dialogs_.insert(h);
        return h;
    }

    HINSTANCE instance_;
    ULONGLONG start_;
    Events* events_ = nullptr;
    HWND mainForm_ = nullptr;
    std::map<HWND, Kind> kinds_;
    std::map<HWND, std::string> live_;
    std::set<HWND> dialogs_;
    std::map<UINT_PTR, std::function<void()>> timers_;
    std::map<std::string, KernelHandle> held_;
};

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    Guarded("TimerProc", 0, [&] {
        g_host->RunTimer(id);
        return 0;
    });
}

// Clicks, menu commands and toolbar buttons of every container go to the model.
bool Command(HWND window, WPARAM wp, LPARAM lp) {
    Events* e = g_host->events();
    if (!e) return false;
    if (lp) {
        HWND control = reinterpret_cast<HWND>(lp);
        if (g_host->KindOf(control) == Kind::Toolbar) {
            e->OnToolbarButton(W(control), static_cast<int>(LOWORD(wp)) - static_cast<int>(kToolbarFirstId));
            return true;
        }
        if (HIWORD(wp) == BN_CLICKED) {
            e->OnClick(W(control));
            return true;
        }
        return false;
    }
    e->OnMenu(W(window), LOWORD(wp));
    return true;
}

LRESULT ContainerMessage(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_COMMAND:
            if (Command(h, wp, lp)) return 0;
            break;
        case WM_CLOSE: {
            const Kind k = g_host->KindOf(h);
            if ((k == Kind::Form || k == Kind::ChildForm) && g_host->events()) {
                g_host->events()->OnClose(W(h));
                return 0;
            }
            break;
        }
        case WM_PAINT: {
            if (g_host->KindOf(h) != Kind::Frame) break;
            const platform::win32::Painting painting = platform::win32::BeginPainting(h);
            const HDC dc = painting.get().ps.hdc;
            RECT r;
            GetClientRect(h, &r);
            r.top += 7;
            DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
            char text[256] = {};
            GetWindowTextA(h, text, sizeof text);
            std::string shown;  // "&&" shows as one ampersand, as in a caption
            for (const char* c = text; *c; ++c) {
                if (*c == '&' && c[1] == '&') ++c;
                else if (*c == '&') continue;
                shown += *c;
            }
            SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            TextOutA(dc, 10, 0, (" " + shown + " ").c_str(), static_cast<int>(shown.size() + 2));
            return 0;
        }
        case WM_DESTROY:
            if (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_APPWINDOW) PostQuitMessage(0);
            break;
    }
    return DefWindowProcA(h, m, wp, lp);
}

// A text field that keeps the caption it was created with for the window
// manager, and answers WM_GETTEXT with its live text, as the server's do.
LRESULT StatusMessage(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(g_host->Live(h).size());
        case WM_GETTEXT: {
            if (wp == 0) return 0;
            const std::string& live = g_host->Live(h);
            const size_t n = std::min<size_t>(live.size(), wp - 1);
            std::memcpy(reinterpret_cast<char*>(lp), live.data(), n);
            reinterpret_cast<char*>(lp)[n] = 0;
            return static_cast<LRESULT>(n);
        }
        case WM_PAINT: {
            const platform::win32::Painting painting = platform::win32::BeginPainting(h);
            const HDC dc = painting.get().ps.hdc;
            RECT r;
            GetClientRect(h, &r);
            FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
            SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(dc, TRANSPARENT);
            const std::string& live = g_host->Live(h);
            r.left += 4;
            DrawTextA(dc, live.c_str(), static_cast<int>(live.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            return 0;
        }
    }
    return DefWindowProcA(h, m, wp, lp);
}

INT_PTR DialogMessage(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (lp && HIWORD(wp) == BN_CLICKED && g_host->events()) {
                g_host->events()->OnClick(W(reinterpret_cast<HWND>(lp)));
                return TRUE;
            }
            if (!lp && LOWORD(wp) == IDCANCEL && g_host->events()) {
                g_host->events()->OnClose(W(h));
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            if (g_host->events()) g_host->events()->OnClose(W(h));
            return TRUE;
    }
    return FALSE;
}

LRESULT CALLBACK ContainerProc(HWND h, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return Guarded("ContainerProc", LRESULT{0}, [&] { return ContainerMessage(h, m, wp, lp); });
}
LRESULT CALLBACK StatusProc(HWND h, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return Guarded("StatusProc", LRESULT{0}, [&] { return StatusMessage(h, m, wp, lp); });
}
INT_PTR CALLBACK DialogProc(HWND h, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return Guarded("DialogProc", INT_PTR{FALSE}, [&] { return DialogMessage(h, m, wp, lp); });
}

void RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    for (const char* name : {"ThunderRT6FormDC", "ThunderRT6Frame", "ThunderRT6PictureBoxDC"}) {
        wc.lpszClassName = name;
        RegisterClassExA(&wc);
    }
    wc.lpfnWndProc = StatusProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = "ThunderRT6TextBox";
    RegisterClassExA(&wc);
    // The server's buttons, lists and list view are the system's controls
    // under the server's own class names.
    const std::pair<const char*, const char*> kSuper[] = {
        {"BUTTON", "ThunderRT6CommandButton"}, {"LISTBOX", "ThunderRT6ListBox"}, {WC_LISTVIEWA, "ListViewWndClass"}};
    for (auto [base, name] : kSuper) {
        WNDCLASSEXA sc{};
        sc.cbSize = sizeof sc;
        if (!GetClassInfoExA(nullptr, base, &sc)) continue;
        sc.hInstance = instance;
        sc.lpszClassName = name;
        RegisterClassExA(&sc);
    }
}

}  // namespace
}  // namespace hw::standin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace hw::standin;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterClasses(instance);
    Win32Host host(instance);
    Server server(host, ParseScript(host.ReadScript()));
    server.Start();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        bool handled = false;
        for (HWND d : host.dialogs())
            if (IsDialogMessageA(d, &msg)) {
                handled = true;
                break;
            }
        if (handled) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
