// Harrowatch.exe's CPU while it polls the stand-in (100 players) every
// 1,000 ms for 60 s, taken from the Linux process that hosts it: Wine's
// GetProcessTimes under-reports another process's times. Two loads:
//   quiet: no new lines;                 target under 1% of one core;
//   busy:  50 new message lines a second, the server's own list growing
//          from 20,000 lines without trimming and Harrowatch's already at
//          the 20,000 lines it keeps, so that every poll also drops as many;
//          with the "Connected Users" tab shown (target under 1%), and
//          again with the "Server Messages" tab shown, its lines drawn as
//          they come (target under 1.5%);
//   busy with the chat window open (it reads the server's new lines for
//          players' chat every 120 ms):  target under 2% of one core.
#include <windows.h>
#include <commctrl.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <set>
#include <string>

#include "automation/process.h"
#include "automation/windows.h"
#include "bench/win32/bench_support.h"
#include "platform/win32/win32_desktop.h"
#include "win32/command_ids.h"

namespace {

using namespace hw;
platform::win32::Win32Desktop g_desktop;
constexpr int kKept = 20000;

std::string ReadAll(const std::string& path) {
    std::string text;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return text;
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(f, chunk, sizeof chunk, &n, nullptr) && n > 0) text.append(chunk, n);
    CloseHandle(f);
    return text;
}

// The Linux processes whose name is `comm`, through Wine's Z: drive.
std::set<int> LinuxProcesses(const std::string& comm) {
    std::set<int> found;
    WIN32_FIND_DATAA e;
    HANDLE h = FindFirstFileA("Z:\\proc\\*", &e);
    if (h == INVALID_HANDLE_VALUE) return found;
    do {
        const int pid = std::atoi(e.cFileName);
        if (pid > 0 && ReadAll("Z:\\proc\\" + std::string(e.cFileName) + "\\comm") == comm + "\n") found.insert(pid);
    } while (FindNextFileA(h, &e));
    FindClose(h);
    return found;
}

// User and system time of a Linux process, in seconds; -1 when it is gone.
double LinuxCpuSeconds(int pid) {
    const std::string stat = ReadAll("Z:\\proc\\" + std::to_string(pid) + "\\stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    // After the name: state (field 3) ... utime (14), stime (15), in 1/100 s.
    unsigned long long utime = 0, stime = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2)
        return -1;
    return static_cast<double>(utime + stime) / 100.0;
}

// The lines Harrowatch's window shows; -1 before it has one.
int HarrowatchLines() {
    const platform::Hwnd main = g_desktop.FindWindow(win32::kMainClass, "Harrowatch");
    if (!main) return -1;
    for (platform::Hwnd h : automation::GetChildWindows(g_desktop, main)) {
        if (!h || automation::GetWindowClass(g_desktop, h) != "ListBox") continue;
        std::int64_t n = 0;
        if (g_desktop.SendMessageTimeout(h, platform::msg::kLbGetCount, 0, 0, platform::msg::kSmtoAbortIfHung, 2000,
                                         &n))
            return static_cast<int>(n);
    }
    return -1;
}

// Shows one of Harrowatch's tabs, as a click on it would.
bool ShowTab(int tab) {
    const HWND main = FindWindowA(win32::kMainClass, "Harrowatch");
    const HWND tabs = FindWindowExA(main, nullptr, WC_TABCONTROLA, nullptr);
    DWORD_PTR r = 0;
    return tabs && SendMessageTimeoutA(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(tab), 0, SMTO_ABORTIFHUNG, 2000, &r) &&
           SendMessageTimeoutA(tabs, TCM_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &r) && r == static_cast<DWORD_PTR>(tab);
}

// The chat window, as the tray menu's first item opens it.
bool OpenChat() {
    PostMessageA(FindWindowA(win32::kMainClass, "Harrowatch"), WM_COMMAND, MAKEWPARAM(win32::kTrayMenuBase + 0, 0), 0);
    return bench::WaitFor([] {
        const HWND chat = FindWindowA(win32::kChatClass, nullptr);
        return chat && IsWindowVisible(chat);
    }, 10000);
}

