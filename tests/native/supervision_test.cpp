// Supervision over long stretches of virtual time: a server that keeps
// crashing, one that hangs, the day logs over a month, a log that cannot be
// written.
#include <gtest/gtest.h>

#include <algorithm>

#include "native/main_window_fixture.h"
#include "settings/settings.h"
#include "supervision/backoff.h"
#include "supervision/backups.h"
#include "supervision/event_log.h"
#include "supervision/log.h"

namespace hw::testing {
namespace {

using supervision::EventId;

using SupervisionTest = MainWindowTest;

TEST(RelaunchBackoff, DoublesFromFiveSecondsToFiveMinutesAndStartsAfreshAfterAMinute) {
    supervision::RelaunchBackoff b;
    std::uint64_t now = 0;
    std::vector<std::uint64_t> waits;
    for (int i = 0; i < 9; ++i) {
        b.Launched(now);
        now += 4000;
        waits.push_back(b.Ended(now, false) / 1000);
        now = b.RelaunchAt();
    }
    EXPECT_EQ(waits, (std::vector<std::uint64_t>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
    EXPECT_EQ(b.QuickEnds(), 9);
    b.Launched(now);
    EXPECT_EQ(b.Ended(now + 60000, false), 0u);  // a run of a minute
    EXPECT_EQ(b.QuickEnds(), 0);
    b.Launched(now);
    EXPECT_EQ(b.Ended(now + 1000, true), 0u);  // closed by Harrowatch: no quick end
    EXPECT_FALSE(b.Waiting(now + 1000));
}

TEST_F(SupervisionTest, AServerCrashingEveryFourSecondsIsRelaunchedWithBackOffForAnHour) {
    Start("at 4000 crash\n");
    std::vector<std::uint64_t> launches{0};
    std::string heldLabel;
    for (std::uint64_t t = 0; t < 3600000; t += 1000) {
        Run(1000);
        if (standins.Launches() > launches.size()) launches.push_back(d.NowMs());
        if (form.lblStatusLocalServer.Text().rfind("RELAUNCH AT ", 0) == 0) heldLabel = form.lblStatusLocalServer.Text();
        if (d.NowMs() == 90000) {  // the figure: 3 to 6 launches in the first 90 s
            EXPECT_GE(standins.Launches(), 3u);
            EXPECT_LE(standins.Launches(), 6u);
        }
    }
    // Without the back-off it would be relaunched about every 5 s: 700 times.
    EXPECT_GE(launches.size(), 14u);
    EXPECT_LE(launches.size(), 20u);
    const std::uint64_t lastGap = launches.back() - launches[launches.size() - 2];
    EXPECT_GE(lastGap, 300000u);  // it never gives up: every five minutes
    EXPECT_LE(lastGap, 312000u);
    EXPECT_EQ(heldLabel.size(), std::string("RELAUNCH AT hh:mm:ss").size()) << heldLabel;
    EXPECT_GT(Count(EventId::RelaunchDelayed), 10);
    const std::string log = TodaysLog();
    EXPECT_NE(log.find("WARNING Relaunch delayed: launched again in 300 s"), std::string::npos);
    EXPECT_NE(log.find("WARNING Server ended: process id"), std::string::npos);
    EXPECT_NE(log.find(", exit code 3, after "), std::string::npos) << log.substr(0, 2000);  // the crash's code
    EXPECT_TRUE(boxes.shown.empty());
    // The crashes and the crash loop are in the Application event log too,
    // under Harrowatch's source, with the message table's ids.
    const auto& logged = d.EventLog();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front().source, "Harrowatch");
    EXPECT_EQ(logged.front().type, 2);
    EXPECT_EQ(logged.front().id, 0x80000005u);  // a warning: "Server ended: %1"
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const auto& e) { return e.id == 0x80000006u; }));
    EXPECT_TRUE(std::none_of(logged.begin(), logged.end(), [](const auto& e) { return e.type == 4; }));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(d.PeekValue(platform::kHkeyLocalMachine, supervision::kEventSourceKey, "EventMessageFile", type, file));
    EXPECT_EQ(std::string(file.begin(), file.end() - 1), d.GetOwnModuleFileName());

