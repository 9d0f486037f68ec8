// frmConfig, "Harrowatch - Configuration": the poll interval, the server's
// start-up options and the Windows start-up entry. Opened modally over the
// main window, created fresh each time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/desktop.h"
#include "ui/controls.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace hw::settings {

inline constexpr const char* kConfigTitle = "Harrowatch - Configuration";
inline constexpr const char* kNoIntervalText = "You must specify a refresh interval.";
inline constexpr const char* kIntervalNotNumberText =
    "The refresh interval must be a whole number of milliseconds.";
inline constexpr const char* kIntervalTooLongText =
    "The refresh interval can be at most 65535 milliseconds (setting it to 0 disables the scheduler).";
inline constexpr const char* kHungMinutesText =
    "The minutes a server may not answer before it is ended must be a whole number from 0 (never) to 1440.";
inline constexpr const char* kLogDaysText = "The days logs are kept must be a whole number from 0 (always) to 3650.";
inline constexpr const char* kBackupDaysText =
    "The days backups are kept must be a whole number from 0 (always) to 3650.";
inline constexpr const char* kBackupMaxMBText =
    "The megabytes the backups may take must be a whole number from 1 to 65536.";
inline constexpr const char* kWarnMinutesText =
    "The minutes before a reset that the players are warned must be a whole number from 0 (never) to 1440.";
inline constexpr const char* kRestartDailyAtText =
    "The time of the daily restart must be empty (never) or a time of day HH:MM, from 00:00 to 23:59.";
inline constexpr const char* kRestartAboveMBText =
    "The megabytes of memory above which the server is restarted must be a whole number from 0 (never) to 65536.";
inline constexpr const char* kWebhookUrlText =
    "The webhook address must be empty, or start with http:// or https:// and name a host.";
inline constexpr const char* kNoWebhookUrlText = "Type the webhook address to test first.";
inline constexpr const char* kMetricsFolderText =
    "The metrics folder must be empty, or a full path (C:\\... or \\\\server\\share\\...) of a folder that exists.";
inline constexpr int kConfigWidth = 6000, kConfigHeight = 8280;  // twips

class frmConfig {
public:
    // main, mainTimer: the main window and its poll timer.
    frmConfig(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::Window& main, ui::Timer& mainTimer);

    void Form_Load();
    void FormOpen();
    bool FormValidate();
    void FormSave();
    void btnApply_Click();
    void btnCancel_Click();
    void txtTimerInterval_KeyPress(std::int16_t& keyAscii);

    ui::Window window{kConfigWidth, kConfigHeight};
    ui::CheckBox chkAutoStart, chkHideWindow, chkWindowsStartup, chkRememberKaltorWindow;
    ui::TextBox txtTimerInterval;
    // The "Supervision" tab.
    ui::TextBox txtHungRestartMinutes, txtLogDays, txtBackupDays, txtBackupMaxMB;
    ui::TextBox txtWarnPlayersMinutes, txtWarnPlayersText;
    ui::TextBox txtRestartDailyAt;  // "HH:MM", empty: never
    ui::TextBox txtRestartAboveMB;  // megabytes of private memory, 0: never
    ui::CheckBox chkNotifications;
    ui::TextBox txtWebhookUrl;
    ui::TextBox txtMetricsFolder;
    ui::Label lblWebhookResult;
    // "Test": one test event to the address as typed; the answer comes back
    // later, and shows only while the dialog is open.
    void btnTestWebhook_Click();
    std::function<void(const std::string& url, std::function<void(bool arrived, const std::string& how)> answer)>
        testWebhook;

    // Apply stored every value (the dialog stays open when the Task
    // Scheduler then refused the log-on task).
    bool Applied() const { return applied_; }
    // What was applied, in one line (for the log).
    std::string Summary() const;

    bool Closed() const { return closed_; }
    // Raised once when the dialog unloads; the binding destroys its window.
    std::function<void()> onClose;

private:
    void Close();
    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    ui::Window& main_;
    ui::Timer& mainTimer_;
    bool mainWasVisible_ = false;
    bool closed_ = false;
    bool applied_ = false;
    // Whether Harrowatch starts at log-on, as far as the dialog knows.
    bool startupShown_ = false;
    // Settings the registry could not read at open, with what their boxes
    // showed then: Apply leaves them as stored unless the operator changed
    // them, or a passing registry fault would store the defaults over them.
    std::map<std::string, std::string> unread_;
    std::string Shown(const char* name) const;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace hw::settings
