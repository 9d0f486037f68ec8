#include "ui/grid.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace hw::ui {

namespace {
constexpr int kDefaultRowHeight = 240;
constexpr int kCellMarginTwips = 120;

int PlainMeasure(const std::string& s) {
    // About six pixels a character in the grid's font, at 15 twips a pixel.
    return static_cast<int>(s.size()) * 90 + kCellMarginTwips;
}

std::optional<double> AsNumber(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::nullopt;
    size_t e = s.find_last_not_of(' ');
    std::string t = s.substr(b, e - b + 1);
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    return v;
}

std::string Lower(const std::string& s) {
    std::string r = s;
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}
}  // namespace

GridModel::GridModel() : measureText(PlainMeasure) {
    SetCols(2);
    SetRows(2);
}

void GridModel::SetRows(int rows) {
    rows = std::max(rows, 1);
    cells_.resize(rows, std::vector<Cell>(cols_));
    rowHeights_.resize(rows, kDefaultRowHeight);
    if (row_ >= rows) row_ = rows - 1;
    if (rowSel_ >= rows) rowSel_ = rows - 1;
    if (topRow_ >= rows) topRow_ = std::max(1, rows - 1);
    Changed();
}

void GridModel::SetCols(int cols) {
    cols = std::max(cols, 1);
    cols_ = cols;
    for (auto& r : cells_) r.resize(cols);
    colWidths_.resize(cols, 960);
    colAligns_.resize(cols, CellAlign::Left);
    if (col_ >= cols) col_ = cols - 1;
    if (colSel_ >= cols) colSel_ = cols - 1;
    Changed();
}

