// The simulated desktop with the stand-in server installed as the game.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "automation/process.h"
#include "automation/windows.h"
#include "native/boxes.h"
#include "native/registry_faults.h"
#include "platform/sim/sim_desktop.h"
#include "server/controller.h"
#include "standin/sim/sim_host.h"

namespace hw::testing {

inline constexpr const char* kGameFolder = "C:\\Games\\Kaltor Online\\";
inline constexpr const char* kServerPath = "C:\\Games\\Kaltor Online\\KALTOR INTERNET SERVER.EXE";
inline const std::string kDataFolder = std::string(kGameFolder) + "System\\Kaltor\\";
inline const std::string kBackups = "C:\\ProgramData\\Harrowatch\\Backups\\";

class StandinFixture : public ::testing::Test {
protected:
    // No tick may have thrown past its handler.
    void TearDown() override { EXPECT_TRUE(d.CallbackErrors().empty()) << d.CallbackErrors().front(); }
    void Install(const std::string& script = {}, platform::sim::ProgramSpec spec = {}) {
        standins.Install(d, kServerPath, script, spec);
    }
    // Launches the server and lets it come up to its configuration form.
    platform::Pid Launch() {
        platform::Pid pid = automation::LaunchProgram(d, kServerPath, kGameFolder, false);
        d.AdvanceIdle(400);
        return pid;
    }
    // Launches it and saves the configuration form, as an operator would.
    platform::Pid LaunchAndSave() {
        platform::Pid pid = Launch();
        platform::Hwnd form = d.FindWindow("ThunderRT6FormDC", "Server Configuration");
        EXPECT_NE(form, nullptr);
        platform::Hwnd save = d.FindWindowEx(form, 0, "ThunderRT6CommandButton", "&Save");
        Click(save);
        d.AdvanceIdle(400);
        return pid;
    }
    void Click(platform::Hwnd window, std::uint64_t wParam = 0, std::int64_t lParam = 0) {
        d.PostMessage(window, platform::msg::kLButtonDown, wParam, lParam);
        d.PostMessage(window, platform::msg::kLButtonUp, wParam, lParam);
        d.AdvanceIdle(10);
    }
    platform::Hwnd Descendant(platform::Hwnd parent, const std::string& title) {
        for (platform::Hwnd h : automation::GetChildWindows(d, parent))
            if (h && automation::GetWindowTitle(d, h) == title) return h;
        return 0;
    }
    void Setting(const std::string& name, std::uint32_t v) {
        d.PokeValue(platform::kHkeyLocalMachine, server::kSettingsKey, name, platform::reg::kDword,
                    {static_cast<std::uint8_t>(v), 0, 0, 0});
    }
    platform::Pid ServerPid() { return automation::GetProcessIdByName(d, server::kServerExeName); }
    standin::Server& server() { return *standins.Latest()->server; }
    // A stand-in window as the desktop's handle of it.
    static platform::Hwnd Win(standin::WinId w) { return platform::Hwnd{w}; }
    standin::SimHost& host() { return *standins.Latest()->host; }

    platform::sim::SimDesktop d;
    standin::SimStandins standins;
};

}  // namespace hw::testing
