// The main window watching the stand-in server: status events, the refresh
// cycle's steps, the overlap guard and the error-once rule.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "automation/remote_lists.h"
#include "native/main_window_fixture.h"
#include "schedule/catalogue.h"

namespace hw::testing {
namespace {

TEST_F(MainWindowTest, MirrorsStatusPlayersAndMessagesAndFollowsThem) {
    Start("active\nat 0 join Dorn 10.0.0.5 Dornak\nat 2000 join Ysra 10.0.0.6 Ysra\nat 2500 message Welcome\n");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_EQ(form.txtStatusMasterServer.Text(), "Connected to Master Server");
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "ACTIVE - 1 player");
    EXPECT_FALSE(form.mnuSystemTray.Find("sysStartServer")->enabled);
    EXPECT_TRUE(form.mnuSystemTray.Find("sysStopServer")->enabled);
    EXPECT_EQ(form.StatusBar.Panel(2), "1 PLAYER ONLINE");
    ASSERT_EQ(form.PlayerListView.Items().size(), 1u);
    EXPECT_EQ(form.PlayerListView.Items()[0], (std::vector<std::string>{"1", "Dorn", "10.0.0.5", "Dornak"}));
    EXPECT_TRUE(shell.shown);
    EXPECT_EQ(shell.icon.szTip, "ACTIVE - 1 player\r\n1 PLAYER ONLINE");
    EXPECT_EQ(shell.icon.cbSize, ui::kTrayRecordSize);
    const size_t first = form.lstMonitoredMsgs.Count();
    EXPECT_GT(first, 0u);

    Run(6000);  // a poll after the second player and the message
    EXPECT_EQ(form.StatusBar.Panel(2), "2 PLAYERS ONLINE");
    ASSERT_EQ(form.PlayerListView.Items().size(), 2u);
    EXPECT_EQ(form.PlayerListView.Items()[1][0], "2");
    const auto& lines = form.lstMonitoredMsgs.Lines();
    EXPECT_NE(lines.back().find("Welcome"), std::string::npos);
    EXPECT_EQ(form.lstMonitoredMsgs.Selected(), static_cast<int>(lines.size()) - 1);
    // Lines already copied are never copied twice.
    const std::vector<std::string>& serverLines = host().Lines(server().messageList());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), serverLines);

    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    Run(5000);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    EXPECT_TRUE(form.mnuSystemTray.Find("sysStartServer")->enabled);
    EXPECT_FALSE(form.mnuSystemTray.Find("sysStopServer")->enabled);
    EXPECT_TRUE(boxes.shown.empty());
}

// The x86 build against a 64-bit server on 64-bit Windows reads none of its
// lists (their records would be the wrong width) and says why, once; on
// 32-bit Windows it reads them as ever.
TEST_F(MainWindowTest, TheX86BuildRefusesA64BitServerAndSaysWhy) {
    d.RunAs32Bit(true);
    platform::sim::ProgramSpec wide;
    wide.is32Bit = false;
    Install("active\nat 0 join Dorn 10.0.0.5 Dornak\n", wide);
    form.Form_Load();
    Run(3000);
    EXPECT_TRUE(form.PlayerListView.Items().empty());
    EXPECT_EQ(d.RemoteBlockCount(ServerPid()), 0u);
    int told = 0;
    for (const auto& e : form.Events.Recent()) told += e.text.find("Install the 64-bit (x64) Harrowatch") != std::string::npos;
    EXPECT_EQ(told, 1);

    platform::sim::SimDesktop old;
    old.RunAs32Bit(false);
    const platform::Pid pid = old.AddProcess("C:\\Games\\KALTOR INTERNET SERVER.EXE");
    platform::UniqueHandle h(old, old.OpenProcess(platform::proc::kQueryLimitedInformation, false, pid));
    EXPECT_EQ(automation::UsesLayout32(old, h.get()), std::optional<bool>(true));
    EXPECT_FALSE(automation::BeyondReach(old, pid));
}

TEST_F(MainWindowTest, AServerThatGoesIsRelaunchedAndItsListCopiedFromTheStart) {
    Start("at 0 messages 5\n");
    const platform::Pid first = ServerPid();
    const size_t before = form.lstMonitoredMsgs.Count();
    Run(60000);  // it ran a minute: no quick end
    d.KillProcess(first);
    Run(5000);  // the next poll launches it again
    ASSERT_NE(ServerPid(), platform::Pid{});
    EXPECT_NE(ServerPid(), first);
    EXPECT_EQ(standins.Launches(), 2u);
    Run(5000);
    // The new server's lines, all of them, after the old ones.
    EXPECT_EQ(form.lstMonitoredMsgs.Count(), before + host().Lines(server().messageList()).size());
    EXPECT_EQ(form.CopiedServerLines(), static_cast<std::int64_t>(host().Lines(server().messageList()).size()));
}

