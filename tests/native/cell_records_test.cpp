// The records written into the server for its list view, in both layouts,
// and the texts read back from their slots.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "automation/cell_records.h"
#include "native/case_names.h"

namespace hw::automation {
namespace {

using namespace platform::records;

template <class T>
T Field(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T v{};
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

struct LayoutCase {
    bool layout32;
    std::size_t size, textAt, maxAt;
};
void PrintTo(const LayoutCase& c, std::ostream* out) { *out << (c.layout32 ? "32" : "64") << "-bit records"; }

class CellRecordTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CellRecordTable, AsksForTheColumnsTextIntoItsSlot) {
    const LayoutCase& c = GetParam();
    const platform::RemoteAddress text{0x00A12340};
    const std::vector<std::uint8_t> r = CellRecord(c.layout32, 3, text);
    ASSERT_EQ(r.size(), c.size);
    EXPECT_EQ(RecordSize(c.layout32), c.size);
    EXPECT_EQ(Field<std::uint32_t>(r, 0), kLvifText);
    EXPECT_EQ(Field<std::int32_t>(r, 4), 0);  // iItem: the row goes in wParam
    EXPECT_EQ(Field<std::int32_t>(r, 8), 3);
    if (c.layout32)
        EXPECT_EQ(Field<std::uint32_t>(r, c.textAt), text.value());
    else
        EXPECT_EQ(Field<std::uint64_t>(r, c.textAt), text.value());
    EXPECT_EQ(Field<std::int32_t>(r, c.maxAt), 255);

    // A batch: record i points at slot i after the records, columns in turn.
    const std::size_t recordsBytes = 4 * c.size;
    std::vector<std::uint8_t> batch(recordsBytes, 0);
    PutCellRecords(batch, c.layout32, {1, 2}, 4, platform::RemoteAddress{0x10000}, recordsBytes);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::vector<std::uint8_t> one(batch.begin() + static_cast<std::ptrdiff_t>(i * c.size),
                                            batch.begin() + static_cast<std::ptrdiff_t>((i + 1) * c.size));
        EXPECT_EQ(Field<std::int32_t>(one, 8), i % 2 == 0 ? 1 : 2);
        const std::uint64_t slot = 0x10000 + recordsBytes + i * kSlot;
        EXPECT_EQ(c.layout32 ? Field<std::uint32_t>(one, c.textAt) : Field<std::uint64_t>(one, c.textAt), slot);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CellRecordTable,
                         ::testing::Values(LayoutCase{true, 40, 20, 24}, LayoutCase{false, 56, 24, 32}),
                         [](const auto& info) { return info.param.layout32 ? "Of32Bit" : "Of64Bit"; });

struct SlotCase {
    const char* what;
    std::string bytes;
    std::string text;
};
void PrintTo(const SlotCase& c, std::ostream* out) { *out << c.what; }

class SlotTextTable : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SlotTextTable, BeforeTheFirstZeroTrimmedAndCut) {
    std::uint8_t slot[kSlot];
    std::memset(slot, 0xFF, sizeof slot);  // an unanswered slot has no zero
    std::memcpy(slot, GetParam().bytes.data(), std::min(GetParam().bytes.size(), kSlot));
    EXPECT_EQ(SlotText(slot), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, SlotTextTable,
                         ::testing::Values(SlotCase{"ends at its zero", std::string("Dorn\0", 5), "Dorn"},
                                           SlotCase{"trimmed of spaces", std::string("  Lead \0x", 9), "Lead"},
                                           SlotCase{"empty", std::string("\0", 1), ""},
                                           SlotCase{"spaces only", std::string("   \0", 4), ""},
                                           SlotCase{"cut at 255 characters", std::string(300, 'x'), std::string(255, 'x')}),
                         [](const auto& info) { return testing::CaseName(info.param.what); });

TEST(CellsFromSlots, RowsOfColumnsInOrder) {
    std::vector<std::uint8_t> slots(4 * kSlot, 0);
    for (int i = 0; i < 4; ++i) slots[static_cast<std::size_t>(i) * kSlot] = static_cast<std::uint8_t>('a' + i);
    EXPECT_EQ(CellsFromSlots(slots.data(), 2, 2),
              (std::vector<std::vector<std::string>>{{"a", "b"}, {"c", "d"}}));
}

}  // namespace
}  // namespace hw::automation
