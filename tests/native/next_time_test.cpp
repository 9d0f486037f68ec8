// The next-time rules: the month-first text, its reading, the next
// occurrence of each frequency and when a row is due.
#include <gtest/gtest.h>

#include <ostream>
#include <random>

#include "native/case_names.h"
#include "schedule/catalogue.h"
#include "schedule/next_time.h"

namespace hw::schedule {
namespace {

TEST(NextTimeText, FormatsAndReadsMonthFirstOnEveryLocale) {
    EXPECT_EQ(FormatNextTime({2026, 12, 6, 3, 0}), "12/06/26 03:00 AM");
    EXPECT_EQ(FormatNextTime({2026, 12, 6, 0, 0}), "12/06/26 12:00 AM");
    EXPECT_EQ(FormatNextTime({2026, 12, 6, 12, 5}), "12/06/26 12:05 PM");
    EXPECT_EQ(FormatNextTime({2027, 1, 1, 23, 59}), "01/01/27 11:59 PM");

    auto parsed = [](const std::string& s) {
        auto t = ParseDateTime(s);
        return t ? FormatNextTime(*t) : std::string("invalid");
    };
    EXPECT_EQ(parsed("12/24/26 3 PM"), "12/24/26 03:00 PM");
    EXPECT_EQ(parsed("12/24/26 3 pm"), "12/24/26 03:00 PM");
    EXPECT_EQ(parsed("12/24/26"), "12/24/26 12:00 AM");
    EXPECT_EQ(parsed("1/5/2027 15:30"), "01/05/27 03:30 PM");
    EXPECT_EQ(parsed("12/06/26 12:00 AM"), "12/06/26 12:00 AM");
    EXPECT_EQ(parsed("02/29/28"), "02/29/28 12:00 AM");
    for (const char* bad : {"31/31/26", "02/29/27", "N/A - Unknown", "", "12/24/26 13 PM", "12/24/26 3 XM",
                            "3 PM", "12/24/26 3 PM 4", "12/24/26 25:00", "12/24/262", "13/01/26"})
        EXPECT_EQ(parsed(bad), "invalid") << bad;

    // Two-digit years are this century: 01/01/30 is 2030, not 1930.
    auto y30 = ParseDateTime("01/01/30 03:00 AM");
    ASSERT_TRUE(y30);
    EXPECT_EQ(y30->year, 2030);
    EXPECT_EQ(ParseDateTime("12/31/99")->year, 2099);

    // What a poll may read while the operator types: a date needs its whole
    // year, so "12/2" is not 2 December and "12/24/2" not the year 2002.
    for (const char* partial : {"12/2", "12/24", "12/24 3 AM", "12/24/", "12/24/2", "12/24/2 3 PM", "12/24/202",
                                "12/24/202 3 PM"})
        EXPECT_FALSE(ParseDateTime(partial)) << partial;
    for (const char* whole : {"12/24/26", "12/24/2026", "12/24/26 3 PM", "12/24/2026 3 PM"})
        EXPECT_TRUE(ParseDateTime(whole)) << whole;
    // The stored text has two-digit years: any other century would come back
    // as this one (2100 as 2000, due at once).
    for (const char* outside : {"1/1/2100", "12/31/2100 11 PM", "12/31/1999", "1/1/1753", "6/15/9999"})
        EXPECT_FALSE(ParseDateTime(outside)) << outside;
    EXPECT_EQ(parsed("1/1/2000"), "01/01/00 12:00 AM");
    EXPECT_EQ(parsed("12/31/2099 11:59 PM"), "12/31/99 11:59 PM");
}

TEST(NextTimeText, RoundTripsAndSurvivesGarbage) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        DateTime t{2000 + int(rng() % 100), 1 + int(rng() % 12), 1, int(rng() % 24), int(rng() % 60)};
        t.day = 1 + int(rng() % 28);
        const std::string s = FormatNextTime(t);
        auto back = ParseDateTime(s);
        ASSERT_TRUE(back) << s;
        EXPECT_EQ(*back, t) << s;
    }
    const std::string alphabet = "0123456789/: -aApPmMx\t|,";
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        for (int n = rng() % 24; n > 0; --n) s += alphabet[rng() % alphabet.size()];
        auto t = ParseDateTime(s);
        if (t) {
            EXPECT_GE(t->month, 1);
            EXPECT_LE(t->month, 12);
            EXPECT_LE(t->hour, 23);
        }
    }
}

