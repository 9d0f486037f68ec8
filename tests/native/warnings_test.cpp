// Warnings to the players before scheduled resets, on the virtual clock.
#include <gtest/gtest.h>

#include "app/reset_warnings.h"
#include "native/main_window_fixture.h"
#include "platform/sim/sim_desktop.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

class WarningsTest : public MainWindowTest {
protected:
    WarningsTest() {
        Setting("WarnPlayersMinutes", 10);
        // Due at 09:30; the clock starts at 09:00.
        d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 09:30 AM");
    }
    std::vector<std::string> Sent() { return server().effects().sentMessages; }
};

TEST(WarningText, MinutesFilledInAndOnlyTheyLoseTheirPluralForOne) {
    EXPECT_EQ(app::WarningText(settings::kDefaultWarnPlayersText, 10), "Server maintenance in 10 minutes");
    EXPECT_EQ(app::WarningText(settings::kDefaultWarnPlayersText, 1), "Server maintenance in 1 minute");
    EXPECT_EQ(app::WarningText("Restart in {minutes} min ({minutes})", 5), "Restart in 5 min (5)");
    // Only the minutes filled in lose their plural.
    const std::string pattern = "Reset in {minutes} minutes; it takes 11 minutes, or 21 minutes at most";
    EXPECT_EQ(app::WarningText(pattern, 1), "Reset in 1 minute; it takes 11 minutes, or 21 minutes at most");
    EXPECT_EQ(app::WarningText(pattern, 11), "Reset in 11 minutes; it takes 11 minutes, or 21 minutes at most");
    EXPECT_EQ(app::WarningText("Back in 1 minutes, down in {minutes} minutes", 1), "Back in 1 minutes, down in 1 minute");
}

// Check on its own, at chosen moments of 6 December 2026.
class WarningsCheck : public ::testing::Test {
protected:
    using Texts = std::vector<std::string>;
    WarningsCheck() {
        d.PokeValue(platform::kHkeyLocalMachine, settings::kSettingsKey, "WarnPlayersMinutes", platform::reg::kDword,
                    {10, 0, 0, 0});
        d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
        warnings.onNotSent = [this](const std::string& what) { notSent.push_back(what); };
    }
    Texts CheckAt(int hour, int minute, int second, const std::vector<app::ComingReset>& coming) {
        const std::uint64_t at = static_cast<std::uint64_t>(((hour - 9) * 60 + minute) * 60 + second) * 1000;
        EXPECT_GE(at, d.NowMs());
        d.AdvanceIdle(at - d.NowMs());
        return warnings.Check(coming, 3, [](const std::string&) { return true; });
    }
    platform::sim::SimDesktop d;
    app::ResetWarnings warnings{d};
    Texts notSent;
    const std::vector<app::ComingReset> resets{{"Public Messages", "12/06/26 09:30 AM"}};
};

