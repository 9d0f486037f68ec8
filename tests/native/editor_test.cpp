// The schedule editor: adding rows, the floating cell editors, frequencies,
// the next-time field, removing rows, Clear All and Apply.
#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "schedule/editor.h"
#include "schedule/grid_layout.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

using namespace schedule;

class EditorTest : public ::testing::Test {
protected:
    EditorTest()
        : sched(grid, d, boxes, [this](bool on) { timerSwitches.push_back(on); }),
          editor(grid, sched, d, boxes, [this](bool on) { timerSwitches.push_back(on); }) {
        InitializeResultGrid(grid, kScheduleGridSpec, boxes, [] {});
        grid.SetCurrent(0, 1);
        grid.onEnterCell = [this] { editor.ResetItemGrid_EnterCell(); };
        editor.FillFrequencies();
        editor.SetUpPanel();
        editor.gridLeft = 100;
        editor.gridTop = 200;
    }
    int Item(const std::string& name) {
        for (const ResetItem& i : kResetItems)
            if (name == i.name) return i.index;
        return -1;
    }
    std::string Cell(int row, int col) { return grid.TextMatrix(row, col); }
    std::string Stored(const std::string& frequency) {
        return settings::ReadSetting(d, {kScheduleKey, frequency.c_str(), platform::reg::kSz}).ToText();
    }
    bool Type(const std::string& keys) {
        for (char k : keys) {
            std::int16_t key = k;
            editor.txtNextResetTime_KeyPress(key);
            if (key == 0) return false;
            editor.txtNextResetTime.TrackText(editor.txtNextResetTime.Text() + k);
        }
        return true;
    }
    void Choose(int row, int frequency) {
        grid.SetCurrent(row, kColFreq);
        editor.cmbFrequency.SetListIndex(frequency);
    }

    platform::sim::SimDesktop d;  // 6 December 2026, 9:00
    ui::RecordingMessageBoxes boxes;
    ui::GridModel grid;
    std::vector<bool> timerSwitches;
    Schedule sched;
    ScheduleEditor editor;
};

TEST_F(EditorTest, DoubleClickAndDropAddRows) {
    const int messages = Item("Public Messages"), version = Item("Version Data");
    ASSERT_GE(messages, 0);
    ASSERT_GE(version, 0);
    ASSERT_FALSE(editor.imgResetItem[static_cast<size_t>(version)].Enabled());
    editor.imgResetItem_DblClick(messages);
    editor.imgResetItem_DblClick(messages);
    editor.imgResetItem_DblClick(version);  // inert
    ASSERT_EQ(grid.Rows(), 3);
    for (int r : {1, 2}) {
        EXPECT_EQ(Cell(r, kColId), std::to_string(r));
        EXPECT_EQ(Cell(r, kColName), "Public Messages");
        EXPECT_EQ(Cell(r, kColFreqId), "3");
        EXPECT_EQ(Cell(r, kColFreq), "Every Restart");
        EXPECT_EQ(Cell(r, kColNextTime), "N/A - Unknown");
        EXPECT_EQ(grid.Picture(r, kColPicture).picture, messages);
        EXPECT_EQ(grid.RowHeight(r), editor.cmbFrequency.placement.height);
    }
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), kColPicture);
    ASSERT_FALSE(timerSwitches.empty());  // off while a row goes in, on after it
    EXPECT_FALSE(timerSwitches.front());
    EXPECT_TRUE(timerSwitches.back());

    // Dragged and released over the grid: one row; over the panel: none.
    editor.pointerOverGrid = [] { return true; };
    editor.imgResetItem_MouseDown(messages, kLeftButton);
    EXPECT_TRUE(editor.imgResetItem[static_cast<size_t>(messages)].border);
    EXPECT_TRUE(editor.dragging);
    editor.imgResetItem_MouseUp(messages, kLeftButton);
    EXPECT_EQ(grid.Rows(), 4);
    editor.pointerOverGrid = [] { return false; };
    editor.imgResetItem_MouseDown(messages, kLeftButton);
    editor.imgResetItem_MouseDown(messages, kRightButton);  // the right button ends it too
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_FALSE(editor.imgResetItem[static_cast<size_t>(messages)].border);
    editor.imgResetItem_MouseDown(version, kLeftButton);
    EXPECT_FALSE(editor.dragging);

    // Several marked images arrive in index order; other controls add nothing.
    const int guild = Item("Guild Master Log"), store = Item("Store Inventory");
    ASSERT_GE(guild, 0);
    ASSERT_GE(store, 0);
    editor.imgResetItem[static_cast<size_t>(store)].border = true;
    editor.imgResetItem[static_cast<size_t>(guild)].border = true;
    editor.ResetItemGrid_DragDrop("lstMonitoredMsgs");
    EXPECT_EQ(grid.Rows(), 4);
    editor.ResetItemGrid_DragDrop("imgResetItem");
    ASSERT_EQ(grid.Rows(), 6);
    EXPECT_EQ(Cell(4, kColName), kResetItems[static_cast<size_t>(std::min(guild, store))].name);
    EXPECT_EQ(Cell(5, kColName), kResetItems[static_cast<size_t>(std::max(guild, store))].name);
    EXPECT_FALSE(editor.imgResetItem[static_cast<size_t>(store)].border);
}