TEST_F(MainWindowTest, AMissingProgramIsToldOnceAndLookedForOnTheBackOff) {
    form.Form_Load();  // nothing installed: said once, not on every poll
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "You must run Harrowatch from your Kaltor directory.");
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "KALTOR NOT FOUND");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(form.Toolbar.Enabled());
    Run(40000);  // looked for at 0, 5, 15 and 35 s; next at 75 s
    form.sysChatServer_Click();  // the chat window adds no box of its own
    Install("active\n");
    Run(30000);
    EXPECT_EQ(standins.Launches(), 0u);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "KALTOR NOT FOUND");
    EXPECT_EQ(shell.icon.szTip.rfind("Server program not found", 0), 0u) << shell.icon.szTip;
    // There again: launched at the next look, with no word from the operator.
    Run(10000);
    EXPECT_EQ(standins.Launches(), 1u);
    Run(5000);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "ACTIVE - 0 players");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_EQ(boxes.shown.size(), 1u);
    // A launch after the program was missing is no way out of a crash loop.
    for (const auto& e : form.Events.Recent())
        EXPECT_NE(e.id, supervision::EventId::RelaunchedAfterCrashes);
}

TEST_F(MainWindowTest, AStatusReadThatGoesUnansweredKeepsTheLastStatus) {
    Start();
    ASSERT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    // The server stops answering between the poll's probe and its status read.
    d.beforeSendToOthers = [&](platform::Hwnd, std::uint32_t m) {
        if (m == platform::msg::kGetTextLength) host().Hang(20000);
    };
    Run(5000);
    d.beforeSendToOthers = nullptr;
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    EXPECT_FALSE(form.txtStatusMasterServer.Text().empty());
    EXPECT_TRUE(form.mnuSystemTray.Find("sysStartServer")->enabled);  // not flipped by a blank read
    EXPECT_FALSE(form.mnuSystemTray.Find("sysStopServer")->enabled);
    Run(30000);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MainWindowTest, IntervalsTheTimerCannotTakeAreReportedOnceAndIgnored) {
    Start();
    Interval("70000");
    Run(30000);
    ASSERT_TRUE(OneBoxSaying(boxes, {"Error Number: 380", "more than the 65535 milliseconds"}));
    EXPECT_EQ(form.RefreshTimer.Interval(), 5000u);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    Interval("-20");  // says what is wrong with it
    Run(5000);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[1].text.find("\"-20\" is negative"), std::string::npos) << boxes.shown[1].text;
    EXPECT_EQ(boxes.shown[1].text.find("more than"), std::string::npos);
    Interval("250.5");  // rounds to even: 250
    Run(5000);
    EXPECT_EQ(form.RefreshTimer.Interval(), 250u);
    Interval("0");
    Run(1000);
    EXPECT_EQ(form.RefreshTimer.Interval(), 0u);
    const auto launches = standins.Launches();
    d.KillProcess(ServerPid());
    Run(60000);
    EXPECT_EQ(standins.Launches(), launches);  // no more ticks, no relaunch
}

TEST_F(MainWindowTest, AStartingServerLeavesTheWindowAsItWasAndStatusEventsDriveIt) {
    Setting("AutoStart", 0);
    Start();
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");  // the status fields are up from the start
    EXPECT_TRUE(form.PlayerListView.Items().empty());
    EXPECT_EQ(form.StatusBar.Panel(2), "");
    EXPECT_EQ(form.lstMonitoredMsgs.Count(), 0u);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    // Status events drive the label, the toolbar, the timer and the pointer.
    form.Harrowatch_UpdateStatus("UPDATE_STATUS", "STARTING KALTOR....", 0);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "STARTING KALTOR....");
    form.Harrowatch_UpdateStatus("ENABLE_TOOLBAR", "", 0);
    EXPECT_FALSE(form.Toolbar.Enabled());
    form.Harrowatch_UpdateStatus("ENABLE_TOOLBAR", "", 5);
    EXPECT_TRUE(form.Toolbar.Enabled());
    form.Harrowatch_UpdateStatus("ENABLE_TIMER", "", -1);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    form.Harrowatch_UpdateStatus("ENABLE_TIMER", "", 0);
    EXPECT_FALSE(form.RefreshTimer.Enabled());
    form.Harrowatch_UpdateStatus("TOGGLE_HOURGLASS", "", -1);
    EXPECT_TRUE(form.Pointer.busy);
    form.Harrowatch_UpdateStatus("TOGGLE_HOURGLASS", "", 1);
    EXPECT_FALSE(form.Pointer.busy);
    form.Harrowatch_UpdateStatus("enable_timer", "", -1);  // types compare exactly
    EXPECT_FALSE(form.RefreshTimer.Enabled());
}

