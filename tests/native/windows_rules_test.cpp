// Harrowatch held to the rules real Windows enforces and lenient test worlds
// do not: integrity levels and the messages they drop, error boxes that must
// not hold supervision up, and the end of the Windows session.
#include <gtest/gtest.h>

#include <cstring>

#include "native/main_window_fixture.h"
#include "platform/sim/sim_desktop.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

namespace proc = platform::proc;

class WindowsRulesTest : public MainWindowTest {
protected:
    WindowsRulesTest() {
        form.hWnd = d.CreateWindow(d.OwnPid(), "HarrowatchMain", "Harrowatch", 0, 0,
                                   [this](std::uint32_t m, std::uint64_t wp, std::int64_t lp, std::int64_t* r) {
                                       return form.Form_Message(m, wp, lp, *r);
                                   });
    }
    std::string Stored(const settings::Setting& s) { return settings::ReadSetting(d, s).ToText(); }
};

TEST_F(WindowsRulesTest, TheShellOfLowerIntegrityBringsTheTrayIconBack) {
    Start("active\n");
    ASSERT_TRUE(shell.shown);
    // Explorer restarts, without the icons of the programs that were there.
    shell.shown = false;
    const std::uint32_t taskbarCreated = d.RegisterWindowMessage("TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    d.BroadcastFrom(d.ShellPid(), taskbarCreated, 0, 0);
    Run(10);
    EXPECT_TRUE(shell.shown);
    EXPECT_EQ(shell.icon.szTip, form.Tray.TrayIconData().szTip);

    // Everything else the shell's level may not send still is dropped.
    EXPECT_FALSE(d.PostFrom(d.ShellPid(), form.hWnd, 0x0400, 0, 0));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    // What the filter is for: an elevated window that did not let the
    // message through never hears of the shell's restart.
    const platform::Hwnd other = d.CreateWindow(d.OwnPid(), "Other", "", 0);
    EXPECT_FALSE(d.PostFrom(d.ShellPid(), other, taskbarCreated, 0, 0));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    // Nor may another process open a window of Harrowatch's to others.
    EXPECT_FALSE(d.ChangeWindowMessageFilterEx(d.TaskbarWindow(), taskbarCreated, platform::msg::kMsgfltAllow));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
}

TEST_F(WindowsRulesTest, ANonElevatedHarrowatchSaysWhyItCannotDriveAnElevatedServer) {
    Start("active\n");
    const platform::Pid elevated = ServerPid();
    // Harrowatch started again without elevation while the elevated server runs on.
    form.Harrowatch.reset();
    d.SetIntegrity(d.OwnPid(), proc::kIntegrityMedium);
    form.Harrowatch = std::make_unique<server::clsHarrowatch>(d, boxes, &cancel);
    // Found by its program's name all the same: no second server is launched.
    EXPECT_EQ(form.Harrowatch->StartServer(), elevated);
    EXPECT_EQ(standins.Launches(), 1u);
    // Its windows refuse Harrowatch's clicks: the operator is told why.
    boxes.shown.clear();
    form.Harrowatch->ToggleServer(false);
    ASSERT_TRUE(OneBoxSaying(boxes, {server::kServerElevatedText, " - ToggleServer"}));
    EXPECT_EQ(automation::GetProcessIdByName(d, server::kServerExeName), elevated);
}

// An elevated server that has not shown its form yet when a Harrowatch
// without elevation starts: Windows refuses the poll's probes (5), which
// says nothing of a hang. The operator hears why, once, and no "not
// responding" comes.
TEST_F(WindowsRulesTest, AnElevatedServerIsNeverCalledHungByAHarrowatchWithoutElevation) {
    Install("config-delay 20000\nactive\n");
    const platform::Pid elevated = automation::LaunchProgram(d, kServerPath, kGameFolder, false);
    ASSERT_NE(elevated, platform::Pid{});
    d.SetIntegrity(elevated, proc::kIntegrityHigh);
    d.SetIntegrity(d.OwnPid(), proc::kIntegrityMedium);
    form.Form_Load();
    Run(5 * 60000);
    EXPECT_EQ(standins.Launches(), 1u);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), app::kElevatedStatus);
    int told = 0;
    for (const auto& e : form.Events.Recent()) {
        EXPECT_NE(e.id, supervision::EventId::NotResponding) << e.text;
        told += e.text.find(server::kServerElevatedText) != std::string::npos;
    }
    EXPECT_EQ(told, 1);
}

