// frmMain: Harrowatch's main window as the system sees it: its controls (as
// models), the controller's status events, the poll timer and the refresh
// cycle that mirrors the server and runs the schedule.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/tray_icon.h"
#include "automation/wait.h"
#include "platform/desktop.h"
#include "schedule/schedule.h"
#include "server/controller.h"
#include "ui/controls.h"
#include "ui/grid.h"
#include "ui/message_box.h"

namespace hw::app {

inline constexpr std::size_t kMonitoredLinesKept = 20000;
inline constexpr std::uint32_t kDefaultPollMs = 5000;

class frmMain {
public:
    frmMain(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::TrayShell& shell,
            automation::CancelSignal& cancel);
    ~frmMain();

    // Enough of the start-up to supervise: the schedule, the controller, the
    // server, the tray icon and the first refresh (which starts the timer).
    void StartMonitoring();
    // On a machine without Harrowatch's settings key: the interval, AutoStart
    // and HideKaltorWindow defaults.
    void WriteFirstRunDefaults();

    void Harrowatch_UpdateStatus(const std::string& pStatusType, const std::string& pStatusMessage,
                                 std::int32_t pStatusValue);
    void RefreshTimer_Timer() { FormRefresh(); }
    // One refresh cycle. A cycle asked for while one runs (a tick or a forced
    // refresh during a reset's wait) runs once after it instead.
    void FormRefresh();
    void lblStatusLocalServer_Change();

    // The window's handle and tray picture, once a binding gives them.
    std::uint64_t hWnd = 0;
    std::uint64_t picSysTray = 0;

    ui::Toolbar Toolbar;
    ui::Label lblStatusLocalServer;
    ui::Tabs SSTab{{"Connected Users", "Server Messages", "Scheduled Tasks", "Information"}};
    ui::ListView PlayerListView;
    ui::ListBox lstMonitoredMsgs{kMonitoredLinesKept};
    ui::TextBox txtStatusMasterServer;
    ui::StatusBar StatusBar;
    ui::Timer RefreshTimer;
    ui::BusyPointer Pointer;
    ui::GridModel ResetItemGrid;
    bool sysStartServerEnabled = true;
    bool sysStopServerEnabled = true;

    std::unique_ptr<server::clsHarrowatch> Harrowatch;
    schedule::Schedule Schedule;
    TrayIcon Tray;

    bool Refreshing() const { return refreshing_; }
    std::int64_t CopiedServerLines() const { return copiedLines_; }

private:
    void RunCycle();
    void ReadInterval();
    void ReadStatus(const std::vector<platform::Hwnd>& windows);
    void ReadPlayers(const std::vector<platform::Hwnd>& windows, platform::Pid pid);
    void ReadMessages(const std::vector<platform::Hwnd>& windows, platform::Pid pid);
    void RefreshFailed();

    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    automation::CancelSignal& cancel_;
    int subscription_ = 0;
    bool refreshing_ = false;
    bool refreshAsked_ = false;
    std::string lastError_;            // the error the last cycles met, reported once
    std::string refusedInterval_;      // a stored interval the timer cannot take, reported once
    std::int64_t copiedLines_ = 0;     // how far the server's message list has been copied
    platform::Pid copiedFrom_ = 0;     // the server process that list belongs to
};

}  // namespace hw::app