TEST_F(MainWindowTest, MalformedServerWindowsAreReportedOnce) {
    Start("at 0 players 3\n");
    form.SSTab.Select(2);  // the operator looks at the schedule: its hint shows
    ASSERT_EQ(form.StatusBar.Panel(1), schedule::kPanelHint);
    // A status container left with one field, and a player list counting -1.
    d.DestroyWindow(Win(server().localStatus()));
    host().Destroy(server().playerList());
    d.CreateWindow(ServerPid(), "ListViewWndClass", "", Win(server().mainForm()), 0,
                   [](std::uint32_t m, std::uint64_t, std::int64_t, std::int64_t* r) {
                       if (m != platform::msg::kLvmGetItemCount) return false;
                       *r = -1;
                       return true;
                   });
    Run(20000);
    ASSERT_TRUE(OneBoxSaying(boxes, {"Error Number: 9", " - FormRefresh"}));
    EXPECT_EQ(form.StatusBar.Panel(1).rfind("Refreshing fails: ", 0), 0u);
    EXPECT_EQ(form.StatusBar.Panel(2), "3 PLAYERS ONLINE");  // kept

    // Mended: the next cycle succeeds and clears the failure; a negative count
    // keeps the players shown, saying when they were read.
    d.CreateWindow(ServerPid(), "ThunderRT6TextBox", "Connecting to Master Server...\r\n",
                   d.GetParent(Win(server().masterStatus())));
    Run(5000);
    EXPECT_EQ(form.StatusBar.Panel(1), schedule::kPanelHint);  // the failure gone, the tab's hint back
    EXPECT_EQ(form.StatusBar.Panel(2).rfind("3 PLAYERS ONLINE AS OF ", 0), 0u) << form.StatusBar.Panel(2);
    EXPECT_EQ(form.PlayerListView.Items().size(), 3u);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

// A reset that waits (for its dialog) lets the poll timer tick; the tick must
// not start a second cycle that hands the same due row to the server again.
TEST_F(MainWindowTest, ATickDuringAResetRunsNoSecondCycle) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 08:00 AM");
    Interval("1000");
    Install("dialogs none\n");  // each try of the reset waits out its dialog's time
    int dialogWaits = 0;
    // Ticks every second meanwhile; the row stops being due during the second try.
    d.ScheduleAt(45000, d.OwnPid(), [&] { form.ResetItemGrid.SetTextMatrix(1, schedule::kColNextTime, "N/A - Unknown"); });
    for (std::uint64_t t = 1000; t < 200000; t += 1000)
        d.ScheduleAt(t, d.OwnPid(), [&] { dialogWaits += form.Harrowatch && form.Harrowatch->Busy() && form.Refreshing(); });
    form.Form_Load();
    // The first cycle's try, then one cycle for all the ticks it met, which
    // leaves the failed row to its pause: never a cycle inside a cycle, and
    // about 30 s in all, not one try per tick.
    EXPECT_GE(d.NowMs(), server::clsHarrowatch::kDialogWaitMs);
    EXPECT_LT(d.NowMs(), server::clsHarrowatch::kDialogWaitMs + 5000);
    EXPECT_FALSE(form.Refreshing());
    EXPECT_GT(dialogWaits, 25);
    EXPECT_EQ(server().effects().messageDeletes, 0);
    EXPECT_TRUE(boxes.shown.empty());
    Run(5000);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
}

