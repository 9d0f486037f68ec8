// Reading another program's list view, list box and toolbar. A list view and
// a toolbar answer only through records in the memory of their own process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace hw::automation {

using platform::Hwnd;

// One cell, trimmed; empty when nothing was read.
std::string GetListViewCellText(platform::Desktop& desktop, Hwnd listView, platform::Pid processId,
                                int subItem, int item);

// Rows 0..rows-1, the given columns of each: the same texts as
// GetListViewCellText, with one process open, one remote block, one write
// and one read for the whole list. Empty when nothing could be read.
std::vector<std::vector<std::string>> GetListViewCells(platform::Desktop& desktop, Hwnd listView,
                                                       platform::Pid processId, int rows,
                                                       const std::vector<int>& columns);

// The lines from `start` to the end, in order. A program that stops
// answering part-way gives the lines read until then.
std::vector<std::string> GetListBoxLines(platform::Desktop& desktop, Hwnd listBox, std::int32_t start);

// The centre of a toolbar button in the toolbar's client area, packed as a
// mouse message's lParam; 0 when it cannot be read.
std::int32_t GetToolbarButtonPoint(platform::Desktop& desktop, Hwnd toolbar, platform::Pid processId,
                                   std::int16_t index);

std::int32_t MakeLParam(std::int32_t low, std::int16_t high);

// Whether the records for this process take the 32-bit layout.
bool UsesLayout32(platform::Desktop& desktop, platform::Handle process);

}  // namespace hw::automation