TEST_F(WarningsCheck, AMissedWarningGoesLateWithTheMinutesLeftWhileOneIsLeft) {
    EXPECT_TRUE(CheckAt(9, 0, 0, resets).empty());
    // No check came at 09:20 (a long poll interval, a busy server, ...).
    EXPECT_EQ(CheckAt(9, 23, 30, resets), Texts{"Server maintenance in 7 minutes"});
    EXPECT_TRUE(CheckAt(9, 24, 0, resets).empty());  // once
    EXPECT_TRUE(CheckAt(9, 28, 59, resets).empty());
    EXPECT_EQ(CheckAt(9, 29, 30, resets), Texts{"Server maintenance in 1 minute"});
    EXPECT_TRUE(CheckAt(9, 29, 50, resets).empty());
    EXPECT_TRUE(notSent.empty());

    // Both warnings missed: one with the minutes left, not two.
    const std::vector<app::ComingReset> later{{"Store Inventory", "12/06/26 09:40 AM"}};
    EXPECT_EQ(CheckAt(9, 39, 10, later), Texts{"Server maintenance in 1 minute"});
    EXPECT_TRUE(CheckAt(9, 39, 40, later).empty());
    EXPECT_TRUE(notSent.empty());

    // No check while a minute was left: nothing goes, and the log hears of
    // each warning, once.
    const std::vector<app::ComingReset> missed{{"Confinement", "12/06/26 09:50 AM"}};
    EXPECT_TRUE(CheckAt(9, 50, 5, missed).empty());
    ASSERT_EQ(notSent.size(), 2u);
    for (const std::string& line : notSent) EXPECT_EQ(line.rfind("Confinement: ", 0), 0u) << line;
    EXPECT_NE(notSent[0].find("in 10 minutes"), std::string::npos) << notSent[0];
    EXPECT_NE(notSent[1].find("in 1 minute"), std::string::npos) << notSent[1];
    EXPECT_TRUE(CheckAt(9, 50, 10, missed).empty());
    EXPECT_EQ(notSent.size(), 2u);

    // The row ran and moved on; the operator sets the same time again: a
    // new run, whose missed warnings the log hears of too.
    EXPECT_TRUE(CheckAt(9, 51, 0, {}).empty());
    EXPECT_TRUE(CheckAt(9, 52, 0, missed).empty());
    EXPECT_EQ(notSent.size(), 4u);
}

TEST_F(WarningsCheck, SettingsTheRegistryCannotReadAtTheMinuteAreTheOnesLastRead) {
    d.PokeString(platform::kHkeyLocalMachine, settings::kSettingsKey, "WarnPlayersText", "Down in {minutes} minutes");
    EXPECT_TRUE(CheckAt(9, 0, 0, resets).empty());
    d.registryFault = [](const std::string& op, const std::string& path, const std::string&) {
        return op == "query" && path.find("Warnings Sent") == std::string::npos ? 1450L : 0L;
    };
    EXPECT_EQ(CheckAt(9, 20, 0, resets), Texts{"Down in 10 minutes"});
    EXPECT_EQ(CheckAt(9, 29, 0, resets), Texts{"Down in 1 minute"});
    EXPECT_TRUE(notSent.empty());
}

TEST_F(WarningsCheck, AResetRunEarlyAndSetAgainForTheSameTimeIsWarnedAfresh) {
    EXPECT_EQ(CheckAt(9, 20, 0, resets), Texts{"Server maintenance in 10 minutes"});
    // Run by hand before its time, its row moved on; the operator sets the
    // same time again while it is still to come: the players hear of it.
    EXPECT_TRUE(CheckAt(9, 21, 0, {}).empty());
    EXPECT_EQ(CheckAt(9, 21, 30, resets), Texts{"Server maintenance in 9 minutes"});
    EXPECT_TRUE(notSent.empty());
}

// Daylight saving ends after the warnings went: the reset's time comes round
// an hour later, and the players hear of it again then.
TEST_F(WarningsCheck, AClockThatWentBackWarnsAgainWhenTheTimeComesRound) {
    EXPECT_EQ(CheckAt(9, 20, 0, resets), Texts{"Server maintenance in 10 minutes"});
    d.ShiftLocalTime(-3600000);
    const auto check = [&] { return warnings.Check(resets, 3, [](const std::string&) { return true; }); };
    EXPECT_TRUE(check().empty());  // 08:20 now
    d.AdvanceIdle(60 * 60000);     // 09:20 again
    EXPECT_EQ(check(), Texts{"Server maintenance in 10 minutes"});
    EXPECT_TRUE(check().empty());
    // A correction of seconds across a minute says nothing twice.
    d.AdvanceIdle(55000);
    d.ShiftLocalTime(-10000);
    EXPECT_TRUE(check().empty());
    EXPECT_TRUE(notSent.empty());
}

