// End to end: Harrowatch.exe and the stand-in server, both real, watched from
// outside as an operator would see them.
#include "e2e/e2e_fixture.h"

namespace hw::testing {
namespace {

using platform::Hwnd;

TEST_F(HarrowatchE2E, SupervisesMirrorsAndRelaunchesTheServer) {
    const platform::Pid harrowatch = automation::LaunchProgram(d(), program_, "", false);
    ASSERT_NE(harrowatch, platform::Pid{});
    Hwnd main = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (main = d().FindWindow("HarrowatchMain", "Harrowatch")) != 0; }, 30000));

    // It launched the server, saved its form and hid it.
    platform::Pid server = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (server = automation::GetProcessIdByName(d(), server::kServerExeName)) != 0; },
                              30000));
    Hwnd serverMain = 0;
    EXPECT_TRUE(env_->WaitFor([&] {
        serverMain = automation::GetProcessMainWindow(d(), server);
        return serverMain && !d().IsWindowVisible(serverMain);
    }, 30000));

    // Within a couple of polls its own windows show the server's players, status and lines.
    const Hwnd players = Child(main, "SysListView32");
    const Hwnd messages = Child(main, "ListBox");
    const Hwnd bar = Child(main, "msctls_statusbar32");
    ASSERT_TRUE(players && messages && bar);
    EXPECT_TRUE(env_->WaitFor([&] {
        auto rows = automation::GetListViewCells(d(), players, harrowatch, 1, {0, 1, 2, 3});
        return rows.size() == 1 && rows[0] == std::vector<std::string>{"1", "Dorn", "10.0.0.5", "Dornak"};
    }, 20000));
    EXPECT_TRUE(env_->WaitFor([&] { return StatusPart(bar, harrowatch, 1) == "1 PLAYER ONLINE"; }, 20000))
        << StatusPart(bar, harrowatch, 1);
    EXPECT_TRUE(env_->WaitFor([&] {
        for (const std::string& l : automation::GetListBoxLines(d(), messages, 0))
            if (l.find("Welcome to Kaltor") != std::string::npos) return true;
        return false;
    }, 20000));

    // A second start, with the first in the tray, brings the first's window
    // back and ends.
    ShowWindow(H(main), SW_HIDE);
    ASSERT_FALSE(d().IsWindowVisible(main));
    const platform::Pid second = automation::LaunchProgram(d(), program_, "", false);
    ASSERT_NE(second, platform::Pid{});
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, second.value());
    EXPECT_TRUE(h == nullptr || WaitForSingleObject(h, 10000) == WAIT_OBJECT_0);
    if (h) CloseHandle(h);
    EXPECT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(main); }, 5000));

    // A server that goes is launched again by the next poll.
    env_->EndProcess(server);
    platform::Pid again = 0;
    EXPECT_TRUE(env_->WaitFor([&] {
        again = automation::GetProcessIdByName(d(), server::kServerExeName);
        return again != 0 && again != server;
    }, 30000));
}

// Log-off: Harrowatch lets the session end at once, keeps its place and goes,
// and leaves the server to Windows, which closes it.
TEST_F(HarrowatchE2E, EndsWithTheWindowsSessionWithoutHoldingItUp) {
    StartHarrowatch();
    SetWindowPos(H(main_), nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(H(main_), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer));
    EXPECT_EQ(answer, 1u);
    ASSERT_TRUE(SendMessageTimeoutA(H(main_), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer));
    EXPECT_TRUE(env_->WaitFor([&] { return !Alive(harrowatch_); }, 10000)) << "Harrowatch did not end with the session";
    EXPECT_TRUE(Alive(server_)) << "Harrowatch closed the server itself";
    EXPECT_EQ(Stored("Software\\Harrowatch\\Window Position\\Harrowatch", "Left"), std::to_string(123 * 15));
    EXPECT_EQ(Stored("Software\\Harrowatch\\Window Position\\Harrowatch", "Top"), std::to_string(77 * 15));
}

}  // namespace
}  // namespace hw::testing
