// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "automation/process.h"
#include "automation/windows.h"
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

template <typename F>
bool WaitFor(F done, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

// The stand-in server, launched from a folder of its own with the given
// script and past its configuration form; ended when this goes.
class Standin {
public:
    Standin(platform::Desktop& d, const std::string& folderName, const std::string& script) : d_(d) {
        const std::string folder = InstallStandin(folderName, script);
        pid_ = automation::LaunchProgram(d_, folder + "KALTOR INTERNET SERVER.EXE", folder, false);
        platform::Hwnd save = 0;
        if (!pid_ || !WaitFor([&] {
                const platform::Hwnd form = d_.FindWindow("ThunderRT6FormDC", "Server Configuration");
                return (save = d_.FindWindowEx(form, 0, "ThunderRT6CommandButton", "&Save")) != 0;
            }, 60000))
            return;
        d_.PostMessage(save, 0x0201, 0, 0);  // a click
        d_.PostMessage(save, 0x0202, 0, 0);
    }
    ~Standin() {
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid_.value())) {
            TerminateProcess(h, 0);
            CloseHandle(h);
        }
    }
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    platform::Pid Pid() const { return pid_; }

    // The first child window of the main window that `match` takes, once
    // `ready` says its content is all there; 0 when it never is.
    template <typename Match, typename Ready>
    platform::Hwnd Child(Match match, Ready ready) {
        platform::Hwnd found = 0;
        WaitFor([&] {
            found = 0;
            const platform::Hwnd main = automation::GetProcessMainWindow(d_, pid_);
            for (platform::Hwnd h : automation::GetChildWindows(d_, main))
                if (h && !found) found = match(h);
            return found && ready(found);
        }, 60000);
        return found && ready(found) ? found : 0;
    }

    // The list view of players, once it has `rows` rows.
    platform::Hwnd PlayerList(int rows) {
        return Child([&](platform::Hwnd h) { return automation::GetWindowClass(d_, h) == "ListViewWndClass" ? h : 0; },
                     [&](platform::Hwnd h) { return Count(h, platform::msg::kLvmGetItemCount) == rows; });
    }
    // The list box of messages, once it has at least `lines` lines.
    platform::Hwnd MessageList(int lines) {
        return Child(
            [&](platform::Hwnd h) {
                return automation::GetWindowTitle(d_, h) == "KALTOR Server"
                           ? d_.FindWindowEx(h, 0, "ThunderRT6ListBox", nullptr)
                           : 0;
            },
            [&](platform::Hwnd h) { return Count(h, platform::msg::kLbGetCount) >= lines; });
    }

private:
    std::int64_t Count(platform::Hwnd h, std::uint32_t message) {
        std::int64_t n = -1;
        return d_.SendMessageTimeout(h, message, 0, 0, platform::msg::kSmtoAbortIfHung, 2000, &n) ? n : -1;
    }

    platform::Desktop& d_;
    platform::Pid pid_ = 0;
};

// Remembers each run's time per iteration, by its full name ("BM_Floor/50"),
// for the ratios a benchmark prints after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            times[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace hw::bench
