// Window discovery, window texts, menus and cross-process list reading,
// against the stand-in server on the simulated desktop.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/records.h"

#include "automation/hold.h"
#include "automation/list_box.h"
#include "automation/remote_lists.h"
#include "native/standin_fixture.h"

namespace hw::testing {
namespace {

using namespace automation;
namespace msg = platform::msg;

class AutomationTest : public StandinFixture {};

TEST_F(AutomationTest, MainWindowDescendantsAndTheTwoTextReads) {
    Install("active\nat 0 join Dorn 10.0.0.5 Dornak\n");
    platform::Pid pid = LaunchAndSave();
    Hwnd main = GetProcessMainWindow(d, pid);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, static_cast<Hwnd>(server().mainForm()));
    d.ShowWindow(main, platform::wnd::kSwHide);
    EXPECT_EQ(GetProcessMainWindow(d, pid), main);  // hidden still counts
    EXPECT_EQ(GetProcessMainWindow(d, d.OwnPid()), nullptr);

    std::vector<Hwnd> all = GetChildWindows(d, main);
    ASSERT_GT(all.size(), 8u);
    // Descendants come each followed by its own: the status fields follow their frame.
    Hwnd field = static_cast<Hwnd>(server().masterStatus());
    auto at = std::find(all.begin(), all.end(), field);
    ASSERT_NE(at, all.end());
    EXPECT_EQ(*(at - 1), d.GetParent(field));
    EXPECT_EQ(GetWindowTitle(d, field), "Connecting to Master Server...\r\n");
    EXPECT_EQ(GetControlText(d, field), "Connected to Master Server");
    EXPECT_EQ(GetControlText(d, static_cast<Hwnd>(server().localStatus())), "ACTIVE - 1 player");
    EXPECT_EQ(GetWindowClass(d, static_cast<Hwnd>(server().playerList())), "ListViewWndClass");
    EXPECT_EQ(GetWindowClass(d, static_cast<Hwnd>(server().messageList())), "ThunderRT6ListBox");

    Hwnd lonely = static_cast<Hwnd>(server().messageList());
    EXPECT_EQ(GetChildWindows(d, lonely), std::vector<Hwnd>{0});
    EXPECT_EQ(GetChildWindows(d, 0), std::vector<Hwnd>{0});

    // A caption with blanks: the title keeps them, the control text does not.
    Hwnd ok = d.CreateWindow(pid, "Button", "  OK  ", main);
    EXPECT_EQ(GetWindowTitle(d, ok), "  OK  ");
    EXPECT_EQ(GetControlText(d, ok), "OK");

