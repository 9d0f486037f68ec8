// The schedule: catalogue, grid layout and key filter, and the stored
// schedule with the schedule step.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "common/error.h"
#include "common/text.h"
#include "ui/key_filter.h"
#include "native/boxes.h"
#include "native/registry_faults.h"
#include "platform/sim/sim_desktop.h"
#include "schedule/catalogue.h"
#include "schedule/grid_layout.h"
#include "schedule/next_time.h"
#include "schedule/schedule.h"

namespace hw::schedule {
namespace {

using platform::kHkeyLocalMachine;
using testing::OneBoxSaying;
using testing::Refuse;

TEST(Catalogue, ItemsAndFrequenciesKeepTheirIdentities) {
    // Each item's name, and whether the panel offers it and the controller
    // carries it out: swapping two items' flags fails here.
    struct Expected {
        const char* name;
        bool offered, hasAction;
    };
    const Expected expected[kResetItemCount] = {
        {"Thandrel's Quests", true, true}, {"Guild Master Log", true, true},   {"Visited Userlist", false, false},
        {"Banned Userlist", false, false}, {"Transaction List", true, true},   {"Store Inventory", true, true},
        {"Server Monsters", false, true},  {"Message Boards", false, false},   {"Player Bounties", false, false},
        {"Library Info", false, false},    {"Hall of Records", false, true},   {"Guild Spells", false, false},
        {"Version Data", false, false},    {"Confinement", true, true},        {"GUILD CREST", false, true},
        {"Public Messages", true, true}};
    for (int i = 0; i < kResetItemCount; ++i) {
        const ResetItem& item = kResetItems[i];
        EXPECT_EQ(item.index, i);
        EXPECT_STREQ(item.name, expected[i].name);
        EXPECT_EQ(item.offered, expected[i].offered) << item.name;
        EXPECT_EQ(item.hasAction, expected[i].hasAction) << item.name;
        EXPECT_EQ(std::strpbrk(item.name, ",|"), nullptr) << item.name;
        const ItemIcon& icon = ResetItemIcon(i);
        for (const char* row : icon.rows) {
            ASSERT_EQ(std::strlen(row), 16u) << item.name << ": '" << row << "'";
            for (const char* c = row; *c; ++c) EXPECT_TRUE(*c == ' ' || (*c >= '1' && *c <= '4'));
        }
    }
    EXPECT_STREQ(kResetItems[14].caption, "Guild Crests");
    EXPECT_EQ(ItemKey(kResetItems[0]), "THANDREL'S QUESTS");
    for (const char* row : ResetItemDragCursor().rows) EXPECT_EQ(std::strlen(row), 32u);

    const char* names[] = {"Daily", "Weekly", "Monthly", "Every Restart", "Next Restart"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kFrequencies[i].id, i);
        EXPECT_STREQ(kFrequencies[i].name, names[i]);
    }
}

TEST(GridLayout, ScheduleSpecGivesSixColumnsThreeHidden) {
    ui::GridModel grid;
    ui::RecordingMessageBoxes boxes;
    int yields = 0;
    InitializeResultGrid(grid, kScheduleGridSpec, boxes, [&] { ++yields; });
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(yields, 12);  // after every entry and every column width
    EXPECT_EQ(grid.FormatString(),
              "< |< |<Scheduled Item to Reset          |< |<Frequency                 |"
              "<Next Occurance            ");
    ASSERT_EQ(grid.Cols(), 6);
    EXPECT_EQ(grid.Rows(), 1);
    for (int c : {0, 1, 3}) EXPECT_EQ(grid.ColWidth(c), 0);
    EXPECT_EQ(grid.TextMatrix(0, 2), "Scheduled Item to Reset");
    EXPECT_EQ(grid.TextMatrix(0, 4), "Frequency");
    EXPECT_EQ(grid.TextMatrix(0, 5), "Next Occurance");
    EXPECT_GT(grid.ColWidth(4), grid.measureText("Frequency"));
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.ColSel(), 5);
}

