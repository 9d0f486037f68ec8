// The memory guard ("RestartAboveMB"), on the virtual clock (6 December
// 2026 from 09:00, a poll every 5 s).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/memory_guard.h"
#include "native/main_window_fixture.h"
#include "schedule/schedule.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

using supervision::EventId;
using Texts = std::vector<std::string>;
constexpr std::uint64_t kMB = 1u << 20;

class MemoryGuardTest : public MainWindowTest {
protected:
    MemoryGuardTest() { Setting("RestartAboveMB", 100); }
    // The server running now uses `mb` of private memory.
    void Uses(std::uint64_t mb) {
        platform::sim::SimProcess* p = d.FindProcess(ServerPid());
        ASSERT_NE(p, nullptr);
        p->privateBytes = mb * kMB;
    }
    std::vector<std::string> Told(EventId id, const std::string& part = {}) {
        std::vector<std::string> found;
        for (const auto& e : form.Events.Recent())
            if (e.id == id && e.text.find(part) != std::string::npos) found.push_back(e.text);
        return found;
    }
    const standin::Server& FirstServer() { return *standins.At(0)->server; }
};

TEST_F(MemoryGuardTest, WaitsForTheLastPlayerToLeaveThenRestartsAsPlanned) {
    Start("active\nat 0 players 2\nat 600000 leave Player1\nat 600000 leave Player2\n");
    ASSERT_NE(ServerPid(), platform::Pid{});
    Run(60000);
    EXPECT_TRUE(Told(EventId::ServerResources, "above").empty());  // 24 MB
    Uses(150);
    Run(60000);
    const auto planned = Told(EventId::ServerResources, "above RestartAboveMB");
    ASSERT_EQ(planned.size(), 1u);
    EXPECT_NE(planned[0].find("150.0 MB private bytes"), std::string::npos) << planned[0];
    EXPECT_NE(planned[0].find("09:32"), std::string::npos) << planned[0];  // at the latest: 30 minutes on
    Run(7 * 60000);  // 09:09: both still online
    EXPECT_EQ(standins.Launches(), 1u);
    Run(3 * 60000);  // they left at about 09:10
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
    EXPECT_TRUE(FirstServer().effects().sentMessages.empty());  // warnings are off
    const auto done = Told(EventId::PlannedRestart, " launched");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_NE(done[0].find("150.0 MB private bytes, above RestartAboveMB"), std::string::npos) << done[0];
    EXPECT_NE(done[0].find("no player online"), std::string::npos) << done[0];
    EXPECT_EQ(Told(EventId::ServerEnded).size(), 0u);
    ASSERT_FALSE(shell.balloons.empty());
    EXPECT_EQ(shell.balloons.back().szInfoTitle, "Planned restart");
    EXPECT_TRUE(boxes.shown.empty());
    // The new server is small: nothing more.
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 2u);
}

// Players who stay: warned so that the restart lands 30 minutes after the
// figure was seen, as before a reset, and not a second sooner: on the first
// whole minute after that.
TEST_F(MemoryGuardTest, PlayersWhoStayAreWarnedAndTheRestartComesAfterThirtyMinutes) {
    Setting("WarnPlayersMinutes", 10);
    Start("active\nat 0 players 3\n");
    Run(30000);
    Uses(150);
    Run(10000);  // planned at 09:00:3x: at 09:31
    const auto planned = Told(EventId::ServerResources, "above RestartAboveMB");
    ASSERT_EQ(planned.size(), 1u);
    EXPECT_NE(planned[0].find("09:31"), std::string::npos) << planned[0];
    Run(20 * 60000);  // 09:20:40
    EXPECT_TRUE(FirstServer().effects().sentMessages.empty());
    Run(60000);  // 09:21:40
    EXPECT_EQ(FirstServer().effects().sentMessages, Texts{"Server maintenance in 10 minutes"});
    Run(9 * 60000);  // 09:30:40
    EXPECT_EQ(FirstServer().effects().sentMessages,
              (Texts{"Server maintenance in 10 minutes", "Server maintenance in 1 minute"}));
    EXPECT_EQ(standins.Launches(), 1u);
    Run(30000);  // 09:31:10
    ASSERT_EQ(standins.Launches(), 2u);
    EXPECT_TRUE(server().Active());
    const auto done = Told(EventId::PlannedRestart, " launched");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_NE(done[0].find("30 minutes"), std::string::npos) << done[0];
    EXPECT_EQ(Told(EventId::WarningNotSent).size(), 0u);
}

