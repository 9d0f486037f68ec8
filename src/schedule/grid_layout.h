// Laying out a grid from a one-line column spec.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/grid.h"
#include "ui/message_box.h"

namespace hw::schedule {

inline constexpr const char* kScheduleGridSpec =
    "RESET_ID|||;RESET_NAME|||;RESET_PICTURE|Scheduled Item to Reset|L|10;RESET_FREQ_ID|||;"
    "RESET_FREQ|Frequency|L|17;RESET_NEXT_TIME|Next Occurance|L|12";

// The grid's format string for a column spec; throws on a malformed entry
// (fewer than four fields, a negative width).
std::string GridFormatString(const std::string& spec, const std::function<void()>& yield);

// Lays the grid out from the column list, leaving only the header row. A malformed
// list is reported with " - InitializeResultGrid" and ends the layout there.
void InitializeResultGrid(ui::GridModel& grid, const std::string& spec, ui::MessageBoxHost& boxes,
                          const std::function<void()>& yield);

}  // namespace hw::schedule