TEST(GridLayout, AlignmentWidthAndMalformedEntries) {
    EXPECT_EQ(GridFormatString("X|Amount|R|8", {}), ">Amount        ");
    EXPECT_EQ(GridFormatString("X|Amount|r|8", {}), "<Amount        ");
    EXPECT_EQ(GridFormatString("X|Amount| C |2", {}), "^Amount  ");
    EXPECT_EQ(GridFormatString("X||C|40", {}), "^ ");
    EXPECT_EQ(GridFormatString("X|A|L|10 px", {}), GridFormatString("X|A|L|10", {}));
    EXPECT_EQ(GridFormatString("X|A|L|abc", {}), "<A");
    EXPECT_EQ(GridFormatString("X|A|L|2.5", {}), "<A  ");  // halves to even

    ui::GridModel grid;
    ui::RecordingMessageBoxes boxes;
    InitializeResultGrid(grid, "A|One|L|1;B|Two|L", boxes, {});
    ASSERT_TRUE(OneBoxSaying(boxes, {" - InitializeResultGrid"}));
    InitializeResultGrid(grid, "A|One|L|-3", boxes, {});
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST(KeyFilter, FlagsAdmitTheirCharacters) {
    auto passes = [](int key, const std::string& flags) {
        std::int16_t k = static_cast<std::int16_t>(key);
        ui::FilterKeyPress(k, flags);
        return k == key;
    };
    const std::string time = "SLASH_OK, SPACE_OK, TIME_OK";
    for (char c : std::string("1/ PmaAMp09")) EXPECT_TRUE(passes(c, time)) << c;
    for (char c : std::string(":x.-$,%b")) EXPECT_FALSE(passes(c, time)) << c;
    EXPECT_TRUE(passes(8, time));
    EXPECT_TRUE(passes(13, time));
    for (char c : std::string("0123456789")) EXPECT_TRUE(passes(c, ""));
    for (char c : std::string(".- a/")) EXPECT_FALSE(passes(c, ""));
    EXPECT_TRUE(passes('a', "time_ok"));
    EXPECT_TRUE(passes('.', "x PERIOD_OK y"));
    EXPECT_FALSE(passes(-5, time));
    EXPECT_FALSE(passes(0x1234, time));
    EXPECT_TRUE(ui::HasValidationFlag("  comma_ok ", "COMMA_OK "));
    EXPECT_FALSE(ui::HasValidationFlag("COMMA", "COMMA_OK"));
}

// --- The stored schedule -------------------------------------------------------

class RecordingRunner : public ScheduledItemRunner {
public:
    bool ProcessScheduledItem(const std::string& name) override {
        calls.push_back(name);
        return answer ? answer(name) : true;
    }
    std::vector<std::string> calls;
    std::function<bool(const std::string&)> answer;
};

class ScheduleTest : public ::testing::Test {
protected:
    ScheduleTest() : schedule(grid, d, boxes, [this](bool on) { timer.push_back(on); }) {
        InitializeResultGrid(grid, kScheduleGridSpec, boxes, {});
    }
    void Store(const std::string& frequency, const std::string& data) {
        d.PokeString(kHkeyLocalMachine, kScheduleKey, frequency, data);
    }
    std::string Stored(const std::string& frequency) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (!d.PeekValue(kHkeyLocalMachine, kScheduleKey, frequency, type, data)) return "<absent>";
        EXPECT_EQ(type, platform::reg::kSz);
        return std::string(data.begin(), data.end() - (data.empty() ? 0 : 1));
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int r = 1; r < grid.Rows(); ++r)
            rows.push_back(grid.TextMatrix(r, kColId) + " " + grid.TextMatrix(r, kColName) + " " +
                           grid.TextMatrix(r, kColFreqId) + " " + grid.TextMatrix(r, kColFreq) + " " +
                           grid.TextMatrix(r, kColNextTime));
        return rows;
    }
    // The rows a fresh start of Harrowatch loads from what is stored.
    int RowsAtNextStart() {
        Schedule reloaded(grid, d, boxes, {});
        InitializeResultGrid(grid, kScheduleGridSpec, boxes, {});
        reloaded.FormOpen();
        return reloaded.DataRows();
    }
    void At(int year, int month, int day, int hour, int minute) {
        d.SetStartTime({year, month, day, hour, minute, 0, 0});
    }

    // The next time shown for the row of `name`, or "<gone>".
    std::string TimeOf(const std::string& name) {
        for (int r = 1; r < grid.Rows(); ++r)
            if (grid.TextMatrix(r, kColName) == name) return grid.TextMatrix(r, kColNextTime);
        return "<gone>";
    }

    platform::sim::SimDesktop d;
    ui::GridModel grid;
    ui::RecordingMessageBoxes boxes;
    std::vector<bool> timer;
    Schedule schedule;
    RecordingRunner runner;
};

