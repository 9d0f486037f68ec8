#include "ui/win32/bind.h"

#include "common/text.h"
#include "ui/win32/guard.h"
#include "platform/win32/owners.h"

#include <commctrl.h>

#include <vector>

namespace hw::ui::win32 {

int ScreenDpi() {
    static const int dpi = [] {
        const platform::win32::WindowDc dc = platform::win32::GetWindowDc(nullptr);
        const int d = dc ? GetDeviceCaps(dc.get().dc, LOGPIXELSX) : 96;
        return d > 0 ? d : 96;
    }();
    return dpi;
}

namespace {
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoA(monitor, &mi)) {
        const RECT& w = mi.rcWork;
        reinterpret_cast<Screen*>(data)->monitors.push_back(
            {ToTwips(w.left), ToTwips(w.top), ToTwips(w.right), ToTwips(w.bottom)});
    }
    return TRUE;
}
}  // namespace

Screen SystemScreen() {
    Screen s;
    s.width = ToTwips(GetSystemMetrics(SM_CXSCREEN));
    s.height = ToTwips(GetSystemMetrics(SM_CYSCREEN));
    s.monitors.clear();
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&s));
    return s;
}

HFONT UiFont() {
    static HFONT font = [] {
        NONCLIENTMETRICSA m{};
        m.cbSize = sizeof m;
        if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) {
            if (HFONT f = CreateFontIndirectA(&m.lfMessageFont)) return f;
        }
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }();
    return font;
}

std::string WindowText(HWND window) {
    return text::ReadSized(GetWindowTextLengthA(window), [&](char* buffer, std::uint32_t size) {
        return GetWindowTextA(window, buffer, static_cast<int>(size));
    });
}

HWND MakeChild(HWND parent, DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y,
               int width, int height, int id) {
    HWND c = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (c) SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), FALSE);
    return c;
}

void BindLabel(Label& model, HWND control) {
    model.onRedraw = [&model, control] { SetWindowTextA(control, model.Text().c_str()); };
    model.onRedraw();
}

void BindTextBox(TextBox& model, HWND control) {
    BindLabel(model, control);
    model.onSelect = [&model, control] {
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(model.SelStart()), model.SelStart());
        SendMessageA(control, EM_SCROLLCARET, 0, 0);
    };
    model.onFocus = [control] { SetFocus(control); };
}

