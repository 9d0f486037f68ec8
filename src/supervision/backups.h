// Copies of the server's data files, made before a reset deletes them, under
// %ProgramData%\Harrowatch\Backups\YYYY-MM-DD\. Days older than "BackupDays"
// go.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace hw::supervision {

std::string BackupFolder(platform::Desktop& desktop);

// Copies `file` into today's folder (a second copy the same day gets the time
// in its name). 0, or the Win32 error of the folder or the copy; *copy says
// where it went.
long BackUp(platform::Desktop& desktop, const std::string& file, std::string* copy = nullptr);

// Removes the day folders older than `days` (0: keeps them all).
void RemoveOldBackups(platform::Desktop& desktop, int days);

}  // namespace hw::supervision