TEST_F(ScheduleTest, LoadsEachFrequencyAndDropsWhatMatchesNoItem) {
    // Stored against frequency order: the rows still come out by frequency.
    Store("Every Restart", "Version Data|N/A - Unknown");
    Store("Next Restart", "Hall of Records|N/A - Unknown");
    Store("Monthly", "guild crest|12/06/26 03:00 AM,GUILD CREST|12/20/26 05:00 PM,Nothing|x");
    Store("Weekly", "Store Inventory|12/08/26 04:30 AM,Confinement");
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    timer.clear();
    schedule.FormOpen();
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "1 Public Messages 0 Daily 12/06/26 03:00 AM",
                          "2 Store Inventory 1 Weekly 12/08/26 04:30 AM",
                          "3 Confinement 1 Weekly Confinement",
                          "4 GUILD CREST 2 Monthly 12/20/26 05:00 PM",
                          "5 Version Data 3 Every Restart N/A - Unknown",
                      }));
    EXPECT_EQ(grid.Picture(1, kColPicture).picture, 15);
    EXPECT_EQ(grid.RowHeight(1), schedule.RowHeight());
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Col(), kColPicture);
    EXPECT_TRUE(grid.Enabled());
    EXPECT_EQ(timer, (std::vector<bool>{false, true}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ScheduleTest, SavesRowsByFrequencyInTextOrder) {
    schedule.AddRow(15, kDaily, "12/06/26 11:00 AM");
    schedule.AddRow(5, kDaily, "12/06/26 03:00 AM");
    schedule.AddRow(15, kDaily, "12/06/26 03:00 AM");
    schedule.AddRow(10, kNextRestart, kNoNextTime);
    Store("Weekly", "Confinement|12/08/26 04:30 AM");
    Store("Stray", "left by hand");
    // Value names ignore case: "Daily" is written over "daily" in place, and
    // the clean-up must not delete it.
    Store("daily", "Thandrel's Quests|12/06/26 03:00 AM");
    schedule.FormSave();
    EXPECT_EQ(Stored("Daily"), "Store Inventory|12/06/26 03:00 AM,Public Messages|12/06/26 03:00 AM,"
                               "Public Messages|12/06/26 11:00 AM");
    EXPECT_EQ(Stored("Next Restart"), "Hall of Records|N/A - Unknown");
    EXPECT_EQ(Stored("Weekly"), "<absent>");
    EXPECT_EQ(Stored("Stray"), "<absent>");

    EXPECT_EQ(RowsAtNextStart(), 3);  // Next Restart rows are gone after the next start

    // An empty grid takes the key away.
    InitializeResultGrid(grid, kScheduleGridSpec, boxes, {});
    schedule.FormSave();
    EXPECT_FALSE(d.PeekKey(kHkeyLocalMachine, kScheduleKey));
    schedule.FormOpen();
    EXPECT_EQ(schedule.DataRows(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ScheduleTest, ASaveCutShortLosesNothingStored) {
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/08/26 04:30 AM");
    schedule.FormOpen();
    schedule.AddRow(13, kDaily, "12/07/26 01:00 AM");
    d.registryFault = Refuse("setvalue", platform::err::kAccessDenied, "Weekly");
    timer.clear();
    schedule.FormSave();
    ASSERT_TRUE(OneBoxSaying(boxes, {"Error Source: Harrowatch.cRegistry - FormSave"}));
    EXPECT_EQ(timer.back(), true);
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/06/26 03:00 AM,Confinement|12/07/26 01:00 AM");
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|12/08/26 04:30 AM");

    // Every row removed, and the key cannot be opened to clear what is
    // stored: told, not taken for a key with nothing in it.
    grid.SetRows(1);
    boxes.shown.clear();
    d.registryFault = Refuse("openread", platform::err::kAccessDenied);
    schedule.FormSave();
    ASSERT_TRUE(OneBoxSaying(boxes, {"error 5"}));
}

TEST_F(ScheduleTest, ADueRowRunsMovesOnAndUpdatesOnlyItsEntry) {
    At(2026, 12, 6, 3, 1);
    Store("Daily", "Public Messages|12/06/26 03:00 AM,Public Messages|12/06/26 03:00 AM,"
                   "Store Inventory|12/06/26 11:00 AM");
    Store("Monthly", "Confinement|01/01/30 03:00 AM");
    schedule.FormOpen();
    runner.answer = [&](const std::string&) { return runner.calls.size() != 2; };
    schedule.RunDueItems(runner);
    // Both due rows were offered; the second failed and stays due.
    EXPECT_EQ(runner.calls, (std::vector<std::string>{"Public Messages", "Public Messages"}));
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/07/26 03:01 AM,Public Messages|12/06/26 03:00 AM,"
                               "Store Inventory|12/06/26 11:00 AM");
    std::vector<std::string> times;
    for (int r = 1; r < grid.Rows(); ++r) times.push_back(grid.TextMatrix(r, kColNextTime));
    EXPECT_EQ(times, (std::vector<std::string>{"01/01/30 03:00 AM", "12/06/26 03:00 AM",
                                               "12/06/26 11:00 AM", "12/07/26 03:01 AM"}));
    // The failed row waits out a pause before it is tried again.
    runner.calls.clear();
    runner.answer = {};
    schedule.RunDueItems(runner);
    EXPECT_TRUE(runner.calls.empty());
    d.AdvanceIdle(Schedule::kFirstRetryMs);
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls, (std::vector<std::string>{"Public Messages"}));
    EXPECT_EQ(Stored("Monthly"), "Confinement|01/01/30 03:00 AM");
}

TEST_F(ScheduleTest, AResetThatKeepsFailingIsTriedLessAndLessOftenUntilItRuns) {
    At(2026, 12, 6, 3, 0);
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    schedule.FormOpen();
    bool works = false;
    runner.answer = [&](const std::string&) { return works; };
    std::vector<std::uint64_t> tries;
    auto poll = [&](std::uint64_t forMs) {
        for (std::uint64_t t = 0; t < forMs; t += 5000) {
            const size_t before = runner.calls.size();
            schedule.RunDueItems(runner);
            if (runner.calls.size() > before) tries.push_back(d.NowMs());
            d.AdvanceIdle(5000);
        }
    };
    poll(3 * 3600 * 1000);
    // Pauses of 1, 2, 4, 8, 16 minutes, then half an hour each.
    ASSERT_GE(tries.size(), 7u);
    for (size_t i = 1; i < tries.size(); ++i) {
        const std::uint64_t pause = std::min<std::uint64_t>(Schedule::kFirstRetryMs << (i - 1), Schedule::kLongestRetryMs);
        EXPECT_GE(tries[i] - tries[i - 1], pause);
        EXPECT_LT(tries[i] - tries[i - 1], pause + 5000);
    }
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/06/26 03:00 AM");  // still due, never lost
    // Once it works it runs at its next try and moves on.
    works = true;
    poll(Schedule::kLongestRetryMs);
    EXPECT_NE(Stored("Daily"), "Public Messages|12/06/26 03:00 AM");
}

// The reset yields to the message loop: the operator may remove a row above
// the one that runs, or apply (which re-sorts), before it is moved on.
TEST_F(ScheduleTest, ARowEditedDuringItsResetIsFoundAgainOrLeftAlone) {
    At(2026, 12, 6, 9, 0);
    // Loaded in catalogue order: Thandrel's Quests, Store Inventory, Public Messages.
    Store("Daily", "Thandrel's Quests|12/06/26 10:00 PM,Store Inventory|12/06/26 08:30 AM,"
                   "Public Messages|12/06/26 08:00 AM");
    schedule.FormOpen();
    ASSERT_EQ(grid.TextMatrix(2, kColNextTime), "12/06/26 08:30 AM");
    runner.answer = [&](const std::string& name) {
        if (name == "Store Inventory") grid.RemoveItem(1);  // the row above goes meanwhile
        return true;
    };
    schedule.RunDueItems(runner);
    ASSERT_FALSE(runner.calls.empty());
    EXPECT_EQ(runner.calls.front(), "Store Inventory");
    EXPECT_EQ(TimeOf("Store Inventory"), "12/07/26 09:00 AM");
    EXPECT_NE(Stored("Daily").find("Store Inventory|12/07/26 09:00 AM"), std::string::npos) << Stored("Daily");

    // A re-sort meanwhile: the row that ran is moved on, wherever it went,
    // and the row the operator edited keeps the operator's time.
    At(2026, 12, 7, 9, 30);
    runner.calls.clear();
    runner.answer = [&](const std::string& name) {
        if (name == "Public Messages") {
            for (int r = 1; r < grid.Rows(); ++r)
                if (grid.TextMatrix(r, kColName) == "Store Inventory") grid.SetTextMatrix(r, kColNextTime, "12/08/26 07:00 AM");
            grid.SortTextAscendingNoCase(kColNextTime);
        }
        return true;
    };
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls.front(), "Public Messages");
    EXPECT_EQ(TimeOf("Public Messages"), "12/08/26 09:30 AM");
    EXPECT_EQ(TimeOf("Store Inventory"), "12/08/26 07:00 AM");

    // A row removed while it runs stores nothing, and moves no other row on.
    At(2026, 12, 8, 10, 0);
    const std::string before = Stored("Daily");
    runner.calls.clear();
    runner.answer = [&](const std::string& name) {
        for (int r = 1; r < grid.Rows(); ++r)
            if (grid.TextMatrix(r, kColName) == name) {
                grid.RemoveItem(r);
                break;
            }
        return true;
    };
    schedule.RunDueItems(runner);
    EXPECT_EQ(Stored("Daily"), before);
}

