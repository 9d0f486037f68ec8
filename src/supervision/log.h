// The action log: one UTF-8 text file a day under
// %ProgramData%\Harrowatch\Logs, one line an event, starting with the local
// date and time and its UTC offset, then the level. Days older than
// "LogDays" go. A log that cannot be written never stops supervision: it
// says so once, through onUnwritable.
#pragma once

#include <functional>
#include <string>

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

    // "2026-12-06 09:00:00+01:00 WARNING Server ended: ...".
    static std::string Line(const platform::LocalTime& t, std::int32_t utcOffsetMinutes, const Event& event);

private:
    void RemoveOldDays(int days);
    platform::Desktop& d_;
    std::string lastDay_;  // the day old files were last looked for
    bool failing_ = false;
};

// "2026-12-06 09:00:00+01:00", with `between` between the date and the time
// ('T' makes it ISO 8601).
std::string Stamp(const platform::LocalTime& t, std::int32_t utcOffsetMinutes, char between);
// %ProgramData%\Harrowatch, without the trailing backslash; made as needed.
std::string DataFolder(platform::Desktop& desktop);
// Makes the folder and any missing parents; 0 or the Win32 error.
long MakeFolders(platform::Desktop& desktop, const std::string& path);
// Text in the ANSI code page (taken as Windows-1252's Latin range) as UTF-8.
std::string ToUtf8(const std::string& ansi);

}  // namespace hw::supervision
