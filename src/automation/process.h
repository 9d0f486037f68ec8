// Finding a running program by its file name, and launching programs.
#pragma once

#include <cstdint>
#include <string>

#include "automation/wait.h"
#include "platform/desktop.h"
#include "platform/owned.h"

namespace hw::automation {

// The first process, in the system's enumeration order, whose program file
// name or path contains `name` (case ignored); 0 when there is none.
platform::Pid GetProcessIdByName(platform::Desktop& desktop, const std::string& name);

inline constexpr std::uint32_t kLaunchIdleTimeoutMs = 30000;

// Starts a program (quoted when its path holds a space) in `directory`.
// Without waitForExit it returns once the new process is idle, or after
// kLaunchIdleTimeoutMs, with its id; with waitForExit it returns 0 when the
// program has ended. The message loop keeps running during both waits, and
// both end when `cancel` is raised. 0 when the launch failed. `process`, when
// given, takes the new process's handle: its end and exit code can be asked
// for even when it ends at once.
platform::Pid LaunchProgram(platform::Desktop& desktop, const std::string& commandLine,
                            const std::string& directory, bool waitForExit,
                            const CancelSignal* cancel = nullptr, platform::UniqueHandle* process = nullptr);

// Waits until the process waits for input (or has ended, or has no message
// queue to wait on), at most timeoutMs, keeping the message loop running.
void WaitForProcessIdle(platform::Desktop& desktop, platform::Handle process, std::uint32_t timeoutMs,
                        const CancelSignal* cancel = nullptr);

}  // namespace hw::automation
