// The sixteen reset items and the five frequencies.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace hw::schedule {

struct ResetItem {
    int index;
    const char* name;         // the identity: stored, compared exactly, handed to the controller
    const char* caption;      // drawn in the picture
    const char* description;  // the tooltip
    int leftTwips, topTwips;  // in the items canvas
    bool offered;             // enabled in the panel
    bool hasAction;           // the controller carries it out
};

inline constexpr int kResetItemCount = 16;
extern const std::array<ResetItem, kResetItemCount> kResetItems;

// The key the controller selects its action by: the name upper-cased.
std::string ItemKey(const ResetItem& item);
// The item whose key is `name` upper-cased; none when there is none.
const ResetItem* FindResetItem(const std::string& name);

struct Frequency {
    int id;
    const char* name;
};

inline constexpr int kDaily = 0, kWeekly = 1, kMonthly = 2, kEveryRestart = 3, kNextRestart = 4;
extern const std::array<Frequency, 5> kFrequencies;

inline constexpr const char* kNoNextTime = "N/A - Unknown";

// The 16 x 16 icon of an item: rows of 16 palette indices (0 transparent)
// and the palette's colours as 0xRRGGBB.
struct ItemIcon {
    std::array<const char*, 16> rows;
    std::array<std::uint32_t, 4> palette;  // for the characters '1' to '4'
};
const ItemIcon& ResetItemIcon(int index);

// The drag pointer: 32 x 32, monochrome, hot spot 16 from the left, 8 from the top.
struct DragCursor {
    std::array<const char*, 32> rows;  // 'X' black, '.' white, ' ' transparent
    int hotX = 16, hotY = 8;
};
const DragCursor& ResetItemDragCursor();

}  // namespace hw::schedule
