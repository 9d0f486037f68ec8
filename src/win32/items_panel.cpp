#include "win32/items_panel.h"

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/win32/guard.h"

#include "ui/win32/bind.h"
#include "ui/win32/native_window.h"
#include "win32/icons.h"

namespace hw::win32 {

using ui::win32::ToPixels;

namespace {
constexpr const char* kClass = "HarrowatchResetItems";
constexpr int kItemHeight = 20, kIconSize = 16;
}  // namespace

ItemsPanel::ItemsPanel(schedule::ScheduleEditor& editor, HWND parent, RECT b, HWND grid)
    : editor_(editor), grid_(grid) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ui::win32::RegisterOwnClass(kClass, Proc, COLOR_WINDOW);
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    panel_ = CreateWindowExA(WS_EX_CLIENTEDGE, kClass, "", WS_CHILD | WS_VISIBLE, b.left, b.top,
                             b.right - b.left - bar, b.bottom - b.top, parent, nullptr, instance, this);
    scroll_ = ui::win32::MakeChild(parent, 0, "SCROLLBAR", "", SBS_VERT, b.right - bar, b.top, bar, b.bottom - b.top);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, schedule::kScrollMax + 9, 10, 0, 0};
    SetScrollInfo(scroll_, SB_CTL, &si, TRUE);
    MeasureColumns();
    drag_.reset(MakeDragCursor());
    for (int i = 0; i < schedule::kResetItemCount; ++i) icons_[i].reset(MakeItemIcon(i));
    AddItemTips(instance);
    editor_.onPanelScroll = [this] {
        for (const schedule::ResetItem& item : schedule::kResetItems) {
            TOOLINFOA ti{};
            ti.cbSize = TTTOOLINFOA_V2_SIZE;
            ti.hwnd = panel_;
            ti.uId = static_cast<UINT_PTR>(item.index + 1);
            ti.rect = ItemRect(item.index);
            SendMessageA(tips_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&ti));
        }
        InvalidateRect(panel_, nullptr, TRUE);
    };
    editor_.onDragChange = [this] { InvalidateRect(panel_, nullptr, TRUE); };
    // A drag ends over the grid when the pointer is on it (or on a floating
    // editor above it).
    editor_.pointerOverGrid = [this] {
        POINT pt{};
        GetCursorPos(&pt);
        HWND under = WindowFromPoint(pt);
        return under && (under == grid_ || IsChild(grid_, under));
    };
}

void ItemsPanel::MeasureColumns() {
    // The items stand in columns; each column is as wide as its widest
    // caption needs in this font, so that every caption shows whole.
    std::vector<int> lefts;
    for (const schedule::ResetItem& item : schedule::kResetItems) {
        bool known = false;
        for (int l : lefts) known = known || std::abs(l - item.leftTwips) < 300;
        if (!known) lefts.push_back(item.leftTwips);
    }
    std::sort(lefts.begin(), lefts.end());
    {
        const platform::win32::WindowDc dc = platform::win32::GetWindowDc(panel_);
        const platform::win32::Selected font = platform::win32::SelectInto(dc.get().dc, ui::win32::UiFont());
        int x = ToPixels(lefts.empty() ? 0 : lefts.front());
        for (int l : lefts) {
            columns_.emplace_back(l, x);
            int widest = 0;
            for (const schedule::ResetItem& item : schedule::kResetItems) {
                if (std::abs(item.leftTwips - l) >= 300) continue;
                SIZE size{};
                GetTextExtentPoint32A(dc.get().dc, item.caption, static_cast<int>(std::strlen(item.caption)), &size);
                widest = std::max<int>(widest, size.cx);
            }
            x += ui::win32::Dp(kIconSize + 3) + widest + ui::win32::Dp(6);
        }
    }
}

void ItemsPanel::AddItemTips(HINSTANCE instance) {
    tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, panel_,
                            nullptr, instance, nullptr);
    SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 300);
    for (const schedule::ResetItem& item : schedule::kResetItems) {
        TOOLINFOA ti{};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = panel_;
        ti.uId = static_cast<UINT_PTR>(item.index + 1);
        ti.rect = ItemRect(item.index);
        ti.lpszText = const_cast<char*>(item.description);
        SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

ItemsPanel::~ItemsPanel() {
    editor_.onPanelScroll = nullptr;
    editor_.onDragChange = nullptr;
    editor_.pointerOverGrid = nullptr;
    if (panel_ && IsWindow(panel_)) SetWindowLongPtrA(panel_, GWLP_USERDATA, 0);
}

void ItemsPanel::Show(bool on) {
    ShowWindow(panel_, on ? SW_SHOW : SW_HIDE);
    ShowWindow(scroll_, on ? SW_SHOW : SW_HIDE);
}

RECT ItemsPanel::ItemRect(int index) const {
    using ui::win32::Dp;
    const schedule::ResetItem& item = schedule::kResetItems[static_cast<size_t>(index)];
    const int y = ToPixels(item.topTwips) + editor_.picItemsTop;
    // An item reaches to the next column of items, or to the panel's edge.
    RECT client{};
    GetClientRect(panel_, &client);
    int x = ToPixels(item.leftTwips), right = client.right;
    for (size_t c = 0; c < columns_.size(); ++c) {
        if (std::abs(columns_[c].first - item.leftTwips) >= 300) continue;
        x = columns_[c].second;
        if (c + 1 < columns_.size()) right = columns_[c + 1].second;
    }
    return {x, y, right - Dp(1), y + Dp(kItemHeight)};
}

RECT ItemsPanel::CaptionRect(int index) const {
    RECT r = ItemRect(index);
    r.left += ui::win32::Dp(kIconSize + 3);
    return r;
}

int ItemsPanel::HitItem(LPARAM lp) const {
    const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    for (int i = 0; i < schedule::kResetItemCount; ++i) {
        const RECT r = ItemRect(i);
        if (PtInRect(&r, pt)) return i;
    }
    return -1;
}

bool ItemsPanel::OnScroll(HWND bar, WPARAM wp) {
    if (bar != scroll_) return false;
    SCROLLINFO si{sizeof si, SIF_ALL};
    GetScrollInfo(scroll_, SB_CTL, &si);
    int pos = si.nPos;
    switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= 5; break;
        case SB_LINEDOWN: pos += 5; break;
        case SB_PAGEUP: pos -= 20; break;
        case SB_PAGEDOWN: pos += 20; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = schedule::kScrollMax; break;
        default: break;
    }
    pos = std::clamp(pos, 0, schedule::kScrollMax);
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(scroll_, SB_CTL, &si, TRUE);
    if (pos != editor_.scrollValue) {
        editor_.scrollValue = pos;
        editor_.VScroll_Change();
    }
    return true;
}

