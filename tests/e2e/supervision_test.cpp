// Unattended supervision, end to end: a server that keeps crashing, one that
// hangs, the day's log, and the backup a data-file reset leaves.
#include "e2e/e2e_fixture.h"

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

namespace hw::testing {
namespace {

std::string Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
    return day;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TodaysLog() { return ReadFile("C:\\ProgramData\\Harrowatch\\Logs\\Harrowatch-" + Today() + ".log"); }

class CrashingServerE2E : public HarrowatchE2E {
protected:
    std::string Script() override { return "active\nat 4000 crash\n"; }
};

// The figure: a server that dies 4 s after each start is launched at least
// 3 and at most 6 times in 90 s (without the back-off: about 18 at a 1 s poll).
TEST_F(CrashingServerE2E, IsLaunchedThreeToSixTimesInNinetySeconds) {
    StartHarrowatch();
    std::set<platform::Pid> launched{server_};
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(90)) {
        if (platform::Pid pid = automation::GetProcessIdByName(d(), server::kServerExeName)) launched.insert(pid);
        env_->Pass(100);
    }
    std::printf("launches in 90 s: %zu\n", launched.size());
    EXPECT_GE(launched.size(), 3u);
    EXPECT_LE(launched.size(), 6u);
    const std::string log = TodaysLog();
    for (platform::Pid pid : launched)
        EXPECT_NE(log.find("INFO Server launched: process id " + std::to_string(pid.value())), std::string::npos) << pid;
    EXPECT_NE(log.find("WARNING Server ended: process id " + std::to_string(launched.begin()->value())), std::string::npos);
    EXPECT_NE(log.find("WARNING Relaunch delayed: launched again in "), std::string::npos);
}

class HangingServerE2E : public HarrowatchE2E {
protected:
    std::string Script() override {
        return "active\nat 0 message first line\nat 0 message second line\nat 8000 hang 20000\n";
    }
};

// Harrowatch's own message loop handles posted input (the way mouse and keys
// arrive) within half a second all through a 20 s hang of the server.
TEST_F(HangingServerE2E, OwnInputIsHandledWithinHalfASecondThroughAHang) {
    StartHarrowatch();
    const Hwnd list = Control(main_, win32::kIdMessages);
    ASSERT_TRUE(env_->WaitFor([&] { return SendMessageA(H(list), LB_GETCOUNT, 0, 0) >= 2; }, 20000));
    const auto start = std::chrono::steady_clock::now();
    auto slowest = std::chrono::milliseconds(0);
    int probes = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(26)) {
        const WPARAM pick = static_cast<WPARAM>(probes++ % 2);
        const auto posted = std::chrono::steady_clock::now();
        PostMessageA(H(list), LB_SETCURSEL, pick, 0);
        DWORD_PTR now = static_cast<DWORD_PTR>(-1);
        while (now != pick && std::chrono::steady_clock::now() - posted < std::chrono::seconds(10)) {
            SendMessageTimeoutA(H(list), LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 1000, &now);
            if (now != pick) Sleep(5);
        }
        slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - posted));
        Sleep(100);
    }
    std::printf("slowest of %d posted inputs: %lld ms\n", probes, static_cast<long long>(slowest.count()));
    EXPECT_LT(slowest.count(), 500);
    EXPECT_TRUE(Alive(server_));  // hung, not relaunched
    EXPECT_NE(TodaysLog().find("WARNING Server not responding"), std::string::npos);
    EXPECT_TRUE(env_->WaitFor([&] { return TodaysLog().find("INFO Server responding again") != std::string::npos; }, 15000));
}

class BackupE2E : public HarrowatchE2E {
protected:
    std::string Script() override { return "active\n"; }
};

TEST_F(BackupE2E, ADataFileResetLeavesItsCopy) {
    Set(std::string(server::kSettingsKey) + "\\Scheduled Events", "Daily", "Hall of Records|01/01/26 12:00 AM",
        platform::reg::kSz);
    const std::string copy = "C:\\ProgramData\\Harrowatch\\Backups\\" + Today() + "\\KALTORHallInfo.KLD";
    DeleteFileA(copy.c_str());
    StartHarrowatch();
    const std::string data = game_ + "System\\Kaltor\\KALTORHallInfo.KLD";
    EXPECT_TRUE(env_->WaitFor([&] { return GetFileAttributesA(copy.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000));
    EXPECT_TRUE(env_->WaitFor([&] { return GetFileAttributesA(data.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000));
    EXPECT_EQ(ReadFile(copy).substr(0, 8), "KLD data");
    EXPECT_TRUE(env_->WaitFor([&] { return TodaysLog().find("INFO Scheduled reset done: Hall of Records") != std::string::npos; },
                              10000));
}

}  // namespace
}  // namespace hw::testing
