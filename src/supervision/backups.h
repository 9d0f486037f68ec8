// Copies of the server's data files, made before a reset deletes them, under
// %ProgramData%\Harrowatch\Backups\YYYY-MM-DD\. Before each copy, days older
// than "BackupDays" go (never the newest "BackupDays" there are), and the
// oldest days while all of them pass "BackupMaxMB" (never the newest).
#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop.h"

namespace hw::supervision {

std::string BackupFolder(platform::Desktop& desktop);

// Copies `file` into today's folder (a second copy the same day gets the time
// in its name). 0, or the Win32 error of the folder or the copy; *copy says
// where it went.
long BackUp(platform::Desktop& desktop, const std::string& file, std::string* copy = nullptr);

// Removes the day folders older than `days` (0: none for their age) but the
// newest `days` of them; then the oldest while they and `room` bytes to come
// take more than `maxBytes`, but never the newest day nor today's. Only
// folders named exactly YYYY-MM-DD, and only the files in them, go.
void RemoveOldBackups(platform::Desktop& desktop, int days, std::uint64_t maxBytes, std::uint64_t room = 0);
// The same with "BackupDays" and "BackupMaxMB", before a copy of `file`.
void RemoveOldBackups(platform::Desktop& desktop, const std::string& file);

}  // namespace hw::supervision