// One restart serves both: a memory restart that would come shortly before
// the daily one leaves it to the daily one, and a daily one shortly after a
// memory restart is not needed.
TEST_F(MemoryGuardTest, AMemoryRestartNearTheDailyOneIsTheOnlyRestart) {
    d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "RestartDailyAt", "09:20");
    Start("active\n");  // nobody online
    Run(10 * 60000);
    Uses(150);
    Run(5 * 60000);  // 09:15
    EXPECT_EQ(standins.Launches(), 1u);
    Run(6 * 60000);  // 09:21
    EXPECT_EQ(standins.Launches(), 2u);
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
}

TEST_F(MemoryGuardTest, ADailyRestartSoonAfterAMemoryRestartIsNotNeeded) {
    d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "RestartDailyAt", "09:40");
    Start("active\nat 0 players 3\n");
    Run(30000);
    Uses(150);
    Run(31 * 60000);  // 09:31:30: restarted for memory at 09:31
    EXPECT_EQ(standins.Launches(), 2u);
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
    EXPECT_EQ(Told(EventId::PlannedRestartFailed, "09:40").size(), 1u);
}

// Resets due a minute before the restart whose dialogs never come take a
// minute and a half: the restart comes after the last of them.
TEST_F(MemoryGuardTest, WaitsForARunningResetToEnd) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily",
                 "Public Messages|12/06/26 09:30 AM,Transaction List|12/06/26 09:30 AM,"
                 "Guild Master Log|12/06/26 09:30 AM");
    Start("active\ndialogs none\nat 0 players 3\n");
    Run(30000);
    Uses(150);
    Run(28 * 60000);  // 09:28:30
    EXPECT_EQ(standins.Launches(), 1u);
    Run(4 * 60000);
    ASSERT_EQ(standins.Launches(), 2u);
    int failed = 0, stoppedAfter = -1;
    for (const auto& e : form.Events.Recent()) {
        failed += e.id == EventId::ResetFailed;
        if (e.id == EventId::ServerStopped && stoppedAfter < 0) stoppedAfter = failed;
    }
    EXPECT_EQ(stoppedAfter, 3);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
}

// A figure Windows does not give is neither 0 nor above: nothing is planned
// on it, and a plan made before stays.
TEST_F(MemoryGuardTest, AFigureNotReadPlansNothingAndDropsNothing) {
    Start("active\nat 0 players 1\n");
    Uses(500);
    d.FindProcess(ServerPid())->memoryUnreadable = true;
    Run(40 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_TRUE(Told(EventId::ServerResources, "above").empty());
    EXPECT_EQ(Told(EventId::ServerResources, "cannot be read").size(), 1u);  // told once
    d.FindProcess(ServerPid())->memoryUnreadable = false;
    Run(10000);
    ASSERT_EQ(Told(EventId::ServerResources, "above RestartAboveMB").size(), 1u);
    d.FindProcess(ServerPid())->memoryUnreadable = true;
    Run(31 * 60000);
    EXPECT_EQ(standins.Launches(), 2u);
}

// A server that needs that much even when fresh is not restarted in a
// loop: once in six hours, and the log says it is still above.
TEST_F(MemoryGuardTest, AServerStillAboveAfterItsRestartIsNotRestartedAgainForSixHours) {
    Start("active\n");
    Uses(150);
    Run(10000);
    ASSERT_EQ(standins.Launches(), 2u);
    Uses(150);
    Run(5 * 3600000);
    EXPECT_EQ(standins.Launches(), 2u);
    const auto still = Told(EventId::ServerResources, "still above");
    ASSERT_EQ(still.size(), 1u);
    EXPECT_NE(still[0].find("15:00"), std::string::npos) << still[0];  // not before then
    Run(3600000 + 60000);
    EXPECT_EQ(standins.Launches(), 3u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 2);

    // "Stop Server": the server stays stopped, whatever it uses.
    form.sysStopServer_Click();
    Run(10000);
    ASSERT_FALSE(server().Active());
    Uses(150);
    Run(7 * 3600000);
    EXPECT_EQ(standins.Launches(), 3u);
    EXPECT_FALSE(server().Active());
}

// The daily restart comes first: the plan goes with the server it was
// made for, and the server is restarted once.
TEST_F(MemoryGuardTest, ADailyRestartMeanwhileIsTheOnlyRestart) {
    d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "RestartDailyAt", "09:20");
    Start("active\nat 0 players 3\n");
    Run(10 * 60000);
    Uses(150);
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 1);
}