TEST_F(ScheduleTest, ANameTheListingCannotReadNeitherStopsTheCleanUpNorComesBack) {
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/08/26 04:30 AM");
    Store("Stray", "left by an older version");
    schedule.FormOpen();
    grid.RemoveItem(1);  // the operator removes the daily row
    d.registryFault = Refuse("enumvalue", 1011L /* ERROR_CANTREAD */, "Daily");
    schedule.FormSave();
    d.registryFault = nullptr;
    EXPECT_EQ(Stored("Daily"), "<absent>");
    EXPECT_EQ(Stored("Stray"), "<absent>");  // listed after the unreadable one
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|12/08/26 04:30 AM");
    EXPECT_EQ(RowsAtNextStart(), 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ScheduleTest, ARestartRowWithAHandEditedDateRunsOnce) {
    At(2026, 12, 6, 9, 0);
    Store("Every Restart", "Confinement|12/01/26 01:00 AM");
    schedule.FormOpen();
    schedule.RunDueItems(runner);
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(Stored("Every Restart"), "Confinement|N/A - Unknown");
}

// A stored entry that the row's entry only begins (a date alone, written
// by hand) is another row's: the run changes its own entry and no other.
TEST_F(ScheduleTest, ARunReplacesOnlyTheStoredEntryEqualToItsOwn) {
    At(2026, 12, 24, 9, 0);
    Store("Daily", "Public Messages|12/24/26 03:00 PM,Store Inventory|12/30/26 01:00 AM,Public Messages|12/24/26");
    schedule.FormOpen();
    ASSERT_EQ(schedule.DataRows(), 3);
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls, std::vector<std::string>{"Public Messages"});
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/24/26 03:00 PM,Store Inventory|12/30/26 01:00 AM,"
                               "Public Messages|12/25/26 09:00 AM");
    Store("Daily", "Public Messages|12/24/26 03:00 PM,Store Inventory|12/30/26 01:00 AM");
    At(2026, 12, 24, 15, 0);
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls.size(), 2u);
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/25/26 03:00 PM,Store Inventory|12/30/26 01:00 AM");
    // An entry that only begins with the row's is not the row's: the value
    // stays as it was.
    At(2026, 12, 25, 9, 0);
    Store("Daily", "Public Messages|12/25/26 09:00 AMX,Store Inventory|12/30/26 01:00 AM");
    schedule.RunDueItems(runner);
    EXPECT_EQ(runner.calls.size(), 3u);
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/25/26 09:00 AMX,Store Inventory|12/30/26 01:00 AM");
    EXPECT_TRUE(boxes.shown.empty());
}