void End(platform::Pid pid) {
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid.value())) {
        TerminateProcess(h, 0);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
}

void ClearSettings() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Harrowatch");
}

void BM_HarrowatchPolling(benchmark::State& state) {
    const int linesPerSecond = static_cast<int>(state.range(0));
    const int tab = static_cast<int>(state.range(1));
    const bool chat = state.range(2) != 0;
    const int prefilled = linesPerSecond ? kKept : 0;
    std::string script = "active\r\nat 0 players 100\r\n";
    if (linesPerSecond) {
        script += "at 0 messages " + std::to_string(prefilled) + "\r\n";
        script += "every 1000 messages " + std::to_string(linesPerSecond) + "\r\n";
    }
    ClearSettings();
    const std::string game = bench::InstallStandin("Harrowatch Bench Polled Server", script);
    bench::SetSetting(g_desktop, "Software\\Velmora\\KALTOR", "INSTDIR", game, 1);
    bench::SetSetting(g_desktop, "Software\\Harrowatch", "TimerInterval", "1000", 1);
    bench::SetSetting(g_desktop, "Software\\Harrowatch", "AutoStart", std::int32_t{1}, 4);
    bench::SetSetting(g_desktop, "Software\\Harrowatch", "HideKaltorWindow", std::int32_t{1}, 4);

    const std::set<int> before = LinuxProcesses("Harrowatch.exe");
    const platform::Pid harrowatch =
        automation::LaunchProgram(g_desktop, "\"" + bench::BinFolder() + "Harrowatch.exe\"", bench::BinFolder(), false);
    int host = 0;
    bench::WaitFor([&] {
        for (int p : LinuxProcesses("Harrowatch.exe"))
            if (!before.count(p)) host = p;
        return host != 0;
    }, 30000);
    // Up, the server's players in and its earlier lines copied.
    const bool ready = harrowatch && host && bench::WaitFor([&] {
        return HarrowatchLines() >= prefilled &&
               automation::GetProcessIdByName(g_desktop, "KALTOR INTERNET SERVER.EXE") != 0;
    }, 180000);
    if (!ready) {
        state.SkipWithError("Harrowatch.exe did not come up with the server's lines");
    } else if (!ShowTab(tab)) {
        state.SkipWithError("Harrowatch.exe's tab could not be shown");
    } else if (chat && !OpenChat()) {
        state.SkipWithError("Harrowatch.exe's chat window did not open");
    } else {
        Sleep(5000);
        for (auto _ : state) {
            const double cpu0 = LinuxCpuSeconds(host);
            Sleep(60000);
            const double cpu = LinuxCpuSeconds(host) - cpu0;
            const int lines = HarrowatchLines();
            state.counters["cpu_percent"] = 100.0 * cpu / 60.0;
            state.counters["lines_shown"] = lines;
            std::printf("%d new lines a second, 100 players, %s tab shown%s, polled every 1000 ms for 60 s: %.2f s "
                        "of CPU, %.2f%% of one core (target: under %.1f%%); %d lines kept\n",
                        linesPerSecond, tab ? "messages" : "players", chat ? ", chat window open" : "", cpu,
                        100.0 * cpu / 60.0, chat ? 2.0 : tab ? 1.5 : 1.0, lines);
        }
    }
    End(harrowatch);
    End(automation::GetProcessIdByName(g_desktop, "KALTOR INTERNET SERVER.EXE"));
    ClearSettings();
}
// {new lines a second, tab shown: 0 players, 1 messages; the chat window open}
BENCHMARK(BM_HarrowatchPolling)
    ->Args({0, 0, 0})
    ->Args({50, 0, 0})
    ->Args({50, 1, 0})
    ->Args({50, 0, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