TEST_F(WindowsRulesTest, AnErrorBoxLeftOpenForAnHourHoldsNoSupervision) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 09:30 AM");
    Interval("70000");  // the timer cannot take it: one report, raised inside the refresh cycle
    form.window.SetVisible(false);
    bool checked = false;
    const auto operatorAway = [&] {
        if (checked) return;
        checked = true;
        // While the box is open, the server dies and the reset falls due.
        const platform::Pid first = ServerPid();
        d.KillProcess(first);
        Run(3600000);
        EXPECT_EQ(standins.Launches(), 2u) << "the dead server was not launched again";
        EXPECT_NE(ServerPid(), platform::Pid{});
        EXPECT_EQ(server().effects().messageDeletes, 1) << "the due reset did not run";
        EXPECT_FALSE(form.Refreshing());
    };
    boxes.whileModal = operatorAway;  // a box that held its caller would run the hour inside the cycle
    Start("active\n");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.modal, 0);
    // It comes up in front of everything, though the window is in the tray.
    EXPECT_TRUE(boxes.shown[0].flags & ui::mb::kTopmost);
    EXPECT_TRUE(boxes.shown[0].flags & ui::mb::kSetForeground);
    operatorAway();
    EXPECT_EQ(boxes.shown.size(), 1u);  // the same error still told once
    // Exit works with the box still open.
    form.sysExit_Click();
    EXPECT_TRUE(app.ended);
}

