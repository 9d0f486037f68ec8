// The records a list view and a toolbar fill in the memory of the process
// that owns them, in both layouts: a 32-bit server (the real one, read by a
// 64-bit Harrowatch through WOW64) and a 64-bit one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hw::platform::records {

struct LvItem32 {
    std::uint32_t mask;
    std::int32_t iItem;
    std::int32_t iSubItem;
    std::uint32_t state;
    std::uint32_t stateMask;
    std::uint32_t pszText;
    std::int32_t cchTextMax;
    std::int32_t iImage;
    std::uint32_t lParam;
    std::int32_t iIndent;
};
static_assert(sizeof(LvItem32) == 40);
static_assert(offsetof(LvItem32, iSubItem) == 8);
static_assert(offsetof(LvItem32, pszText) == 20);
static_assert(offsetof(LvItem32, cchTextMax) == 24);
static_assert(offsetof(LvItem32, iIndent) == 36);

struct LvItem64 {
    std::uint32_t mask;
    std::int32_t iItem;
    std::int32_t iSubItem;
    std::uint32_t state;
    std::uint32_t stateMask;
    std::uint32_t padding0;
    std::uint64_t pszText;
    std::int32_t cchTextMax;
    std::int32_t iImage;
    std::uint64_t lParam;
    std::int32_t iIndent;
    std::uint32_t padding1;
};
static_assert(sizeof(LvItem64) == 56);
static_assert(offsetof(LvItem64, pszText) == 24);
static_assert(offsetof(LvItem64, cchTextMax) == 32);
static_assert(offsetof(LvItem64, lParam) == 40);
static_assert(offsetof(LvItem64, iIndent) == 48);

struct TbButton32 {
    std::int32_t iBitmap;
    std::int32_t idCommand;
    std::uint8_t fsState;
    std::uint8_t fsStyle;
    std::uint8_t bReserved[2];
    std::uint32_t dwData;
    std::uint32_t iString;
};
static_assert(sizeof(TbButton32) == 20);
static_assert(offsetof(TbButton32, idCommand) == 4);
static_assert(offsetof(TbButton32, fsState) == 8);
static_assert(offsetof(TbButton32, dwData) == 12);
static_assert(offsetof(TbButton32, iString) == 16);

struct TbButton64 {
    std::int32_t iBitmap;
    std::int32_t idCommand;
    std::uint8_t fsState;
    std::uint8_t fsStyle;
    std::uint8_t bReserved[6];
    std::uint64_t dwData;
    std::uint64_t iString;
};
static_assert(sizeof(TbButton64) == 32);
static_assert(offsetof(TbButton64, dwData) == 16);
static_assert(offsetof(TbButton64, iString) == 24);

struct Rect {
    std::int32_t left, top, right, bottom;
};
static_assert(sizeof(Rect) == 16);

inline constexpr std::uint32_t kLvifText = 1;
inline constexpr std::int32_t kCellTextMax = 255;

}  // namespace hw::platform::records