    // An operator command that needs the server launches it at once.
    while (!form.Harrowatch->RelaunchHeld()) Run(1000);
    const auto before = standins.Launches();
    form.Toolbar_ButtonClick(app::kShowServer);
    EXPECT_EQ(standins.Launches(), before + 1);
}

TEST_F(SupervisionTest, AHungServerIsProbedNotRelaunchedAndEndedOnlyWhenAsked) {
    Start("active\nat 10000 hang 600000\n");
    Run(21000);
    // Each poll of the hung server costs one short probe, no more.
    const std::uint64_t before = d.NowMs();
    form.FormRefresh();
    EXPECT_LE(d.NowMs() - before, server::kProbeMs + 10);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT RESPONDING");
    EXPECT_EQ(form.Tray.TrayIconData().szTip, "Server not responding");
    Run(600000);
    EXPECT_EQ(standins.Launches(), 1u);  // still running: not relaunched
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    EXPECT_EQ(Count(EventId::RespondingAgain), 1);
    EXPECT_NE(form.lblStatusLocalServer.Text(), "NOT RESPONDING");
    EXPECT_NE(TodaysLog().find("WARNING Server not responding"), std::string::npos);
}

TEST_F(SupervisionTest, ABusySpellUnderFiveSecondsRaisesNothing) {
    Interval("1000");
    Start("active\nat 5000 hang 4000\nat 20000 hang 3000\n");
    bool saidSo = false;
    for (int i = 0; i < 60; ++i) {
        Run(500);
        saidSo |= form.lblStatusLocalServer.Text() == "NOT RESPONDING";
    }
    EXPECT_FALSE(saidSo);
    // A server that is slow to take each probe, busy a little over a second
    // each time, fails probe after probe for far more than five seconds,
    // yet takes its messages between them: Windows calls that no hang.
    d.beforeSendToOthers = [&](platform::Hwnd, std::uint32_t message) {
        if (message == 0 && !d.IsHung(ServerPid())) d.HangProcess(ServerPid(), 1300);
    };
    for (int i = 0; i < 60; ++i) {
        Run(500);
        saidSo |= form.lblStatusLocalServer.Text() == "NOT RESPONDING";
    }
    d.beforeSendToOthers = nullptr;
    EXPECT_FALSE(saidSo);
    EXPECT_EQ(Count(EventId::NotResponding), 0);
    EXPECT_EQ(Count(EventId::RespondingAgain), 0);
    EXPECT_EQ(standins.Launches(), 1u);
}

// A server that takes one message every four seconds, never a probe: no
// hang by Windows' test, but one for the operator, and HungRestartMinutes
// ends it.
TEST_F(SupervisionTest, ASilenceBrokenOnlyByOtherMessagesIsAHangAllTheSame) {
    Interval("1000");
    Setting("HungRestartMinutes", 2);
    Start("active\n");
    Run(6000);
    const platform::Pid hung = ServerPid();
    Run(500);  // its free moments fall between the probes
    for (int i = 0; i < 60 && d.FindProcess(hung)->alive; ++i) {
        d.HangProcess(hung, 3990);
        Run(4000);
    }
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    EXPECT_EQ(Count(EventId::HungServerEnded), 1);
}

// The operator's commands switch the poll off and on: with a long interval,
// commands less than an interval apart must not keep postponing it.
TEST_F(SupervisionTest, TheOperatorsCommandsDoNotPostponeThePoll) {
    Interval("60000");
    Start("active\n");
    Run(61000);
    d.HangProcess(ServerPid(), 600000);
    const std::uint64_t hungAt = d.NowMs();
    while (!Count(EventId::NotResponding) && d.NowMs() - hungAt < 200000) {
        Run(20000);
        form.Toolbar_ButtonClick(app::kHideServer);
    }
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    EXPECT_LE(d.NowMs() - hungAt, 60000u + 5000u + 2 * 20000u);
}