struct NextCase {
    int frequency;
    DateTime from;
    const char* next;
};
// "Daily from 12/31/26 11:59 PM".
std::string From(const NextCase& c) { return std::string(kFrequencies[c.frequency].name) + " from " + FormatNextTime(c.from); }
void PrintTo(const NextCase& c, std::ostream* out) { *out << From(c) << " -> " << c.next; }

class NextOccurrenceTable : public ::testing::TestWithParam<NextCase> {};

TEST_P(NextOccurrenceTable, MovesOnByItsFrequency) {
    const NextCase& c = GetParam();
    EXPECT_EQ(FormatNextTime(NextOccurrence(c.frequency, c.from)), c.next);
}

// Days past a month's end carry into the next month, and December into January.
INSTANTIATE_TEST_SUITE_P(Cases, NextOccurrenceTable,
                         ::testing::Values(NextCase{kDaily, {2026, 12, 31, 23, 59}, "01/01/27 11:59 PM"},
                                           NextCase{kDaily, {2028, 2, 28, 6, 0}, "02/29/28 06:00 AM"},
                                           NextCase{kWeekly, {2026, 12, 28, 1, 0}, "01/04/27 01:00 AM"},
                                           NextCase{kMonthly, {2027, 1, 31, 3, 0}, "03/03/27 03:00 AM"},
                                           NextCase{kMonthly, {2028, 1, 31, 3, 0}, "03/02/28 03:00 AM"},
                                           NextCase{kMonthly, {2027, 3, 31, 3, 0}, "05/01/27 03:00 AM"},
                                           NextCase{kMonthly, {2026, 12, 15, 10, 30}, "01/15/27 10:30 AM"}),
                         [](const auto& info) { return testing::CaseName(From(info.param)); });

struct DueCase {
    const char* next;
    DateTime now;
    bool due;
};
void PrintTo(const DueCase& c, std::ostream* out) {
    *out << "\"" << c.next << "\" at " << FormatNextTime(c.now) << (c.due ? ": due" : ": not due");
}

class IsDueTable : public ::testing::TestWithParam<DueCase> {};

TEST_P(IsDueTable, DueFromItsMinuteOn) {
    const DueCase& c = GetParam();
    EXPECT_EQ(IsDue(c.next, c.now), c.due) << c.next;
}

constexpr DateTime kNine{2026, 12, 6, 9, 0};
INSTANTIATE_TEST_SUITE_P(Cases, IsDueTable,
                         ::testing::Values(DueCase{"12/06/26 01:00 PM", kNine, false},
                                           DueCase{"12/06/26 09:00 AM", kNine, true},
                                           DueCase{"12/05/26 11:00 PM", kNine, true},
                                           DueCase{"01/05/27 03:00 AM", {2026, 12, 31, 23, 59}, false},
                                           DueCase{"01/01/30 03:00 AM", kNine, false},
                                           DueCase{"N/A - Unknown", kNine, false}, DueCase{"", kNine, false}),
                         [](const auto& info) {
                             const DueCase& c = info.param;
                             return testing::CaseName(std::string(c.due ? "due " : "not due ") + (*c.next ? c.next : "empty"));
                         });

TEST(DefaultNextTime, MidnightAfterTodayWithTheMonthCarry) {
    EXPECT_EQ(FormatNextTime(DefaultNextTime(kDaily, {2026, 12, 6, 15, 42})), "12/07/26 12:00 AM");
    EXPECT_EQ(FormatNextTime(DefaultNextTime(kMonthly, {2027, 1, 31, 8, 0})), "03/03/27 12:00 AM");
}

}  // namespace
}  // namespace hw::schedule