TEST_F(MainWindowTest, ALongListIsCaughtUpInShortPollsKeepingTheNewestAndItsPositionGoesPast32767) {
    Start("at 0 messages 40000\n");
    Run(2000);
    const std::vector<std::string>& lines = host().Lines(server().messageList());
    const auto count = static_cast<std::int64_t>(lines.size());
    ASSERT_GT(count, 40000);
    // Only the newest lines kept are read, a poll's worth at a time, each once.
    const std::uint64_t sends = d.SendsToOthers();
    std::int64_t copied = form.CopiedServerLines();
    int polls = 0;
    while (form.CopiedServerLines() < count && polls < 100) {
        Run(5000);
        ++polls;
        EXPECT_LE(form.CopiedServerLines() - copied, app::kMostLinesPerPoll);
        copied = form.CopiedServerLines();
    }
    EXPECT_EQ(form.CopiedServerLines(), count);
    EXPECT_GE(polls, static_cast<int>(app::kMonitoredLinesKept) / app::kMostLinesPerPoll - 1);
    EXPECT_LT(d.SendsToOthers() - sends, 2u * app::kMonitoredLinesKept + 1000u * static_cast<unsigned>(polls));
    ASSERT_EQ(form.lstMonitoredMsgs.Count(), app::kMonitoredLinesKept);
    EXPECT_EQ(form.lstMonitoredMsgs.Lines().front(), lines[lines.size() - app::kMonitoredLinesKept]);
    EXPECT_EQ(form.lstMonitoredMsgs.Lines().back(), lines.back());
    EXPECT_EQ(form.lstMonitoredMsgs.Selected(), static_cast<int>(app::kMonitoredLinesKept) - 1);

    server().AddLine("after forty thousand");
    Run(5000);
    EXPECT_EQ(form.lstMonitoredMsgs.Lines().back(), host().Lines(server().messageList()).back());
    // Past the cap, the oldest go in a block, down to nine tenths of it.
    EXPECT_EQ(form.lstMonitoredMsgs.Count(), app::kMonitoredLinesKept - app::kMonitoredLinesKept / 10);
    EXPECT_EQ(form.CopiedServerLines(), count + 1);

    // A line the operator selected stays selected while it is kept.
    ui::ListBox list(10);
    std::vector<int> redraws;
    list.onRedraw = [&](std::size_t dropped) { redraws.push_back(static_cast<int>(dropped)); };
    list.AddLines({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    list.SetSelected(5);
    list.AddLines({"10"});
    EXPECT_EQ(list.Count(), 9u);
    EXPECT_EQ(list.Lines()[static_cast<size_t>(list.Selected())], "5");
    list.SetSelected(0);
    list.AddLines({"11"});
    list.AddLines({"12"});
    EXPECT_EQ(list.Lines().front(), "4");
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(redraws, (std::vector<int>{0, 0, 2, 0, 0, 2}));  // a selection redraws too
}

TEST_F(MainWindowTest, AReadCutShortGoesOnFromTheLineItStoppedAt) {
    Start("active\n");
    Run(6000);
    const size_t before = form.lstMonitoredMsgs.Count();
    std::vector<std::string> added;
    for (int i = 0; i < 60; ++i) added.push_back("line " + std::to_string(i));
    server().AddLines(added);
    // The server hangs as the 25th new line's text is asked for.
    int texts = 0;
    d.beforeSendToOthers = [&](platform::Hwnd h, std::uint32_t message) {
        if (h.value() == server().messageList() && message == platform::msg::kLbGetText && ++texts == 25)
            d.HangProcess(ServerPid(), 8000);
    };
    Run(5000);
    EXPECT_EQ(form.lstMonitoredMsgs.Count(), before + 24);
    Run(20000);
    d.beforeSendToOthers = nullptr;
    const auto& shown = form.lstMonitoredMsgs.Lines();
    ASSERT_EQ(shown.size(), before + added.size());
    for (size_t i = 0; i < added.size(); ++i)
        EXPECT_NE(shown[before + i].find("--  --" + added[i]), std::string::npos) << shown[before + i];
    EXPECT_EQ(form.CopiedServerLines(), static_cast<std::int64_t>(host().Lines(server().messageList()).size()));
}

TEST_F(MainWindowTest, APollRedrawsTheMessagesOnceWhenLinesCameAndNotAtAllWhenNone) {
    Start("active\nat 0 players 100\n");
    Run(6000);
    int redraws = 0;
    form.lstMonitoredMsgs.onRedraw = [&](std::size_t) { ++redraws; };
    // Quiet: the probe, the status fields, the player count and the line
    // count, and no redraw of the messages.
    std::uint64_t sends = d.SendsToOthers();
    Run(5000);
    EXPECT_EQ(redraws, 0);
    const std::uint64_t quiet = d.SendsToOthers() - sends;
    EXPECT_LE(quiet, 12u);
    // Busy: two sends a new line more, and one redraw that also scrolls to
    // the last line.
    std::vector<std::string> added(50, "a busy line");
    server().AddLines(added);
    sends = d.SendsToOthers();
    Run(5000);
    EXPECT_EQ(redraws, 1);
    EXPECT_LE(d.SendsToOthers() - sends, quiet + 1 + 2 * added.size());
    EXPECT_EQ(form.lstMonitoredMsgs.Selected(), static_cast<int>(form.lstMonitoredMsgs.Count()) - 1);
    form.lstMonitoredMsgs.onRedraw = nullptr;
}

}  // namespace
}  // namespace hw::testing
