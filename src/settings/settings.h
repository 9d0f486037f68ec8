// Every registry setting Harrowatch stores or reads, in one place. All of
// them live under HKEY_LOCAL_MACHINE and go through cRegistry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/tagged_value.h"
#include "platform/desktop.h"
#include "platform/types.h"
#include "settings/registry.h"

namespace hw::settings {

inline constexpr const char* kSettingsKey = "Software\\Harrowatch";
inline constexpr const char* kMainPositionKey = "Software\\Harrowatch\\Window Position\\Harrowatch";
inline constexpr const char* kChatPositionKey = "Software\\Harrowatch\\Window Position\\Chat";
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValue = "Harrowatch";
inline constexpr const char* kRunProgram = "Harrowatch.exe";

struct Setting {
    const char* key;
    const char* name;
    std::uint32_t type;
};

// The main window's poll interval in ms, as decimal text; 0 stops monitoring
// and the scheduler. First start: "5000".
inline constexpr Setting kTimerInterval{kSettingsKey, "TimerInterval", platform::reg::kSz};
// 1: press the server's "&Save" on its "Server Configuration" form. First start: 1.
inline constexpr Setting kAutoStart{kSettingsKey, "AutoStart", platform::reg::kDword};
// 1: hide the server's window once it has started. First start: 1.
inline constexpr Setting kHideKaltorWindow{kSettingsKey, "HideKaltorWindow", platform::reg::kDword};
// The operator's "Remember Kaltor window size/position"; absent until the
// configuration dialog is first applied. Stored and shown only.
inline constexpr Setting kRememberKaltorWindow{kSettingsKey, "RememberKaltorWindow", platform::reg::kDword};
// Window edges in twips, as decimal text; absent or not a number reads as 0.
inline constexpr Setting kMainLeft{kMainPositionKey, "Left", platform::reg::kSz};
inline constexpr Setting kMainTop{kMainPositionKey, "Top", platform::reg::kSz};
inline constexpr Setting kChatLeft{kChatPositionKey, "Left", platform::reg::kSz};
inline constexpr Setting kChatTop{kChatPositionKey, "Top", platform::reg::kSz};
// Present only while "Run Harrowatch on Windows Startup" is on: the quoted
// path of Harrowatch.exe in the running program's folder.
inline constexpr Setting kRunEntry{kRunKey, kRunValue, platform::reg::kSz};
// Supervision (REG_DWORD, a missing value means the default):
// minutes a server may not answer before it is ended (0, the default: never),
inline constexpr Setting kHungRestartMinutes{kSettingsKey, "HungRestartMinutes", platform::reg::kDword};
// days the day logs are kept (default 30),
inline constexpr Setting kLogDays{kSettingsKey, "LogDays", platform::reg::kDword};
// days the backups of reset data files are kept (default 30),
inline constexpr Setting kBackupDays{kSettingsKey, "BackupDays", platform::reg::kDword};
// megabytes all the backups together may take, whatever their days (default
// 2048): past it the oldest days go, never the newest.
inline constexpr Setting kBackupMaxMB{kSettingsKey, "BackupMaxMB", platform::reg::kDword};
inline constexpr std::int32_t kDefaultLogDays = 30, kDefaultBackupDays = 30, kMostDays = 3650;
inline constexpr std::int32_t kDefaultBackupMaxMB = 2048, kMostBackupMB = 65536;
inline constexpr std::int32_t kMostHungMinutes = 1440;
// Warnings to the players before resets: minutes before (0, the default:
// none), and the text, with {minutes} in it.
inline constexpr Setting kWarnPlayersMinutes{kSettingsKey, "WarnPlayersMinutes", platform::reg::kDword};
inline constexpr Setting kWarnPlayersText{kSettingsKey, "WarnPlayersText", platform::reg::kSz};
inline constexpr std::int32_t kMostWarnMinutes = 1440;
inline constexpr const char* kDefaultWarnPlayersText = "Server maintenance in {minutes} minutes";
// Tray balloons for crashes, delayed relaunches, a hung server and failed
// resets (REG_DWORD, default 1: on).
inline constexpr Setting kNotifications{kSettingsKey, "Notifications", platform::reg::kDword};
// The webhook's address, http:// or https:// (REG_SZ; empty, the default: none).
inline constexpr Setting kWebhookUrl{kSettingsKey, "WebhookUrl", platform::reg::kSz};
// The folder the metrics file harrowatch.prom is written to, for a
// Prometheus collector (REG_SZ; empty or missing, the default: none).
inline constexpr Setting kMetricsFolder{kSettingsKey, "MetricsFolder", platform::reg::kSz};
// The time of day the server is restarted, "HH:MM" on the 24-hour clock
// (REG_SZ; empty or missing, the default: never).
inline constexpr Setting kRestartDailyAt{kSettingsKey, "RestartDailyAt", platform::reg::kSz};
// The server is restarted once its private bytes pass this many megabytes
// (REG_DWORD; 0 or missing, the default: never).
inline constexpr Setting kRestartAboveMB{kSettingsKey, "RestartAboveMB", platform::reg::kDword};
inline constexpr std::int32_t kMostRestartMB = 65536;

// "HH:MM" (blanks around it and a one-digit hour allowed) as minutes after
// midnight; nothing for any other text.
std::optional<int> ParseDailyTime(const std::string& text);
// Minutes after midnight as "HH:MM".
std::string FormatDailyTime(int minutes);

// A whole-number setting: `fallback` when it is absent, not a number, or
// outside low..high.
std::int32_t ReadNumber(platform::Desktop& desktop, const Setting& s, std::int32_t fallback, std::int32_t low,
                        std::int32_t high);

// ReadNumber's rule for a value already read (empty when absent).
std::int32_t NumberOf(const TaggedValue& v, std::int32_t fallback, std::int32_t low, std::int32_t high);

// The game's installation directory, written by the game's installer only.
inline constexpr Setting kInstallDir{"Software\\Velmora\\KALTOR", "INSTDIR", platform::reg::kSz};

// The registry class on a key under HKEY_LOCAL_MACHINE.
cRegistry MachineKey(platform::Desktop& desktop, const std::string& key);

// Reads a setting; the empty value when it is absent.
TaggedValue ReadSetting(platform::Desktop& desktop, const Setting& s);
// Reads a setting as ReadSetting does, but a read the registry failed
// (anything but a missing key or value) answers nothing.
std::optional<TaggedValue> ReadSettingIfReadable(platform::Desktop& desktop, const Setting& s);
// Writes a setting with its type; throws HwError on failure.
void WriteSetting(platform::Desktop& desktop, const Setting& s, const TaggedValue& value);
// A stored window edge: the number its text starts with, 0 when none.
int ReadEdge(platform::Desktop& desktop, const Setting& s);

// The first-start defaults, written only when the settings key is missing.
// Answers whether it wrote them.
bool WriteFirstRunDefaults(platform::Desktop& desktop);

}  // namespace hw::settings