// Stopped and started by hand while a restart for memory waits for the
// players: that start was the restart, none follows for nothing.
TEST_F(MemoryGuardTest, TheOperatorsOwnStopAndStartServeForARestartPlanned) {
    Start("active\nat 0 players 2\n");
    Run(60000);
    Uses(150);
    Run(60000);
    ASSERT_EQ(Told(EventId::ServerResources, "above RestartAboveMB").size(), 1u);
    form.sysStopServer_Click();
    Run(10000);
    form.sysStartServer_Click();
    Run(10000);
    ASSERT_TRUE(server().Active());
    Run(40 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(form.Harrowatch->PlannedRestarts(), 0);
    EXPECT_EQ(Told(EventId::ServerResources, ", above RestartAboveMB").size(), 1u);
    EXPECT_EQ(Told(EventId::ServerResources, "still above").size(), 1u);
}

// A stored limit that is no whole number of megabytes is told once; the
// memory is then not guarded. "100-1" is no number to the dialog, so it is
// none to the guard either (read leniently, it would be 100).
TEST_F(MemoryGuardTest, AStoredLimitThatIsNoNumberIsToldOnce) {
    d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "RestartAboveMB", "100-1");
    Start("active\n");
    Uses(150);
    Run(60 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(Told(EventId::ErrorReported, "RestartAboveMB").size(), 1u);
}

// The restart for memory comes on the tick count, and its warnings follow
// it whatever the clock does: set back an hour (daylight saving's end) or
// forward an hour while the players wait, they still have both warnings.
class MemoryWarningsTest : public MemoryGuardTest {
protected:
    void ClockMovesWhilePlayersWait(std::int64_t shiftMs) {
        Setting("WarnPlayersMinutes", 10);
        Start("active\nat 0 players 3\n");
        Run(30000);
        Uses(150);
        Run(10000);  // planned at 09:00:40 for 09:31
        ASSERT_EQ(Told(EventId::ServerResources, "above RestartAboveMB").size(), 1u);
        Run(5 * 60000);
        d.ShiftLocalTime(shiftMs);
        Run(27 * 60000);  // the restart is done 30 minutes after it was planned
        ASSERT_EQ(standins.Launches(), 2u);
        EXPECT_EQ(FirstServer().effects().sentMessages,
                  (Texts{"Server maintenance in 10 minutes", "Server maintenance in 1 minute"}));
        EXPECT_EQ(Told(EventId::WarningNotSent).size(), 0u);
    }
};

TEST_F(MemoryWarningsTest, KeepToTheRestartWhenTheClockGoesBack) { ClockMovesWhilePlayersWait(-3600000); }
TEST_F(MemoryWarningsTest, KeepToTheRestartWhenTheClockGoesForward) { ClockMovesWhilePlayersWait(3600000); }

}  // namespace
}  // namespace hw::testing
