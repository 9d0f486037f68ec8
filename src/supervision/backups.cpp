#include "supervision/backups.h"

#include <cstdio>
#include <vector>

#include "common/datetime.h"
#include "supervision/log.h"

namespace hw::supervision {

std::string BackupFolder(platform::Desktop& d) { return DataFolder(d) + "\\Backups"; }

long BackUp(platform::Desktop& d, const std::string& file, std::string* copy) {
    const platform::LocalTime t = d.GetLocalTime();
    char day[16], time[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.year, t.month, t.day);
    std::snprintf(time, sizeof time, "%02d%02d%02d", t.hour, t.minute, t.second);
    const std::string folder = BackupFolder(d) + "\\" + day;
    if (const long e = MakeFolders(d, folder)) return e;
    const std::string name = file.substr(file.find_last_of('\\') + 1);
    std::string target = folder + "\\" + name;
    long e = d.CopyFile(file, target, true);
    if (e == platform::err::kFileExists) {
        const size_t dot = name.find_last_of('.');
        target = folder + "\\" + name.substr(0, dot) + "-" + time + (dot == std::string::npos ? "" : name.substr(dot));
        e = d.CopyFile(file, target, false);
    }
    if (e == 0 && copy) *copy = target;
    return e;
}

void RemoveOldBackups(platform::Desktop& d, int days) {
    if (days <= 0) return;
    const platform::LocalTime now = d.GetLocalTime();
    const std::int64_t today = datetime::DaysFromCivil(now.year, now.month, now.day);
    std::vector<std::string> folders;
    if (d.ListFolder(BackupFolder(d), folders) != 0) return;
    for (const std::string& name : folders) {
        int y = 0, m = 0, dd = 0;
        char rest = 0;
        if (std::sscanf(name.c_str(), "%4d-%2d-%2d%c", &y, &m, &dd, &rest) != 3) continue;
        if (today - datetime::DaysFromCivil(y, m, dd) <= days) continue;
        const std::string folder = BackupFolder(d) + "\\" + name;
        std::vector<std::string> files;
        if (d.ListFolder(folder, files) != 0) continue;
        for (const std::string& f : files) d.DeleteFile(folder + "\\" + f);
        d.RemoveDirectory(folder);
    }
}

}  // namespace hw::supervision