    d.KillProcess(pid);
    EXPECT_EQ(GetWindowTitle(d, field), "");
    EXPECT_EQ(GetControlText(d, field), "");
    EXPECT_EQ(GetWindowClass(d, field), "");
    EXPECT_EQ(GetChildWindows(d, main), std::vector<Hwnd>{0});
    EXPECT_TRUE(GetMenuCommands(d, main).empty());
}

TEST_F(AutomationTest, MenuCommandsOfTheFirstSubmenuLevel) {
    Install();
    platform::Pid pid = Launch();
    Hwnd main = GetProcessMainWindow(d, pid);
    EXPECT_EQ(GetMenuCommands(d, main),
              (std::vector<std::string>{"&File|0\\E&xit|9", "&Server|1\\&Manage|31", "&Server|1\\&Statistics|33",
                                        "&Help|2\\&About|41"}));

    // A top item with its own id, a separator and a nested submenu.
    platform::HMenu nested = d.CreateMenu({{"Deep", 77, 0}});
    platform::HMenu sub = d.CreateMenu({{"  Padded  ", 5, 0}, {"", 0, 0}, {"More", 0, nested}});
    Hwnd w = d.CreateWindow(pid, "ThunderRT6FormDC", "Other", 0);
    d.Window(w)->menu = d.CreateMenu({{"Top", 0, sub}});
    EXPECT_EQ(GetMenuCommands(d, w), std::vector<std::string>{"Top|0\\Padded|5"});
    EXPECT_TRUE(GetMenuCommands(d, d.CreateWindow(pid, "X", "no menu", 0)).empty());
}

class ListReading : public StandinFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(ListReading, CellsOfBothLayoutsAndWholeListsAgree) {
    platform::sim::ProgramSpec spec;
    spec.is32Bit = GetParam();
    Install("at 0 join Dorn 10.0.0.5 Dornak\nat 0 players 40\n", spec);
    platform::Pid pid = LaunchAndSave();
    Hwnd lv = static_cast<Hwnd>(server().playerList());
    std::int64_t count = 0;
    ASSERT_TRUE(d.SendMessageTimeout(lv, msg::kLvmGetItemCount, 0, 0, 0, 1000, &count));
    ASSERT_EQ(count, 41);
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 1, 0), "Dorn");
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 2, 0), "10.0.0.5");
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 3, 0), "Dornak");
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 3, 500), "");  // no such row
    {
        // The layout is proven by its effect: a record of the other width,
        // written on purpose, gets no text from this server.
        platform::UniqueHandle h(d, d.OpenProcess(0x0038, false, pid));
        ASSERT_TRUE(h);
        const platform::RemoteAddress text = d.VirtualAllocEx(h.get(), 256, 0x1000, 4);
        const platform::RemoteAddress record = d.VirtualAllocEx(h.get(), 64, 0x1000, 4);
        ASSERT_TRUE(text && record);
        std::uint8_t bytes[64] = {};
        if (GetParam()) {
            platform::records::LvItem64 r{platform::records::kLvifText, 0, 1, 0, 0, 0, text.value(), 255, 0, 0, 0, 0};
            std::memcpy(bytes, &r, sizeof r);
        } else {
            platform::records::LvItem32 r{platform::records::kLvifText, 0, 1, 0, 0, static_cast<std::uint32_t>(text.value()), 255,
                                          0, 0, 0};
            std::memcpy(bytes, &r, sizeof r);
        }
        ASSERT_TRUE(d.WriteProcessMemory(h.get(), record, bytes, sizeof bytes, nullptr));
        ASSERT_TRUE(d.SendMessageTimeout(lv, msg::kLvmGetItemTextA, 0, static_cast<std::int64_t>(record.value()), 0, 1000, nullptr));
        char cell[256] = {};
        ASSERT_TRUE(d.ReadProcessMemory(h.get(), text, cell, sizeof cell, nullptr));
        EXPECT_STREQ(cell, "");
        d.VirtualFreeEx(h.get(), text, 0, 0x8000);
        d.VirtualFreeEx(h.get(), record, 0, 0x8000);
    }

    auto whole = GetListViewCells(d, lv, pid, static_cast<int>(count), {1, 2, 3});
    ASSERT_EQ(whole.size(), 41u);
    for (int row = 0; row < 41; ++row)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(whole[row][c - 1], GetListViewCellText(d, lv, pid, c, row));
    EXPECT_EQ(d.RemoteBlockCount(pid), 0u);
    EXPECT_EQ(d.OpenHandleCount(), 0u);
    {
        // The poll's reader gives the same cells, and its block stays one block.
        ListViewReader reader(d);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.Read(lv, pid, static_cast<int>(count), {1, 2, 3}), whole);
        EXPECT_EQ(d.RemoteBlockCount(pid), 1u);
    }
    EXPECT_EQ(d.RemoteBlockCount(pid), 0u);
    EXPECT_EQ(d.OpenHandleCount(), 0u);

    // Blanks trimmed, empty cells empty, over-long cells cut to 254.
    host().ListViewSet(lv.value(), {{"1", "  Lead", "   ", std::string(400, 'x')}});
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 1, 0), "Lead");
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 2, 0), "");
    EXPECT_EQ(GetListViewCellText(d, lv, pid, 3, 0), std::string(254, 'x'));
    EXPECT_EQ(GetListViewCells(d, lv, pid, 1, {1, 2, 3})[0],
              (std::vector<std::string>{"Lead", "", std::string(254, 'x')}));
}
INSTANTIATE_TEST_SUITE_P(TargetLayouts, ListReading, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Server32" : "Server64"; });

TEST_F(AutomationTest, ListBoxLinesFromAStartIndex) {
    Install();
    LaunchAndSave();
    Hwnd lb = static_cast<Hwnd>(server().messageList());
    host().ListBoxClear(lb.value());
    EXPECT_TRUE(GetListBoxLines(d, lb, 0).empty());
    for (int i = 0; i < 5; ++i) host().ListBoxAdd(lb.value(), {"line " + std::to_string(i)});
    EXPECT_EQ(GetListBoxLines(d, lb, 3), (std::vector<std::string>{"line 3", "line 4"}));
    EXPECT_TRUE(GetListBoxLines(d, lb, 5).empty());
    EXPECT_EQ(GetListBoxLines(d, lb, 0).size(), 5u);
    EXPECT_TRUE(GetListBoxLines(d, 0, 0).empty());
    host().ListBoxAdd(lb.value(), {std::string(70000, 'z')});  // longer than any buffer guess
    EXPECT_EQ(GetListBoxLines(d, lb, 5), std::vector<std::string>{std::string(70000, 'z')});

    // At the floor: the count and one probe a read, then a line's length and
    // its text, whatever the number of lines.
    for (int i = 0; i < 50; ++i) host().ListBoxAdd(lb.value(), {"busy " + std::to_string(i)});
    const std::uint64_t before = d.SendsToOthers();
    EXPECT_EQ(GetListBoxLines(d, lb, 6).size(), 50u);
    EXPECT_EQ(d.SendsToOthers() - before, 2u + 2u * 50u);
}

TEST_F(AutomationTest, ToolbarButtonCentreOpensTheView) {
    EXPECT_EQ(MakeLParam(-1, -1), -1);  // negative coordinates keep their own word
    Install();
    platform::Pid pid = LaunchAndSave();
    Hwnd main = GetProcessMainWindow(d, pid);
    d.PostMessage(main, msg::kCommand, standin::kManageCommand, 0);
    d.AdvanceIdle(10);
    Hwnd tb = static_cast<Hwnd>(server().toolbar());
    ASSERT_NE(tb, nullptr);
    // Button 2 spans 50..73 across and 2..24 down: 61.5 rounds to 62.
    std::int32_t point = GetToolbarButtonPoint(d, tb, pid, 2);
    EXPECT_EQ(point, MakeLParam(62, 13));
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 40), 0);  // no such button
    Click(tb, msg::kMkLButton, point);
    EXPECT_NE(Descendant(main, "Review Transactions"), nullptr);
    EXPECT_EQ(d.RemoteBlockCount(pid), 0u);
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, platform::Pid{99999}, 2), 0);  // no such process
}

