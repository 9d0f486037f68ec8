#include "supervision/log.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include "common/datetime.h"
#include "settings/settings.h"

namespace hw::supervision {

namespace {
const char* LevelName(Level level) {
    switch (level) {
        case Level::Information: return "INFO";
        case Level::Warning: return "WARNING";
        case Level::Error: return "ERROR";
    }
    return "INFO";
}

std::string DateText(const platform::LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
    return buf;
}
}  // namespace

std::vector<std::int64_t> DaysPastKeeping(std::vector<std::int64_t> named, std::int64_t today, int keep) {
    std::vector<std::int64_t> past;
    if (keep <= 0) return past;
    std::sort(named.begin(), named.end(), std::greater<>());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    for (size_t i = static_cast<size_t>(keep); i < named.size(); ++i)
        if (today - named[i] > keep) past.push_back(named[i]);
    return past;
}

std::string ActionLog::Folder() { return DataFolder(d_) + "\\Logs"; }

std::string ActionLog::TodaysFile() { return Folder() + "\\Harrowatch-" + DateText(d_.GetLocalTime()) + ".log"; }

std::string Stamp(const platform::LocalTime& t, std::int32_t offset, char between) {
    char stamp[48];
    const int a = offset < 0 ? -offset : offset;
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d%c%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, between,
                  t.hour, t.minute, t.second, offset < 0 ? '-' : '+', a / 60, a % 60);
    return stamp;
}

std::string ActionLog::Line(const platform::LocalTime& t, std::int32_t offset, const Event& event) {
    // One line an event: control characters, C1 ones too (U+0085 ends a
    // line for some readers), are written as \xNN.
    std::string text;
    text.reserve(event.text.size());
    const std::string& in = event.text;
    for (size_t i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        int control = -1;
        if (c < 0x20 || c == 0x7F) {
            control = c;
        } else if (c == 0xC2 && i + 1 < in.size() && static_cast<unsigned char>(in[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(in[i + 1]) <= 0x9F) {
            control = static_cast<unsigned char>(in[++i]);
        }
        if (control < 0) {
            text += in[i];
            continue;
        }
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned>(control));
        text += esc;
    }
    return Stamp(t, offset, ' ') + " " + LevelName(event.level) + " " + Info(event.id).name +
           (text.empty() ? "" : ": " + text) + "\r\n";
}

void ActionLog::RemoveOldDays() {
    const int days = settings::ReadNumber(d_, settings::kLogDays, settings::kDefaultLogDays, 0, settings::kMostDays);
    if (days <= 0) return;
    const platform::LocalTime now = d_.GetLocalTime();
    std::vector<std::string> names;
    if (MakeFolders(d_, Folder()) != 0 || d_.ListFolder(Folder(), names) != 0) return;
    // Only the names the log gives its files: "Harrowatch-YYYY-MM-DD.log".
    const std::string head = "Harrowatch-", tail = ".log";
    std::map<std::int64_t, std::string> ours;
    for (const std::string& name : names) {
        std::int64_t day = 0;
        if (name.size() == head.size() + 10 + tail.size() && name.compare(0, head.size(), head) == 0 &&
            name.compare(head.size() + 10, tail.size(), tail) == 0 &&
            datetime::ParseDay(name.substr(head.size(), 10), day))
            ours[day] = name;
    }
    std::vector<std::int64_t> named;
    for (const auto& [day, name] : ours) named.push_back(day);
    for (std::int64_t day : DaysPastKeeping(named, datetime::DaysFromCivil(now.year, now.month, now.day), days))
        d_.DeleteFile(Folder() + "\\" + ours[day]);
}

long ActionLog::Write(const platform::LocalTime& now, const Event& event) {
    long e = MakeFolders(d_, Folder());
    if (e == 0) {
        Event utf8 = event;
        utf8.text = d_.AnsiToUtf8(event.text);
        e = d_.AppendFile(TodaysFile(), Line(now, d_.UtcOffsetMinutes(), utf8));
    }
    return e;
}

void ActionLog::Take(const Event& event) {
    const platform::LocalTime now = d_.GetLocalTime();
    // Old days go before the day's first line, so a full disk makes room.
    const std::string day = DateText(now);
    if (day != lastDay_) {
        lastDay_ = day;
        RemoveOldDays();
    }
    long e = Write(now, event);
    if (e != 0 && !failing_) {
        // The disk may have filled since: room again, and one more try.
        RemoveOldDays();
        e = Write(now, event);
    }
    if (e != 0) {
        if (failing_) return;
        // Marked first: the one told may raise an event, which comes back here.
        failing_ = true;
        if (onUnwritable)
            onUnwritable("The log cannot be written to " + Folder() + " (Windows error " + std::to_string(e) + ")");
        return;
    }
    failing_ = false;
}

}  // namespace hw::supervision