void BindCheckBox(CheckBox& model, HWND control) {
    model.onRedraw = [&model, control] {
        SendMessageA(control, BM_SETCHECK, model.Value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    };
    model.onRedraw();
}

void BindListView(ListView& model, HWND control) {
    for (size_t c = 0; c < model.columns.size(); ++c) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = Dp(c == 0 ? 34 : 112);
        col.pszText = const_cast<char*>(model.columns[c].c_str());
        SendMessageA(control, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
    }
    SendMessageA(control, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    model.onRedraw = [&model, control] {
        const auto& rows = model.Items();
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        // Rows are rewritten in place; only a changed count adds or deletes.
        auto count = static_cast<size_t>(SendMessageA(control, LVM_GETITEMCOUNT, 0, 0));
        while (count > rows.size()) SendMessageA(control, LVM_DELETEITEM, --count, 0);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                LVITEMA item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(r);
                item.iSubItem = static_cast<int>(c);
                item.pszText = const_cast<char*>(rows[r][c].c_str());
                if (c == 0 && r >= count)
                    SendMessageA(control, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
                else
                    SendMessageA(control, LVM_SETITEMTEXTA, r, reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageA(control, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(control, nullptr, TRUE);
    };
}

void BindListBox(ListBox& model, HWND control) {
    model.onRedraw = [&model, control](std::size_t dropped) {
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        const auto& lines = model.Lines();
        // Each first line deleted costs as much as the list is long: a block
        // dropped is cheaper filled anew, its room taken at once.
        if (lines.empty() || dropped > 64) {
            SendMessageA(control, LB_RESETCONTENT, 0, 0);
            std::size_t bytes = 0;
            for (const std::string& line : lines) bytes += line.size() + 1;
            SendMessageA(control, LB_INITSTORAGE, lines.size(), static_cast<LPARAM>(bytes));
        } else {
            for (std::size_t i = 0; i < dropped; ++i) SendMessageA(control, LB_DELETESTRING, 0, 0);
        }
        for (auto n = static_cast<std::size_t>(SendMessageA(control, LB_GETCOUNT, 0, 0)); n < lines.size(); ++n)
            SendMessageA(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[n].c_str()));
        SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(model.Selected()), 0);
        SendMessageA(control, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(control, nullptr, TRUE);
    };
}

void BindStatusBar(StatusBar& model, HWND control) {
    model.onRedraw = [&model, control] {
        for (int i = 0; i < 2; ++i)
            SendMessageA(control, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(model.Panel(i + 1).c_str()));
    };
    model.onRedraw();
}

void BindToolbar(Toolbar& model, HWND control) {
    model.onRedraw = [&model, control] {
        // The toolbar switches as a whole: every button follows it.
        const auto n = static_cast<int>(SendMessageA(control, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            TBBUTTON b{};
            if (SendMessageA(control, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b)))
                SendMessageA(control, TB_ENABLEBUTTON, b.idCommand, MAKELPARAM(model.Enabled() ? TRUE : FALSE, 0));
        }
        EnableWindow(control, model.Enabled());
    };
    model.onRedraw();
}

void BindComboBox(ComboBox& model, HWND control) {
    SendMessageA(control, CB_RESETCONTENT, 0, 0);
    for (const auto& e : model.Entries()) {
        const auto i = SendMessageA(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.text.c_str()));
        SendMessageA(control, CB_SETITEMDATA, static_cast<WPARAM>(i), e.itemData);
    }
    model.onRedraw = [&model, control] { SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(model.ListIndex()), 0); };
    model.onRedraw();
}

void BindPlacement(Placement& model, HWND control, POINT origin, int height) {
    model.onPlace = [&model, control, origin, height] {
        RECT r{};
        GetWindowRect(control, &r);
        SetWindowPos(control, HWND_TOP, origin.x + ToPixels(model.left), origin.y + ToPixels(model.top),
                     ToPixels(model.width), height > 0 ? height : r.bottom - r.top, SWP_NOACTIVATE);
        ShowWindow(control, model.visible ? SW_SHOW : SW_HIDE);
        if (model.visible) SetFocus(control);
    };
    model.onPlace();
}

void ApplyWindow(const Window& model, HWND window) {
    SetWindowPos(window, nullptr, ToPixels(model.Left()), ToPixels(model.Top()), ToPixels(model.Width()),
                 ToPixels(model.Height()), SWP_NOZORDER | SWP_NOACTIVATE);
}

void BindWindow(Window& model, HWND window) {
    model.onChange = [&model, window] {
        SetWindowPos(window, nullptr, ToPixels(model.Left()), ToPixels(model.Top()), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        const bool iconic = IsIconic(window) != FALSE;
        if (model.State() == WindowState::Normal && (iconic || IsZoomed(window))) ShowWindow(window, SW_RESTORE);
        if (model.State() == WindowState::Minimized && !iconic) ShowWindow(window, SW_MINIMIZE);
        if (model.Visible() != (IsWindowVisible(window) != FALSE))
            ShowWindow(window, model.Visible() ? SW_SHOWNA : SW_HIDE);
    };
    model.onShow = [window] {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    };
    model.onRaise = [window] { SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); };
    TrackWindow(model, window);
}

void TrackWindow(Window& model, HWND window) {
    RECT r{};
    if (IsIconic(window)) {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(window, &wp);
        r = wp.rcNormalPosition;
    } else {
        GetWindowRect(window, &r);
    }
    model.TrackMoved(ToTwips(r.left), ToTwips(r.top));
    if (model.Width() != ToTwips(r.right - r.left) || model.Height() != ToTwips(r.bottom - r.top)) {
        auto onChange = std::move(model.onChange);
        model.Resize(ToTwips(r.right - r.left), ToTwips(r.bottom - r.top));
        model.onChange = std::move(onChange);
    }
    model.TrackState(IsIconic(window) ? WindowState::Minimized
                                      : IsZoomed(window) ? WindowState::Maximized : WindowState::Normal);
    model.TrackVisible(IsWindowVisible(window) != FALSE);
}

namespace {
struct KeyHook {
    std::function<void(std::int16_t&)> onKeyPress;
    bool wantAllKeys;
};
constexpr UINT_PTR kKeyHookId = 2;

LRESULT CALLBACK KeyHookProc(HWND h, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) noexcept {
    auto* hook = reinterpret_cast<KeyHook*>(data);
    if (m == WM_NCDESTROY) {
        RemoveWindowSubclass(h, KeyHookProc, kKeyHookId);
        delete hook;
        return DefSubclassProc(h, m, wp, lp);
    }
    return Guarded("KeyHookProc", LRESULT{0}, [&]() -> LRESULT {
        if (m == WM_GETDLGCODE && hook->wantAllKeys) return DLGC_WANTALLKEYS | DefSubclassProc(h, m, wp, lp);
        if (m == WM_CHAR && hook->onKeyPress) {
            auto key = static_cast<std::int16_t>(wp);
            hook->onKeyPress(key);
            if (key == 0) return 0;
            wp = static_cast<WPARAM>(static_cast<std::uint16_t>(key));
        }
        return DefSubclassProc(h, m, wp, lp);
    });
}
}  // namespace

void HookKeyPress(HWND control, std::function<void(std::int16_t&)> onKeyPress, bool wantAllKeys) {
    auto* hook = new KeyHook{std::move(onKeyPress), wantAllKeys};
    if (!SetWindowSubclass(control, KeyHookProc, kKeyHookId, reinterpret_cast<DWORD_PTR>(hook))) delete hook;
}

void ShowPopup(const PopupMenu& menu, HWND owner, int idBase) {
    const platform::win32::MenuHandle popup(CreatePopupMenu());
    if (!popup) return;
    const HMENU m = popup.get();
    for (size_t i = 0; i < menu.items.size(); ++i) {
        const MenuItem& item = menu.items[i];
        if (item.caption == "-") {
            AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT id = static_cast<UINT>(idBase) + static_cast<UINT>(i);
        AppendMenuA(m, MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED), id, item.caption.c_str());
        if (item.isDefault) SetMenuDefaultItem(m, id, FALSE);
    }
    POINT pt{};
    GetCursorPos(&pt);
    // The owner comes forward first, or the menu would not close when the
    // operator clicks elsewhere.
    SetForegroundWindow(owner);
    TrackPopupMenu(m, TPM_RIGHTBUTTON, pt.x, pt.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
}

bool RunMenuCommand(PopupMenu& menu, int idBase, int id) {
    const int i = id - idBase;
    if (i < 0 || i >= static_cast<int>(menu.items.size())) return false;
    MenuItem& item = menu.items[static_cast<size_t>(i)];
    if (item.enabled && item.onClick) {
        auto run = item.onClick;  // the handler may rebuild the menu
        run();
    }
    return true;
}

}  // namespace hw::ui::win32
