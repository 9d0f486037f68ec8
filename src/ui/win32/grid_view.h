// The grid model on a report list view of its own rows (owner data): the
// header from the format string, hidden columns at width 0, cell pictures
// from an image list, the current cell drawn and moved by mouse and keys.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ui/grid.h"

namespace hw::ui::win32 {

class GridView {
public:
    // pictures: the cell pictures by id; pictureText: the words drawn beside one.
    GridView(GridModel& model, HWND parent, RECT bounds, int id, HIMAGELIST pictures,
             std::function<std::string(int picture)> pictureText);
    ~GridView();
    GridView(const GridView&) = delete;
    GridView& operator=(const GridView&) = delete;

    HWND hwnd() const { return list_; }
    // The grid's client area in its parent's pixels: where floating editors go.
    POINT ClientOrigin() const;
    // One row's height, twips: floating editors take it too.
    int RowHeightTwips() const { return rowTwips_; }
    // The parent hands its WM_NOTIFY here; true when it was the grid's.
    bool OnNotify(const NMHDR* header, LRESULT& result);
    // Redraws from the model (rows, columns, widths).
    void Sync();

    std::function<void(std::int16_t& keyAscii)> onKeyPress;
    std::function<void(int keyCode)> onKeyUp;
    std::function<void()> onScroll;
    std::function<void()> onDoubleClick;
    // After the grid has painted itself.
    std::function<void()> onPostPaint;

private:
    static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // One stage of the list's custom draw: its answer.
    LRESULT CustomDraw(NMLVCUSTOMDRAW& cd);
    // A cell with no picture, its text drawn whole in the cell's colours.
    void DrawTextCell(const NMLVCUSTOMDRAW& cd, int row, int col);
    void MoveCurrent(int rowDelta, int colDelta);
    void FollowScroll();

    GridModel& model_;
    HWND list_ = nullptr;
    std::function<std::string(int)> pictureText_;
    int rowTwips_ = 300;
    int headerTwips_ = 300;
    std::string text_;  // the text handed out for the last display request
};

}  // namespace hw::ui::win32
