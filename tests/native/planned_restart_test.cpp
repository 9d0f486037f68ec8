// The daily planned restart, on the virtual clock (6 December 2026 from 09:00).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/planned_restart.h"
#include "native/main_window_fixture.h"
#include "schedule/catalogue.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

using supervision::EventId;
using Texts = std::vector<std::string>;

// A REG_SZ value as stored; "" when absent.
std::string Stored(const platform::sim::SimDesktop& d, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!d.PeekValue(platform::kHkeyLocalMachine, key, name, type, data)) return "";
    EXPECT_EQ(type, platform::reg::kSz);
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

class PlannedRestartTest : public MainWindowTest {
protected:
    PlannedRestartTest() { RestartAt("09:30"); }
    void RestartAt(const std::string& at) {
        d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "RestartDailyAt", at);
    }
    std::string Last(EventId id) {
        const auto& recent = form.Events.Recent();
        for (auto e = recent.rbegin(); e != recent.rend(); ++e)
            if (e->id == id) return e->text;
        return "(none)";
    }
    // Where in the events `id` first came, or -1.
    int First(EventId id) {
        const auto& recent = form.Events.Recent();
        for (size_t i = 0; i < recent.size(); ++i)
            if (recent[i].id == id) return static_cast<int>(i);
        return -1;
    }
    int Item(const std::string& name) {
        for (const schedule::ResetItem& item : schedule::kResetItems)
            if (item.name == name) return static_cast<int>(&item - schedule::kResetItems.data());
        return -1;
    }
    const standin::Server& FirstServer() { return *standins.At(0)->server; }
};

TEST_F(PlannedRestartTest, ThePlayersAreWarnedThenTheServerClosesAndComesBackActive) {
    Setting("WarnPlayersMinutes", 10);
    Start("active\nat 0 players 3\n");
    ASSERT_NE(ServerPid(), platform::Pid{});
    const platform::Pid before = ServerPid();
    Run(20 * 60000 + 30000);  // 09:20:30
    EXPECT_EQ(FirstServer().effects().sentMessages, Texts{"Server maintenance in 10 minutes"});
    Run(9 * 60000);  // 09:29:30
    EXPECT_EQ(FirstServer().effects().sentMessages,
              (Texts{"Server maintenance in 10 minutes", "Server maintenance in 1 minute"}));
    EXPECT_EQ(standins.Launches(), 1u);
    Run(60000);  // 09:30:30
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_NE(ServerPid(), platform::Pid{});
    EXPECT_NE(ServerPid(), before);
    EXPECT_TRUE(server().Active());  // as it was before
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    // Told as planned everywhere: the log, a balloon, the webhook's event.
    EXPECT_EQ(Count(EventId::PlannedRestart), 1);
    EXPECT_NE(Last(EventId::ServerStopped).find("planned restart"), std::string::npos) << Last(EventId::ServerStopped);
    EXPECT_NE(Last(EventId::ServerLaunched).find("planned restart"), std::string::npos) << Last(EventId::ServerLaunched);
    EXPECT_NE(d.FileContent(form.Log.TodaysFile()).find("INFO Planned restart: "), std::string::npos);
    ASSERT_FALSE(shell.balloons.empty());
    EXPECT_EQ(shell.balloons.back().szInfoTitle, "Planned restart");
    EXPECT_STREQ(supervision::Info(EventId::PlannedRestart).key, "planned_restart");
    EXPECT_TRUE(boxes.shown.empty());
    // Once a day.
    Run(2 * 3600000);
    EXPECT_EQ(standins.Launches(), 2u);
}

// A server that has run less than a minute is restarted as planned: no
// crash, no quick end, no wait before the launch.
TEST_F(PlannedRestartTest, IsNeitherACrashNorAQuickEndForTheBackOff) {
    d.SetStartTime({2026, 12, 6, 9, 29, 20, 0});
    Start("active\n");
    Run(60000);  // 09:30:20
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_NE(ServerPid(), platform::Pid{});
    EXPECT_EQ(Count(EventId::ServerEnded), 0);
    EXPECT_EQ(Count(EventId::RelaunchDelayed), 0);
    EXPECT_EQ(form.Harrowatch->QuickEnds(), 0);
    EXPECT_FALSE(form.Harrowatch->RelaunchHeld());
    for (const auto& b : shell.balloons) EXPECT_NE(b.szInfoTitle, "Server crashed");
}

