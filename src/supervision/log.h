// The action log: one UTF-8 text file a day under
// %ProgramData%\Harrowatch\Logs, one line an event, starting with the local
// date and time and its UTC offset, then the level. Days older than
// "LogDays" go, before the day's first line and when a line cannot be
// written, but never the newest "LogDays" there are. A log that cannot be
// written never stops supervision: it says so once, through onUnwritable.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "supervision/events.h"

namespace hw::supervision {

class ActionLog : public EventSink {
public:
    explicit ActionLog(platform::Desktop& desktop) : d_(desktop) {}
    void Take(const Event& event) override;
    // %ProgramData%\Harrowatch\Logs, without the trailing backslash.
    std::string Folder();
    // The file events of today go to.
    std::string TodaysFile();
    // Told once, when the log cannot be written (and again after it could).
    std::function<void(const std::string& why)> onUnwritable;

    // "2026-12-06 09:00:00+01:00 WARNING Server ended: ...", the event's text
    // taken as UTF-8, its control characters written as \xNN.
    static std::string Line(const platform::LocalTime& t, std::int32_t utcOffsetMinutes, const Event& event);

private:
    void RemoveOldDays();
    long Write(const platform::LocalTime& now, const Event& event);
    platform::Desktop& d_;
    std::string lastDay_;  // the day old files were last looked for
    bool failing_ = false;
};

// "2026-12-06 09:00:00+01:00", with `between` between the date and the time
// ('T' makes it ISO 8601).
std::string Stamp(const platform::LocalTime& t, std::int32_t utcOffsetMinutes, char between);
// %ProgramData%\Harrowatch, without the trailing backslash; made as needed.
std::string DataFolder(platform::Desktop& desktop);
// Makes the folder and any missing parents; 0 or the Win32 error. Below the
// data folder, only real folders: a junction or link on the way is refused
// (4395), and the data folder itself is secured first (SecureDataFolder).
long MakeFolders(platform::Desktop& desktop, const std::string& path);
// Makes the data folder for administrators only (Administrators and SYSTEM
// may change it, Users read it), or sets that again on one that others may
// change; refuses one that is a junction or link. 0, or the Win32 error with
// the reason in *why; *why also says when the permissions were set again.
long SecureDataFolder(platform::Desktop& desktop, std::string* why = nullptr);
// Whether `path`, its attributes as GetFileAttributes gave them, leads
// elsewhere: a junction or symbolic link (a name surrogate). A reparse point
// of another kind (deduplicated, compressed, held in the cloud) is the file
// or folder itself. 0, or the error of reading its tag.
long LeadsElsewhere(platform::Desktop& desktop, const std::string& path, std::uint32_t attributes, bool& link);
// The owner and permissions the data folder is given.
inline constexpr const char* kAdministratorsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
// Of the days named (days since 1970), those to remove: older than `keep`
// days before `today`, and not among the newest `keep` named (a clock set
// ahead must not take them all). `keep` 0 keeps every day.
std::vector<std::int64_t> DaysPastKeeping(std::vector<std::int64_t> named, std::int64_t today, int keep);

}  // namespace hw::supervision