TEST_F(EditorTest, TheCellEditorsFloatOverTheirCells) {
    for (int i = 0; i < 3; ++i) editor.imgResetItem_DblClick(Item("Public Messages"));
    grid.SetCurrent(2, kColFreq);
    const ui::Placement& combo = editor.cmbFrequency.placement;
    EXPECT_TRUE(combo.visible);
    EXPECT_EQ(combo.left, 100 + grid.ColPos(kColFreq));
    EXPECT_EQ(combo.top, 200 + grid.RowPos(2));
    EXPECT_EQ(combo.width, grid.ColWidth(kColFreq));
    EXPECT_EQ(editor.cmbFrequency.Text(), "Every Restart");

    grid.SetCurrent(2, kColNextTime);  // an "Every Restart" row gets no time field
    EXPECT_FALSE(combo.visible);
    EXPECT_FALSE(editor.timePlacement.visible);

    Choose(2, kDaily);
    grid.SetCurrent(2, kColNextTime);
    EXPECT_TRUE(editor.timePlacement.visible);
    EXPECT_EQ(editor.txtNextResetTime.Text(), "12/07/26 12:00 AM");
    EXPECT_EQ(editor.timePlacement.width, grid.ColWidth(kColNextTime) - 10);  // four rows in all
    editor.imgResetItem_DblClick(Item("Public Messages"));
    grid.SetCurrent(2, kColNextTime);
    EXPECT_EQ(editor.timePlacement.width, grid.ColWidth(kColNextTime) - 275);  // five

    // Scrolled out of sight, the field hides; a re-sort hides it for good.
    grid.SetTopRow(3);
    editor.ResetItemGrid_Scroll();
    EXPECT_FALSE(editor.timePlacement.visible);
    grid.SetTopRow(1);
    editor.ResetItemGrid_Scroll();
    EXPECT_TRUE(editor.timePlacement.visible);
    // Scrolled sideways: the editors follow their cells.
    grid.SetScrollX(600);
    editor.ResetItemGrid_Scroll();
    EXPECT_EQ(editor.timePlacement.left, 100 + grid.ColPos(kColNextTime) - 600);
    grid.SetCurrent(2, kColFreq);
    EXPECT_EQ(combo.left, 100 + grid.ColPos(kColFreq) - 600);
    grid.SetScrollX(0);
    grid.SetCurrent(2, kColNextTime);
    sched.TextResort();
    EXPECT_FALSE(editor.timePlacement.visible);
    EXPECT_FALSE(combo.visible);
}

TEST(GridFit, ColumnsGiveUpWidthDownToTheirLeast) {
    ui::GridModel grid;
    grid.measureText = [](const std::string& s) { return static_cast<int>(s.size()) * 100; };
    grid.SetFormatString("<A|<Name          |<Freq     |<Next      ");  // 100, 1400, 900, 1000
    grid.FitColumns(3000, {0, 1000, 600, 900});
    int total = 0;
    for (int c = 0; c < grid.Cols(); ++c) total += grid.ColWidth(c);
    EXPECT_LE(total, 3000);
    EXPECT_GE(grid.ColWidth(1), 1000);
    EXPECT_GE(grid.ColWidth(2), 600);
    EXPECT_GE(grid.ColWidth(3), 900);
    // A column its format string made too narrow widens, the others give way.
    grid.SetFormatString("<A|<Name          |<Freq     |<Next");  // 100, 1400, 900, 400
    grid.FitColumns(3000, {0, 1000, 600, 900});
    EXPECT_EQ(grid.ColWidth(3), 900);
    EXPECT_GE(grid.ColWidth(1), 1000);
    EXPECT_LE(grid.ColWidth(0) + grid.ColWidth(1) + grid.ColWidth(2) + grid.ColWidth(3), 3000);
    // A later format string is fitted too; one that fits is left alone.
    grid.SetFormatString("<A|<B");
    EXPECT_EQ(grid.ColWidth(0), 100);
    grid.SetFormatString("<Name          |<Freq     |<Next      ");
    EXPECT_LE(grid.ColWidth(0) + grid.ColWidth(1) + grid.ColWidth(2), 3000);
}

