#include "settings/config_dialog.h"
#include "ui/key_filter.h"

#include <cctype>
#include <cmath>
#include <vector>
#include <cstdint>

#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/startup.h"

namespace hw::settings {

namespace {
// Empty (no metrics), or the full path of a folder there is: a drive's
// (C:\...) or a share's (\\server\share\...), with no wildcard or other
// character a file name cannot hold.
bool MetricsFolderUsable(platform::Desktop& desktop, const std::string& folder) {
    if (folder.empty()) return true;
    const bool drive = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
                       folder[2] == '\\';
    const bool share = folder.size() > 2 && folder[0] == '\\' && folder[1] == '\\' && folder[2] != '\\';
    if (!drive && !share) return false;
    if (folder.find_first_of("*?\"<>|", 0) != std::string::npos || folder.find(':', 2) != std::string::npos)
        return false;
    std::vector<std::string> names;
    return desktop.ListFolder(folder, names) == platform::err::kSuccess;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}
// A stored check-box value as the box takes it: a number, also one stored
// as text ("1" is checked); anything that is no number leaves it unchecked.
std::int16_t CheckValue(const TaggedValue& v) {
    if (v.IsInteger()) return static_cast<std::int16_t>(v.AsInteger());
    std::string t = text::Trim(v.ToText());
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) t.erase(0, 1);
    if (!AllDigits(t) || t.size() > 5) return 0;
    const long n = std::stol(t) * (negative ? -1 : 1);
    return n < INT16_MIN || n > INT16_MAX ? std::int16_t{0} : static_cast<std::int16_t>(n);
}

}  // namespace

frmConfig::frmConfig(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::Window& main, ui::Timer& mainTimer)
    : desktop_(desktop), boxes_(boxes), main_(main), mainTimer_(mainTimer) {
    chkAutoStart.SetValue(1);
    chkHideWindow.SetValue(1);
    chkWindowsStartup.SetValue(0);
    chkRememberKaltorWindow.SetValue(1);
    txtTimerInterval.SetText("5000");
    txtHungRestartMinutes.SetText("0");
    txtLogDays.SetText(std::to_string(kDefaultLogDays));
    txtBackupDays.SetText(std::to_string(kDefaultBackupDays));
    txtBackupMaxMB.SetText(std::to_string(kDefaultBackupMaxMB));
    txtWarnPlayersMinutes.SetText("0");
    txtWarnPlayersText.SetText(kDefaultWarnPlayersText);
    txtRestartAboveMB.SetText("0");
    chkNotifications.SetValue(1);
}

void frmConfig::Form_Load() {
    mainWasVisible_ = main_.Visible();
    main_.SetVisible(true);
    window.Move(main_.Left() + main_.Width() / 2 - window.Width() / 2,
                main_.Top() + main_.Height() / 2 - window.Height() / 2);
    FormOpen();
}