TEST_F(WindowsRulesTest, TheSessionEndingIsNotHeldUpAndItsServerNotRelaunched) {
    Start("active\n");
    // A session end another program calls off leaves supervision as it was.
    d.Deliver(form.hWnd, app::kWmQueryEndSession, 0, 0);
    d.Deliver(form.hWnd, app::kWmEndSession, 0, 0);  // someone said no
    EXPECT_FALSE(app.ended);
    d.KillProcess(ServerPid());
    Run(10000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_TRUE(shell.shown);

    form.window.Move(1200, 900);
    EXPECT_EQ(d.Deliver(form.hWnd, app::kWmQueryEndSession, 0, 0), 1);  // never holds the session up
    // Windows closes the server; polls still come meanwhile.
    d.KillProcess(ServerPid(), 0);
    Run(30000);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_FALSE(app.ended);
    d.Deliver(form.hWnd, app::kWmEndSession, 1, 0);
    EXPECT_TRUE(app.ended);
    EXPECT_FALSE(shell.shown);
    EXPECT_EQ(Stored(settings::kMainLeft), "1200");
    EXPECT_EQ(Stored(settings::kMainTop), "900");
    Run(30000);
    EXPECT_EQ(standins.Launches(), 2u);
}

TEST_F(WindowsRulesTest, AServerThatEndsWithTheSessionBeforeHarrowatchIsAskedIsNoCrash) {
    Start("active\n");
    // Harrowatch asks to be told of the end before programs of the default level.
    EXPECT_GT(d.OwnShutdownLevel(), platform::session::kDefaultShutdownLevel);
    // Windows closes the server before it asks Harrowatch; the polls go on meanwhile.
    d.SetShuttingDown(true);
    d.KillProcess(ServerPid(), 0);
    Run(30000);
    EXPECT_EQ(standins.Launches(), 1u);
    bool told = false;
    for (const auto& e : form.Events.Recent()) {
        EXPECT_NE(e.id, supervision::EventId::ServerEnded) << e.text;
        EXPECT_NE(e.id, supervision::EventId::RelaunchDelayed) << e.text;
        if (e.id == supervision::EventId::ServerStopped) {
            told = true;
            EXPECT_NE(e.text.find("with the Windows session"), std::string::npos) << e.text;
        }
    }
    EXPECT_TRUE(told);
    // Another program calls the end off before Harrowatch was asked: the
    // next poll launches the server again.
    d.SetShuttingDown(false);
    Run(5000);
    EXPECT_EQ(standins.Launches(), 2u);
}

TEST(SimulatedWindowsRules, ShutdownLevelsOutsideTheProgramsRangeAreRefused) {
    platform::sim::SimDesktop d;
    EXPECT_EQ(d.OwnShutdownLevel(), platform::session::kDefaultShutdownLevel);
    for (std::uint32_t level : {0xFFu, 0x400u}) {
        EXPECT_FALSE(d.SetProcessShutdownParameters(level, 0)) << level;
        EXPECT_EQ(d.GetLastError(), platform::err::kInvalidParameter);
    }
    EXPECT_EQ(d.OwnShutdownLevel(), platform::session::kDefaultShutdownLevel);
    EXPECT_EQ(d.GetSystemMetrics(platform::session::kSmShuttingDown), 0);
    d.SetShuttingDown(true);
    EXPECT_NE(d.GetSystemMetrics(platform::session::kSmShuttingDown), 0);
}

TEST(SimulatedWindowsRules, RegistryAndTasksFollowRightsAndElevation) {
    platform::sim::SimDesktop d;
    platform::HKey key = 0;
    ASSERT_EQ(d.RegCreateKeyEx(platform::kHkeyLocalMachine, "Software\\Rules", platform::reg::kAllOwnAccess, key), 0);
    d.RegCloseKey(key);
    // A key opened to write only cannot be read or enumerated.
    ASSERT_EQ(d.RegOpenKeyEx(platform::kHkeyLocalMachine, "Software\\Rules", platform::reg::kSetValue, key), 0);
    std::uint32_t size = 0;
    EXPECT_EQ(d.RegQueryValueEx(key, "x", nullptr, nullptr, &size), platform::err::kAccessDenied);
    char name[16];
    EXPECT_EQ(d.RegEnumKey(key, 0, name, sizeof name), platform::err::kAccessDenied);
    d.RegCloseKey(key);
    EXPECT_EQ(d.RegCloseKey(key), platform::err::kInvalidHandle);

    // Not elevated: HKEY_LOCAL_MACHINE reads, but takes no change, and no
    // task that would run elevated is registered.
    d.SetIntegrity(d.OwnPid(), proc::kIntegrityMedium);
    EXPECT_EQ(d.RegOpenKeyEx(platform::kHkeyLocalMachine, "Software\\Rules", platform::reg::kQueryValue, key), 0);
    d.RegCloseKey(key);
    EXPECT_EQ(d.RegOpenKeyEx(platform::kHkeyLocalMachine, "Software\\Rules", platform::reg::kSetValue, key),
              platform::err::kAccessDenied);
    EXPECT_EQ(d.RegCreateKeyEx(platform::kHkeyLocalMachine, "Software\\New", platform::reg::kAllOwnAccess, key),
              platform::err::kAccessDenied);
    EXPECT_EQ(d.RegisterTask("T", "<Task><RunLevel>HighestAvailable</RunLevel></Task>"), platform::err::kHrAccessDenied);
    EXPECT_EQ(d.RegisterTask("T", "<Task></Task>"), 0);
    std::string xml;
    EXPECT_EQ(d.GetTaskXml("missing", xml), platform::err::kHrFileNotFound);
}

TEST(SimulatedWindowsRules, ProcessHandlesCarryTheirRightsAndKind) {
    platform::sim::SimDesktop d;
    const platform::Pid other = d.AddProcess("C:\\Other.exe");
    // A snapshot is no process handle.
    const platform::Handle snap = d.CreateToolhelp32Snapshot(proc::kSnapProcess, 0);
    EXPECT_EQ(d.WaitForSingleObject(snap, 0), proc::kWaitFailed);
    EXPECT_EQ(d.GetLastError(), platform::err::kInvalidHandle);
    d.CloseHandle(snap);
    // Memory calls check their own rights.
    const platform::Handle op = d.OpenProcess(proc::kVmOperation, false, other);
    const platform::RemoteAddress block = d.VirtualAllocEx(op, 16, platform::mem::kCommit, platform::mem::kReadWrite);
    ASSERT_NE(block, nullptr);
    char b[4] = {};
    EXPECT_FALSE(d.WriteProcessMemory(op, block, b, sizeof b, nullptr));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    EXPECT_FALSE(d.ReadProcessMemory(op, block, b, sizeof b, nullptr));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    EXPECT_FALSE(d.VirtualFreeEx(op, block, 16, platform::mem::kRelease));  // a release takes size 0
    EXPECT_EQ(d.GetLastError(), platform::err::kInvalidParameter);
    EXPECT_TRUE(d.VirtualFreeEx(op, block, 0, platform::mem::kRelease));
    d.CloseHandle(op);
    // A higher level grants a lower one its name and its end, nothing more.
    d.SetIntegrity(other, proc::kIntegrityHigh);
    d.SetIntegrity(d.OwnPid(), proc::kIntegrityMedium);
    EXPECT_EQ(d.OpenProcess(proc::kQueryInformation, false, other), nullptr);
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    const platform::Handle limited = d.OpenProcess(proc::kQueryLimitedInformation | proc::kSynchronize, false, other);
    ASSERT_NE(limited, nullptr);
    std::string path;
    EXPECT_TRUE(d.QueryFullProcessImageName(limited, path));
    EXPECT_EQ(path, "C:\\Other.exe");
    EXPECT_EQ(d.WaitForSingleObject(limited, 0), proc::kWaitTimeout);
    d.CloseHandle(limited);
    // Asking its session takes the full query right, which it does not grant.
    d.FindProcess(other)->session = 2;
    std::uint32_t session = 0;
    EXPECT_FALSE(d.ProcessIdToSessionId(other, &session));
    EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    EXPECT_TRUE(d.ProcessIdToSessionId(d.OwnPid(), &session));
    EXPECT_EQ(d.OpenHandleCount(), 0u);
}

// A send is not taken back when its sender stops waiting: the hung program
// handles it when it picks up again, in the order sent, and whatever it then
// touches in memory that was given back meanwhile is caught.
TEST(SimulatedWindowsRules, ASendThatTimedOutIsStillHandledWhenTheProgramWakes) {
    namespace msg = platform::msg;
    platform::sim::SimDesktop d;
    const platform::Pid other = d.AddProcess("C:\\Other.exe");
    const platform::Handle h = d.OpenProcess(proc::kVmOperation | proc::kVmRead | proc::kVmWrite, false, other);
    ASSERT_NE(h, nullptr);
    const platform::RemoteAddress block = d.VirtualAllocEx(h, 16, platform::mem::kCommit, platform::mem::kReadWrite);
    ASSERT_NE(block, nullptr);
    std::vector<std::int64_t> handled;
    const platform::Hwnd w = d.CreateWindow(other, "Edit", "", 0, 0,
                                            [&](std::uint32_t m, std::uint64_t wp, std::int64_t lp, std::int64_t* r) {
                                                if (m != 0x0400) return false;
                                                handled.push_back(static_cast<std::int64_t>(wp));
                                                const char answer[] = "late";
                                                *r = d.WriteMemory(other, static_cast<platform::RemoteAddress>(lp),
                                                                   answer, sizeof answer);
                                                return true;
                                            });
    d.HangProcess(other, 5000);
    EXPECT_FALSE(d.SendMessageTimeout(w, 0x0400, 1, static_cast<std::int64_t>(block.value()), 0, msg::kSendTimeoutMs, nullptr));
    EXPECT_EQ(d.GetLastError(), platform::err::kTimeout);
    char text[32] = "kept";
    EXPECT_FALSE(d.SendTextMessageTimeout(w, msg::kSetText, 0, text, sizeof text, 0, msg::kSendTimeoutMs, nullptr));
    std::strcpy(text, "changed since");
    EXPECT_TRUE(handled.empty());
    ASSERT_TRUE(d.VirtualFreeEx(h, block, 0, platform::mem::kRelease));
    d.AdvanceIdle(5000);
    ASSERT_EQ(handled, std::vector<std::int64_t>{1});
    EXPECT_EQ(d.GetWindowTextLength(w), 4);  // the text as it was when sent
    ASSERT_EQ(d.ReleasedMemoryAccesses().size(), 1u);
    EXPECT_EQ(d.ReleasedMemoryAccesses()[0].address, block);
    EXPECT_TRUE(d.ReleasedMemoryAccesses()[0].write);

    // A send that is answered comes after those that timed out before it.
    d.HangProcess(other, 5000);
    EXPECT_FALSE(d.SendMessageTimeout(w, 0x0400, 2, 0, 0, msg::kSendTimeoutMs, nullptr));
    d.HangProcess(other, 0);
    ASSERT_TRUE(d.SendMessageTimeout(w, 0x0400, 3, 0, 0, msg::kSendTimeoutMs, nullptr));
    EXPECT_EQ(handled, (std::vector<std::int64_t>{1, 2, 3}));
    // A program that ended handles nothing more.
    d.HangProcess(other, 5000);
    EXPECT_FALSE(d.SendMessageTimeout(w, 0x0400, 4, 0, 0, msg::kSendTimeoutMs, nullptr));
    d.KillProcess(other);
    d.AdvanceIdle(5000);
    EXPECT_EQ(handled.size(), 3u);
    d.CloseHandle(h);
}

}  // namespace
}  // namespace hw::testing
