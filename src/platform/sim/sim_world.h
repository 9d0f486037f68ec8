// What the simulated desktop is made of: the programs that may be launched,
// windows with their procedures, menus and processes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform::sim {

class SimDesktop;

// What happens when a simulated program file is launched.
struct ProgramSpec {
    std::uint32_t idleAfterMs = 0;                      // WaitForInputIdle succeeds from then on
    bool neverIdle = false;
    bool is32Bit = true;                                // runs under WOW64 on a 64-bit system
    std::function<void(SimDesktop&, Pid)> onStart;      // the program's own behaviour
};

// A window procedure of a simulated program: answers true with *result set
// when it handled the message, false for the default handling.
using WindowProc = std::function<bool(std::uint32_t message, std::uint64_t wParam,
                                      std::int64_t lParam, std::int64_t* result)>;

struct SimWindow {
    Hwnd handle = 0;
    Pid owner = 0;
    std::string className;
    std::string caption;  // as the window manager keeps it
    Hwnd parent = 0;
    std::int32_t style = 0, exStyle = 0;
    bool visible = false;
    bool redraw = true;
    int x = 0, y = 0, width = 0, height = 0;
    HMenu menu = 0;
    std::vector<std::uint32_t> allowedFromBelow;  // ChangeWindowMessageFilterEx
    WindowProc proc;
    std::vector<Hwnd> children;  // creation order
};

struct SimMenuItem {
    std::string text;
    std::uint32_t id = 0;        // 0 for a separator
    HMenu submenu = 0;   // a popup: GetMenuItemID answers -1
};

struct SimProcess {
    Pid pid = 0;
    std::string imagePath;
    std::string commandLine;
    std::string currentDirectory;
    bool alive = true;
    bool openable = true;          // false: OpenProcess is refused (another user's process)
    bool hasModules = true;        // false: EnumProcessModules fails
    bool is32Bit = true;
    std::uint32_t session = 1;     // the Windows session it runs in
    // Mandatory integrity level: a process may not open, write to or send
    // to one of a higher level.
    std::uint32_t integrity = proc::kIntegrityMedium;
    std::uint64_t idleAtMs = 0;
    bool neverIdle = false;
    std::uint32_t exitCode = 259;  // STILL_ACTIVE
    std::uint64_t createdAtMs = 0, endedAtMs = 0;
    std::uint64_t createdFileTime = 0;  // the system time it was created, as GetProcessTimes tells it
    // What it uses: processor time (a share of one core while it runs, on
    // top of cpuMs), private bytes and kernel handles.
    double cpuShare = 0;
    std::uint64_t cpuMs = 0;
    std::uint64_t privateBytes = 24u << 20;
    bool memoryUnreadable = false;  // GetProcessMemoryInfo refuses (access denied), as for a protected process
    std::uint32_t handleCount = 120;
    std::uint64_t hungUntilMs = 0;  // answers no messages before then
    std::uint64_t hungSinceMs = 0;  // since when, without a break
    std::map<RemoteAddress, std::vector<std::uint8_t>> memory;
    RemoteAddress nextAddress{0x00A10000};
    // Blocks given back with VirtualFreeEx: address and size.
    std::map<RemoteAddress, std::uint64_t> released;
    // Sends whose sender stopped waiting: still handled, in the order sent,
    // when the program next takes messages.
    std::deque<std::function<void()>> lateSends;
};

}  // namespace hw::platform::sim
