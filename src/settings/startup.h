// "Run Harrowatch on Windows Startup": a Task Scheduler task that starts
// Harrowatch elevated when the operator logs on (Windows starts no program
// that asks for administrator rights from the Run key), and the Run entry
// kept beside it for older set-ups.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace hw::settings {

inline constexpr const char* kLogonTaskName = "Harrowatch";

// The task's definition: at the log-on of `user` (any user when empty), run
// `program` with highest privileges, interactively, with no time limit and
// no battery or idle conditions.
std::string LogonTaskXml(const std::string& program, const std::string& user);

// Whether Harrowatch will be started at log-on: its task is registered and
// starts this Harrowatch.exe. Throws HwError when the Task Scheduler cannot
// be asked.
bool StartsAtLogon(platform::Desktop& desktop);

// A task left starting a Harrowatch.exe that is gone (moved, or the other
// package's, uninstalled) is registered again for this one: true when it
// was. Throws
// HwError when the Task Scheduler cannot be asked or refuses.
bool RepairLogonTask(platform::Desktop& desktop);

// Registers the task for the user logged on to this session and writes the
// Run entry, or removes both. Throws HwError with the Task Scheduler's error
// when it refuses, and refuses an operator who cannot run Harrowatch as
// administrator (elevated here by another account).
void SetStartAtLogon(platform::Desktop& desktop, bool on);

}  // namespace hw::settings
