// The main window on the simulated desktop, with the stand-in installed as
// the game and the settings an installed Harrowatch has.
#pragma once

#include <algorithm>

#include "app/main_window.h"
#include "native/standin_fixture.h"

namespace hw::testing {

class MainWindowTest : public StandinFixture {
protected:
    MainWindowTest() : form(d, boxes, shell, cancel, app) {
        d.PokeString(platform::kHkeyLocalMachine, server::kGameKey, "INSTDIR", kGameFolder);
        Setting("AutoStart", 1);
        Setting("HideKaltorWindow", 1);
    }
    void Interval(const std::string& text) {
        d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "TimerInterval", text);
    }
    void Start(const std::string& script = {}) {
        Install(script);
        form.Form_Load();
    }
    // Lets the poll timer run for a while.
    void Run(std::uint64_t ms) { d.AdvanceIdle(ms); }
    int Count(supervision::EventId id) {
        const auto& recent = form.Events.Recent();
        return static_cast<int>(std::count_if(recent.begin(), recent.end(), [id](const auto& e) { return e.id == id; }));
    }
    std::string TodaysLog() { return d.FileContent(form.Log.TodaysFile()); }

    ui::RecordingMessageBoxes boxes;
    ui::RecordingTrayShell shell;
    automation::CancelSignal cancel;
    ui::Application app;
    app::frmMain form;
};

}  // namespace hw::testing
