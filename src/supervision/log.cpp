#include "supervision/log.h"

#include <cstdio>
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

std::string ToUtf8(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

long MakeFolders(platform::Desktop& d, const std::string& path) {
    std::string sofar;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') continue;
        sofar = path.substr(0, i);
        if (sofar.size() <= 3) continue;  // "C:" or "C:\"
        const long e = d.CreateDirectory(sofar);
        if (e != 0 && e != platform::err::kAlreadyExists) return e;
    }
    return 0;
}

std::string DataFolder(platform::Desktop& d) {
    char buf[1024] = {};
    const std::uint32_t n = d.ExpandEnvironmentStrings("%ProgramData%", buf, sizeof buf);
    std::string base = n > 0 && n <= sizeof buf ? std::string(buf) : std::string();
    if (base.empty() || base.find('%') != std::string::npos) base = "C:\\ProgramData";
    while (!base.empty() && base.back() == '\\') base.pop_back();
    return base + "\\Harrowatch";
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
    const std::string stamp = Stamp(t, offset, ' ');
    std::string text = event.text;
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';  // one line an event
    return stamp + " " + LevelName(event.level) + " " + Info(event.id).name +
           (text.empty() ? "" : ": " + ToUtf8(text)) + "\r\n";
}

void ActionLog::RemoveOldDays(int days) {
    if (days <= 0) return;
    const platform::LocalTime now = d_.GetLocalTime();
    const std::int64_t today = datetime::DaysFromCivil(now.year, now.month, now.day);
    std::vector<std::string> names;
    if (d_.ListFolder(Folder(), names) != 0) return;
    for (const std::string& name : names) {
        int y = 0, m = 0, dd = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), "Harrowatch-%4d-%2d-%2d%7s", &y, &m, &dd, tail) != 4 || std::string(tail) != ".log")
            continue;
        if (today - datetime::DaysFromCivil(y, m, dd) > days) d_.DeleteFile(Folder() + "\\" + name);
    }
}

void ActionLog::Take(const Event& event) {
    const platform::LocalTime now = d_.GetLocalTime();
    std::string why;
    long e = MakeFolders(d_, Folder());
    if (e == 0) e = d_.AppendFile(TodaysFile(), Line(now, d_.UtcOffsetMinutes(), event));
    if (e != 0) {
        if (!failing_ && onUnwritable)
            onUnwritable("The log cannot be written to " + Folder() + " (Windows error " + std::to_string(e) + ")");
        failing_ = true;
        return;
    }
    failing_ = false;
    const std::string day = DateText(now);
    if (day != lastDay_) {
        lastDay_ = day;
        RemoveOldDays(settings::ReadNumber(d_, settings::kLogDays, settings::kDefaultLogDays, 0, settings::kMostDays));
    }
}

}  // namespace hw::supervision
