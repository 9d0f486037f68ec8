#include "ui/win32/grid_view.h"

#include "ui/win32/guard.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/win32/bind.h"
#include "platform/win32/owners.h"

namespace hw::ui::win32 {

namespace {
constexpr UINT_PTR kSubclassId = 1;
}

GridView::GridView(GridModel& model, HWND parent, RECT b, int id, HIMAGELIST pictures,
                   std::function<std::string(int)> pictureText)
    : model_(model), pictureText_(std::move(pictureText)) {
    list_ = MakeChild(parent, WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                      WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_NOSORTHEADER | LVS_SINGLESEL, b.left, b.top,
                      b.right - b.left, b.bottom - b.top, id);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_SUBITEMIMAGES | LVS_EX_GRIDLINES);
    if (pictures) SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(pictures));
    SetWindowSubclass(list_, &GridView::ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    // Column widths come from the header texts in the controls' font.
    model_.measureText = [this](const std::string& text) {
        const platform::win32::WindowDc dc = platform::win32::GetWindowDc(list_);
        const platform::win32::Selected font = platform::win32::SelectInto(dc.get().dc, UiFont());
        SIZE size{};
        GetTextExtentPoint32A(dc.get().dc, text.c_str(), static_cast<int>(text.size()), &size);
        return ToTwips(size.cx + 12);
    };
    // The rows' height, measured on a row that is there for the purpose.
    LVCOLUMNA col{};
    col.mask = LVCF_WIDTH;
    col.cx = 50;
    SendMessageA(list_, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col));
    SendMessageA(list_, LVM_SETITEMCOUNT, 1, 0);
    RECT row{LVIR_BOUNDS, 0, 0, 0};
    if (SendMessageA(list_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)) && row.bottom > row.top)
        rowTwips_ = ToTwips(row.bottom - row.top);
    SendMessageA(list_, LVM_SETITEMCOUNT, 0, 0);
    SendMessageA(list_, LVM_DELETECOLUMN, 0, 0);
    RECT head{};
    if (GetWindowRect(reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0)), &head))
        headerTwips_ = ToTwips(head.bottom - head.top);
    model_.onChanged = [this] { Sync(); };
}

GridView::~GridView() {
    if (list_ && IsWindow(list_)) RemoveWindowSubclass(list_, &GridView::ListProc, kSubclassId);
    model_.onChanged = nullptr;
}

POINT GridView::ClientOrigin() const {
    POINT p{0, 0};
    MapWindowPoints(list_, GetParent(list_), &p, 1);
    return p;
}

