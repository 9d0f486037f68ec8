// End to end: Harrowatch.exe and the stand-in server, both real, driven and
// watched from outside as an operator (and the shell) would.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/windows.h"
#include "contract/contract_env.h"
#include "server/controller.h"
#include "settings/registry.h"
#include "win32/command_ids.h"

namespace hw::testing {

using platform::Hwnd;

// A picture of the screen for the operator's eye, as build/screenshots/NAME,
// when the run asks for one (HW_SHOTS_DIR).
void SaveScreenshot(const std::string& name);

class HarrowatchE2E : public ::testing::Test {
protected:
    // The server's script; each suite gives its own.
    virtual std::string Script() {
        return "active\nat 0 join Dorn 10.0.0.5 Dornak\nat 0 message Welcome to Kaltor\n";
    }
    void SetUp() override {
        env_ = MakeContractEnv();
        game_ = env_->MakeFolder("Kaltor Online");
        env_->InstallServer(game_, Script());
        Set(server::kGameKey, "INSTDIR", game_, platform::reg::kSz);
        Set(server::kSettingsKey, "TimerInterval", "1000", platform::reg::kSz);
        Set(server::kSettingsKey, "AutoStart", std::int32_t{1}, platform::reg::kDword);
        Set(server::kSettingsKey, "HideKaltorWindow", std::int32_t{1}, platform::reg::kDword);
        const std::string home = env_->MakeFolder("Harrowatch Home");
        program_ = home + "Harrowatch.exe";
        ASSERT_TRUE(CopyFileA(Beside("Harrowatch.exe").c_str(), program_.c_str(), FALSE));
    }
    void TearDown() override {
        for (const char* name : {"Harrowatch.exe", server::kServerExeName})
            for (int i = 0; i < 5; ++i)
                if (platform::Pid pid = automation::GetProcessIdByName(d(), name)) env_->EndProcess(pid);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Harrowatch");
    }
    static std::string Beside(const std::string& file) {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string p(self);
        return p.substr(0, p.find_last_of('\\') + 1) + file;
    }
    void Set(const std::string& key, const std::string& name, const TaggedValue& v, std::int32_t type) {
        settings::cRegistry r(d());
        r.SetClassKey(settings::kHkeyLocalMachine);
        r.SetSectionKey(key);
        r.SetValueKey(name);
        r.SetValueType(type);
        r.SetValue(v);
    }
    platform::Desktop& d() { return env_->desktop(); }
    Hwnd Child(Hwnd parent, const std::string& cls) {
        for (Hwnd h : automation::GetChildWindows(d(), parent))
            if (h && automation::GetWindowClass(d(), h) == cls) return h;
        return 0;
    }
    // A status bar part of another process, read through its memory.
    std::string StatusPart(Hwnd bar, platform::Pid pid, int part) {
        HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid.value());
        if (!p) return {};
        void* remote = VirtualAllocEx(p, nullptr, 512, MEM_COMMIT, PAGE_READWRITE);
        DWORD_PTR r = 0;
        char text[512] = {};
        if (remote && SendMessageTimeoutA(H(bar), SB_GETTEXTA, part,
                                          reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &r))
            ReadProcessMemory(p, remote, text, 511, nullptr);
        if (remote) VirtualFreeEx(p, remote, 0, MEM_RELEASE);
        CloseHandle(p);
        return text;
    }

    // The lines of the server's own message list.
    std::vector<std::string> ServerLines() {
        const Hwnd main = automation::GetProcessMainWindow(d(), server_);
        for (Hwnd h : automation::GetChildWindows(d(), main))
            if (h && automation::GetWindowTitle(d(), h) == "KALTOR Server")
                return automation::GetListBoxLines(d(), d().FindWindowEx(h, 0, "ThunderRT6ListBox", nullptr), 0);
        return {};
    }
    // An item's rectangle in a tab control of another process, read through its memory.
    bool RemoteItemRect(Hwnd tabs, int item, RECT& rect) {
        DWORD pid = 0;
        GetWindowThreadProcessId(H(tabs), &pid);
        HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!p) return false;
        void* remote = VirtualAllocEx(p, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE);
        DWORD_PTR r = 0;
        const bool ok = remote &&
                        SendMessageTimeoutA(H(tabs), TCM_GETITEMRECT, static_cast<WPARAM>(item),
                                            reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &r) &&
                        r && ReadProcessMemory(p, remote, &rect, sizeof rect, nullptr);
        if (remote) VirtualFreeEx(p, remote, 0, MEM_RELEASE);
        CloseHandle(p);
        return ok;
    }

    // Starts Harrowatch and waits for its main window and the server it starts.
    void StartHarrowatch() {
        harrowatch_ = automation::LaunchProgram(d(), program_, "", false);
        ASSERT_NE(harrowatch_, platform::Pid{});
        ASSERT_TRUE(env_->WaitFor([&] { return (main_ = d().FindWindow(win32::kMainClass, "Harrowatch")) != 0; }, 30000));
        ASSERT_TRUE(env_->WaitFor([&] { return (server_ = automation::GetProcessIdByName(d(), server::kServerExeName)) != 0; },
                                  30000));
    }
    Hwnd Control(Hwnd parent, int id) { return U(GetDlgItem(H(parent), id)); }
    // A window of Harrowatch's once it is shown with its controls: the
    // top-level window exists before its children are made and filled in.
    Hwnd WaitForForm(const char* cls, const char* title, std::initializer_list<int> controls, std::uint32_t ms = 10000) {
        Hwnd form = 0;
        const bool ready = env_->WaitFor([&] {
            form = d().FindWindow(cls, title);
            if (!form || !d().IsWindowVisible(form)) return false;
            for (int id : controls)
                if (!Control(form, id)) return false;
            return true;
        }, ms);
        return ready ? form : Hwnd{};
    }
    // What the shell sends when the mouse does something over the tray icon.
    void Tray(UINT mouse) { PostMessageA(H(main_), WM_MOUSEMOVE, 1, mouse); }
    // A command of Harrowatch's menus or toolbar, as the menu posts it.
    void Command(int id, Hwnd from = 0) { PostMessageA(H(main_), WM_COMMAND, MAKEWPARAM(id, 0), static_cast<LPARAM>(from.value())); }
    void Click(Hwnd button) { PostMessageA(H(button), BM_CLICK, 0, 0); }
    void Type(Hwnd control, const std::string& keys) {
        for (char k : keys) PostMessageA(H(control), WM_CHAR, static_cast<unsigned char>(k), 1);
    }
    std::string Text(Hwnd control) { return automation::GetControlText(d(), control); }
    bool Alive(platform::Pid pid) {
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid.value());
        if (!h) return false;
        const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
        CloseHandle(h);
        return alive;
    }
    std::string Stored(const std::string& key, const std::string& name) {
        settings::cRegistry r(d());
        r.SetClassKey(settings::kHkeyLocalMachine);
        r.SetSectionKey(key);
        r.SetValueKey(name);
        return r.Value().ToText();
    }
    // A picture of the screen for the operator's eye, when the run asks for one.
    void Screenshot(const std::string& name);

    static HWND H(Hwnd h) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(h.value())); }
    static Hwnd U(HWND h) { return static_cast<Hwnd>(reinterpret_cast<ULONG_PTR>(h)); }

    std::unique_ptr<ContractEnv> env_;
    platform::Pid harrowatch_ = 0, server_ = 0;
    Hwnd main_ = 0;
    std::string game_, program_;
};


}  // namespace hw::testing
