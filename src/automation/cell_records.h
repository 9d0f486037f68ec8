// The records a list view fills in the memory of its own process, built and
// read back on Harrowatch's side: one record a cell, each pointing at a text
// slot of its own in the same block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/records.h"
#include "platform/types.h"

namespace hw::automation {

// A cell's text slot: 255 bytes for the control, one kept 0.
inline constexpr std::size_t kSlot = 256;

// The size of one item record in the target's layout (40 or 56 bytes).
std::size_t RecordSize(bool layout32);

// An item record asking for one cell's text (column `subItem`) into `text`.
std::vector<std::uint8_t> CellRecord(bool layout32, int subItem, platform::RemoteAddress text);

// The text of a slot: the bytes before the first zero, at most 255 of them,
// trimmed.
std::string SlotText(const std::uint8_t* slot);

// The records for `count` cells, row by row over `columns`, at the start of
// `bytes` (a block at `base` in the target); each asks for its text into
// its own slot after `recordsBytes`.
void PutCellRecords(std::vector<std::uint8_t>& bytes, bool layout32, const std::vector<int>& columns, std::size_t count,
                    platform::RemoteAddress base, std::size_t recordsBytes);

// The rows read back from their slots.
std::vector<std::vector<std::string>> CellsFromSlots(const std::uint8_t* slots, int rows, std::size_t columns);

}  // namespace hw::automation
