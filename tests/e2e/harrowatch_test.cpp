// End to end: Harrowatch.exe and the stand-in server, both real, watched from
// outside as an operator would see them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/windows.h"
#include "contract/contract_env.h"
#include "server/controller.h"
#include "settings/registry.h"

namespace hw::testing {
namespace {

using platform::Hwnd;

class HarrowatchE2E : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = MakeContractEnv();
        game_ = env_->MakeFolder("Kaltor Online");
        env_->InstallServer(game_, "active\nat 0 join Dorn 10.0.0.5 Dornak\nat 0 message Welcome to Kaltor\n");
        Set(server::kGameKey, "INSTDIR", game_, platform::reg::kSz);
        Set(server::kSettingsKey, "TimerInterval", "1000", platform::reg::kSz);
        Set(server::kSettingsKey, "AutoStart", std::int32_t{1}, platform::reg::kDword);
        Set(server::kSettingsKey, "HideKaltorWindow", std::int32_t{1}, platform::reg::kDword);
        const std::string home = env_->MakeFolder("Harrowatch Home");
        program_ = home + "Harrowatch.exe";
        ASSERT_TRUE(CopyFileA(Beside("Harrowatch.exe").c_str(), program_.c_str(), FALSE));
    }
    void TearDown() override {
        for (const char* name : {"Harrowatch.exe", server::kServerExeName})
            for (int i = 0; i < 5; ++i)
                if (platform::Pid pid = automation::GetProcessIdByName(d(), name)) env_->EndProcess(pid);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Harrowatch");
    }
    static std::string Beside(const std::string& file) {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string p(self);
        return p.substr(0, p.find_last_of('\\') + 1) + file;
    }
    void Set(const std::string& key, const std::string& name, const TaggedValue& v, std::int32_t type) {
        settings::cRegistry r(d());
        r.SetClassKey(settings::kHkeyLocalMachine);
        r.SetSectionKey(key);
        r.SetValueKey(name);
        r.SetValueType(type);
        r.SetValue(v);
    }
    platform::Desktop& d() { return env_->desktop(); }
    Hwnd Child(Hwnd parent, const std::string& cls) {
        for (Hwnd h : automation::GetChildWindows(d(), parent))
            if (h && automation::GetWindowClass(d(), h) == cls) return h;
        return 0;
    }
    // A status bar part of another process, read through its memory.
    std::string StatusPart(Hwnd bar, platform::Pid pid, int part) {
        HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!p) return {};
        void* remote = VirtualAllocEx(p, nullptr, 512, MEM_COMMIT, PAGE_READWRITE);
        DWORD_PTR r = 0;
        char text[512] = {};
        if (remote && SendMessageTimeoutA(reinterpret_cast<HWND>(bar), SB_GETTEXTA, part,
                                          reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &r))
            ReadProcessMemory(p, remote, text, 511, nullptr);
        if (remote) VirtualFreeEx(p, remote, 0, MEM_RELEASE);
        CloseHandle(p);
        return text;
    }

    std::unique_ptr<ContractEnv> env_;
    std::string game_, program_;
};

TEST_F(HarrowatchE2E, SupervisesMirrorsAndRelaunchesTheServer) {
    const platform::Pid harrowatch = automation::LaunchProgram(d(), program_, "", false);
    ASSERT_NE(harrowatch, 0u);
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

    // A second copy ends at once.
    const platform::Pid second = automation::LaunchProgram(d(), program_, "", false);
    if (second) {
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, second);
        EXPECT_TRUE(h == nullptr || WaitForSingleObject(h, 10000) == WAIT_OBJECT_0);
        if (h) CloseHandle(h);
    }

    // A server that goes is launched again by the next poll.
    env_->EndProcess(server);
    platform::Pid again = 0;
    EXPECT_TRUE(env_->WaitFor([&] {
        again = automation::GetProcessIdByName(d(), server::kServerExeName);
        return again != 0 && again != server;
    }, 30000));
}

}  // namespace
}  // namespace hw::testing