void ItemsPanel::Paint() {
    const platform::win32::Painting painting = platform::win32::BeginPainting(panel_);
    const HDC dc = painting.get().ps.hdc;
    const platform::win32::Selected font = platform::win32::SelectInto(dc, ui::win32::UiFont());
    SetBkMode(dc, TRANSPARENT);
    for (const schedule::ResetItem& item : schedule::kResetItems) {
        const RECT r = ItemRect(item.index);
        const bool on = item.offered;
        const int icon = ui::win32::Dp(kIconSize);
        DrawIconEx(dc, r.left + ui::win32::Dp(1), r.top + (r.bottom - r.top - icon) / 2, icons_[item.index].get(), icon,
                   icon, 0, nullptr, DI_NORMAL);
        SetTextColor(dc, GetSysColor(on ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        RECT t = CaptionRect(item.index);
        DrawTextA(dc, item.caption, -1, &t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
        // The drag mark: a single-line border while the left button holds the item.
        if (editor_.imgResetItem[static_cast<size_t>(item.index)].border) {
            const platform::win32::Selected brush = platform::win32::SelectInto(dc, GetStockObject(NULL_BRUSH));
            Rectangle(dc, r.left, r.top, r.right, r.bottom);
        }
    }
}

bool ItemsPanel::SetItemCursor() {
    if (editor_.dragging) {
        SetCursor(drag_.get());
        return true;
    }
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(panel_, &pt);
    const int i = HitItem(MAKELPARAM(pt.x, pt.y));
    if (i >= 0 && editor_.imgResetItem[static_cast<size_t>(i)].Enabled()) {
        SetCursor(LoadCursor(nullptr, IDC_CROSS));
        return true;
    }
    return false;
}

void ItemsPanel::Press(UINT m, LPARAM lp) {
    const int i = m == WM_RBUTTONDOWN && pressed_ >= 0 ? pressed_ : HitItem(lp);
    if (i < 0 || !editor_.imgResetItem[static_cast<size_t>(i)].Enabled()) return;
    if (m == WM_LBUTTONDOWN) {
        pressed_ = i;
        SetCapture(panel_);
        editor_.imgResetItem_MouseDown(i, schedule::kLeftButton);
        SetCursor(drag_.get());
    } else {
        pressed_ = -1;
        editor_.imgResetItem_MouseDown(i, schedule::kRightButton);
        ReleaseCapture();
    }
}

LRESULT ItemsPanel::Handle(UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_SETCURSOR:
            if (SetItemCursor()) return TRUE;
            break;
        case WM_LBUTTONDBLCLK: {
            const int i = HitItem(lp);
            if (i >= 0) editor_.imgResetItem_DblClick(i);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            Press(m, lp);
            return 0;
        case WM_LBUTTONUP:
            if (pressed_ >= 0) {
                const int i = pressed_;
                pressed_ = -1;
                ReleaseCapture();
                editor_.imgResetItem_MouseUp(i, schedule::kLeftButton);
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (pressed_ >= 0 && reinterpret_cast<HWND>(lp) != panel_) {
                // The capture was taken away: the drag ends without a drop.
                const int i = pressed_;
                pressed_ = -1;
                auto over = std::move(editor_.pointerOverGrid);
                editor_.imgResetItem_MouseUp(i, schedule::kLeftButton);
                editor_.pointerOverGrid = std::move(over);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcA(panel_, m, wp, lp);
}

LRESULT CALLBACK ItemsPanel::Proc(HWND window, UINT m, WPARAM wp, LPARAM lp) noexcept {
    if (m == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<ItemsPanel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && !self->panel_) self->panel_ = window;
    if (!self) return DefWindowProcA(window, m, wp, lp);
    return ui::win32::Guarded("ItemsPanel::Proc", LRESULT{0}, [&] { return self->Handle(m, wp, lp); });
}

}  // namespace hw::win32