void GridView::Sync() {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
    const int have = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int c = have; c < model_.Cols(); ++c) {
        LVCOLUMNA col{};
        col.mask = LVCF_WIDTH | LVCF_TEXT;
        col.pszText = const_cast<char*>("");
        SendMessageA(list_, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
    }
    for (int c = have - 1; c >= model_.Cols(); --c) SendMessageA(list_, LVM_DELETECOLUMN, c, 0);
    for (int c = 0; c < model_.Cols(); ++c) {
        LVCOLUMNA col{};
        col.mask = LVCF_WIDTH | LVCF_TEXT;
        col.cx = ToPixels(model_.ColWidth(c));
        col.pszText = const_cast<char*>(model_.TextMatrix(0, c).c_str());
        SendMessageA(list_, LVM_SETCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
    }
    // The native rows set the model's heights: the floating editors are
    // placed from them.
    model_.SetRowHeight(0, headerTwips_);
    for (int r = 1; r < model_.Rows(); ++r) model_.SetRowHeight(r, rowTwips_);
    SendMessageA(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(std::max(0, model_.Rows() - 1)), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, TRUE);
}

bool GridView::OnNotify(const NMHDR* n, LRESULT& result) {
    if (n->hwndFrom != list_) return false;
    result = 0;
    switch (n->code) {
        case LVN_GETDISPINFOA: {
            LVITEMA& item = const_cast<NMLVDISPINFOA*>(reinterpret_cast<const NMLVDISPINFOA*>(n))->item;
            const int row = item.iItem + 1, col = item.iSubItem;
            if (row >= model_.Rows() || col >= model_.Cols()) return true;
            const CellPicture& pic = model_.Picture(row, col);
            if (item.mask & LVIF_TEXT) {
                text_ = pic.picture >= 0 && pictureText_ ? pictureText_(pic.picture) : model_.TextMatrix(row, col);
                lstrcpynA(item.pszText, text_.c_str(), item.cchTextMax);
            }
            if (item.mask & LVIF_IMAGE) item.iImage = pic.picture >= 0 ? pic.picture : I_IMAGENONE;
            return true;
        }
        case NM_CUSTOMDRAW:
            result = CustomDraw(*const_cast<NMLVCUSTOMDRAW*>(reinterpret_cast<const NMLVCUSTOMDRAW*>(n)));
            return true;
        case NM_CLICK:
        case NM_DBLCLK:
        case NM_RCLICK: {
            LVHITTESTINFO hit{};
            const DWORD pos = GetMessagePos();
            hit.pt = {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
            ScreenToClient(list_, &hit.pt);
            if (SendMessageA(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0 && hit.iItem >= 0 &&
                hit.iItem + 1 < model_.Rows() && model_.ColWidth(hit.iSubItem) > 0) {
                model_.Click(hit.iItem + 1, hit.iSubItem);
                InvalidateRect(list_, nullptr, FALSE);
            }
            if (n->code == NM_DBLCLK && onDoubleClick) onDoubleClick();
            return true;
        }
        default:
            return false;
    }
}

LRESULT GridView::CustomDraw(NMLVCUSTOMDRAW& cd) {
    if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    if (cd.nmcd.dwDrawStage == CDDS_POSTPAINT) {
        if (onPostPaint) onPostPaint();
        return 0;
    }
    if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) return CDRF_NOTIFYSUBITEMDRAW;
    if (cd.nmcd.dwDrawStage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) return 0;
    const bool current = static_cast<int>(cd.nmcd.dwItemSpec) + 1 == model_.Row() && cd.iSubItem == model_.Col();
    cd.clrTextBk = GetSysColor(current ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    cd.clrText = GetSysColor(current ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    const int row = static_cast<int>(cd.nmcd.dwItemSpec) + 1, col = cd.iSubItem;
    if (row < model_.Rows() && col < model_.Cols() && model_.Picture(row, col).picture < 0 && model_.ColWidth(col) > 0) {
        DrawTextCell(cd, row, col);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_NEWFONT;
}

void GridView::DrawTextCell(const NMLVCUSTOMDRAW& cd, int row, int col) {
    // A cell without a picture is drawn here: the control would keep a
    // picture's room before its text and cut the text.
    RECT r{};
    r.top = col;
    r.left = LVIR_BOUNDS;
    SendMessageA(list_, LVM_GETSUBITEMRECT, cd.nmcd.dwItemSpec, reinterpret_cast<LPARAM>(&r));
    SetBkColor(cd.nmcd.hdc, cd.clrTextBk);
    ExtTextOutA(cd.nmcd.hdc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    SetTextColor(cd.nmcd.hdc, cd.clrText);
    SetBkMode(cd.nmcd.hdc, TRANSPARENT);
    const platform::win32::Selected font = platform::win32::SelectInto(cd.nmcd.hdc, UiFont());
    RECT t{r.left + Dp(6), r.top, r.right - Dp(2), r.bottom};
    const CellAlign align = model_.ColAlignment(col);
    const UINT where = align == CellAlign::Center ? DT_CENTER : align == CellAlign::Right ? DT_RIGHT : DT_LEFT;
    DrawTextA(cd.nmcd.hdc, model_.TextMatrix(row, col).c_str(), -1, &t,
              where | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void GridView::MoveCurrent(int rowDelta, int colDelta) {
    if (model_.Rows() <= 1) return;
    int row = std::clamp(std::max(1, model_.Row()) + rowDelta, 1, model_.Rows() - 1);
    int col = model_.Col();
    for (int step = colDelta, c = col + step; colDelta && c >= 0 && c < model_.Cols(); c += step) {
        if (model_.ColWidth(c) > 0) {
            col = c;
            break;
        }
    }
    model_.SetCurrent(row, col);
    SendMessageA(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row - 1), FALSE);
    FollowScroll();
    InvalidateRect(list_, nullptr, FALSE);
}

void GridView::FollowScroll() {
    // Both ways: the floating editors sit over the cells wherever they went.
    const int top = static_cast<int>(SendMessageA(list_, LVM_GETTOPINDEX, 0, 0)) + 1;
    const int x = ToTwips(std::max<int>(0, GetScrollPos(list_, SB_HORZ)));
    if (top != model_.TopRow() || x != model_.ScrollX()) {
        model_.SetTopRow(top);
        model_.SetScrollX(x);
        if (onScroll) onScroll();
    }
}

LRESULT GridView::Handle(UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            if (wp == VK_UP || wp == VK_DOWN || wp == VK_LEFT || wp == VK_RIGHT) {
                MoveCurrent(wp == VK_UP ? -1 : wp == VK_DOWN ? 1 : 0, wp == VK_LEFT ? -1 : wp == VK_RIGHT ? 1 : 0);
                return 0;
            }
            break;
        case WM_CHAR: {
            auto key = static_cast<std::int16_t>(wp);
            if (onKeyPress) onKeyPress(key);
            if (key == 0) return 0;
            wp = static_cast<WPARAM>(key);
            break;
        }
        case WM_KEYUP:
            if (onKeyUp) onKeyUp(static_cast<int>(wp));
            break;
        case WM_VSCROLL:
        case WM_HSCROLL:
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: {
            const LRESULT r = DefSubclassProc(list_, m, wp, lp);
            FollowScroll();
            return r;
        }
        default:
            break;
    }
    return DefSubclassProc(list_, m, wp, lp);
}

LRESULT CALLBACK GridView::ListProc(HWND, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) noexcept {
    return Guarded("GridView::ListProc", LRESULT{0},
                   [&] { return reinterpret_cast<GridView*>(self)->Handle(m, wp, lp); });
}

}  // namespace hw::ui::win32