TEST_F(EditorTest, FrequenciesGiveDefaultNextTimes) {
    editor.imgResetItem_DblClick(Item("Public Messages"));
    Choose(1, kDaily);
    EXPECT_EQ(Cell(1, kColNextTime), "12/07/26 12:00 AM");
    EXPECT_EQ(Cell(1, kColFreqId), "0");
    Choose(1, kWeekly);  // a valid time stays
    EXPECT_EQ(Cell(1, kColNextTime), "12/07/26 12:00 AM");
    EXPECT_EQ(Cell(1, kColFreq), "Weekly");
    Choose(1, kNextRestart);
    EXPECT_EQ(Cell(1, kColNextTime), "N/A - Unknown");
    Choose(1, kWeekly);
    EXPECT_EQ(Cell(1, kColNextTime), "12/13/26 12:00 AM");
    Choose(1, kEveryRestart);
    d.SetStartTime({2027, 1, 31, 10, 0, 0, 0});
    Choose(1, kMonthly);  // 31 January carries into March
    EXPECT_EQ(Cell(1, kColNextTime), "03/03/27 12:00 AM");
}

TEST_F(EditorTest, TheTimeFieldFiltersValidatesAndRefuses) {
    editor.imgResetItem_DblClick(Item("Public Messages"));
    Choose(1, kDaily);
    grid.SetCurrent(1, kColNextTime);
    editor.txtNextResetTime.TrackText("");
    EXPECT_TRUE(Type("12/24/26 3 PM"));
    EXPECT_FALSE(Type(":"));
    EXPECT_FALSE(Type("x"));
    EXPECT_EQ(Cell(1, kColNextTime), "12/07/26 12:00 AM");  // nothing taken before validation
    std::int16_t enter = kEnterKey;
    editor.txtNextResetTime_KeyPress(enter);
    EXPECT_EQ(enter, 0);
    EXPECT_EQ(Cell(1, kColNextTime), "12/24/26 03:00 PM");
    EXPECT_FALSE(editor.timePlacement.visible);

    grid.SetCurrent(1, kColFreq);
    grid.SetCurrent(1, kColNextTime);
    // No date, and years the stored text could not tell from this century's.
    for (const char* bad : {"31/31/26", "1/1/2100", "12/31/1999 3 PM"}) {
        editor.txtNextResetTime.TrackText(bad);
        EXPECT_FALSE(editor.txtNextResetTime_Validate()) << bad;
        EXPECT_TRUE(editor.timePlacement.visible);
        EXPECT_EQ(Cell(1, kColNextTime), "12/24/26 03:00 PM");
    }
    ASSERT_EQ(boxes.shown.size(), 3u);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(box.text, "You must specify a valid date or date/time");
        EXPECT_EQ(box.flags & 0xFFu, ui::mb::kIconInformation);
    }
    editor.txtNextResetTime.TrackText("12/31/2099 11 PM");
    EXPECT_TRUE(editor.txtNextResetTime_Validate());
    EXPECT_EQ(Cell(1, kColNextTime), "12/31/99 11:00 PM");
}

TEST_F(EditorTest, RemovingRenumbersAndClearAllEmptiesTheStoredSchedule) {
    for (const char* name : {"Public Messages", "Guild Master Log", "Store Inventory", "Public Messages"})
        editor.imgResetItem_DblClick(Item(name));
    grid.SetCurrent(2, kColName);
    std::int16_t dot = '.';
    editor.ResetItemGrid_KeyPress(dot);
    editor.ResetItemGrid_KeyUp(kDeleteKeyCode);
    ASSERT_EQ(grid.Rows(), 3);
    EXPECT_EQ(Cell(1, kColId), "1");
    EXPECT_EQ(Cell(2, kColId), "2");
    std::int16_t letter = 'q';
    editor.ResetItemGrid_KeyPress(letter);
    EXPECT_EQ(grid.Rows(), 3);

    Choose(1, kDaily);
    editor.btnApplyReset_Click();
    EXPECT_NE(Stored("Daily"), "");
    editor.btnRemove_Click();
    editor.btnRemove_Click();
    EXPECT_EQ(grid.Rows(), 1);  // the header alone, column 1 current
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.Col(), 1);
    editor.btnRemove_Click();  // nothing left: the header stays
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_NE(Stored("Daily"), "");  // removing saves nothing

    editor.imgResetItem_DblClick(Item("Guild Master Log"));
    editor.btnClear_Click();
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.Col(), 0);
    EXPECT_EQ(Stored("Daily"), "");

    editor.scrollValue = 45;
    editor.VScroll_Change();
    EXPECT_EQ(editor.picItemsTop, -45);
}

// Runs every due item it is given, and keeps their names.
struct RecordingRunner : ScheduledItemRunner {
    bool ProcessScheduledItem(const std::string& name) override {
        ran.push_back(name);
        return true;
    }
    std::vector<std::string> ran;
};