// A reset that ran is not run again because its new time could not be
// stored: the row moves on, the failure is told, the other due rows still
// run, and the stored entry follows once the registry takes it. (New Year's
// Eve, so that the row that moves on sorts first and the other is still
// ahead of the step.)
TEST_F(ScheduleTest, AResetThatRanMovesOnWhenItsNewTimeCannotBeStored) {
    At(2026, 12, 31, 3, 1);
    Store("Daily", "Public Messages|12/31/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/31/26 02:00 AM");
    schedule.FormOpen();
    d.registryFault = Refuse("setvalue", platform::err::kAccessDenied, "Daily");
    EXPECT_THROW(schedule.RunDueItems(runner), HwError);
    EXPECT_EQ(runner.calls, (std::vector<std::string>{"Public Messages", "Store Inventory"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 Public Messages 0 Daily 01/01/27 03:01 AM",
                                                "2 Store Inventory 1 Weekly 01/07/27 03:01 AM"}));
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|01/07/27 03:01 AM");
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/31/26 03:00 AM");
    // The next polls run nothing again and tell nothing new, whatever the
    // registry says.
    d.AdvanceIdle(5000);
    EXPECT_NO_THROW(schedule.RunDueItems(runner));
    d.AdvanceIdle(Schedule::kLongestRetryMs);
    EXPECT_NO_THROW(schedule.RunDueItems(runner));
    EXPECT_EQ(runner.calls.size(), 2u);
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/31/26 03:00 AM");
    // The day after, still refused: it runs once, as it should.
    At(2027, 1, 1, 3, 5);
    EXPECT_THROW(schedule.RunDueItems(runner), HwError);
    EXPECT_EQ(runner.calls.size(), 3u);
    EXPECT_EQ(grid.TextMatrix(1, kColNextTime), "01/02/27 03:05 AM");
    // Once the registry takes it, the stored entry follows the row.
    d.registryFault = nullptr;
    schedule.RunDueItems(runner);
    EXPECT_EQ(Stored("Daily"), "Public Messages|01/02/27 03:05 AM");
    EXPECT_EQ(RowsAtNextStart(), 2);
    EXPECT_EQ(runner.calls.size(), 3u);
    EXPECT_TRUE(boxes.shown.empty());
}

