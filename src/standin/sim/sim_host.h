// The stand-in server hosted in the simulated desktop: its windows are
// simulated windows that answer the messages the real controls answer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "standin/server.h"

namespace hw::standin {

class SimHost : public Host {
public:
    SimHost(platform::sim::SimDesktop& desktop, platform::Pid pid, std::string script);
    platform::Pid pid() const { return pid_; }
    platform::Hwnd Handle(WinId w) const { return static_cast<platform::Hwnd>(w); }

    void SetEvents(Events* events) override { events_ = events; }
    WinId Create(const WindowSpec& spec) override;
    void Destroy(WinId window) override;
    bool Exists(WinId window) override { return desktop_.Window(Handle(window)) != nullptr; }
    void Show(WinId window, bool visible) override;
    void SetLiveText(WinId window, const std::string& text) override;
    std::string LiveText(WinId window) override;
    void ListBoxAdd(WinId listBox, const std::vector<std::string>& lines) override;
    void ListBoxClear(WinId listBox) override;
    int ListBoxCount(WinId listBox) override;
    void ListViewSet(WinId listView, const std::vector<std::vector<std::string>>& rows) override;
    void SetMenuBar(WinId form, const std::vector<Menu>& menus) override;
    void After(std::uint32_t ms, std::function<void()> work) override;
    std::uint64_t NowMs() override { return desktop_.NowMs() - startMs_; }
    std::string ClockText() override;
    void Hang(std::uint32_t ms) override { desktop_.HangProcess(pid_, ms); }
    void Crash() override { desktop_.KillProcess(pid_, 3); }
    void Exit() override { desktop_.KillProcess(pid_, 0); }
    std::string InstallDirectory() override;
    void EnsureDirectory(const std::string&) override {}
    void WriteFile(const std::string& path, const std::string& content) override {
        desktop_.WriteFile(path, content);
    }
    bool FileExists(const std::string& path) override { return desktop_.HasFile(path); }
    void HoldFile(const std::string& path, bool hold) override { desktop_.SetFileLocked(path, hold); }
    std::string ReadScript() override { return script_; }

    // The lines of a list box and the rows of a list view, for tests.
    const std::vector<std::string>& Lines(WinId listBox) { return state_[listBox].lines; }

private:
    struct ControlState {
        Kind kind = Kind::Form;
        std::string live;
        std::vector<std::string> lines;
        std::vector<std::vector<std::string>> rows;
        int buttons = 0;
        int pressed = -1;
    };
    bool Proc(WinId w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam, std::int64_t* result);
    // The procedures of each kind of window: true when the message was
    // handled, with its answer in `result`.
    bool FormProc(WinId w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
    bool ButtonProc(WinId w, ControlState& s, std::uint32_t message);
    bool StatusProc(ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                    std::int64_t* result);
    bool ListBoxProc(ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                     std::int64_t* result);
    bool ToolbarProc(WinId w, ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                     std::int64_t* result);
    bool ListViewText(ControlState& s, std::uint64_t row, platform::RemoteAddress record, std::int64_t* result);
    bool ToolbarButton(ControlState& s, std::uint64_t index, platform::RemoteAddress record, std::int64_t* result);

    platform::sim::SimDesktop& desktop_;
    platform::Pid pid_;
    std::string script_;
    std::uint64_t startMs_;
    Events* events_ = nullptr;
    std::map<WinId, ControlState> state_;
};

// Stand-in servers installed as programs of the simulated desktop: each
// launch of the program file starts a new one.
class SimStandins {
public:
    struct Instance {
        std::unique_ptr<SimHost> host;
        std::unique_ptr<Server> server;
    };
    // Installs the program at `path`, with the script its launches follow.
    void Install(platform::sim::SimDesktop& desktop, const std::string& path, std::string script = {},
                 platform::sim::ProgramSpec spec = {});
    void SetScript(std::string script) { script_ = std::move(script); }
    Instance* Latest() { return instances_.empty() ? nullptr : instances_.back().get(); }
    std::size_t Launches() const { return instances_.size(); }
    Instance* At(std::size_t i) { return i < instances_.size() ? instances_[i].get() : nullptr; }

private:
    std::string script_;
    std::vector<std::unique_ptr<Instance>> instances_;
};

}  // namespace hw::standin