// The poll goes on while the operator types a time. A row whose time field
// is open is never run, and its cell takes only a validated time: "12/2" or
// "12/24/2" on the way to "12/24/26 3 PM" never makes it due.
TEST_F(EditorTest, ARowIsNotRunWhileItsTimeIsTypedAndTakesOnlyAValidatedTime) {
    RecordingRunner runner;
    editor.imgResetItem_DblClick(Item("Public Messages"));
    Choose(1, kDaily);
    grid.SetCurrent(1, kColNextTime);
    ASSERT_TRUE(editor.timePlacement.visible);
    editor.txtNextResetTime.TrackText("");
    for (char k : std::string("12/24/26 3 PM")) {
        ASSERT_TRUE(Type(std::string(1, k)));
        sched.RunDueItems(runner);
        ASSERT_TRUE(runner.ran.empty()) << "ran at \"" << editor.txtNextResetTime.Text() << "\"";
        ASSERT_EQ(Cell(1, kColNextTime), "12/07/26 12:00 AM") << editor.txtNextResetTime.Text();
    }
    // A date without its whole year is refused, and the cell keeps its time.
    for (const char* partial : {"12/2", "12/24/2"}) {
        editor.txtNextResetTime.TrackText(partial);
        EXPECT_FALSE(editor.txtNextResetTime_Validate()) << partial;
        EXPECT_EQ(Cell(1, kColNextTime), "12/07/26 12:00 AM");
        EXPECT_TRUE(editor.timePlacement.visible);
    }
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, kInvalidTimeText);

    // A time already due waits while its field is open, and runs once the
    // field is validated.
    editor.txtNextResetTime.TrackText("12/06/26 8 AM");
    sched.RunDueItems(runner);
    EXPECT_TRUE(runner.ran.empty());
    std::int16_t enter = kEnterKey;
    editor.txtNextResetTime_KeyPress(enter);
    EXPECT_EQ(Cell(1, kColNextTime), "12/06/26 08:00 AM");
    EXPECT_FALSE(editor.timePlacement.visible);
    sched.RunDueItems(runner);
    EXPECT_EQ(runner.ran, std::vector<std::string>{"Public Messages"});
    EXPECT_EQ(Cell(1, kColNextTime), "12/07/26 09:00 AM");

    // A click on the cell whose field was just closed opens it again (the
    // cell is still current), and the row is held while typed once more.
    grid.Click(1, kColNextTime);
    ASSERT_TRUE(editor.timePlacement.visible);
    editor.txtNextResetTime.TrackText("12/06/26 8 AM");
    sched.RunDueItems(runner);
    EXPECT_EQ(runner.ran.size(), 1u);
}

// Another row that runs while a due row's time is typed neither lets that
// row run nor throws the typing away.
TEST_F(EditorTest, ARowBeingTypedStaysHeldWhenAnotherRowRuns) {
    RecordingRunner runner;
    editor.imgResetItem_DblClick(Item("Public Messages"));
    editor.imgResetItem_DblClick(Item("Store Inventory"));
    Choose(1, kDaily);
    Choose(2, kDaily);
    grid.SetTextMatrix(1, kColNextTime, "12/06/26 08:00 AM");
    grid.SetTextMatrix(2, kColNextTime, "12/06/26 08:30 AM");
    grid.SetCurrent(2, kColNextTime);
    ASSERT_TRUE(editor.timePlacement.visible);
    editor.txtNextResetTime.TrackText("");
    ASSERT_TRUE(Type("12/06/26 1"));
    sched.RunDueItems(runner);
    EXPECT_EQ(runner.ran, std::vector<std::string>{"Public Messages"});
    EXPECT_TRUE(editor.timePlacement.visible);
    EXPECT_EQ(editor.txtNextResetTime.Text(), "12/06/26 1");
    EXPECT_EQ(Cell(grid.Row(), kColName), "Store Inventory");
    sched.RunDueItems(runner);
    ASSERT_EQ(runner.ran.size(), 1u) << runner.ran.back() << " ran with its old time";
    ASSERT_TRUE(Type("1 AM"));
    std::int16_t enter = kEnterKey;
    editor.txtNextResetTime_KeyPress(enter);
    EXPECT_FALSE(editor.timePlacement.visible);
    sched.RunDueItems(runner);  // sorts what the run left unsorted
    EXPECT_EQ(runner.ran.size(), 1u);
    EXPECT_EQ(Cell(1, kColName), "Store Inventory");
    EXPECT_EQ(Cell(1, kColNextTime), "12/06/26 11:00 AM");
    EXPECT_EQ(Cell(2, kColNextTime), "12/07/26 09:00 AM");
}

}  // namespace
}  // namespace hw::testing