TEST_F(SupervisionTest, AHangIsToldAfterFiveSilentSecondsOnceAndItsEndOnceAndAnotherServerStartsAfresh) {
    Interval("1000");
    Start("active\n");
    Run(6000);
    const std::uint64_t hangAt = d.NowMs();
    d.HangProcess(ServerPid(), 20000);
    std::uint64_t toldAt = 0;
    for (int i = 0; i < 120 && !toldAt; ++i) {
        // The polls meanwhile send nothing more into the hung server than their probe.
        const std::uint64_t before = d.NowMs();
        Run(250);
        EXPECT_LE(d.NowMs() - before, 250u + server::kProbeMs);
        if (Count(EventId::NotResponding)) toldAt = d.NowMs();
    }
    ASSERT_NE(toldAt, 0u);
    EXPECT_GE(toldAt - hangAt, 5000u);
    EXPECT_LE(toldAt - hangAt, 5000u + 1000u + server::kProbeMs + 250u);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT RESPONDING");
    Run(30000);
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    EXPECT_EQ(Count(EventId::RespondingAgain), 1);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "ACTIVE - 0 players");

    // Another server process starts its silence afresh.
    Run(61000);
    const platform::Pid first = ServerPid();
    d.HangProcess(first, 600000);
    Run(3000);  // silent, not yet told
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    d.KillProcess(first);
    // The next server hangs as the first probe reaches it.
    std::uint64_t nextHangAt = 0;
    d.beforeSendToOthers = [&](platform::Hwnd h, std::uint32_t message) {
        platform::Pid owner = 0;
        d.GetWindowThreadProcessId(h, &owner);
        if (message == 0 && !nextHangAt && owner != first) {
            nextHangAt = d.NowMs();
            d.HangProcess(owner, 600000);
        }
    };
    const int told = Count(EventId::NotResponding);
    std::uint64_t nextToldAt = 0;
    for (int i = 0; i < 200 && !nextToldAt; ++i) {
        Run(250);
        if (Count(EventId::NotResponding) > told) nextToldAt = d.NowMs();
    }
    d.beforeSendToOthers = nullptr;
    ASSERT_NE(nextHangAt, 0u);
    ASSERT_NE(nextToldAt, 0u);
    EXPECT_GE(nextToldAt - nextHangAt, 5000u);
}

TEST_F(SupervisionTest, TheWayOutOfACrashLoopIsToldOnceAfterAMinutesRun) {
    Start("at 4000 crash\n");
    Run(150000);
    ASSERT_GE(form.Harrowatch->QuickEnds(), 2);
    // Balloons meanwhile: one a minute of each kind.
    std::vector<std::string> titles;
    for (const auto& b : shell.balloons) titles.push_back(b.szInfoTitle);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles[0], "Server crashed");
    const auto crashes = std::count_if(titles.begin(), titles.end(),
                                       [](const std::string& t) { return t.rfind("Server crashed", 0) == 0; });
    EXPECT_GE(crashes, 2);
    EXPECT_LE(crashes, 3);
    EXPECT_TRUE(std::any_of(titles.begin(), titles.end(),
                            [](const std::string& t) { return t.rfind("Server relaunch delayed", 0) == 0; }));
    EXPECT_EQ(Count(EventId::RelaunchedAfterCrashes), 0);  // still in the loop
    standins.SetScript("active\n");
    const auto launches = standins.Launches();
    while (standins.Launches() == launches) Run(1000);
    const std::uint64_t launchedAt = d.NowMs();
    while (d.NowMs() - launchedAt < 55000) {
        Run(1000);
        ASSERT_EQ(Count(EventId::RelaunchedAfterCrashes), 0) << d.NowMs() - launchedAt;
    }
    Run(15000);
    EXPECT_EQ(Count(EventId::RelaunchedAfterCrashes), 1);
    Run(300000);
    EXPECT_EQ(Count(EventId::RelaunchedAfterCrashes), 1);
    EXPECT_NE(TodaysLog().find("INFO Server relaunched after repeated crashes: process id"), std::string::npos);
}

