// The main window's commands: close and exit, the tray icon's callbacks and
// menu, the toolbar, the player-list menu and the tab hint.
#include "app/main_window.h"

#include "automation/process.h"
#include "common/error.h"
#include "ui/report.h"
#include "common/scope_exit.h"
#include "schedule/editor.h"
#include "settings/settings.h"

namespace hw::app {

void frmMain::BuildMenus() {
    mnuSystemTray.items = {
        {"sysChatServer", "Chat on Server", true, false, [this] { sysChatServer_Click(); }},
        {"SysSeporator1", "-", true, false, nullptr},
        {"sysStartServer", "Start Server", true, false, [this] { sysStartServer_Click(); }},
        {"sysStopServer", "Stop Server", true, false, [this] { sysStopServer_Click(); }},
        {"sysConfigue", "Configuration...", true, false, [this] { sysConfigue_Click(); }},
        {"sysOpenLog", "Open Log Folder", true, false, [this] { OpenLogFolder(); }},
        {"SysSeporator2", "-", true, false, nullptr},
        {"sysExit", "&Exit Harrowatch", true, true, [this] { sysExit_Click(); }},
    };
    // Viewing a character and disconnecting a player have no command: they
    // are drawn disabled rather than doing nothing when chosen.
    mnuListView.items = {
        {"lvViewCharacter", "View Character", false, false, nullptr},
        {"lvDisconnectUser", "Disconnect User", false, false, nullptr},
        {"lvServerMessage", "Chat on Server", true, false, [this] { lvServerMessage_Click(); }},
    };
}

void frmMain::SavePosition() {
    settings::WriteSetting(desktop_, settings::kMainLeft, std::to_string(window.Left()));
    settings::WriteSetting(desktop_, settings::kMainTop, std::to_string(window.Top()));
}

void frmMain::Form_Unload(bool& cancel) {
    try {
        RefreshTimer.Hold(false);
        ScopeExit restore([this] { RefreshTimer.Hold(true); });
        SavePosition();
    } catch (...) {
        ReportCaught(boxes_, "Form_Unload");
        // The window stays: without it the tray icon, and so the exit, would
        // be gone while the program runs on.
    }
    window.SetVisible(false);
    desktop_.DoEvents();
    cancel = true;
}

bool frmMain::OperationOnStack() const {
    return handlers_ > 0 || refreshing_ || (Harrowatch && Harrowatch->Busy()) || (Chat && Chat->Busy());
}

void frmMain::sysExit_Click() {
    if (exiting_ || app_.ended) return;
    // A modal configuration dialog gives way to the exit.
    if (ConfigVisible()) Config->btnCancel_Click();
    if (OperationOnStack()) {
        // Something waits for the server further down the stack: end the
        // wait and come back once it has unwound.
        exitPending_ = true;
        cancel_.Raise();
        if (!exitTimer_)
            exitTimer_ = desktop_.SetTimer(automation::kPollPauseMs, [this] {
                if (OperationOnStack()) return;
                desktop_.KillTimer(exitTimer_);
                exitTimer_ = 0;
                sysExit_Click();
            });
        return;
    }
    exitPending_ = false;
    cancel_.Reset();
    if (!Harrowatch) return;
    bool stopped = false;
    {
        Handler h(*this);
        exiting_ = true;
        // Hiding goes through the start; a server that is gone (or goes
        // meanwhile) is not launched again only to be closed.
        Harrowatch->exiting = true;
        if (automation::GetProcessIdByName(desktop_, server::kServerExeName)) Harrowatch->HideServerWindow();
        stopped = Harrowatch->StopServer();
        Harrowatch->exiting = false;
        exiting_ = false;
    }
    if (app_.ended) return;  // gone with the session meanwhile, and told so
    if (!stopped) {
        // The server still runs: everything stays up, and the operator hears why.
        Events.Raise(supervision::EventId::ErrorReported, kExitRefusedText);
        boxes_.Report(kExitRefusedText, kAppTitle, ui::mb::kOk | ui::mb::kIconExclamation);
        return;
    }
    Tray.RemoveTrayIcon(hWnd);
    Harrowatch->UnsubscribeUpdateStatus(subscription_);
    Harrowatch.reset();
    exiting_ = true;
    bool cancel = false;
    Form_Unload(cancel);
    RefreshTimer.SetEnabled(false);
    Webhook.Close();
    Events.Raise(supervision::EventId::Exited, "");
    WriteMetricsAtExit();
    app_.End();
}

void frmMain::OpenLogFolder() {
    const std::string folder = Log.Folder();
    if (const long e = supervision::MakeFolders(desktop_, folder)) {
        ReportError(boxes_, static_cast<std::int32_t>(e), "The log folder '" + folder + "' cannot be made",
                    std::string(kAppTitle) + " - OpenLogFolder");
        return;
    }
    if (openFolder) openFolder(folder);
}

void frmMain::AllowTaskbarCreated() {
    // The shell runs with less rights than an elevated Harrowatch, and
    // Windows drops its messages unless the window lets this one through.
    taskbarCreated_ = desktop_.RegisterWindowMessage("TaskbarCreated");
    // A second start asks from the same level (both copies run elevated);
    // it needs no filter.
    showWindow_ = desktop_.RegisterWindowMessage(kShowWindowMessage);
    if (taskbarCreated_ && hWnd &&
        !desktop_.ChangeWindowMessageFilterEx(hWnd, taskbarCreated_, platform::msg::kMsgfltAllow))
        ReportError(boxes_, static_cast<std::int32_t>(desktop_.GetLastError()),
                    "The tray icon cannot come back after the shell restarts: Windows refused the shell's message",
                    std::string(kAppTitle) + " - Form_Load");
}

bool frmMain::Form_Message(std::uint32_t message, std::uint64_t wParam, std::int64_t, std::int64_t& result) {
    result = 0;
    if (taskbarCreated_ && message == taskbarCreated_) {
        // The shell came back without our icon: the tray is the only way to exit.
        if (Tray.Added() || Harrowatch) Tray.AddTrayIcon(hWnd, picSysTray, Tray.TrayIconData().szTip);
        return true;
    }
    if (showWindow_ && message == showWindow_) {
        ShowFromTray();
        result = 1;
        return true;
    }
    if (message == kWmQueryEndSession) {
        // Never hold the session up; from now on a server that ends is
        // Windows closing it, not a crash.
        sessionEnding_ = true;
        if (Harrowatch) Harrowatch->sessionEnding = true;
        result = 1;
        return true;
    }
    if (message == kWmEndSession) {
        if (wParam == 0) {
            sessionEnding_ = false;  // another program cancelled the end
            if (Harrowatch) Harrowatch->sessionEnding = false;
        } else {
            EndWithSession();
        }
        return true;
    }
    return false;
}

void frmMain::EndWithSession() {
    sessionEnding_ = true;
    Webhook.Close();
    Events.Raise(supervision::EventId::Exited, "with the Windows session");
    // Waits for the server end now; Windows closes the server itself.
    cancel_.Raise();
    RefreshTimer.SetEnabled(false);
    try {
        SavePosition();
    } catch (...) {
        // The session ends either way; the position is only lost.
    }
    if (Tray.Added()) Tray.RemoveTrayIcon(hWnd);
    WriteMetricsAtExit();
    app_.End();
}

void frmMain::Form_MouseMove(int, int, float x, float) {
    try {
        const int mouse = static_cast<int>(x);
        if (mouse == kTrayLeftDoubleClick) {
            ShowFromTray();
        } else if (mouse == kTrayRightButtonUp) {
            if (popup) popup(mnuSystemTray);
        }
    } catch (...) {
        ReportCaught(boxes_, "Form_MouseMove");
    }
}

void frmMain::ShowFromTray() {
    window.SetVisible(true);
    window.SetState(ui::WindowState::Normal);
    desktop_.SetForegroundWindow(hWnd);
    // Under an open (modal) configuration dialog the window is not shown again.
    if (!ConfigVisible()) window.Show();
}

bool ShowRunningCopy(platform::Desktop& desktop, const std::string& mainClass) {
    const platform::Hwnd running = desktop.FindWindow(mainClass.c_str(), nullptr);
    const std::uint32_t show = desktop.RegisterWindowMessage(kShowWindowMessage);
    if (!running || !show) return false;
    // Answered once the window is shown; then this start, which the
    // operator just made and so may give the foreground, brings it forward.
    std::int64_t shown = 0;
    if (!desktop.SendMessageTimeout(running, show, 0, 0, platform::msg::kSmtoAbortIfHung, 2000, &shown) || !shown)
        return false;
    desktop.SetForegroundWindow(running);
    return true;
}

void frmMain::ToggleServer(bool on) {
    if (!Harrowatch || exiting_) return;
    if (!on) {
        ++operatorStops_;
        stoppedPid_ = automation::GetProcessIdByName(desktop_, server::kServerExeName);
    }
    Handler h(*this);
    {
        RefreshTimer.Hold(false);
        ScopeExit restore([this] { RefreshTimer.Hold(true); });
        Harrowatch->ToggleServer(on);
    }
    // Started again after a stop of the operator's: a planned restart owed
    // from before has been had, and the memory guard starts afresh (a
    // restart for memory waiting then counts as done).
    if (on && startedAfterStops_ != operatorStops_) {
        startedAfterStops_ = operatorStops_;
        operatorStartMs_ = desktop_.TickCount();
        if (memory_.Planned() || memoryOwedAtStop_) memory_.Restarted(operatorStartMs_);
        memoryOwedAtStop_ = false;
    }
    FormRefresh();
}

void frmMain::sysConfigue_Click() {
    if (ConfigVisible() || exiting_) return;
    Handler h(*this);
    {
        // The poll goes on while the dialog is open: supervision does not
        // wait for the operator.
        ScopeExit restore([this] {
            Config.reset();
            RefreshTimer.SetEnabled(true);
        });
        Config = std::make_unique<settings::frmConfig>(desktop_, boxes_, window, RefreshTimer);
        Config->testWebhook = [this](const std::string& url, auto answer) {
            Webhook.Test(url, [answer](const supervision::WebhookResult& r) { answer(r.Delivered(), r.Describe()); });
        };
        Config->Form_Load();
        if (runConfigModal) runConfigModal(*Config);
        if (Config->Applied()) Events.Raise(supervision::EventId::SettingsApplied, Config->Summary());
    }
    FormRefresh();
}

void frmMain::Toolbar_ButtonClick(int button) {
    try {
        switch (button) {
            case kConfigure:
                sysConfigue_Click();
                break;
            case kStartServer:
                ToggleServer(true);
                break;
            case kStopServer:
                ToggleServer(false);
                break;
            // Not while the exit closes the server: showing it goes through
            // the start, which would launch it again.
            case kShowServer:
                if (Harrowatch && !exiting_ && !exitPending_) Harrowatch->ShowServerWindow();
                break;
            case kHideServer:
                if (Harrowatch && !exiting_ && !exitPending_) Harrowatch->HideServerWindow();
                break;
            default:
                break;
        }
        window.ZOrderTop();
    } catch (...) {
        RefreshTimer.SetEnabled(true);
        ReportCaught(boxes_, "Toolbar_ButtonClick");
    }
}

void frmMain::SSTab_Click(int) { ShowPanelHint(); }

void frmMain::PlayerListView_MouseDown(int button, int, float, float) {
    if (button == schedule::kRightButton && popup) popup(mnuListView);
}

void frmMain::OpenChat() {
    if (exiting_ || app_.ended) return;
    if (Chat && !Chat->Closed()) {
        if (onChatShow) onChatShow(*Chat);
        return;
    }
    if (Chat && onChatRelease) onChatRelease(*Chat);
    Chat = std::make_unique<chat::frmMessage>(desktop_, boxes_, RefreshTimer, app_, screen, &cancel_);
    Chat->events = &Events;
    Chat->sendsAlso = Harrowatch.get();
    Chat->Form_Load();
    if (app_.ended) {
        if (Tray.Added()) Tray.RemoveTrayIcon(hWnd);
        return;
    }
    if (onChatOpen) onChatOpen(*Chat);
}

}  // namespace hw::app
