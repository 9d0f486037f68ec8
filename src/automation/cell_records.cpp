#include "automation/cell_records.h"

#include <cstring>

#include "common/text.h"

namespace hw::automation {

using namespace platform::records;

size_t RecordSize(bool layout32) { return layout32 ? sizeof(LvItem32) : sizeof(LvItem64); }

std::vector<std::uint8_t> CellRecord(bool layout32, int subItem, platform::RemoteAddress text) {
    std::vector<std::uint8_t> bytes(RecordSize(layout32), 0);
    if (layout32) {
        LvItem32 r{};
        r.mask = kLvifText;
        r.iSubItem = subItem;
        r.pszText = static_cast<std::uint32_t>(text.value());
        r.cchTextMax = kCellTextMax;
        std::memcpy(bytes.data(), &r, sizeof r);
    } else {
        LvItem64 r{};
        r.mask = kLvifText;
        r.iSubItem = subItem;
        r.pszText = text.value();
        r.cchTextMax = kCellTextMax;
        std::memcpy(bytes.data(), &r, sizeof r);
    }
    return bytes;
}

std::string SlotText(const std::uint8_t* slot) {
    size_t n = 0;
    while (n < static_cast<size_t>(kCellTextMax) && slot[n] != 0) ++n;
    return text::Trim(std::string(reinterpret_cast<const char*>(slot), n));
}

void PutCellRecords(std::vector<std::uint8_t>& bytes, bool layout32, const std::vector<int>& columns, size_t count,
                    platform::RemoteAddress base, size_t recordsBytes) {
    const size_t recordSize = RecordSize(layout32);
    for (size_t i = 0; i < count; ++i) {
        const std::vector<std::uint8_t> rec =
            CellRecord(layout32, columns[i % columns.size()], base + recordsBytes + i * kSlot);
        std::memcpy(bytes.data() + i * recordSize, rec.data(), recordSize);
    }
}

std::vector<std::vector<std::string>> CellsFromSlots(const std::uint8_t* slots, int rows, size_t columns) {
    std::vector<std::vector<std::string>> result(static_cast<size_t>(rows), std::vector<std::string>(columns));
    for (size_t i = 0; i < result.size() * columns; ++i) result[i / columns][i % columns] = SlotText(slots + i * kSlot);
    return result;
}

}  // namespace hw::automation