// Requests posted to a server that hangs are answered when it comes back:
// until then the reader posts nothing more and its block stays.
TEST_F(AutomationTest, APollReaderWaitsOutAHungServerWithoutFloodingIt) {
    Install("active\nat 0 players 3\n");
    platform::Pid pid = LaunchAndSave();
    Hwnd lv = static_cast<Hwnd>(server().playerList());
    auto reader = std::make_unique<ListViewReader>(d);
    const auto before = reader->Read(lv, pid, 3, {1, 2, 3});
    ASSERT_EQ(before.size(), 3u);
    d.HangProcess(pid, 10000);
    std::uint64_t start = d.NowMs();
    EXPECT_TRUE(reader->Read(lv, pid, 3, {1, 2, 3}).empty());
    EXPECT_LE(d.NowMs() - start, msg::kSendTimeoutMs + 10);
    start = d.NowMs();
    EXPECT_TRUE(reader->Read(lv, pid, 3, {1, 2, 3}).empty());  // still busy: nothing posted, no wait
    EXPECT_LE(d.NowMs() - start, 1u);
    reader.reset();
    EXPECT_EQ(d.RemoteBlockCount(pid), 1u);  // its requests may still come
    d.AdvanceIdle(10000);
    ListViewReader again(d);
    EXPECT_EQ(again.Read(lv, pid, 3, {1, 2, 3}), before);

    // A batch whose end mark is never answered (the list emptied first) is
    // given up once the server answers and enough time has passed.
    d.HangProcess(pid, 3000);
    EXPECT_TRUE(again.Read(lv, pid, 3, {1, 2, 3}).empty());
    host().ListViewSet(lv.value(), {});
    d.AdvanceIdle(3000);
    host().ListViewSet(lv.value(), {{"1", "Ysra", "10.0.0.6", "Ysra"}});
    EXPECT_TRUE(again.Read(lv, pid, 1, {1, 2, 3}).empty());
    d.AdvanceIdle(10000);
    EXPECT_EQ(again.Read(lv, pid, 1, {1, 2, 3}), (std::vector<std::vector<std::string>>{{"Ysra", "10.0.0.6", "Ysra"}}));
    EXPECT_EQ(again.Blocks(), 2u);
}