TEST_F(SupervisionTest, AServerThatNeverShowsItsFormIsGivenAMinuteThenCountsAsNotResponding) {
    Setting("HungRestartMinutes", 2);
    bool loaded = false, iconWhileStarting = false;
    std::string tipWhileStarting;
    d.ScheduleAt(1000, d.OwnPid(), [&] {
        iconWhileStarting = shell.shown;
        tipWhileStarting = shell.icon.szTip;
    });
    // Without an end to the wait the start would never return: the server
    // goes, and the next one comes up.
    d.ScheduleAt(150000, d.OwnPid(), [&] {
        if (loaded) return;
        standins.SetScript("");
        d.KillProcess(ServerPid());
    });
    Start("no-config\n");
    loaded = true;
    EXPECT_TRUE(iconWhileStarting);  // the operator can reach Harrowatch while it waits
    EXPECT_EQ(tipWhileStarting, "STARTING KALTOR....");
    EXPECT_GE(d.NowMs(), 60000u);
    ASSERT_LT(d.NowMs(), 62000u);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NO CONFIGURATION FORM");
    EXPECT_NE(TodaysLog().find("the server showed no \"Server Configuration\" form within 60 s"), std::string::npos)
        << TodaysLog();
    EXPECT_EQ(Count(EventId::NotResponding), 1);
    EXPECT_TRUE(boxes.shown.empty());
    // Silent since its launch: HungRestartMinutes ends it, and the poll launches it again.
    Run(2 * 60000 - 60000 + 12000);
    EXPECT_EQ(Count(EventId::HungServerEnded), 1);
    EXPECT_EQ(standins.Launches(), 2u);
}

TEST(ActionLog, OneFileADayOldOnesGoAndEachLineCarriesTimeOffsetAndLevel) {
    platform::sim::SimDesktop d;
    d.PokeValue(platform::kHkeyLocalMachine, settings::kSettingsKey, "LogDays", platform::reg::kDword, {5, 0, 0, 0});
    supervision::ActionLog log(d);
    for (int day = 1; day <= 31; ++day) {
        d.SetStartTime({2026, 12, day, 9, 30, 5, 0});
        log.Take({EventId::ServerLaunched, supervision::Level::Information, "process id 104 \xE9"});
    }
    std::vector<std::string> names;
    ASSERT_EQ(d.ListFolder("C:\\ProgramData\\Harrowatch\\Logs", names), 0);
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 6u);  // today and the five days before
    EXPECT_EQ(names.front(), "Harrowatch-2026-12-26.log");
    EXPECT_EQ(names.back(), "Harrowatch-2026-12-31.log");
    EXPECT_EQ(d.FileContent(log.TodaysFile()),
              "2026-12-31 09:30:05+01:00 INFO Server launched: process id 104 \xC3\xA9\r\n");
    d.SetUtcOffsetMinutes(-330);
    EXPECT_EQ(supervision::ActionLog::Line({2027, 1, 2, 23, 4, 5, 0}, -330,
                                           {EventId::ResetFailed, supervision::Level::Error, "x\r\ny"}),
              "2027-01-02 23:04:05-05:30 ERROR Scheduled reset failed: x\\x0D\\x0Ay\r\n");
}