void frmConfig::FormOpen() {
    unread_.clear();
    try {
        auto read = [&](const Setting& s) {
            if (auto v = ReadSettingIfReadable(desktop_, s)) return *v;
            unread_[s.name];
            return TaggedValue("");
        };
        auto number = [&](const Setting& s, std::int32_t fallback, std::int32_t low, std::int32_t high) {
            return NumberOf(read(s), fallback, low, high);
        };
        const TaggedValue interval = read(kTimerInterval);
        if (!(interval == TaggedValue(""))) txtTimerInterval.SetText(interval.ToText());
        auto check = [&](const Setting& s, ui::CheckBox& box) {
            const TaggedValue v = read(s);
            if (!(v == TaggedValue(""))) box.SetValue(CheckValue(v));
        };
        check(kAutoStart, chkAutoStart);
        check(kHideKaltorWindow, chkHideWindow);
        check(kRememberKaltorWindow, chkRememberKaltorWindow);
        txtHungRestartMinutes.SetText(std::to_string(number(kHungRestartMinutes, 0, 0, kMostHungMinutes)));
        txtLogDays.SetText(std::to_string(number(kLogDays, kDefaultLogDays, 0, kMostDays)));
        txtBackupDays.SetText(std::to_string(number(kBackupDays, kDefaultBackupDays, 0, kMostDays)));
        txtBackupMaxMB.SetText(
            std::to_string(number(kBackupMaxMB, kDefaultBackupMaxMB, 1, kMostBackupMB)));
        txtWarnPlayersMinutes.SetText(std::to_string(number(kWarnPlayersMinutes, 0, 0, kMostWarnMinutes)));
        const std::string warnText = read(kWarnPlayersText).ToText();
        if (!text::IsBlankValue(warnText)) txtWarnPlayersText.SetText(warnText);
        // Shown as stored, also when it is no time: Apply then asks for one.
        txtRestartDailyAt.SetText(text::Trim(read(kRestartDailyAt).ToText()));
        txtRestartAboveMB.SetText(std::to_string(number(kRestartAboveMB, 0, 0, kMostRestartMB)));
        chkNotifications.SetValue(number(kNotifications, 1, 0, 0x7fffffff) != 0 ? 1 : 0);
        // Shown and stored as typed.
        txtWebhookUrl.SetText(read(kWebhookUrl).ToText());
        txtMetricsFolder.SetText(read(kMetricsFolder).ToText());
        for (auto& [name, shown] : unread_) shown = Shown(name.c_str());
        // Checked only when Harrowatch will really start at log-on: the Run
        // entry alone does not start a program that runs elevated.
        chkWindowsStartup.SetValue(StartsAtLogon(desktop_) ? 1 : 0);
        if (!unread_.empty()) {
            std::string names;
            for (const auto& [name, shown] : unread_) names += (names.empty() ? "" : ", ") + name;
            throw HwError(kRegSetFailure, kAppTitle,
                          "Settings could not be read from the registry: " + names +
                              "; Apply keeps them as stored unless they are changed here");
        }
    } catch (...) {
        ReportCaught(boxes_, "FormOpen");
    }
    startupShown_ = chkWindowsStartup.Value() == 1;
}

bool frmConfig::FormValidate() {
    try {
        const std::string text = text::Trim(txtTimerInterval.Text());
        const char* refusal = nullptr;
        // The key filter takes digits only, but pasted text is not filtered;
        // a word read as 0 would silently stop monitoring and the scheduler.
        if (txtTimerInterval.Text().empty()) {
            refusal = kNoIntervalText;
        } else if (!AllDigits(text)) {
            refusal = kIntervalNotNumberText;
        } else if (text::LeadingNumber(text) > 65535) {
            refusal = kIntervalTooLongText;
        }
        ui::TextBox* refused = &txtTimerInterval;
        // The "Supervision" tab's numbers, each with its range.
        auto check = [&](ui::TextBox& box, long most, const char* text, long least = 0) {
            const std::string t = text::Trim(box.Text());
            if (refusal) return;
            if (!AllDigits(t) || t.size() > 5 || std::stol(t) > most || std::stol(t) < least) {
                refusal = text;
                refused = &box;
            }
        };
        check(txtHungRestartMinutes, kMostHungMinutes, kHungMinutesText);
        check(txtLogDays, kMostDays, kLogDaysText);
        check(txtBackupDays, kMostDays, kBackupDaysText);
        check(txtBackupMaxMB, kMostBackupMB, kBackupMaxMBText, 1);
        check(txtWarnPlayersMinutes, kMostWarnMinutes, kWarnMinutesText);
        const std::string restartAt = text::Trim(txtRestartDailyAt.Text());
        if (!refusal && !restartAt.empty() && !ParseDailyTime(restartAt)) {
            refusal = kRestartDailyAtText;
            refused = &txtRestartDailyAt;
        }
        check(txtRestartAboveMB, kMostRestartMB, kRestartAboveMBText);
        const std::string url = text::Trim(txtWebhookUrl.Text());
        if (!refusal && !url.empty() && !text::IsWebUrl(url)) {
            refusal = kWebhookUrlText;
            refused = &txtWebhookUrl;
        }
        if (!refusal && !MetricsFolderUsable(desktop_, text::Trim(txtMetricsFolder.Text()))) {
            refusal = kMetricsFolderText;
            refused = &txtMetricsFolder;
        }
        if (!refusal) return true;
        boxes_.Report(refusal, kAppTitle, ui::mb::kIconExclamation | ui::mb::kOk);
        refused->SetFocus();
        return false;
    } catch (...) {
        ReportCaught(boxes_, "FormValidate");
        return false;
    }
}

