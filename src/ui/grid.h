// The grid control, headless: rows and columns with a fixed header row, cell
// texts and pictures, column widths (0 hides a column), a format string,
// row heights, the current cell and selection, an enabled state and two
// sorts. ui/win32 binds it to a native control; tests drive it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hw::ui {

enum class CellAlign { Left, Center, Right, LeftCenter };

struct CellPicture {
    int picture = -1;  // an id the binding knows how to draw; -1 = none
    CellAlign align = CellAlign::LeftCenter;
};

class GridModel {
public:
    GridModel();

    // --- Shape.
    int Rows() const { return static_cast<int>(cells_.size()); }
    int Cols() const { return cols_; }
    int FixedRows() const { return 1; }
    void SetRows(int rows);
    void SetCols(int cols);
    // Segments joined by "|", each an alignment mark ("<", "^", ">") and the
    // header text. Sets the columns, header texts, alignments and widths.
    void SetFormatString(const std::string& format);
    const std::string& FormatString() const { return format_; }

    // --- Cells.
    const std::string& TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, std::string text);
    const CellPicture& Picture(int row, int col) const;
    void SetPicture(int row, int col, CellPicture picture);
    // Appends a row whose cells are the tab-separated fields of `item`.
    void AddItem(const std::string& item);
    void RemoveItem(int row);

    // --- Columns and rows, in twips.
    int ColWidth(int col) const { return colWidths_.at(col); }
    void SetColWidth(int col, int twips) {
        colWidths_.at(col) = twips;
        Changed();
    }
    CellAlign ColAlignment(int col) const { return colAligns_.at(col); }
    int ColPos(int col) const;  // left edge of the column in the grid
    int RowHeight(int row) const { return rowHeights_.at(row); }
    void SetRowHeight(int row, int twips) { rowHeights_.at(row) = twips; }
    int RowPos(int row) const;  // top edge of the row, scrolled rows left out
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    // Turns a header text into a column width; a plain per-character
    // measure until a binding supplies the font's.
    std::function<int(const std::string&)> measureText;
    // Keeps the shown columns within `width` twips (0: as measured): when
    // they are wider together, each gives up width, in proportion to what it
    // has above its least (`least[c]`, 0 for none), down to that least.
    // Applied now and to every later format string.
    void FitColumns(int width, std::vector<int> least);
    // How far the grid is scrolled to the right, in twips (the binding
    // follows the control's scroll bar).
    int ScrollX() const { return scrollX_; }
    void SetScrollX(int twips) { scrollX_ = twips; }

    // --- Current cell and selection.
    int Row() const { return row_; }
    int Col() const { return col_; }
    int RowSel() const { return rowSel_; }
    int ColSel() const { return colSel_; }
    // Moves the current cell (and collapses the selection onto it).
    void SetCurrent(int row, int col);
    void SetRow(int row) { SetCurrent(row, col_); }
    void SetCol(int col) { SetCurrent(row_, col); }
    void SetSelection(int rowSel, int colSel);
    // A click on a cell: moves there, or enters the current cell afresh (its
    // editor may have closed since it was entered).
    void Click(int row, int col);
    // Raised after the current cell changed.
    std::function<void()> onEnterCell;

    bool Enabled() const { return enabled_; }

    void SetEnabled(bool enabled) { enabled_ = enabled; }

    // --- Sorts of the data rows (the header stays).
    // Ascending, numeric, on the columns first..last as successive keys.
    // Cells that are not numbers compare equal; equal rows keep their order.
    void SortNumericAscending(int firstCol, int lastCol);
    // Ascending on one column as text, letter case ignored; stable.
    void SortTextAscendingNoCase(int col);

    // Raised when rows or cells change, for the binding to redraw.
    std::function<void()> onChanged;

private:
    void ApplyFit();
    int fitWidth_ = 0;
    std::vector<int> leastWidths_;
    int scrollX_ = 0;
    void Changed() {
        if (onChanged) onChanged();
    }
    struct Cell {
        std::string text;
        CellPicture picture;
    };
    std::vector<std::vector<Cell>> cells_;
    std::vector<int> rowHeights_;
    std::vector<int> colWidths_;
    std::vector<CellAlign> colAligns_;
    int cols_ = 0;
    std::string format_;
    int row_ = 0, col_ = 0, rowSel_ = 0, colSel_ = 0, topRow_ = 1;
    bool enabled_ = true;
};

}  // namespace hw::ui