TEST_F(AutomationTest, AHungServerMakesEveryReadReturnWithinItsTimeOut) {
    Install("active\nat 0 players 3\n");
    platform::Pid pid = LaunchAndSave();
    Hwnd field = static_cast<Hwnd>(server().localStatus());
    Hwnd lv = static_cast<Hwnd>(server().playerList());
    Hwnd lb = static_cast<Hwnd>(server().messageList());
    d.PostMessage(GetProcessMainWindow(d, pid), msg::kCommand, standin::kManageCommand, 0);
    d.AdvanceIdle(10);
    Hwnd tb = static_cast<Hwnd>(server().toolbar());
    d.HangProcess(pid, 3600 * 1000);

    auto within = [&](auto read) {
        const std::uint64_t start = d.NowMs();
        read();
        return d.NowMs() - start;
    };
    EXPECT_LE(within([&] { EXPECT_EQ(GetControlText(d, field), ""); }), msg::kSendTimeoutMs);
    EXPECT_LE(within([&] { EXPECT_EQ(GetListViewCellText(d, lv, pid, 1, 0), ""); }), msg::kSendTimeoutMs);
    EXPECT_LE(within([&] { EXPECT_TRUE(GetListViewCells(d, lv, pid, 3, {1, 2, 3}).empty()); }),
              msg::kSendTimeoutMs);
    EXPECT_LE(within([&] { EXPECT_TRUE(GetListBoxLines(d, lb, 0).empty()); }), msg::kSendTimeoutMs);
    EXPECT_LE(within([&] { EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2), 0); }), msg::kSendTimeoutMs);
    // The title needs no answer from the server.
    EXPECT_EQ(GetWindowTitle(d, field), "Connecting to Master Server...\r\n");
    // The server handles those requests when it picks up: what they point
    // at stays its own.
    EXPECT_EQ(d.RemoteBlockCount(pid), 4u);
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

// A list box read waits no longer than its time-out in all, however its
// program comes and goes between the two sends of a line: one that picked
// up after a short pause and then hung again held the loop 708 ms.
TEST_F(AutomationTest, AListBoxReadWaitsItsTimeOutInAllWhenTheServerHangsBetweenSends) {
    Install("active\n");
    const platform::Pid pid = LaunchAndSave();
    const Hwnd lb = static_cast<Hwnd>(server().messageList());
    host().ListBoxClear(lb.value());
    for (int i = 0; i < 3; ++i) host().ListBoxAdd(lb.value(), {"line " + std::to_string(i)});
    int lengths = 0;
    d.beforeSendToOthers = [&](Hwnd h, std::uint32_t message) {
        if (h != lb) return;
        if (message == msg::kLbGetTextLen && ++lengths == 2) d.HangProcess(pid, 300);
        if (message == msg::kLbGetText && lengths == 2) d.HangProcess(pid, 60000);
    };
    const std::uint64_t start = d.NowMs();
    const std::vector<std::string> lines = ReadListBoxLines(d, lb, 0, 3, msg::kSmtoAbortIfHung, kMostHoldMs);
    d.beforeSendToOthers = nullptr;
    EXPECT_EQ(lines, std::vector<std::string>{"line 0"});
    EXPECT_LE(d.NowMs() - start, kMostHoldMs);
}

