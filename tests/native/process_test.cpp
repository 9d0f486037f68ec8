// Process discovery and launching on the simulated desktop: the cases that
// Windows cannot stage on demand.
#include <gtest/gtest.h>

#include "automation/process.h"
#include "platform/sim/sim_desktop.h"

namespace hw {
namespace {

using automation::GetProcessIdByName;
using automation::LaunchProgram;
using platform::sim::ProgramSpec;
using platform::sim::SimDesktop;

constexpr const char* kServer = "KALTOR INTERNET SERVER.EXE";

TEST(GetProcessIdByName, MatchesTheFirstProcessInBothFamilies) {
    for (std::uint32_t family : {platform::proc::kPlatformWin32Windows, platform::proc::kPlatformWin32Nt}) {
        SimDesktop d;
        d.SetPlatformId(family);
        // Enough processes that the id list needs several growing calls.
        for (int i = 0; i < 500; ++i) d.AddProcess("C:\\Windows\\svc" + std::to_string(i) + ".exe");
        platform::Pid first = d.AddProcess("C:\\Games\\Kaltor\\Kaltor Internet Server.exe");
        d.AddProcess("D:\\Other\\KALTOR INTERNET SERVER.EXE");
        EXPECT_EQ(GetProcessIdByName(d, "kaltor internet server.exe"), first) << family;
        d.KillProcess(first);
        EXPECT_NE(GetProcessIdByName(d, kServer), platform::Pid{});
        EXPECT_NE(GetProcessIdByName(d, kServer), first);
        EXPECT_EQ(d.OpenHandleCount(), 0u);
    }
    SimDesktop other;
    other.SetPlatformId(3);
    other.AddProcess(std::string("C:\\") + kServer);
    EXPECT_EQ(GetProcessIdByName(other, kServer), platform::Pid{});
}

TEST(GetProcessIdByName, SkipsProcessesThatCannotBeReadOrEndMeanwhile) {
    SimDesktop d;
    platform::Pid locked = d.AddProcess(std::string("C:\\Admin\\") + kServer);
    d.FindProcess(locked)->openable = false;
    platform::Pid noModules = d.AddProcess(std::string("C:\\Odd\\") + kServer);
    d.FindProcess(noModules)->hasModules = false;
    platform::Pid leaving = d.AddProcess(std::string("C:\\Leaving\\") + kServer);
    platform::Pid staying = d.AddProcess(std::string("C:\\Games\\") + kServer);
    d.beforeOpenProcess = [&](platform::Pid pid) {
        if (pid == leaving) d.KillProcess(leaving);  // ends between the list and the open
    };
    EXPECT_EQ(GetProcessIdByName(d, kServer), staying);
    EXPECT_EQ(d.OpenHandleCount(), 0u);
    // A folder named after the program matches too.
    d.KillProcess(staying);
    platform::Pid tool = d.AddProcess("C:\\KALTOR INTERNET SERVER.EXE backups\\zip.exe");
    EXPECT_EQ(GetProcessIdByName(d, kServer), tool);
}

// Another operator's remote-desktop session runs its own server: an elevated
// Harrowatch can open it, but its windows are on another desktop.
TEST(GetProcessIdByName, OnlyAProgramInHarrowatchsOwnSessionIsItsServer) {
    SimDesktop d;
    const platform::Pid elsewhere = d.AddProcess(std::string("C:\\Games\\") + kServer);
    d.FindProcess(elsewhere)->session = 2;
    EXPECT_EQ(GetProcessIdByName(d, kServer), platform::Pid{});
    const platform::Pid own = d.AddProcess(std::string("C:\\Games\\") + kServer);
    EXPECT_EQ(GetProcessIdByName(d, kServer), own);
    d.KillProcess(own);

    // A Harrowatch that is not elevated may not ask an elevated server its
    // session: the server is its own by a window on its desktop.
    d.SetIntegrity(d.OwnPid(), platform::proc::kIntegrityMedium);
    d.SetIntegrity(elsewhere, platform::proc::kIntegrityHigh);
    d.CreateWindow(elsewhere, "ThunderRT6FormDC", "KALTOR Server", 0);
    EXPECT_EQ(GetProcessIdByName(d, kServer), platform::Pid{});
    const platform::Pid elevated = d.AddProcess(std::string("C:\\Games\\") + kServer);
    d.SetIntegrity(elevated, platform::proc::kIntegrityHigh);
    EXPECT_EQ(GetProcessIdByName(d, kServer), platform::Pid{});  // no window yet
    d.CreateWindow(elevated, "ThunderRT6FormDC", "KALTOR Server", 0);
    EXPECT_EQ(GetProcessIdByName(d, kServer), elevated);
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

class LaunchProgramTest : public ::testing::Test {
protected:
    SimDesktop d;
    const std::string folder = "C:\\Program Files\\Kaltor\\";
    const std::string program = folder + kServer;
};

TEST_F(LaunchProgramTest, QuotesAProgramPathWithSpacesButNotTheDirectoryAndRefusesANonProgram) {
    d.InstallProgram(program, ProgramSpec{});
    platform::Pid pid = LaunchProgram(d, program, folder, false);
    ASSERT_NE(pid, platform::Pid{});
    EXPECT_EQ(d.FindProcess(pid)->commandLine, "\"" + program + "\"");
    EXPECT_EQ(d.FindProcess(pid)->currentDirectory, folder);
    EXPECT_EQ(d.OpenHandleCount(), 0u);  // process and thread handles released

    d.InstallProgram("C:\\Tools\\plain.exe", ProgramSpec{});
    platform::Pid plain = LaunchProgram(d, "C:\\Tools\\plain.exe", "C:\\Tools", false);
    EXPECT_EQ(d.FindProcess(plain)->commandLine, "C:\\Tools\\plain.exe");
    // A file that is no program fails cleanly.
    d.WriteFile("C:\\Tools\\fake.exe", "not a program");
    EXPECT_EQ(LaunchProgram(d, "C:\\Tools\\fake.exe", "C:\\Tools", false), platform::Pid{});
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

TEST_F(LaunchProgramTest, WaitsUntilIdleWithoutFreezingTheMessageLoop) {
    ProgramSpec spec;
    spec.idleAfterMs = 4000;
    d.InstallProgram(program, spec);
    int ticks = 0;
    for (int t = 500; t <= 10000; t += 500) d.ScheduleAt(t, d.OwnPid(), [&] { ++ticks; });
    const std::uint64_t start = d.NowMs();
    platform::Pid pid = LaunchProgram(d, program, folder, false);
    ASSERT_NE(pid, platform::Pid{});
    EXPECT_GE(d.NowMs() - start, 4000u);
    EXPECT_LT(d.NowMs() - start, 4200u);
    EXPECT_GE(ticks, 7);  // Harrowatch's own timers ran during the wait
}

TEST_F(LaunchProgramTest, AProgramThatNeverGetsIdleIsReturnedAfterTheBoundOrWhenCancelled) {
    ProgramSpec spec;
    spec.neverIdle = true;
    d.InstallProgram(program, spec);
    automation::CancelSignal cancel;
    d.ScheduleAt(1000, d.OwnPid(), [&] { cancel.Raise(); });
    EXPECT_NE(LaunchProgram(d, program, folder, false, &cancel), platform::Pid{});
    EXPECT_LT(d.NowMs(), 1100u);
    const std::uint64_t start = d.NowMs();
    EXPECT_NE(LaunchProgram(d, program, folder, false), platform::Pid{});
    EXPECT_GE(d.NowMs() - start, automation::kLaunchIdleTimeoutMs);
    EXPECT_LT(d.NowMs() - start, automation::kLaunchIdleTimeoutMs + 200);
    EXPECT_GT(d.YieldCount(), 100u);
}

TEST_F(LaunchProgramTest, WaitingForExitReturnsZeroOnceTheProgramHasEnded) {
    ProgramSpec spec;
    spec.onStart = [](SimDesktop& desk, platform::Pid pid) {
        desk.ScheduleAfter(2500, pid, [&desk, pid] { desk.KillProcess(pid, 0); });
    };
    d.InstallProgram(program, spec);
    EXPECT_EQ(LaunchProgram(d, program, folder, true), platform::Pid{});
    EXPECT_GE(d.NowMs(), 2500u);
    EXPECT_LT(d.NowMs(), 2600u);
    EXPECT_EQ(GetProcessIdByName(d, kServer), platform::Pid{});
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hw