void GridModel::SetFormatString(const std::string& format) {
    format_ = format;
    std::vector<std::string> segments;
    size_t start = 0;
    for (;;) {
        size_t p = format.find('|', start);
        segments.push_back(format.substr(start, p == std::string::npos ? p : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    SetCols(static_cast<int>(segments.size()));
    for (int c = 0; c < cols_; ++c) {
        std::string seg = segments[c];
        CellAlign align = CellAlign::Left;
        if (!seg.empty() && (seg[0] == '<' || seg[0] == '^' || seg[0] == '>')) {
            align = seg[0] == '^' ? CellAlign::Center : seg[0] == '>' ? CellAlign::Right : CellAlign::Left;
            seg.erase(0, 1);
        }
        colAligns_[c] = align;
        colWidths_[c] = measureText(seg);
        // The header shows the caption without the padding that sets the width.
        size_t e = seg.find_last_not_of(' ');
        cells_[0][c].text = e == std::string::npos ? std::string() : seg.substr(0, e + 1);
    }
    ApplyFit();
    Changed();
}

void GridModel::FitColumns(int width, std::vector<int> least) {
    fitWidth_ = width;
    leastWidths_ = std::move(least);
    ApplyFit();
    Changed();
}

void GridModel::ApplyFit() {
    if (fitWidth_ <= 0) return;
    // A shown column narrower than what it must hold widens to it (a larger
    // font can need more than its format string gave it); then the columns
    // with room to spare give up as much as the grid lacks, in proportion.
    auto least = [&](int c) {
        const int l = c < static_cast<int>(leastWidths_.size()) ? leastWidths_[static_cast<size_t>(c)] : 0;
        return colWidths_[c] > 0 ? std::max(l, 0) : 0;
    };
    int total = 0, spare = 0;
    for (int c = 0; c < cols_; ++c) {
        colWidths_[c] = std::max(colWidths_[c], least(c));
        total += colWidths_[c];
        spare += colWidths_[c] - least(c);
    }
    const int excess = total - fitWidth_;
    if (excess <= 0 || spare <= 0) return;
    const double keep = std::max(0.0, 1.0 - static_cast<double>(excess) / spare);
    for (int c = 0; c < cols_; ++c) colWidths_[c] = least(c) + static_cast<int>((colWidths_[c] - least(c)) * keep);
}

const std::string& GridModel::TextMatrix(int row, int col) const { return cells_.at(row).at(col).text; }

void GridModel::SetTextMatrix(int row, int col, std::string text) {
    cells_.at(row).at(col).text = std::move(text);
    Changed();
}

const CellPicture& GridModel::Picture(int row, int col) const { return cells_.at(row).at(col).picture; }

void GridModel::SetPicture(int row, int col, CellPicture picture) {
    cells_.at(row).at(col).picture = picture;
    Changed();
}

void GridModel::AddItem(const std::string& item) {
    std::vector<Cell> row(cols_);
    size_t start = 0;
    for (int c = 0; c < cols_; ++c) {
        size_t p = item.find('\t', start);
        row[c].text = item.substr(start, p == std::string::npos ? p : p - start);
        if (p == std::string::npos) break;
        start = p + 1;
    }
    cells_.push_back(std::move(row));
    rowHeights_.push_back(kDefaultRowHeight);
    Changed();
}

void GridModel::RemoveItem(int row) {
    if (row < FixedRows() || row >= Rows()) throw std::out_of_range("RemoveItem: invalid row");
    cells_.erase(cells_.begin() + row);
    rowHeights_.erase(rowHeights_.begin() + row);
    if (row_ >= Rows()) row_ = Rows() - 1;
    if (rowSel_ >= Rows()) rowSel_ = Rows() - 1;
    if (topRow_ >= Rows()) topRow_ = std::max(1, Rows() - 1);
    Changed();
}

int GridModel::ColPos(int col) const {
    int x = 0;
    for (int c = 0; c < col && c < cols_; ++c) x += colWidths_[c];
    return x;
}

int GridModel::RowPos(int row) const {
    int y = rowHeights_.at(0);
    if (row == 0) return 0;
    for (int r = topRow_; r < row && r < Rows(); ++r) y += rowHeights_[r];
    return y;
}

void GridModel::SetTopRow(int row) { topRow_ = std::clamp(row, 1, std::max(1, Rows() - 1)); }

void GridModel::SetCurrent(int row, int col) {
    if (row < 0 || row >= Rows() || col < 0 || col >= cols_)
        throw std::out_of_range("grid: current cell outside the grid");
    const bool moved = row != row_ || col != col_;
    row_ = rowSel_ = row;
    col_ = colSel_ = col;
    if (moved && onEnterCell) onEnterCell();
}

void GridModel::Click(int row, int col) {
    if (row == row_ && col == col_ && row >= 0 && row < Rows()) {
        rowSel_ = row;
        colSel_ = col;
        if (onEnterCell) onEnterCell();
    } else {
        SetCurrent(row, col);
    }
}

void GridModel::SetSelection(int rowSel, int colSel) {
    rowSel_ = std::clamp(rowSel, 0, Rows() - 1);
    colSel_ = std::clamp(colSel, 0, cols_ - 1);
}

void GridModel::SortNumericAscending(int firstCol, int lastCol) {
    if (Rows() <= 2) return;
    std::vector<size_t> order(Rows() - 1);
    for (size_t i = 0; i < order.size(); ++i) order[i] = i + 1;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (int c = firstCol; c <= lastCol; ++c) {
            auto x = AsNumber(cells_[a][c].text), y = AsNumber(cells_[b][c].text);
            if (!x || !y) continue;
            if (*x != *y) return *x < *y;
        }
        return false;
    });
    std::vector<std::vector<Cell>> sorted{cells_[0]};
    std::vector<int> heights{rowHeights_[0]};
    for (size_t i : order) {
        sorted.push_back(std::move(cells_[i]));
        heights.push_back(rowHeights_[i]);
    }
    cells_ = std::move(sorted);
    rowHeights_ = std::move(heights);
    Changed();
}

void GridModel::SortTextAscendingNoCase(int col) {
    if (Rows() <= 2) return;
    std::vector<std::pair<std::string, size_t>> keys;
    for (int r = 1; r < Rows(); ++r) keys.emplace_back(Lower(cells_[r][col].text), r);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::vector<Cell>> sorted{cells_[0]};
    std::vector<int> heights{rowHeights_[0]};
    for (auto& [key, r] : keys) {
        sorted.push_back(std::move(cells_[r]));
        heights.push_back(rowHeights_[r]);
    }
    cells_ = std::move(sorted);
    rowHeights_ = std::move(heights);
    Changed();
}

}  // namespace hw::ui