// A server that stops answering for longer than a read waits still handles
// the read's requests once it picks up again, and writes its answers where
// they point: that memory must still be its own then.
TEST_F(AutomationTest, MemoryARequestPointsAtStaysTheServersUntilAnswered) {
    Install("active\nat 0 players 3\n");
    platform::Pid pid = LaunchAndSave();
    Hwnd lv = static_cast<Hwnd>(server().playerList());
    d.PostMessage(GetProcessMainWindow(d, pid), msg::kCommand, standin::kManageCommand, 0);
    d.AdvanceIdle(10);
    Hwnd tb = static_cast<Hwnd>(server().toolbar());
    ASSERT_NE(tb, nullptr);

    const auto cells = GetListViewCells(d, lv, pid, 3, {1, 2, 3});
    ASSERT_EQ(cells.size(), 3u);
    const std::int32_t point = GetToolbarButtonPoint(d, tb, pid, 2);
    ASSERT_NE(point, 0);
    ASSERT_EQ(d.RemoteBlockCount(pid), 0u);

    // Without a keeper, the blocks are left to the server.
    d.HangProcess(pid, 2000);
    EXPECT_TRUE(GetListViewCells(d, lv, pid, 3, {1, 2, 3}).empty());
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2), 0);
    d.AdvanceIdle(2000);
    EXPECT_TRUE(d.ReleasedMemoryAccesses().empty());
    EXPECT_EQ(d.RemoteBlockCount(pid), 3u);

    // With one, they are kept while the server is still busy (and nothing
    // more is sent to it), and released once it answers again.
    UnansweredBlocks reads(d), buttons(d);
    d.HangProcess(pid, 2000);
    EXPECT_TRUE(GetListViewCells(d, lv, pid, 3, {1, 2, 3}, &reads).empty());
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2, &buttons), 0);
    EXPECT_EQ(reads.Count(), 1u);
    EXPECT_EQ(buttons.Count(), 1u);
    EXPECT_EQ(d.RemoteBlockCount(pid), 6u);
    const std::uint64_t sends = d.SendsToOthers();
    EXPECT_TRUE(GetListViewCells(d, lv, pid, 3, {1, 2, 3}, &reads).empty());
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2, &buttons), 0);
    EXPECT_EQ(d.SendsToOthers() - sends, 2u);  // one probe each
    EXPECT_EQ(d.RemoteBlockCount(pid), 6u);
    d.AdvanceIdle(2000);
    EXPECT_EQ(GetListViewCells(d, lv, pid, 3, {1, 2, 3}, &reads), cells);
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2, &buttons), point);
    EXPECT_EQ(reads.Count(), 0u);
    EXPECT_EQ(buttons.Count(), 0u);
    EXPECT_EQ(d.RemoteBlockCount(pid), 3u);

    // A server that ends takes what was kept with it.
    d.HangProcess(pid, 3600 * 1000);
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2, &buttons), 0);
    EXPECT_EQ(buttons.Count(), 1u);
    d.KillProcess(pid);
    EXPECT_EQ(GetToolbarButtonPoint(d, tb, pid, 2, &buttons), 0);
    EXPECT_EQ(buttons.Count(), 0u);
    EXPECT_TRUE(d.ReleasedMemoryAccesses().empty());
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

// Reads that hold Harrowatch's loop share one allowance and rest after it
// is spent. Time spent on Harrowatch's own work is no reason to rest: the
// chat window's 120 ms ticks, each a little slow on a loaded machine, kept
// one another resting for good and read nothing (nor let the poll run).
TEST_F(AutomationTest, OnlyASpentAllowanceRestsTheNextReads) {
    Install("active\n");
    const platform::Pid pid = LaunchAndSave();
    const Hwnd field = static_cast<Hwnd>(server().localStatus());
    std::string read;
    for (int tick = 0; tick < 10; ++tick) {
        LoopHold hold(d, kMostHoldMs);
        EXPECT_EQ(LoopHold::Allowance(d, msg::kSendTimeoutMs), msg::kSendTimeoutMs) << tick;
        read = GetControlText(d, field);
        d.Sleep(100);  // work of Harrowatch's own, no wait on the server
    }
    EXPECT_EQ(LoopHold::RestLeft(d), 0u);
    EXPECT_NE(read, "");

    // A server that answers nothing spends the allowance: the next reads
    // rest as long, and a hold in the rest asks nothing and adds no rest.
    d.HangProcess(pid, 60000);
    {
        LoopHold hold(d, kMostHoldMs);
        while (LoopHold::Allowance(d, msg::kSendTimeoutMs)) GetControlText(d, field);
    }
    EXPECT_EQ(LoopHold::RestLeft(d), kMostHoldMs);
    d.Sleep(100);
    {
        LoopHold hold(d, kMostHoldMs);
        EXPECT_EQ(LoopHold::Allowance(d, msg::kSendTimeoutMs), 0u);
        d.Sleep(250);
    }
    EXPECT_EQ(LoopHold::RestLeft(d), 50u);
}

}  // namespace
}  // namespace hw::testing
