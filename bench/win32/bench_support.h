// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <string>

#include "common/tagged_value.h"
#include "platform/desktop.h"
#include "settings/registry.h"

namespace hw::bench {

inline double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto s = [](const FILETIME& f) { return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7; };
    return s(kernel) + s(user);
}

inline void SetSetting(platform::Desktop& d, const char* key, const char* name, const TaggedValue& v, int type) {
    settings::cRegistry r(d);
    r.SetClassKey(settings::kHkeyLocalMachine);
    r.SetSectionKey(key);
    r.SetValueKey(name);
    r.SetValueType(type);
    r.SetValue(v);
}

inline void WriteText(const std::string& path, const std::string& text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
}

// The folder of this program, where the stand-in and Harrowatch.exe sit too.
inline std::string BinFolder() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self);
    return path.substr(0, path.find_last_of('\\') + 1);
}

// Puts the stand-in server, with its script, in a folder of its own under
// the temporary folder; answers the folder (with its backslash).
inline std::string InstallStandin(const std::string& folderName, const std::string& script) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + folderName + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((BinFolder() + "KALTOR INTERNET SERVER.EXE").c_str(), (folder + "KALTOR INTERNET SERVER.EXE").c_str(),
              FALSE);
    WriteText(folder + "standin.txt", script);
    return folder;
}

}  // namespace hw::bench
