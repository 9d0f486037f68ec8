// What Harrowatch puts into Windows beyond its own settings: the log-on task
// and the Run entry of "Run Harrowatch on Windows Startup", and the event
// source. The uninstaller runs "Harrowatch.exe /unregister" to take them
// away; the settings, the schedule, the logs and the backups stay.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace hw::app {

inline constexpr const char* kUnregisterSwitch = "/unregister";

// True when all of it is gone (or was never there); otherwise `failure`
// says what is left and why.
bool Unregister(platform::Desktop& desktop, std::string& failure);

}  // namespace hw::app
