#include "automation/process.h"

#include <vector>

#include "common/text.h"

namespace hw::automation {

namespace {

using platform::Desktop;
using platform::Pid;
namespace proc = platform::proc;

Pid FindInSnapshot(Desktop& d, const std::string& upperName) {
    platform::UniqueHandle snap(d, d.CreateToolhelp32Snapshot(proc::kSnapProcess, 0));
    if (!snap) return 0;
    platform::ProcessEntry entry;
    for (bool ok = d.Process32First(snap.get(), entry); ok; ok = d.Process32Next(snap.get(), entry)) {
        std::string file = entry.exeFile.substr(0, 260);
        if (text::Upper(file).find(upperName) != std::string::npos) return entry.processId;
    }
    return 0;
}

std::vector<Pid> ListProcessIds(Desktop& d) {
    // Grow the buffer until a call leaves part of it empty.
    std::uint32_t needed = 96, size = 8;
    std::vector<Pid> ids;
    constexpr std::uint32_t kMaxBytes = 1u << 22;
    while (size <= needed && size < kMaxBytes) {
        size *= 2;
        ids.assign(size / 4, 0);
        std::uint32_t filled = 0;
        if (!d.EnumProcesses(ids.data(), size, &filled)) filled = 0;
        needed = filled;
    }
    ids.resize(std::min<std::size_t>(needed / 4, ids.size()));
    return ids;
}

// Only a program in Harrowatch's own Windows session is its: another
// session's windows are out of its reach (another desktop), and a copy of
// Harrowatch there looks after that one. A process whose session it may not
// ask (another user's, or one of a higher integrity level) is its own only
// with a window on Harrowatch's desktop, where no other session's are.
bool InOwnSession(Desktop& d, Pid id, std::uint32_t own, bool ownKnown) {
    if (!ownKnown) return true;
    std::uint32_t session = 0;
    if (d.ProcessIdToSessionId(id, &session)) return session == own;
    bool windowHere = false;
    d.EnumWindows([&](platform::Hwnd h) {
        Pid owner = 0;
        d.GetWindowThreadProcessId(h, &owner);
        windowHere = owner == id;
        return !windowHere;
    });
    return windowHere;
}

Pid FindInProcessList(Desktop& d, const std::string& upperName) {
    std::uint32_t own = 0;
    const bool ownKnown = d.ProcessIdToSessionId(d.GetCurrentProcessId(), &own);
    // The session is asked only of a process whose program matches: the
    // window walk for one that does not tell would be paid for every other
    // user's and system process, every poll.
    for (Pid id : ListProcessIds(d)) {
        platform::UniqueHandle process(d, d.OpenProcess(proc::kQueryInformation | proc::kVmRead, false, id));
        if (!process) {
            // A process of a higher integrity level (an elevated server seen
            // by a Harrowatch that is not) still tells its program's path.
            if (d.GetLastError() != platform::err::kAccessDenied) continue;
            platform::UniqueHandle limited(d, d.OpenProcess(proc::kQueryLimitedInformation, false, id));
            std::string file;
            if (limited && d.QueryFullProcessImageName(limited.get(), file) &&
                text::Upper(file).find(upperName) != std::string::npos && InOwnSession(d, id, own, ownKnown))
                return id;
            continue;  // other users' and system processes
        }
        std::vector<std::uint64_t> modules;
        if (!d.EnumProcessModules(process.get(), modules, 200 / 4) || modules.empty()) continue;
        char path[261] = {};
        std::uint32_t n = d.GetModuleFileNameEx(process.get(), modules[0], path, 260);
        std::string file(path, std::min<std::uint32_t>(n, 260));
        if (text::Upper(file).find(upperName) != std::string::npos && InOwnSession(d, id, own, ownKnown)) return id;
    }
    return 0;
}

}  // namespace

Pid GetProcessIdByName(Desktop& desktop, const std::string& name) {
    const std::string upperName = text::Upper(name);
    switch (desktop.GetVersionPlatformId()) {
        case proc::kPlatformWin32Windows:
            return FindInSnapshot(desktop, upperName);
        case proc::kPlatformWin32Nt:
            return FindInProcessList(desktop, upperName);
        default:
            return 0;
    }
}

Pid LaunchProgram(Desktop& desktop, const std::string& commandLine, const std::string& directory,
                  bool waitForExit, const CancelSignal* cancel, platform::UniqueHandle* kept) {
    std::string command = commandLine;
    if (command.find(' ') != std::string::npos) command = "\"" + command + "\"";

    platform::ProcessInformation info;
    if (!desktop.CreateProcess(command, directory, platform::LaunchOptions{}, info)) return 0;
    platform::UniqueHandle process(desktop, info.process);
    platform::UniqueHandle thread(desktop, info.thread);

    if (waitForExit) {
        WaitUntil(
            desktop,
            [&] { return desktop.WaitForSingleObject(process.get(), 0) != proc::kWaitTimeout; },
            kNoTimeout, cancel);
        return 0;
    }
    WaitForProcessIdle(desktop, process.get(), kLaunchIdleTimeoutMs, cancel);
    if (kept) *kept = std::move(process);
    return info.processId;
}

void WaitForProcessIdle(Desktop& desktop, platform::Handle process, std::uint32_t timeoutMs,
                        const CancelSignal* cancel) {
    // Idle, failed (a program without a message queue) or ended: stop waiting.
    WaitUntil(
        desktop,
        [&] {
            if (desktop.WaitForInputIdle(process, 0) != proc::kWaitTimeout) return true;
            return desktop.WaitForSingleObject(process, 0) != proc::kWaitTimeout;
        },
        timeoutMs, cancel);
}

}  // namespace hw::automation