// A stored value that cannot be read is not one without the row's entry:
// the run's new time is stored once the value can be read again, and a load
// that cannot read the schedule says so, shows none of it and changes
// nothing stored.
TEST_F(ScheduleTest, AValueThatCannotBeReadIsNeverTakenForAnEmptyOne) {
    At(2026, 12, 6, 3, 1);
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/10/26 04:30 AM");
    schedule.FormOpen();
    d.registryFault = Refuse("query", 1011L /* ERROR_CANTREAD */, "Daily");
    try {
        schedule.RunDueItems(runner);
        ADD_FAILURE() << "a failed read was taken for a value without the entry";
    } catch (const HwError& e) {
        EXPECT_NE(e.description().find("Key: 'Daily'"), std::string::npos) << e.description();
    }
    EXPECT_EQ(runner.calls, std::vector<std::string>{"Public Messages"});
    EXPECT_EQ(grid.TextMatrix(1, kColNextTime), "12/07/26 03:01 AM");
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/06/26 03:00 AM");
    d.AdvanceIdle(5000);
    EXPECT_NO_THROW(schedule.RunDueItems(runner));  // told once; tried again quietly

    // Started again while the value still cannot be read.
    ui::GridModel other;
    InitializeResultGrid(other, kScheduleGridSpec, boxes, {});
    Schedule reloaded(other, d, boxes, {});
    reloaded.FormOpen();
    EXPECT_EQ(reloaded.DataRows(), 0);
    ASSERT_TRUE(OneBoxSaying(boxes, {" - FormOpen", "Key: 'Daily'"}));
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/06/26 03:00 AM");
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|12/10/26 04:30 AM");

    // The operator adds a row to the empty grid and applies: what is stored
    // is not replaced by a grid that never held it. Still unreadable, the
    // Apply is refused; once readable, the stored rows join the new one.
    boxes.shown.clear();
    reloaded.AddRow(5, kDaily, "12/08/26 05:00 AM");
    reloaded.AddRow(5, kWeekly, "12/10/26 04:30 AM");  // one stored already, typed in again
    reloaded.FormSave();
    ASSERT_TRUE(OneBoxSaying(boxes, {"not replaced"}));
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/06/26 03:00 AM");
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|12/10/26 04:30 AM");

    // Once it can be read, the run's new time is stored and a start finds it.
    d.registryFault = nullptr;
    schedule.RunDueItems(runner);
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/07/26 03:01 AM");
    EXPECT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(RowsAtNextStart(), 2);
    reloaded.FormSave();
    EXPECT_EQ(reloaded.DataRows(), 3);  // the row typed in again is not doubled
    EXPECT_EQ(Stored("Weekly"), "Store Inventory|12/10/26 04:30 AM");
    EXPECT_NE(Stored("Daily").find("Store Inventory|12/08/26 05:00 AM"), std::string::npos) << Stored("Daily");
    EXPECT_NE(Stored("Daily").find("Public Messages|12/07/26 03:01 AM"), std::string::npos) << Stored("Daily");
}