TEST(ActionLog, AnsiTextIsWrittenAsUtf8AndControlCharactersAsEscapesOnOneLine) {
    platform::sim::SimDesktop d;
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    supervision::ActionLog log(d);
    // Windows-1252 from the server's windows: quotes, the euro, the ellipsis.
    log.Take({EventId::MessageSent, supervision::Level::Information,
              "\x93" "Back at 8\x94 \x80 5 \x85 it\x92s\tdone\r\nnext\x01\x7F\x81 caf\xE9"});
    EXPECT_EQ(d.FileContent(log.TodaysFile()),
              "2026-12-06 09:00:00+01:00 INFO Message sent to the players: \u201CBack at 8\u201D \u20AC 5 \u2026 "
              "it\u2019s\\x09done\\x0D\\x0Anext\\x01\\x7F\\x81 caf\u00E9\r\n");
    // C1 controls (U+0085 ends a line for some readers) are escaped too.
    EXPECT_EQ(supervision::ActionLog::Line({2026, 12, 6, 9, 0, 0, 0}, 60,
                                           {EventId::ServerEnded, supervision::Level::Warning, "a\u0085b\u009Fc\u00A0d"}),
              "2026-12-06 09:00:00+01:00 WARNING Server ended: a\\x85b\\x9Fc\u00A0d\r\n");
}

TEST_F(SupervisionTest, ALogThatCannotBeWrittenIsRaisedOnceAndAgainOnlyAfterItWasWrittenInBetween) {
    Start("active\n");
    Run(10000);
    ASSERT_FALSE(TodaysLog().empty());
    auto toldInEventLog = [&] {
        return std::count_if(d.EventLog().begin(), d.EventLog().end(),
                             [](const auto& e) { return e.id == 0x8000000Fu && e.type == 2; });
    };
    d.SetDiskSpace(d.DiskUsed());  // the disk is full
    for (int i = 0; i < 3; ++i) form.Events.Raise(EventId::ErrorReported, "while the disk is full");
    EXPECT_EQ(Count(EventId::LogUnwritable), 1);
    EXPECT_EQ(toldInEventLog(), 1);
    EXPECT_EQ(TodaysLog().find("while the disk is full"), std::string::npos);

    d.SetDiskSpace(UINT64_MAX);
    form.Events.Raise(EventId::ErrorReported, "with room again");
    ASSERT_NE(TodaysLog().find("with room again"), std::string::npos);
    d.SetDiskSpace(d.DiskUsed());
    for (int i = 0; i < 2; ++i) form.Events.Raise(EventId::ErrorReported, "full again");
    EXPECT_EQ(Count(EventId::LogUnwritable), 2);
    EXPECT_EQ(toldInEventLog(), 2);
}

TEST(ActionLog, AFolderThatCannotBeWrittenIsToldOnceAndStopsNothing) {
    platform::sim::SimDesktop d;
    d.SetFolderReadOnly("C:\\ProgramData\\Harrowatch");
    supervision::ActionLog log(d);
    std::vector<std::string> told;
    log.onUnwritable = [&](const std::string& why) { told.push_back(why); };
    supervision::Events events;
    events.AddSink(&log);
    for (int i = 0; i < 5; ++i) events.Raise(EventId::ServerEnded, "process id 9");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("C:\\ProgramData\\Harrowatch\\Logs"), std::string::npos);
    EXPECT_EQ(events.Recent().size(), 5u);
}