// The same, when what went is known only from the registry: Harrowatch was
// started again after the warning went. The clock set back, then forward
// again, says each warning once more when its time comes round, and loses none.
TEST_F(WarningsCheck, AClockThatWentBackAfterARestartWarnsAgainOnceAndLosesNone) {
    EXPECT_EQ(CheckAt(9, 20, 0, resets), Texts{"Server maintenance in 10 minutes"});
    app::ResetWarnings restarted{d};
    restarted.onNotSent = [this](const std::string& what) { notSent.push_back(what); };
    int sends = 0;
    const auto check = [&] {
        return restarted.Check(resets, 3, [&](const std::string&) { return ++sends, true; });
    };
    EXPECT_TRUE(check().empty());  // no second warning for the restart itself
    d.ShiftLocalTime(-3600000);
    EXPECT_TRUE(check().empty());  // 08:20 now
    d.AdvanceIdle(60 * 60000);     // 09:20 again
    EXPECT_EQ(check(), Texts{"Server maintenance in 10 minutes"});
    EXPECT_TRUE(check().empty());
    // Set back a few minutes and forward again before a check saw it: nothing twice.
    d.ShiftLocalTime(-5 * 60000);
    d.ShiftLocalTime(5 * 60000);
    d.AdvanceIdle(30000);
    EXPECT_TRUE(check().empty());
    d.AdvanceIdle(9 * 60000);  // 09:29:30
    EXPECT_EQ(check(), Texts{"Server maintenance in 1 minute"});
    EXPECT_TRUE(check().empty());
    EXPECT_EQ(sends, 2);
    EXPECT_TRUE(notSent.empty());
}

TEST_F(WarningsTest, AtTenAndAtOneMinuteWithPlayersOnlineAndTheResetOnTime) {
    Start("active\nat 0 players 3\n");
    Run(19 * 60000 + 30000);  // 09:19:30: nothing yet
    EXPECT_TRUE(Sent().empty());
    Run(60000);  // 09:20:30
    EXPECT_EQ(Sent(), std::vector<std::string>{"Server maintenance in 10 minutes"});
    Run(9 * 60000);  // 09:29:30
    EXPECT_EQ(Sent(), (std::vector<std::string>{"Server maintenance in 10 minutes", "Server maintenance in 1 minute"}));
    EXPECT_EQ(server().effects().messageDeletes, 0);
    Run(60000);  // 09:30:30: the reset, at its time, as ever
    EXPECT_EQ(server().effects().messageDeletes, 1);
    EXPECT_EQ(Sent().size(), 2u);
    EXPECT_EQ(form.ResetItemGrid.TextMatrix(1, schedule::kColNextTime), "12/07/26 09:30 AM");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WarningsTest, NoneWhileNoPlayerIsOnline) {
    Start("active\n");
    Run(31 * 60000);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(server().effects().messageDeletes, 1);
}

TEST_F(WarningsTest, AWarningThatCannotBeSentIsLoggedAndTheResetStillRunsOnTime) {
    // A reset without dialogs, and a send dialog that never comes.
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Hall of Records|12/06/26 09:30 AM");
    Start("active\nat 0 players 2\ndialogs none\n");
    const std::string data = std::string(kGameFolder) + "System\\Kaltor\\KALTORHallInfo.KLD";
    Run(29 * 60000 + 50000);
    EXPECT_TRUE(d.HasFile(data));
    Run(60000);
    int notSent = 0;
    for (const auto& e : form.Events.Recent()) notSent += e.id == supervision::EventId::WarningNotSent;
    EXPECT_EQ(notSent, 2);
    EXPECT_NE(d.FileContent(form.Log.TodaysFile()).find("WARNING Warning to the players not sent: Hall of Records"),
              std::string::npos);
    EXPECT_FALSE(d.HasFile(data));  // the reset ran at its time all the same
    EXPECT_EQ(form.ResetItemGrid.TextMatrix(1, schedule::kColNextTime), "12/07/26 09:30 AM");
}

