#include "schedule/grid_layout.h"

#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"

namespace hw::schedule {

std::string GridFormatString(const std::string& spec, const std::function<void()>& yield) {
    std::string format;
    for (const std::string& entry : text::Split(spec, ";")) {
        std::vector<std::string> f = text::Split(entry, "|");
        if (f.size() < 4)
            throw HwError(9, kAppTitle, "Subscript out of range: column entry '" + entry + "'");
        std::string align = text::Trim(f[2]);
        align = align == "R" ? ">" : align == "C" ? "^" : "<";
        if (text::IsBlankValue(f[1])) f[3] = "1";
        const double width = text::RoundHalfEven(text::LeadingNumber(f[3]));
        if (width < 0) throw HwError(5, kAppTitle, "Invalid procedure call or argument: width " + f[3]);
        if (width > 1000) throw HwError(6, kAppTitle, "Overflow: width " + f[3]);
        std::string segment = align + f[1] + std::string(static_cast<size_t>(width), ' ');
        if (!text::IsBlankValue(format)) format += "|";
        format += segment;
        if (yield) yield();
    }
    return format;
}

void InitializeResultGrid(ui::GridModel& grid, const std::string& spec, ui::MessageBoxHost& boxes,
                          const std::function<void()>& yield) {
    try {
        const std::string format = GridFormatString(spec, yield);
        grid.SetRows(1);
        grid.SetFormatString(format);
        for (int c = 0; c < grid.Cols(); ++c) {
            if (text::IsBlankValue(grid.TextMatrix(0, c))) grid.SetColWidth(c, 0);
            if (yield) yield();
        }
        grid.SetCurrent(0, grid.Col() < grid.Cols() ? grid.Col() : 0);
        grid.SetSelection(0, grid.Cols() - 1);
    } catch (...) {
        ReportCaught(boxes, "InitializeResultGrid");
    }
}

}  // namespace hw::schedule