void frmConfig::FormSave() {
    if (!FormValidate()) return;
    try {
        // A setting unread at open and left as shown keeps what is stored.
        auto WriteSetting = [&](platform::Desktop& desktop, const Setting& s, const TaggedValue& value) {
            const auto unread = unread_.find(s.name);
            if (unread != unread_.end() && unread->second == Shown(s.name)) return;
            settings::WriteSetting(desktop, s, value);
        };
        const double interval = text::LeadingNumber(txtTimerInterval.Text());
        WriteSetting(desktop_, kTimerInterval, static_cast<std::int32_t>(interval));
        WriteSetting(desktop_, kAutoStart, chkAutoStart.Value());
        WriteSetting(desktop_, kHideKaltorWindow, chkHideWindow.Value());
        WriteSetting(desktop_, kRememberKaltorWindow, chkRememberKaltorWindow.Value());
        WriteSetting(desktop_, kHungRestartMinutes, static_cast<std::int32_t>(std::stol(text::Trim(txtHungRestartMinutes.Text()))));
        WriteSetting(desktop_, kLogDays, static_cast<std::int32_t>(std::stol(text::Trim(txtLogDays.Text()))));
        WriteSetting(desktop_, kBackupDays, static_cast<std::int32_t>(std::stol(text::Trim(txtBackupDays.Text()))));
        WriteSetting(desktop_, kBackupMaxMB, static_cast<std::int32_t>(std::stol(text::Trim(txtBackupMaxMB.Text()))));
        WriteSetting(desktop_, kWarnPlayersMinutes,
                     static_cast<std::int32_t>(std::stol(text::Trim(txtWarnPlayersMinutes.Text()))));
        WriteSetting(desktop_, kWarnPlayersText, text::IsBlankValue(txtWarnPlayersText.Text())
                                                     ? std::string(kDefaultWarnPlayersText)
                                                     : txtWarnPlayersText.Text());
        const std::optional<int> restartAt = ParseDailyTime(txtRestartDailyAt.Text());
        WriteSetting(desktop_, kRestartDailyAt, restartAt ? FormatDailyTime(*restartAt) : std::string());
        WriteSetting(desktop_, kRestartAboveMB, static_cast<std::int32_t>(std::stol(text::Trim(txtRestartAboveMB.Text()))));
        WriteSetting(desktop_, kNotifications, static_cast<std::int32_t>(chkNotifications.Value() != 0 ? 1 : 0));
        WriteSetting(desktop_, kWebhookUrl, txtWebhookUrl.Text());
        WriteSetting(desktop_, kMetricsFolder, text::Trim(txtMetricsFolder.Text()));
        applied_ = true;
        mainTimer_.SetInterval(static_cast<std::int64_t>(text::RoundHalfEven(interval)));
    } catch (...) {
        ReportCaught(boxes_, "FormSave");
        return;
    }
    // The log-on task last, and only when the box was changed: the Task
    // Scheduler may refuse (not elevated, not running), and that costs none
    // of the values above.
    const bool wanted = chkWindowsStartup.Value() == 1;
    if (wanted != startupShown_) {
        try {
            SetStartAtLogon(desktop_, wanted);
            startupShown_ = wanted;
        } catch (...) {
            ReportCaught(boxes_, "FormSave");
            // The box shows what is so; the next Apply then goes through.
            try {
                startupShown_ = StartsAtLogon(desktop_);
            } catch (...) {
            }
            chkWindowsStartup.SetValue(startupShown_ ? 1 : 0);
            return;
        }
    }
    Close();
}