TEST_F(WarningsTest, NoSecondWarningAfterARestartOfHarrowatch) {
    Start("active\nat 0 players 3\n");
    Run(20 * 60000 + 30000);
    ASSERT_EQ(Sent().size(), 1u);
    // Harrowatch starts again within the same minute (a fresh policy, what
    // was sent read back from the registry): the warning is not sent twice.
    app::ResetWarnings warnings(d);
    int sends = 0;
    warnings.Check({{"Public Messages", "12/06/26 09:30 AM"}}, 3, [&](const std::string&) { return ++sends, true; });
    EXPECT_EQ(sends, 0);
    // Once the reset has passed, what was remembered for it goes.
    Run(11 * 60000);
    warnings.Check({}, 3, [&](const std::string&) { return true; });
    std::vector<std::string> left;
    settings::cRegistry reg(d);
    reg.SetClassKey(settings::kHkeyLocalMachine);
    reg.SetSectionKey(app::kWarnedKey);
    std::int32_t count = 0;
    reg.EnumerateValues(left, count);
    EXPECT_EQ(count, 0);
}

// A reset that failed is tried again after a pause; the players hear of each
// try as of the first.
TEST_F(WarningsTest, ARetriedResetIsAnnouncedLikeAFirstTry) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Hall of Records|12/06/26 09:30 AM");
    Start("active\nat 0 players 3\nhold-file KALTORHallInfo.KLD\n");
    const std::string data = std::string(kGameFolder) + "System\\Kaltor\\KALTORHallInfo.KLD";
    const std::string ten = "Server maintenance in 10 minutes", one = "Server maintenance in 1 minute";
    Run(30 * 60000 + 10000);  // 09:30:10: the first try has failed; its retry comes a minute on
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(d.HasFile(data));
    EXPECT_EQ(Sent(), (std::vector<std::string>{ten, one, one}));
    Run(65000);  // 09:31:15: the retry has failed too; the next comes two minutes on
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(Sent(), (std::vector<std::string>{ten, one, one, "Server maintenance in 2 minutes"}));
    Run(55000);  // 09:32:10
    EXPECT_EQ(Sent(), (std::vector<std::string>{ten, one, one, "Server maintenance in 2 minutes", one}));
    Run(65000);  // 09:33:15: tried as announced, failed, and announced again
    EXPECT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(Sent().size(), 6u);
    EXPECT_EQ(Sent().back(), "Server maintenance in 4 minutes");
    int notSent = 0;
    for (const auto& e : form.Events.Recent()) notSent += e.id == supervision::EventId::WarningNotSent;
    EXPECT_EQ(notSent, 0);
}

// The warnings' own records in the registry can be neither written nor deleted:
// the warnings still go, once each, the reset runs at its time, and the
// failure is told once.
TEST_F(WarningsTest, ARegistryFailureInTheWarningsStepNeitherBlocksTheScheduleNorRepeatsAWarning) {
    d.PokeValue(platform::kHkeyLocalMachine, app::kWarnedKey, "Public Messages|12/05/26 09:30 AM|10",
                platform::reg::kDword, {1, 0, 0, 0});
    d.registryFault = [](const std::string& op, const std::string& path, const std::string&) {
        const bool warned = path.find("Warnings Sent") != std::string::npos;
        return warned && (op == "setvalue" || op == "deletevalue") ? platform::err::kAccessDenied : 0L;
    };
    Start("active\nat 0 players 3\n");
    Run(31 * 60000);
    EXPECT_EQ(server().effects().messageDeletes, 1);
    EXPECT_EQ(form.ResetItemGrid.TextMatrix(1, schedule::kColNextTime), "12/07/26 09:30 AM");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"Server maintenance in 10 minutes", "Server maintenance in 1 minute"}));
    ASSERT_TRUE(OneBoxSaying(boxes, {" - FormRefresh"}));
}

}  // namespace
}  // namespace hw::testing