TEST(ActionLog, KeepsTheNewestLogDaysWhateverTheClockSaysAndRemovesOnlyItsOwnNames) {
    platform::sim::SimDesktop d;
    d.PokeValue(platform::kHkeyLocalMachine, settings::kSettingsKey, "LogDays", platform::reg::kDword, {3, 0, 0, 0});
    const std::string logs = "C:\\ProgramData\\Harrowatch\\Logs\\";
    for (int day = 1; day <= 5; ++day) d.WriteFile(logs + "Harrowatch-2026-12-0" + std::to_string(day) + ".log", "old");
    const std::vector<std::string> others{"Harrowatch-2026-11-1.log", "Harrowatch-2026-1-01.log",
                                          "Harrowatch-2026-11-01.log.txt", "Harrowatch-2026-11-01 copy.log",
                                          "Other-2026-11-01.log"};
    for (const std::string& o : others) d.WriteFile(logs + o, "someone else's");
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    supervision::ActionLog log(d);
    log.Take({EventId::Started, supervision::Level::Information, ""});
    EXPECT_FALSE(d.HasFile(logs + "Harrowatch-2026-12-02.log"));
    EXPECT_TRUE(d.HasFile(logs + "Harrowatch-2026-12-03.log"));
    // The clock jumps ten years ahead: the newest three days stay.
    d.SetStartTime({2036, 12, 6, 9, 0, 0, 0});
    log.Take({EventId::Started, supervision::Level::Information, ""});
    EXPECT_FALSE(d.HasFile(logs + "Harrowatch-2026-12-03.log"));
    for (const char* kept : {"Harrowatch-2026-12-04.log", "Harrowatch-2026-12-05.log", "Harrowatch-2026-12-06.log",
                             "Harrowatch-2036-12-06.log"})
        EXPECT_TRUE(d.HasFile(logs + kept)) << kept;
    for (const std::string& o : others) EXPECT_TRUE(d.HasFile(logs + o)) << o;
}

TEST(ActionLog, AFullDiskIsCleanedUpBeforeTheDaysFirstLineAndWhenALineFails) {
    platform::sim::SimDesktop d;
    const std::string logs = "C:\\ProgramData\\Harrowatch\\Logs\\";
    for (int day = 1; day <= 5; ++day)
        d.WriteFile(logs + "Harrowatch-2026-11-0" + std::to_string(day) + ".log", std::string(500, 'x'));
    d.PokeValue(platform::kHkeyLocalMachine, settings::kSettingsKey, "LogDays", platform::reg::kDword, {3, 0, 0, 0});
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    d.SetDiskSpace(d.DiskUsed());
    supervision::ActionLog log(d);
    std::vector<std::string> told;
    log.onUnwritable = [&](const std::string& why) { told.push_back(why); };
    log.Take({EventId::Started, supervision::Level::Information, "first"});
    EXPECT_NE(d.FileContent(log.TodaysFile()).find("first"), std::string::npos);
    EXPECT_FALSE(d.HasFile(logs + "Harrowatch-2026-11-02.log"));
    EXPECT_TRUE(d.HasFile(logs + "Harrowatch-2026-11-03.log"));
    // Later the same day fewer days are to be kept, and the disk fills: the
    // failed line cleans up, and goes in after all.
    d.PokeValue(platform::kHkeyLocalMachine, settings::kSettingsKey, "LogDays", platform::reg::kDword, {2, 0, 0, 0});
    d.SetDiskSpace(d.DiskUsed());
    log.Take({EventId::Exited, supervision::Level::Information, "second"});
    EXPECT_NE(d.FileContent(log.TodaysFile()).find("second"), std::string::npos);
    EXPECT_FALSE(d.HasFile(logs + "Harrowatch-2026-11-04.log"));
    EXPECT_TRUE(d.HasFile(logs + "Harrowatch-2026-11-05.log"));  // today's and this one: the newest two
    EXPECT_TRUE(told.empty());
}

