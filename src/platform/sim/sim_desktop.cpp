// The simulated machine as it starts, and what is set up on it.
#include "platform/sim/sim_desktop.h"

#include "common/text.h"

namespace hw::platform::sim {

SimDesktop::SimDesktop()
    : hklm_(std::make_unique<RegNode>()), hkcu_(std::make_unique<RegNode>()),
      hkcr_(std::make_unique<RegNode>()) {
    // A machine with a system process nobody may open, the shell, and
    // Harrowatch itself.
    Pid system = AddProcess("System");
    FindProcess(system)->openable = false;
    AddProcess("C:\\Windows\\explorer.exe");
    SetOwnModuleFileName("C:\\Program Files\\Harrowatch\\Harrowatch.exe");
    SetEnvironment("SystemRoot", "C:\\Windows");
    SetEnvironment("TEMP", "C:\\Windows\\Temp");
    SetEnvironment("ProgramData", "C:\\ProgramData");
    MakeFolder("C:\\ProgramData");
    MakeFolder("C:\\Windows\\Temp");
    SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    desktopWindow_ = CreateWindow(system, "#32769", "", 0);
    shellPid_ = processes_[1].pid;
    taskbar_ = CreateWindow(shellPid_, "Shell_TrayWnd", "", 0);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::SetOwnModuleFileName(std::string path) {
    ownModule_ = std::move(path);
    if (!HasFile(ownModule_)) WriteFile(ownModule_, "MZ");
    if (SimProcess* own = FindProcess(ownPid_)) {
        own->imagePath = ownModule_;
    } else {
        ownPid_ = AddProcess(ownModule_);
        FindProcess(ownPid_)->is32Bit = false;
        // The manifest asks for administrator rights.
        FindProcess(ownPid_)->integrity = proc::kIntegrityHigh;
    }
}

void SimDesktop::SetEnvironment(const std::string& name, const std::string& value) {
    environment_[text::Upper(name)] = value;
}

}  // namespace hw::platform::sim