// Three resets due at 09:29 whose dialogs never come take a minute and a
// half: the restart planned for 09:30 comes after the last of them.
TEST_F(PlannedRestartTest, WaitsForARunningResetToEnd) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily",
                 "Public Messages|12/06/26 09:29 AM,Transaction List|12/06/26 09:29 AM,"
                 "Guild Master Log|12/06/26 09:29 AM");
    Start("active\ndialogs none\n");
    Run(28 * 60000 + 50000);  // 09:28:50
    EXPECT_EQ(standins.Launches(), 1u);
    Run(3 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    ASSERT_GE(Count(EventId::ResetFailed), 3);  // no dialog: failed, each at the end of its wait
    // Stopped only after the third reset had ended.
    int failed = 0, stoppedAfter = -1;
    for (const auto& e : form.Events.Recent()) {
        failed += e.id == EventId::ResetFailed;
        if (e.id == EventId::ServerStopped && stoppedAfter < 0) stoppedAfter = failed;
    }
    EXPECT_EQ(stoppedAfter, 3);
}

TEST_F(PlannedRestartTest, RunsTheEveryRestartAndNextRestartItemsAfterIt) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
    Start("active\n");
    form.Schedule.AddRow(Item("Transaction List"), schedule::kNextRestart, schedule::kNoNextTime);
    form.Schedule.FormSave();
    ASSERT_EQ(form.Schedule.DataRows(), 2);
    Run(29 * 60000);  // 09:29: nothing ran at Harrowatch's start
    EXPECT_EQ(FirstServer().effects().messageDeletes, 0);
    EXPECT_EQ(FirstServer().effects().transactionDeletes, 0);
    Run(60000 + 30000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(server().effects().messageDeletes, 1);
    EXPECT_EQ(server().effects().transactionDeletes, 1);
    EXPECT_TRUE(server().Active());
    // "Every Restart" stays for the next; "Next Restart" has had its turn.
    ASSERT_EQ(form.Schedule.DataRows(), 1);
    EXPECT_EQ(form.ResetItemGrid.TextMatrix(1, schedule::kColName), "Public Messages");
    EXPECT_EQ(form.ResetItemGrid.TextMatrix(1, schedule::kColNextTime), schedule::kNoNextTime);
    EXPECT_EQ(Stored(d, schedule::kScheduleKey, "Next Restart"), "");
    EXPECT_EQ(Stored(d, schedule::kScheduleKey, "Every Restart"),
              "Public Messages|N/A - Unknown");
    Run(3 * 60000);
    EXPECT_EQ(server().effects().messageDeletes, 1);  // once a restart
}

// The server hangs before the restart's time and is ended for it after the
// time came: its launch is the day's restart, and the restart items run in it.
TEST_F(PlannedRestartTest, ALaunchInTheRestartsPlaceRunsTheRestartItems) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
    Setting("HungRestartMinutes", 1);
    Start("active\n");
    Run(29 * 60000 + 30000);
    d.HangProcess(ServerPid(), 30 * 60000);
    Run(5 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(FirstServer().effects().messageDeletes, 0);
    EXPECT_EQ(server().effects().messageDeletes, 1);
    EXPECT_EQ(Count(EventId::PlannedRestart), 1);
    EXPECT_NE(Last(EventId::PlannedRestart).find("launched again since"), std::string::npos) << Last(EventId::PlannedRestart);
    EXPECT_EQ(Stored(d, schedule::kScheduleKey, "Every Restart"), "Public Messages|N/A - Unknown");
}