TEST(BackupCleanUp, KeepsTheNewestBackupDaysWhateverTheClockSaysAndRemovesOnlyItsOwnNames) {
    platform::sim::SimDesktop d;
    for (const char* day : {"2026-11-01", "2026-11-20", "2026-12-01"}) d.WriteFile(kBackups + day + "\\a.KLD", "a");
    const std::vector<std::string> others{"2026-11-1\\a.KLD", " 2026-11-01\\a.KLD", "2026-11-01 old\\a.KLD",
                                          "2026-13-01\\a.KLD", "Saved\\a.KLD", "2026-11-01.zip"};
    for (const std::string& o : others) d.WriteFile(kBackups + o, "someone else's");
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    supervision::RemoveOldBackups(d, 2, UINT64_MAX);
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-11-01"));
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-11-20"));  // among the newest two there are
    d.SetStartTime({2036, 12, 6, 9, 0, 0, 0});
    supervision::RemoveOldBackups(d, 2, UINT64_MAX);
    EXPECT_TRUE(d.HasFile(kBackups + "2026-11-20\\a.KLD"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-01\\a.KLD"));
    for (const std::string& o : others) EXPECT_TRUE(d.HasFile(kBackups + o)) << o;
}

TEST(BackupCleanUp, KeptForeverTheOldestDaysGoOnceTheCapIsPassedButNeverTheNewest) {
    platform::sim::SimDesktop d;
    d.WriteFile(kBackups + "2026-12-01\\a.KLD", std::string(200, 'a'));
    d.WriteFile(kBackups + "2026-12-01\\b.KLD", std::string(200, 'b'));
    d.WriteFile(kBackups + "2026-12-02\\a.KLD", std::string(500, 'a'));
    d.WriteFile(kBackups + "2026-12-03\\a.KLD", std::string(600, 'a'));
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    supervision::RemoveOldBackups(d, 0, 1500);  // 1500 in all: within the cap
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-12-01"));
    supervision::RemoveOldBackups(d, 0, 1500, 100);  // a copy of 100 to come
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-01"));
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-12-02"));
    supervision::RemoveOldBackups(d, 0, 100);
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-02"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-03\\a.KLD"));  // the newest day, even alone past the cap
    // The clock put back: today's folder is no older, nor the newest, and
    // both stay.
    d.SetStartTime({2026, 11, 30, 9, 0, 0, 0});
    d.WriteFile(kBackups + "2026-11-30\\a.KLD", std::string(50, 'a'));
    supervision::RemoveOldBackups(d, 0, 100);
    EXPECT_TRUE(d.HasFile(kBackups + "2026-11-30\\a.KLD"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-03\\a.KLD"));
}

// A file still in use is not gone: its bytes still count against the cap,
// and the next day goes too.
TEST(BackupCleanUp, AFileThatCannotBeDeletedStillCountsAgainstTheCap) {
    platform::sim::SimDesktop d;
    d.WriteFile(kBackups + "2026-12-01\\a.KLD", std::string(200, 'a'));
    d.WriteFile(kBackups + "2026-12-01\\b.KLD", std::string(400, 'b'));
    d.WriteFile(kBackups + "2026-12-02\\a.KLD", std::string(300, 'a'));
    d.WriteFile(kBackups + "2026-12-03\\a.KLD", std::string(300, 'a'));
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    d.SetFileLocked(kBackups + "2026-12-01\\b.KLD", true);
    supervision::RemoveOldBackups(d, 0, 700);
    EXPECT_FALSE(d.HasFile(kBackups + "2026-12-01\\a.KLD"));
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-02"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-03\\a.KLD"));
}


// A file left alone keeps its old copy only while that copy is there: when
// the clean-up for today's copies takes the day that held it, it is copied
// again before the reset can change it.
TEST(DataFolderCopies, AnUnchangedFileWhoseCopyTheCleanUpTookIsCopiedAgain) {
    platform::sim::SimDesktop d;
    const std::string hall(600, 'h');
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", hall);
    d.WriteFile(kDataFolder + "KALTORState.KLD", "s");
    supervision::DataFolderCopies copies;
    const supervision::BackupLimits limits{0, 900};
    supervision::FolderCopy first = copies.CopyChanged(d, kDataFolder, limits);
    ASSERT_EQ(first.folderError, 0);
    EXPECT_EQ(first.files, (std::map<std::string, long>{{"KALTORHALLINFO.KLD", 0}, {"KALTORSTATE.KLD", 0}}));
    ASSERT_TRUE(d.FileContent(kBackups + "2026-12-06\\KALTORHallInfo.KLD") == hall);

    d.WriteFile(kBackups + "2026-12-07\\note.txt", "a day of its own");
    d.SetStartTime({2026, 12, 8, 9, 0, 0, 0});
    d.WriteFile(kDataFolder + "KALTORState.KLD", std::string(300, 's'));
    const supervision::FolderCopy second = copies.CopyChanged(d, kDataFolder, limits);
    ASSERT_EQ(second.folderError, 0);
    EXPECT_EQ(second.files, first.files);
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-06"));  // past the cap
    EXPECT_TRUE(d.FileContent(kBackups + "2026-12-08\\KALTORHallInfo.KLD") == hall);
    EXPECT_TRUE(d.FileContent(kBackups + "2026-12-08\\KALTORState.KLD") == std::string(300, 's'));

    // Nothing changed and every copy there: nothing is copied.
    d.AdvanceIdle(60000);
    const std::size_t before = d.FilesUnder(kBackups).size();
    EXPECT_EQ(copies.CopyChanged(d, kDataFolder, limits).files, first.files);
    EXPECT_EQ(d.FilesUnder(kBackups).size(), before);
}