// A schedule that could not be read at the start is read by the first poll
// that can, without waiting for the operator: its due rows run.
TEST_F(ScheduleTest, AScheduleUnreadAtTheStartIsLoadedByALaterPoll) {
    At(2026, 12, 6, 3, 1);
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/10/26 04:30 AM");
    d.registryFault = Refuse("query", 5L, "Weekly");
    schedule.FormOpen();
    ASSERT_EQ(schedule.DataRows(), 0);
    EXPECT_NO_THROW(schedule.RunDueItems(runner));  // still unreadable: told once, at the start
    EXPECT_EQ(schedule.DataRows(), 0);
    d.registryFault = nullptr;
    schedule.RunDueItems(runner);
    EXPECT_EQ(schedule.DataRows(), 2);
    EXPECT_EQ(runner.calls, std::vector<std::string>{"Public Messages"});
    EXPECT_EQ(Stored("Daily"), "Public Messages|12/07/26 03:01 AM");
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(ScheduleTest, AYearOfRefreshesKeepsGridAndStoreInStep) {
    At(2026, 12, 6, 2, 0);
    Store("Daily", "Public Messages|12/06/26 03:00 AM");
    Store("Weekly", "Store Inventory|12/10/26 04:30 AM");
    Store("Monthly", "Confinement|12/31/26 11:00 PM");
    schedule.FormOpen();
    std::mt19937 rng(7);
    int successes = 0, failures = 0;
    runner.answer = [&](const std::string&) {
        bool ok = rng() % 5 != 0;
        (ok ? successes : failures)++;
        return ok;
    };
    const std::map<std::string, int> freqOf = {{"Public Messages", kDaily}, {"Store Inventory", kWeekly},
                                               {"Confinement", kMonthly}};
    const std::map<std::string, std::string> valueOf = {
        {"Public Messages", "Daily"}, {"Store Inventory", "Weekly"}, {"Confinement", "Monthly"}};
    const std::uint64_t kPoll = 5000, kYear = 365ull * 24 * 3600 * 1000;
    for (std::uint64_t t = 0; t < kYear; t += kPoll) {
        d.AdvanceIdle(kPoll);
        const size_t before = runner.calls.size();
        const int okBefore = successes;
        schedule.RunDueItems(runner);
        if (runner.calls.size() == before) continue;
        const DateTime now = FromLocalTime(d.GetLocalTime());
        ASSERT_LE(successes - okBefore, 1);  // the three rows are never due together here
        for (size_t i = before; i < runner.calls.size(); ++i) {
            const std::string& name = runner.calls[i];
            if (successes > okBefore) {
                ASSERT_EQ(TimeOf(name), FormatNextTime(NextOccurrence(freqOf.at(name), now))) << name;
            } else {
                ASSERT_TRUE(IsDue(TimeOf(name), now)) << name;  // unchanged: still due, retried
            }
            ASSERT_EQ(Stored(valueOf.at(name)), name + "|" + TimeOf(name));
        }
    }
    // About 365 daily, 52 weekly and 12 monthly runs, each retried on failure.
    EXPECT_GE(successes, 365 + 52 + 12 - 3);
    EXPECT_LE(successes, 365 + 52 + 12 + 1);
    EXPECT_GT(failures, 40);
}

}  // namespace
}  // namespace hw::schedule
