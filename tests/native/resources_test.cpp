// What the server uses, read each poll and shown, logged once an hour, and
// the metrics file a Prometheus scrape reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "native/main_window_fixture.h"
#include "schedule/schedule.h"
#include "supervision/metrics.h"
#include "supervision/resources.h"

namespace hw::testing {
namespace {

namespace p = platform;
using supervision::EventId;
using supervision::ResourceWatch;
using supervision::ServerResources;

constexpr const char* kFolder = "C:\\Metrics";
constexpr const char* kProm = "C:\\Metrics\\harrowatch.prom";

TEST(ResourceWatch, EachFigureWindowsRefusesIsUnknownNeverZero) {
    p::sim::SimDesktop d;
    const p::Pid pid = d.AddProcess("C:\\Games\\server.exe");
    d.FindProcess(pid)->cpuShare = 0.5;
    d.FindProcess(pid)->privateBytes = 300u << 20;
    d.FindProcess(pid)->handleCount = 250;
    ResourceWatch watch(d);
    // Asking and waiting only: Windows gives the times and the handles, not the memory.
    p::UniqueHandle limited(d, d.OpenProcess(p::proc::kQueryLimitedInformation | p::proc::kSynchronize, false, pid));
    ASSERT_TRUE(limited);
    d.AdvanceIdle(60000);
    ServerResources r = watch.Sample(pid, limited.get());
    EXPECT_FALSE(r.privateBytes);
    ASSERT_TRUE(r.handles && r.cpuSeconds && r.uptimeSeconds);
    EXPECT_EQ(*r.handles, 250u);
    EXPECT_NEAR(*r.cpuSeconds, 30.0, 0.01);
    EXPECT_EQ(*r.uptimeSeconds, 60u);
    EXPECT_FALSE(r.cpuPercent);  // one reading gives no share yet
    EXPECT_EQ(ResourceWatch::Describe(r), "CPU unknown  Memory unknown  Handles 250  Up 0:01:00");

    p::UniqueHandle full(d, d.OpenProcess(p::proc::kQueryLimitedInformation | p::proc::kVmRead, false, pid));
    ASSERT_TRUE(full);
    d.AdvanceIdle(4000);
    r = watch.Sample(pid, full.get());
    ASSERT_TRUE(r.cpuPercent && r.privateBytes);
    EXPECT_NEAR(*r.cpuPercent, 50.0, 0.1);
    EXPECT_EQ(*r.privateBytes, 300u << 20);
    EXPECT_EQ(ResourceWatch::Describe(r), "CPU 50.0%  Memory 300 MB  Handles 250  Up 0:01:04");

    // A handle that is no more: every figure unknown, none of them 0.
    const p::Handle gone = full.get();
    full.reset();
    r = watch.Sample(pid, gone);
    EXPECT_FALSE(r.cpuPercent || r.cpuSeconds || r.privateBytes || r.handles || r.uptimeSeconds);
    EXPECT_EQ(ResourceWatch::Describe(r), "CPU unknown  Memory unknown  Handles unknown  Up unknown");
    // No server: nothing to say.
    EXPECT_EQ(ResourceWatch::Describe(watch.Sample(0, 0)), "");
}

// Two readings a few ms apart would give wild shares: the share is taken
// over a second at least (a reading sooner keeps the last one), and is never
// more than the machine's processors can give.
TEST(ResourceWatch, TheProcessorShareIsTakenOverASecondAtLeastAndNeverPassesTheMachine) {
    p::sim::SimDesktop d;
    d.SetProcessorCount(4);
    const p::Pid pid = d.AddProcess("C:\\Games\\server.exe");
    d.FindProcess(pid)->cpuShare = 0.5;
    ResourceWatch watch(d);
    p::UniqueHandle h(d, d.OpenProcess(p::proc::kQueryLimitedInformation, false, pid));
    ASSERT_TRUE(h);
    ASSERT_TRUE(watch.Sample(pid, h.get()).cpuSeconds);
    d.AdvanceIdle(10);
    d.FindProcess(pid)->cpuMs += 100;
    ServerResources r = watch.Sample(pid, h.get());
    ASSERT_TRUE(r.cpuSeconds);
    EXPECT_FALSE(r.cpuPercent);
    d.AdvanceIdle(990);
    r = watch.Sample(pid, h.get());
    ASSERT_TRUE(r.cpuPercent);
    EXPECT_NEAR(*r.cpuPercent, 60.0, 0.5);
    d.AdvanceIdle(20);
    r = watch.Sample(pid, h.get());
    ASSERT_TRUE(r.cpuPercent);
    EXPECT_NEAR(*r.cpuPercent, 60.0, 0.5);
    d.AdvanceIdle(1000);
    d.FindProcess(pid)->cpuMs += 10000;
    r = watch.Sample(pid, h.get());
    ASSERT_TRUE(r.cpuPercent);
    EXPECT_EQ(*r.cpuPercent, 400.0);
}

class ResourcesTest : public MainWindowTest {
protected:
    // Metrics written to `folder`, made here when named; "" turns them off.
    void Metrics(const std::string& folder) {
        if (!folder.empty() && !d.HasFolder(folder)) d.MakeFolder(folder);
        d.PokeString(p::kHkeyLocalMachine, server::kSettingsKey, "MetricsFolder", folder);
    }
    // The value of a sample line of the metrics file, or "" when it has none.
    std::string Sample(const std::string& name) {
        const std::string content = d.FileContent(kProm);
        const std::size_t at = content.find("\n" + name + " ");
        if (at == std::string::npos) return "";
        const std::size_t from = at + name.size() + 2;
        return content.substr(from, content.find('\n', from) - from);
    }
};

TEST_F(ResourcesTest, EachPollShowsTheServersFiguresThroughTheHandleItHoldsAndTheLogHasThemHourly) {
    // A server already running when Harrowatch starts: the handle is the
    // controller's own open, not the launch's.
    Install();
    LaunchAndSave();
    form.Form_Load();
    const p::Pid pid = ServerPid();
    ASSERT_NE(pid, platform::Pid{});
    p::sim::SimProcess* server = d.FindProcess(pid);
    server->cpuShare = 0.25;
    server->privateBytes = 412u << 20;
    server->handleCount = 318;
    int opens = 0;
    d.beforeOpenProcess = [&](p::Pid opened) { opens += opened == pid; };
    Run(15000);
    // Its processor use between two polls, as a share of one core.
    const ServerResources& r = form.Resources.Last();
    EXPECT_EQ(r.pid, pid);
    ASSERT_TRUE(r.cpuPercent && r.privateBytes && r.handles && r.uptimeSeconds);
    EXPECT_NEAR(*r.cpuPercent, 25.0, 0.1);
    EXPECT_EQ(*r.privateBytes, 412u << 20);
    const std::string& line = form.lblServerResources.Text();
    EXPECT_EQ(line.rfind("CPU 25.0%  Memory 412 MB  Handles 318  Up 0:00:", 0), 0u) << line;
    EXPECT_EQ(opens, 0);  // the controller's handle serves, no process is opened again
    // The log: once the share is known, then once an hour.
    EXPECT_EQ(Count(EventId::ServerResources), 1);
    Run(3600000 - 20000);
    EXPECT_EQ(Count(EventId::ServerResources), 1);
    Run(30000);
    EXPECT_EQ(Count(EventId::ServerResources), 2);
    EXPECT_EQ(form.Events.Recent().back().text.rfind(
                  "process id " + std::to_string(pid.value()) + ": CPU 25.0%  Memory 412 MB  Handles 318  Up 1:00:", 0),
              0u)
        << form.Events.Recent().back().text;

    // Gone: nothing shown of a server that does not run.
    d.KillProcess(pid, 3);
    Run(5000);  // the next poll sees it and launches it again
    EXPECT_NE(form.Resources.Last().pid, pid);
}

TEST_F(ResourcesTest, TheMetricsFileIsReplacedWholeAtMostEvery15Seconds) {
    Metrics(kFolder);
    Interval("1000");
    Start();
    Run(1000);
    ASSERT_TRUE(d.HasFile(kProm));
    EXPECT_FALSE(d.HasFile(std::string(kProm) + ".tmp"));
    const std::string content = d.FileContent(kProm);
    EXPECT_EQ(content.rfind("# HELP harrowatch_build_info ", 0), 0u);
    EXPECT_NE(content.find("# TYPE harrowatch_build_info gauge\nharrowatch_build_info{version=\"1.0.0\"} 1\n"),
              std::string::npos);
    EXPECT_NE(content.find("# TYPE harrowatch_launches_total counter\n"), std::string::npos);
    EXPECT_EQ(Sample("harrowatch_server_up"), "1");
    EXPECT_EQ(Sample("harrowatch_server_not_responding"), "0");
    EXPECT_EQ(Sample("harrowatch_launches_total"), "1");
    EXPECT_EQ(Sample("harrowatch_planned_restarts_total"), "0");
    EXPECT_EQ(Sample("harrowatch_resets_total{result=\"failed\"}"), "0");
    EXPECT_EQ(Sample("harrowatch_players_online"), "0");
    const std::uint64_t first = d.MovesDone();
    // Polled every second, written every 15 s.
    Run(13500);
    EXPECT_EQ(d.MovesDone(), first);
    Run(2000);
    EXPECT_EQ(d.MovesDone(), first + 1);
    // The figures of the server, once a second poll gives its share.
    EXPECT_FALSE(Sample("harrowatch_server_private_bytes").empty());
    EXPECT_FALSE(Sample("harrowatch_server_cpu_seconds_total").empty());
    // A crash counts; the file says it at the next write.
    d.KillProcess(ServerPid(), 3);
    Run(16000);
    EXPECT_EQ(Sample("harrowatch_crashes_total"), "1");
    EXPECT_EQ(Sample("harrowatch_launches_total"), "2");
    form.Events.Raise(EventId::PlannedRestart, "at 04:00");
    Run(16000);
    EXPECT_EQ(Sample("harrowatch_planned_restarts_total"), "1");
    EXPECT_EQ(Sample("harrowatch_crashes_total"), "1");
    EXPECT_EQ(content.back(), '\n');
    // For the format's own checker (promtool), when the build has it.
    if (const char* sample = std::getenv("HW_METRICS_SAMPLE")) {
        std::ofstream out(sample, std::ios::binary);
        out << d.FileContent(kProm);
        ASSERT_TRUE(out.good()) << sample;
    }
}

// A warning to the players is counted as a warning, not as a message too.
TEST_F(ResourcesTest, AWarningCountsOnceAsAWarning) {
    Metrics(kFolder);
    Setting("WarnPlayersMinutes", 10);
    d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 09:30 AM");
    Start("at 0 players 3\n");
    Run(21 * 60000);
    ASSERT_EQ(server().effects().sentMessages.size(), 1u);
    EXPECT_EQ(Sample("harrowatch_warnings_sent_total"), "1");
    EXPECT_EQ(Sample("harrowatch_messages_sent_total"), "0");
}

// Players online are the count last read from the server: a poll whose
// rows were cut short still gives its new count, and a server that stops
// answering gives no sample.
TEST_F(ResourcesTest, PlayersOnlineAreTheCountLastReadFromTheServer) {
    Metrics(kFolder);
    Interval("1000");
    Start("at 0 players 3\nat 20000 leave Player1\n");
    Run(16000);
    EXPECT_EQ(Sample("harrowatch_players_online"), "3");
    // Each count goes through; the rows asked for after it find the server
    // hung a moment, and are not read.
    int cut = 0;
    d.beforeSendToOthers = [&](p::Hwnd, std::uint32_t message) {
        if (message != p::msg::kLvmGetItemCount) return;
        ++cut;
        const p::Pid pid = ServerPid();
        d.ScheduleAt(d.NowMs(), pid, [this, pid] { d.HangProcess(pid, 600); });
    };
    Run(20000);
    d.beforeSendToOthers = nullptr;
    ASSERT_GT(cut, 15);
    EXPECT_EQ(form.PlayerListView.Items().size(), 3u);  // the rows shown stay
    EXPECT_EQ(Sample("harrowatch_players_online"), "2");
    d.HangProcess(ServerPid(), 60000);
    Run(16000);
    EXPECT_EQ(Sample("harrowatch_players_online"), "");
}

// A share that stalls (each file call takes seconds) holds neither the
// operator's input nor the poll; the exit waits for its file a short while
// only.
TEST_F(ResourcesTest, AStalledShareNeverHoldsTheMessageLoop) {
    Metrics(kFolder);
    Interval("1000");
    Start();
    Run(1000);
    d.SetFolderSlow(kFolder, 4000);
    std::uint64_t last = d.TickCount(), worst = 0;
    const std::uint32_t timer = d.SetTimer(20, [&] {
        worst = std::max(worst, d.TickCount() - last);
        last = d.TickCount();
    });
    ASSERT_NE(timer, 0u);
    const std::uint64_t moves = d.MovesDone();
    Run(60000);
    d.KillTimer(timer);
    EXPECT_LT(worst, 1000u);
    EXPECT_GE(d.MovesDone(), moves + 2);  // still replaced, only later
    EXPECT_EQ(Count(EventId::MetricsUnwritable), 0);
    // A write stalled for minutes holds no reset's copy of the data folder.
    d.SetFolderSlow(kFolder, 250000);
    Run(20000);
    ASSERT_TRUE(form.Metrics.Writing());
    const std::uint64_t began = d.NowMs();
    EXPECT_TRUE(form.Harrowatch->ProcessScheduledItem("HALL OF RECORDS"));
    EXPECT_LT(d.NowMs() - began, 30000u);
    struct ExitedAt : supervision::EventSink {
        p::sim::SimDesktop& d;
        std::uint64_t at = 0;
        explicit ExitedAt(p::sim::SimDesktop& desktop) : d(desktop) {}
        void Take(const supervision::Event& e) override {
            if (e.id == EventId::Exited) at = d.TickCount();
        }
    } exited(d);
    form.Events.AddSink(&exited);
    d.SetFolderSlow(kFolder, 60000);
    form.sysExit_Click();
    ASSERT_TRUE(app.ended);
    ASSERT_NE(exited.at, 0u);
    EXPECT_LE(d.TickCount() - exited.at, 3000u);
}

// Harrowatch exits: the file it leaves says it no longer watches, and the
// server it closed is down; when it was written is in the file.
TEST_F(ResourcesTest, TheFileLeftAtExitSaysNothingIsWatched) {
    Metrics(kFolder);
    Start("at 0 players 3\n");
    Run(20000);
    EXPECT_EQ(Sample("harrowatch_server_up"), "1");
    EXPECT_EQ(Sample("harrowatch_watching"), "1");
    const std::string written = Sample("harrowatch_last_write_timestamp_seconds");
    ASSERT_FALSE(written.empty());
    Run(3000);
    form.sysExit_Click();
    Run(10000);
    ASSERT_TRUE(app.ended);
    EXPECT_EQ(Sample("harrowatch_watching"), "0");
    EXPECT_EQ(Sample("harrowatch_server_up"), "0");
    EXPECT_EQ(Sample("harrowatch_players_online"), "0");
    EXPECT_EQ(Sample("harrowatch_server_private_bytes"), "");
    EXPECT_GT(std::stod(Sample("harrowatch_last_write_timestamp_seconds")), std::stod(written));
    EXPECT_FALSE(d.HasFile(std::string(kProm) + ".tmp"));
}

TEST_F(ResourcesTest, AFolderThatCannotBeWrittenIsReportedOnceUntilItWorkedAgain) {
    Metrics(kFolder);
    Start();
    Run(20000);
    ASSERT_TRUE(d.HasFile(kProm));
    const std::string before = d.FileContent(kProm);
    // A scraper reads the file as a write comes, or holds it over one try:
    // nothing to tell.
    std::uint32_t timer = 0;
    const std::uint64_t movedBefore = d.MovesDone();
    d.SetFileLocked(kProm, true);
    timer = d.SetTimer(20, [&] {
        d.KillTimer(timer);
        d.SetFileLocked(kProm, false);
    });
    Run(16000);
    d.SetFileLocked(kProm, true);
    Run(14000);
    d.SetFileLocked(kProm, false);
    Run(16000);
    EXPECT_EQ(Count(EventId::MetricsUnwritable), 0);
    EXPECT_GE(d.MovesDone(), movedBefore + 2);  // the brief read cost no write
    // It holds it for good: the whole old file stays, and that is told once.
    const std::string last = d.FileContent(kProm);
    d.SetFileLocked(kProm, true);
    Run(120000);
    EXPECT_EQ(d.FileContent(kProm), last);
    EXPECT_EQ(Count(EventId::MetricsUnwritable), 1);
    d.SetFileLocked(kProm, false);
    const std::uint64_t moves = d.MovesDone();
    Run(20000);
    EXPECT_EQ(d.MovesDone(), moves + 1);
    EXPECT_FALSE(d.HasFile(std::string(kProm) + ".tmp"));
    // Fails again after it worked: said again, once.
    d.SetFolderReadOnly(kFolder);
    Run(120000);
    EXPECT_EQ(Count(EventId::MetricsUnwritable), 2);
    EXPECT_NE(form.Events.Recent().back().text.find(kFolder), std::string::npos);
    // Moved to another folder that cannot be written either: told too.
    d.MakeFolder("C:\\Other");
    d.SetFolderReadOnly("C:\\Other");
    Metrics("C:\\Other");
    Run(120000);
    EXPECT_EQ(Count(EventId::MetricsUnwritable), 3);
    // Off: no more writes, nothing more said.
    d.SetFolderWritable(kFolder);
    d.SetFolderWritable("C:\\Other");
    Metrics("");
    const std::uint64_t written = d.MovesDone();
    Run(60000);
    EXPECT_EQ(d.MovesDone(), written);
}

// The line under the tabs is as wide as its window: no figure grows past it.
TEST(ResourceWatch, FiguresKeepToTheLinesWidth) {
    supervision::ServerResources r;
    r.pid = platform::Pid{4};
    r.privateBytes = static_cast<std::uint64_t>(1023.4 * 1024 * 1024);
    EXPECT_NE(supervision::ResourceWatch::Describe(r).find("Memory 1023 MB"), std::string::npos);
    r.privateBytes = (1024ull << 20) - 1;  // would round to "1024 MB"
    EXPECT_NE(supervision::ResourceWatch::Describe(r).find("Memory 1.0 GB"), std::string::npos);
    r.privateBytes = 2500ull << 20;
    EXPECT_NE(supervision::ResourceWatch::Describe(r).find("Memory 2.4 GB"), std::string::npos);
    // A share of one core on many cores drops its tenths past 999.9%.
    r.cpuPercent = 999.9;
    EXPECT_NE(supervision::ResourceWatch::Describe(r).find("CPU 999.9%"), std::string::npos);
    r.cpuPercent = 6399.6;
    EXPECT_NE(supervision::ResourceWatch::Describe(r).find("CPU 6400%"), std::string::npos);
}
// A share that stalls for good (a write never comes back) is told once,
// as a folder that cannot be written is.
TEST_F(ResourcesTest, AShareThatStallsForGoodIsTold) {
    Metrics(kFolder);
    Start();
    Run(20000);
    ASSERT_TRUE(d.HasFile(kProm));
    d.SetFolderSlow(kFolder, 24 * 3600000ull);
    Run(30 * 60000);
    EXPECT_TRUE(form.Metrics.Writing());
    EXPECT_GE(Count(EventId::MetricsUnwritable), 1);
}

}  // namespace
}  // namespace hw::testing
