// Control and command ids of Harrowatch's windows, shared with the tests
// that drive the program from outside.
#pragma once

namespace hw::win32 {

inline constexpr const char* kMainClass = "HarrowatchMain";
inline constexpr const char* kConfigClass = "HarrowatchConfig";
inline constexpr const char* kChatClass = "HarrowatchChat";
inline constexpr const char* kSingleInstanceMutex = "Global\\Harrowatch.SingleInstance";

// Menu items come back as WM_COMMAND with their base plus their index.
inline constexpr int kTrayMenuBase = 1000;    // mnuSystemTray
inline constexpr int kListMenuBase = 1100;    // mnuListView
inline constexpr int kToolbarBase = 200;      // button n (1-based) is kToolbarBase + n - 1

// Main window controls.
inline constexpr int kIdToolbar = 10, kIdStatusLabel = 11, kIdTabs = 12, kIdPlayers = 13, kIdMessages = 14,
                     kIdGrid = 15, kIdFrequency = 16, kIdNextTime = 17, kIdRemove = 18, kIdClear = 19,
                     kIdApplyReset = 20, kIdMasterStatus = 21, kIdStatusBar = 22, kIdResources = 23;
// Configuration dialog (Apply is the default button, Cancel the cancel one).
inline constexpr int kIdApply = 1, kIdCancel = 2, kIdAutoStart = 30, kIdHideWindow = 31, kIdWindowsStartup = 32,
                     kIdRememberWindow = 33, kIdInterval = 34, kIdHungMinutes = 35, kIdLogDays = 36,
                     kIdBackupDays = 37, kIdConfigTabs = 38, kIdWarnMinutes = 50, kIdWarnText = 51,
                     kIdNotifications = 52, kIdWebhookUrl = 53, kIdTestWebhook = 54, kIdWebhookResult = 55,
                     kIdBackupMaxMB = 56, kIdMetricsFolder = 57, kIdRestartAt = 58,
                     kIdRestartAboveMB = 59;
// Chat window.
inline constexpr int kIdTranscript = 40, kIdMessageText = 41, kIdSend = 42;

}  // namespace hw::win32
