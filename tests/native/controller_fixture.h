// A controller on the simulated desktop, the stand-in installed as the game
// and "INSTDIR" pointing at it, with every status event recorded.
#pragma once

#include <string>
#include <vector>

#include "native/standin_fixture.h"
#include "server/controller.h"

namespace hw::testing {

class ControllerFixture : public StandinFixture {
protected:
    ControllerFixture() : controller(d, boxes, &cancel) {
        controller.SubscribeUpdateStatus([this](const std::string& t, const std::string& m, std::int32_t v) {
            events.push_back(m.empty() ? t + " " + std::to_string(v) : t + " " + m + " " + std::to_string(v));
        });
        SetInstallDir(kGameFolder);
        Setting("AutoStart", 1);
        Setting("HideKaltorWindow", 1);
    }
    void SetInstallDir(const std::string& dir) {
        d.PokeString(platform::kHkeyLocalMachine, server::kGameKey, "INSTDIR", dir);
    }
    // The stand-in running, started as Harrowatch starts it.
    platform::Pid Started(const std::string& script = {}) {
        Install(script);
        platform::Pid pid = controller.StartServer();
        events.clear();
        return pid;
    }

    ui::RecordingMessageBoxes boxes;
    automation::CancelSignal cancel;
    server::clsHarrowatch controller;
    std::vector<std::string> events;
};

}  // namespace hw::testing