// The disk fills though no limit is passed (other programs took it): the
// copy that found it full makes room from Harrowatch's own oldest days, never
// the newest nor others' folders, and is tried once more.
TEST(DataFolderCopies, ACopyThatFindsTheDiskFullMakesRoomFromTheOldestDaysAndTriesAgain) {
    platform::sim::SimDesktop d;
    for (const char* day : {"2026-12-01", "2026-12-02", "2026-12-03"})
        d.WriteFile(kBackups + day + "\\a.KLD", std::string(400, 'a'));
    d.WriteFile(kBackups + "2026-11-30 saved\\a.KLD", "mine");
    const std::string hall(600, 'h');
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", hall);
    d.SetDiskSpace(d.DiskUsed());
    supervision::DataFolderCopies copies;
    const supervision::FolderCopy made = copies.CopyChanged(d, kDataFolder, {30, 2048ull << 20});
    ASSERT_EQ(made.folderError, 0);
    EXPECT_EQ(made.files, (std::map<std::string, long>{{"KALTORHALLINFO.KLD", 0}}));
    EXPECT_TRUE(d.FileContent(kBackups + "2026-12-06\\KALTORHallInfo.KLD") == hall);
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-01"));
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-12-02"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-03\\a.KLD"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-11-30 saved\\a.KLD"));
    // Nothing of its own left to free: the copy fails with the disk's error.
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", std::string(900, 'H'));
    d.SetDiskSpace(d.DiskUsed());
    EXPECT_EQ(copies.CopyChanged(d, kDataFolder, {30, 2048ull << 20}).files.at("KALTORHALLINFO.KLD"), 112);
    EXPECT_TRUE(d.HasFile(kBackups + "2026-12-03\\a.KLD"));
    // A file left alone whose only copy lies in a day that room is made
    // from: it is copied again, not counted as backed up with no copy left.
    d.SetDiskSpace(d.DiskUsed() + 100000);
    d.WriteFile(kDataFolder + "KALTORQuests.KLD", "quests");
    ASSERT_EQ(copies.CopyChanged(d, kDataFolder, {30, 2048ull << 20}).files.at("KALTORQUESTS.KLD"), 0);
    d.ShiftLocalTime(24ll * 3600 * 1000);  // the next day
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", std::string(600, 'i'));
    d.SetDiskSpace(d.DiskUsed() + 10);
    const supervision::FolderCopy next = copies.CopyChanged(d, kDataFolder, {30, 2048ull << 20});
    EXPECT_EQ(next.files.at("KALTORQUESTS.KLD"), 0);
    EXPECT_EQ(next.files.at("KALTORHALLINFO.KLD"), 0);
    bool quests = false;
    for (const std::string& f : d.FilesUnder(kBackups)) quests |= d.FileContent(f) == "quests";
    EXPECT_TRUE(quests);
}

}  // namespace
}  // namespace hw::testing
