// The reset items panel: the sixteen item pictures on a canvas that a
// scroll bar moves, with tooltips, the cross-hair over the items that take
// the mouse, and the drag that ends over the schedule grid.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win32/owners.h"

#include "schedule/editor.h"

namespace hw::win32 {

class ItemsPanel {
public:
    // grid: the window a drag may end over.
    ItemsPanel(schedule::ScheduleEditor& editor, HWND parent, RECT bounds, HWND grid);
    ~ItemsPanel();
    ItemsPanel(const ItemsPanel&) = delete;
    ItemsPanel& operator=(const ItemsPanel&) = delete;
    HWND hwnd() const { return panel_; }
    HWND scrollBar() const { return scroll_; }
    // The parent hands its WM_VSCROLL here when it is the panel's bar.
    bool OnScroll(HWND bar, WPARAM wParam);
    void Show(bool on);
    // Where an item is drawn and takes the mouse, and where its caption goes.
    RECT ItemRect(int index) const;
    RECT CaptionRect(int index) const;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    int HitItem(LPARAM lParam) const;
    // The items' columns (columns_), each as wide as its widest caption.
    void MeasureColumns();
    // WM_SETCURSOR: the drag's cursor, or a cross over an item that can be
    // dragged; false when neither.
    bool SetItemCursor();
    // A button pressed (WM_LBUTTONDOWN or WM_RBUTTONDOWN) over an item.
    void Press(UINT message, LPARAM lParam);
    // Each item's description as its tip.
    void AddItemTips(HINSTANCE instance);
    void Paint();

    schedule::ScheduleEditor& editor_;
    HWND panel_ = nullptr, scroll_ = nullptr, tips_ = nullptr, grid_;
    platform::win32::Cursor drag_;
    platform::win32::Icon icons_[schedule::kResetItemCount];
    int pressed_ = -1;
    std::vector<std::pair<int, int>> columns_;  // an item column's left in twips, and its left in pixels
};

}  // namespace hw::win32