std::string frmConfig::Shown(const char* name) const {
    const std::string n = name;
    if (n == kTimerInterval.name) return txtTimerInterval.Text();
    if (n == kAutoStart.name) return std::to_string(chkAutoStart.Value());
    if (n == kHideKaltorWindow.name) return std::to_string(chkHideWindow.Value());
    if (n == kRememberKaltorWindow.name) return std::to_string(chkRememberKaltorWindow.Value());
    if (n == kHungRestartMinutes.name) return txtHungRestartMinutes.Text();
    if (n == kLogDays.name) return txtLogDays.Text();
    if (n == kBackupDays.name) return txtBackupDays.Text();
    if (n == kBackupMaxMB.name) return txtBackupMaxMB.Text();
    if (n == kWarnPlayersMinutes.name) return txtWarnPlayersMinutes.Text();
    if (n == kWarnPlayersText.name) return txtWarnPlayersText.Text();
    if (n == kRestartDailyAt.name) return txtRestartDailyAt.Text();
    if (n == kRestartAboveMB.name) return txtRestartAboveMB.Text();
    if (n == kNotifications.name) return std::to_string(chkNotifications.Value());
    if (n == kWebhookUrl.name) return txtWebhookUrl.Text();
    if (n == kMetricsFolder.name) return txtMetricsFolder.Text();
    return {};
}

std::string frmConfig::Summary() const {
    return "interval " + text::Trim(txtTimerInterval.Text()) + " ms, auto start " + std::to_string(chkAutoStart.Value()) +
           ", hide " + std::to_string(chkHideWindow.Value()) + ", start at log-on " +
           std::to_string(chkWindowsStartup.Value()) + ", hung restart " + text::Trim(txtHungRestartMinutes.Text()) +
           " min, logs " + text::Trim(txtLogDays.Text()) + " days, backups " + text::Trim(txtBackupDays.Text()) +
           " days, at most " + text::Trim(txtBackupMaxMB.Text()) + " MB, warn players " + text::Trim(txtWarnPlayersMinutes.Text()) + " min, restart daily " +
           (ParseDailyTime(txtRestartDailyAt.Text()) ? "at " + FormatDailyTime(*ParseDailyTime(txtRestartDailyAt.Text()))
                                                     : std::string("never")) +
           ", restart above " +
           (text::Trim(txtRestartAboveMB.Text()) == "0" ? std::string("never") : text::Trim(txtRestartAboveMB.Text()) + " MB") +
           ", balloons " +
           std::to_string(chkNotifications.Value()) + ", webhook " +
           (text::Trim(txtWebhookUrl.Text()).empty() ? std::string("none") : text::UrlHost(txtWebhookUrl.Text())) +
           ", metrics " + (text::Trim(txtMetricsFolder.Text()).empty() ? std::string("none") : text::Trim(txtMetricsFolder.Text()));
}

void frmConfig::btnTestWebhook_Click() {
    try {
        const std::string url = text::Trim(txtWebhookUrl.Text());
        const char* refusal = url.empty() ? kNoWebhookUrlText : !text::IsWebUrl(url) ? kWebhookUrlText : nullptr;
        if (refusal) {
            boxes_.Report(refusal, kAppTitle, ui::mb::kIconExclamation | ui::mb::kOk);
            txtWebhookUrl.SetFocus();
            return;
        }
        if (!testWebhook) return;
        lblWebhookResult.SetText("Sending a test event to " + text::UrlHost(url) + "...");
        testWebhook(url, [this, alive = std::weak_ptr<bool>(alive_)](bool arrived, const std::string& how) {
            if (alive.expired() || closed_) return;
            lblWebhookResult.SetText((arrived ? "Arrived: " : "Not arrived: ") + how);
        });
    } catch (...) {
        ReportCaught(boxes_, "btnTestWebhook_Click");
    }
}

void frmConfig::btnApply_Click() {
    FormSave();
    main_.SetVisible(mainWasVisible_);
}

void frmConfig::btnCancel_Click() {
    main_.SetVisible(mainWasVisible_);
    Close();
}

void frmConfig::txtTimerInterval_KeyPress(std::int16_t& keyAscii) { ui::FilterKeyPress(keyAscii, ""); }

void frmConfig::Close() {
    if (closed_) return;
    closed_ = true;
    if (onClose) onClose();
}

}  // namespace hw::settings