// A planned restart refused, then closed late by the operator's answer; its
// relaunch shows its form late. The restart items run once, in it, when it
// answers; a crash hours later is a crash, with no restart items.
TEST_F(PlannedRestartTest, RestartItemsRunOnceForALateCloseWithASlowForm) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
    Start("active\nclose-dialog 0\n");
    Run(33 * 60000 + 30000);  // 09:33:30: the question went unanswered; refused, tried again ~09:37
    ASSERT_EQ(Count(EventId::PlannedRestartFailed), 1) << Last(EventId::PlannedRestartFailed);
    ASSERT_EQ(standins.Launches(), 1u);
    standins.SetScript("active\nconfig-delay 70000\n");
    const platform::Hwnd yes = Descendant(d.FindWindow("#32770", "Close Server"), "&Yes");
    ASSERT_NE(yes, nullptr);
    Click(yes);  // the operator answers at last
    Run(10 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(server().effects().messageDeletes, 1);
    const int planned = form.Harrowatch->PlannedRestarts();
    standins.SetScript("active\n");
    Run(3 * 3600000);
    d.KillProcess(ServerPid(), 0xC0000005);  // a crash, hours later
    Run(2 * 60000);
    ASSERT_EQ(standins.Launches(), 3u);
    EXPECT_EQ(server().effects().messageDeletes, 0) << "restart items ran again in a crash's relaunch";
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), planned) << "a crash counted as a planned restart";
}

// The operator stopped the server (maintenance); it hangs, and is ended for
// the hang after the restart's time came. The relaunch runs no restart
// items (which activate the server) against that stop.
TEST_F(PlannedRestartTest, AHangEndedServerTheOperatorStoppedGetsNoRestartItems) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
    Setting("HungRestartMinutes", 1);
    Start("active\n");
    Run(20 * 60000);
    form.sysStopServer_Click();
    Run(10000);
    ASSERT_FALSE(server().Active());
    Run(9 * 60000 + 20000);  // 09:29:30
    d.HangProcess(ServerPid(), 30 * 60000);
    Run(5 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(server().effects().messageDeletes, 0) << "restart items ran in a server the operator had stopped";
}

// The clock goes back an hour after the restart (daylight saving's end):
// 09:30 comes round again without a second restart. The next day's comes.
TEST_F(PlannedRestartTest, OnceADayAcrossAClockThatGoesBackOrJumps) {
    Start("active\n");
    Run(31 * 60000);  // 09:31
    ASSERT_EQ(standins.Launches(), 2u);
    d.ShiftLocalTime(-3600000);  // 08:31
    Run(2 * 3600000);            // past 09:30 again, and on to 10:31
    EXPECT_EQ(standins.Launches(), 2u);
    Run(23 * 3600000);  // 09:31 the next day
    EXPECT_EQ(standins.Launches(), 3u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 2);
    // A clock set forward by hours over the time: not made up hours late,
    // and the log says so.
    d.ShiftLocalTime(22 * 3600000);  // 07:31 the day after: no restart yet that day
    Run(60000);
    d.ShiftLocalTime(6 * 3600000);  // 13:32, over 09:30
    Run(60000);
    EXPECT_EQ(standins.Launches(), 3u);
    EXPECT_EQ(Count(EventId::PlannedRestartFailed), 1);
    EXPECT_NE(Last(EventId::PlannedRestartFailed).find("09:30"), std::string::npos)
        << Last(EventId::PlannedRestartFailed);
}

