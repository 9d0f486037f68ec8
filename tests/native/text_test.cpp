// Shared helpers whose small rules many callers lean on.
#include <gtest/gtest.h>

#include "common/error.h"
#include "ui/report.h"
#include "common/tagged_value.h"
#include "common/text.h"

namespace hw {
namespace {

TEST(Text, PathsAndBlanks) {
    EXPECT_EQ(text::AddTrailingBackslash("   "), "");
    EXPECT_EQ(text::AddTrailingBackslash(""), "");
    EXPECT_EQ(text::AddTrailingBackslash("  C:\\Games\\Kaltor  "), "C:\\Games\\Kaltor\\");
    EXPECT_EQ(text::AddTrailingBackslash(" C:\\Games\\ "), "C:\\Games\\");

    EXPECT_TRUE(text::IsBlankValue(TaggedValue()));
    EXPECT_TRUE(text::IsBlankValue(TaggedValue("")));
    EXPECT_TRUE(text::IsBlankValue(TaggedValue("    ")));
    EXPECT_FALSE(text::IsBlankValue(TaggedValue("0")));
    EXPECT_FALSE(text::IsBlankValue(TaggedValue(std::int32_t{0})));
}

TEST(Text, SplitAtDelimiterAndNulls) {
    const std::string line = std::string("12:01") + "--  --" + "Dorn";
    EXPECT_EQ(text::SplitAtDelimiter(line, "--  --", true), "Dorn");
    EXPECT_EQ(text::SplitAtDelimiter(line, "--  --", false), "12:01");
    EXPECT_EQ(text::SplitAtDelimiter("a--  --b--  --c", "--  --", true), "b--  --c");
    EXPECT_EQ(text::SplitAtDelimiter("plain", "--  --", true), "plain");
    EXPECT_EQ(text::SplitAtDelimiter("plain", "--  --", false), "plain");
    EXPECT_EQ(text::ReplaceNulls(std::string("a\0b\0", 4)), "a b ");
}

TEST(Text, LeadingNumbersAndRounding) {
    EXPECT_EQ(text::LeadingNumber("  0050"), 50);
    EXPECT_EQ(text::LeadingNumber("10 px"), 10);
    EXPECT_EQ(text::LeadingNumber("-2.5x"), -2.5);
    EXPECT_EQ(text::LeadingNumber("abc"), 0);
    EXPECT_EQ(text::LeadingNumber(""), 0);
    EXPECT_EQ(text::RoundHalfEven(21.5), 22);
    EXPECT_EQ(text::RoundHalfEven(22.5), 22);
    EXPECT_EQ(text::RoundHalfEven(-0.5), 0);
    EXPECT_EQ(text::RoundHalfEven(12.6), 13);
}

TEST(TaggedValueTest, EmptyEqualsEmptyTextButAStoredZeroDoesNot) {
    EXPECT_EQ(TaggedValue(), TaggedValue(""));
    EXPECT_FALSE(TaggedValue(std::int32_t{0}) == TaggedValue(""));
    EXPECT_EQ(TaggedValue(std::int16_t{1}), TaggedValue(std::int32_t{1}));
    EXPECT_EQ(TaggedValue(std::int32_t{5000}), TaggedValue("5000"));
    EXPECT_EQ(TaggedValue(std::int32_t{5000}).ToText(), "5000");
    EXPECT_EQ(TaggedValue(1.5).ToText(), "1.5");
    EXPECT_EQ(TaggedValue().ToNumber(), 0);
    EXPECT_EQ(TaggedValue(" 42abc").ToNumber(), 42);
}

TEST(ErrorReport, ThreeLinesWithTheInUseHintForSeventy) {
    ui::RecordingMessageBoxes boxes;
    ReportError(boxes, 70, "Permission denied", "Harrowatch.clsHarrowatch - ProcessScheduledItems");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "Error Number: 70\r\nError Description: Permission denied - The file being copied may "
              "be in use.\r\nError Source: Harrowatch.clsHarrowatch - ProcessScheduledItems");
    EXPECT_EQ(boxes.shown[0].title, "Harrowatch");
    // It does not wait for the operator, and comes up in front of everything.
    EXPECT_EQ(boxes.modal, 0);
    EXPECT_EQ(boxes.shown[0].flags, ui::mb::kIconCritical | ui::mb::kTopmost | ui::mb::kSetForeground);

    try {
        throw HwError(26001, "Harrowatch.cRegistry", "Failed");
    } catch (...) {
        ReportCaught(boxes, "FormSave");
    }
    EXPECT_EQ(boxes.shown[1].text,
              "Error Number: 26001\r\nError Description: Failed\r\nError Source: "
              "Harrowatch.cRegistry - FormSave");
}

}  // namespace
}  // namespace hw