// Harrowatch was not running at 09:30: the restart is not made up later.
TEST_F(PlannedRestartTest, ATimeMissedWhileHarrowatchWasStoppedIsNotMadeUp) {
    d.SetStartTime({2026, 12, 6, 9, 45, 0, 0});
    Start("active\n");
    Run(12 * 3600000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(Count(EventId::PlannedRestartFailed), 0);
    Run(12 * 3600000);  // 09:45 the next day
    EXPECT_EQ(standins.Launches(), 2u);
}

// A server the operator stopped ("Stop Server") stays stopped.
TEST_F(PlannedRestartTest, AServerTheOperatorStoppedIsNotRestarted) {
    Start("active\n");
    Run(10000);
    form.sysStopServer_Click();
    Run(10000);
    ASSERT_FALSE(server().Active());
    Run(31 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_FALSE(server().Active());
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 0);
    // Told as not done, so a fleet's count of restarts stays true.
    EXPECT_NE(Last(EventId::PlannedRestartFailed).find("not active"), std::string::npos)
        << Last(EventId::PlannedRestartFailed);
    EXPECT_EQ(Last(EventId::PlannedRestart), "(none)");
}

// The restart reads the server's status afresh, after the poll's reads:
// a server that stops answering then must not hold the operator's input
// for a time-out a field on top of the poll's allowance.
TEST_F(PlannedRestartTest, AServerHungAtTheRestartHoldsTheOperatorsInputNoLongerThanAPoll) {
    Start("active\n");
    Run(29 * 60000 + 55000);
    const platform::Pid pid = ServerPid();
    ASSERT_NE(pid, platform::Pid{});
    const std::uint64_t from = d.NowMs();
    std::uint64_t worst = 0;
    for (std::uint64_t at = from; at < from + 60000; at += 50)
        d.ScheduleAt(at, d.OwnPid(), [&, at] { worst = std::max(worst, d.NowMs() - at); });
    const std::uint64_t restartAt = from + 5000;
    bool hung = false;
    d.beforeSendToOthers = [&](platform::Hwnd, std::uint32_t message) {
        if (hung || d.NowMs() < restartAt || message != platform::msg::kGetTextLength) return;
        hung = true;
        d.HangProcess(pid, 20000);
    };
    Run(60000);
    d.beforeSendToOthers = nullptr;
    EXPECT_TRUE(hung);
    EXPECT_LE(worst, 500u);
}

// A server that will not close: told, tried again a few times, then left
// for the next day, still watched.
TEST_F(PlannedRestartTest, AServerThatWillNotCloseIsToldAndTriedABoundedNumberOfTimes) {
    Setting("WarnPlayersMinutes", 10);
    Start("active\nignore-close\nat 0 players 3\n");
    Run(31 * 60000);
    EXPECT_EQ(Count(EventId::PlannedRestartFailed), 1);
    EXPECT_NE(Last(EventId::PlannedRestartFailed).find("did not close"), std::string::npos)
        << Last(EventId::PlannedRestartFailed);
    Run(60 * 60000);
    EXPECT_EQ(Count(EventId::PlannedRestartFailed), app::DailyRestart::kMostTries);
    EXPECT_NE(Last(EventId::PlannedRestartFailed).find("tomorrow"), std::string::npos)
        << Last(EventId::PlannedRestartFailed);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(Count(EventId::ServerEnded), 0);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(boxes.shown.empty());
    // Each try warned of once or twice (the retries are 5 minutes off: the
    // 5-minute warning and the 1-minute one), never again and again.
    EXPECT_LE(FirstServer().effects().sentMessages.size(), 2u + 2u * (app::DailyRestart::kMostTries - 1))
        << FirstServer().effects().sentMessages.size() << " warnings";
    EXPECT_EQ(Count(EventId::WarningNotSent), 0) << Last(EventId::WarningNotSent);
}

// The operator stops and starts the server by hand while the restart waits
// for its retry: that start was the restart, none follows.
TEST_F(PlannedRestartTest, TheOperatorsOwnStopAndStartServeForARestartOwed) {
    Start("active\nignore-close\n");
    Run(30 * 60000 + 30000);  // 09:30:30: refused, tried again at 09:35
    ASSERT_EQ(Count(EventId::PlannedRestartFailed), 1);
    form.sysStopServer_Click();
    Run(10000);
    ASSERT_FALSE(server().Active());
    form.sysStartServer_Click();
    Run(10000);
    ASSERT_TRUE(server().Active());
    Run(60 * 60000);
    EXPECT_EQ(Count(EventId::PlannedRestartFailed), 1) << Last(EventId::PlannedRestartFailed);
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(standins.Launches(), 1u);
}

// The relaunch finds no server program; once it is back, the launch that
// brings the server up carries the restart out: activated, its rows run.
TEST_F(PlannedRestartTest, ARestartWhoseLaunchFailedIsCarriedOutByTheLaunchThatFollows) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
    Start("active\n");
    form.Schedule.AddRow(Item("Transaction List"), schedule::kNextRestart, schedule::kNoNextTime);
    form.Schedule.FormSave();
    Run(29 * 60000 + 50000);
    d.PokeString(platform::kHkeyLocalMachine, server::kGameKey, "INSTDIR", "C:\\Elsewhere\\");
    Run(3 * 60000);
    EXPECT_EQ(ServerPid(), platform::Pid{});
    EXPECT_NE(Last(EventId::PlannedRestartFailed).find("did not start again"), std::string::npos)
        << Last(EventId::PlannedRestartFailed);
    d.PokeString(platform::kHkeyLocalMachine, server::kGameKey, "INSTDIR", kGameFolder);
    Run(6 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(server().effects().messageDeletes, 1);
    EXPECT_EQ(server().effects().transactionDeletes, 1);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
    EXPECT_NE(Last(EventId::PlannedRestart).find("2 restart items run"), std::string::npos) << Last(EventId::PlannedRestart);
    EXPECT_EQ(Count(EventId::ServerEnded), 0);
}

// Exit chosen while the restart waits for the server to close: Harrowatch
// exits, and launches nothing on its way out.
TEST_F(PlannedRestartTest, AnExitDuringTheRestartLaunchesNothing) {
    Start("active\nclose-dialog 10000\n");
    Run(29 * 60000 + 58000);  // the restart's close waits 10 s for its question's answer
    std::uint32_t timer = 0;
    timer = d.SetTimer(6000, [&] {
        d.KillTimer(timer);
        form.sysExit_Click();
    });
    Run(60000);
    EXPECT_TRUE(app.ended);
    EXPECT_NE(Last(EventId::ServerStopped).find("planned restart"), std::string::npos) << Last(EventId::ServerStopped);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(ServerPid(), platform::Pid{});
}

// Harrowatch started 3 minutes before the restart: the players hear of it
// late, with the minutes truly left; the warning that could not go is logged.
TEST_F(PlannedRestartTest, AWarningFirstLookedAtLateGoesWithTheMinutesLeft) {
    Setting("WarnPlayersMinutes", 10);
    d.SetStartTime({2026, 12, 6, 9, 27, 0, 0});
    Start("active\nat 0 players 3\n");
    Run(2 * 60000 + 30000);  // 09:29:30
    EXPECT_EQ(FirstServer().effects().sentMessages,
              (Texts{"Server maintenance in 3 minutes", "Server maintenance in 1 minute"}));
    Run(60000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(Count(EventId::WarningNotSent), 0) << Last(EventId::WarningNotSent);
}

// Daylight saving starts at 02:00 over the warnings of a restart at 03:05,
// then over the whole of one at 02:30: the first is warned late, the second
// comes with its warnings logged as not sent.
TEST_F(PlannedRestartTest, DaylightSavingsStartOverItsWarningsWarnsLateOrLogsThem) {
    Setting("WarnPlayersMinutes", 10);
    RestartAt("03:05");
    d.SetStartTime({2026, 12, 6, 1, 40, 0, 0});
    Start("active\nat 0 players 3\n");
    Run(20 * 60000);  // 02:00
    d.ShiftLocalTime(3600000);  // 03:00
    Run(4 * 60000 + 30000);  // 03:04:30
    EXPECT_EQ(FirstServer().effects().sentMessages,
              (Texts{"Server maintenance in 5 minutes", "Server maintenance in 1 minute"}));
    Run(60000);
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(Count(EventId::WarningNotSent), 0) << Last(EventId::WarningNotSent);

    RestartAt("02:30");
    Run(22 * 3600000 + 55 * 60000);  // 02:00 the next day
    const std::size_t sent = server().effects().sentMessages.size();
    d.ShiftLocalTime(3600000);  // 03:00, half an hour past 02:30
    Run(2 * 60000);
    EXPECT_EQ(standins.Launches(), 3u);
    EXPECT_EQ(standins.At(1)->server->effects().sentMessages.size(), sent);
    EXPECT_EQ(Count(EventId::WarningNotSent), 2) << Last(EventId::WarningNotSent);
}

// A malformed stored time is told once and plans nothing.
TEST_F(PlannedRestartTest, AMalformedStoredTimeIsToldOnceAndPlansNothing) {
    RestartAt("9.30");
    Start("active\n");
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    int told = 0;
    for (const auto& e : form.Events.Recent()) told += e.id == EventId::ErrorReported && e.text.find("RestartDailyAt") != std::string::npos;
    EXPECT_EQ(told, 1);
}

TEST(DailyTime, TakesHoursAndMinutesOfTheDay) {
    EXPECT_EQ(settings::ParseDailyTime("04:30"), 270);
    EXPECT_EQ(settings::ParseDailyTime(" 4:05 "), 245);
    EXPECT_EQ(settings::ParseDailyTime("00:00"), 0);
    EXPECT_EQ(settings::ParseDailyTime("23:59"), 1439);
    for (const char* bad : {"", "24:00", "12:60", "9.30", "12:5", "1230", "-1:00", "12:30pm", "a:bc"})
        EXPECT_FALSE(settings::ParseDailyTime(bad).has_value()) << bad;
}

}  // namespace
}  // namespace hw::testing
