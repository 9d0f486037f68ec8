#include "app/tray_icon.h"

#include "common/text.h"
#include "settings/settings.h"

namespace hw::app {

namespace {
std::string FitTip(const std::string& tip) { return tip.substr(0, 63); }
}  // namespace

void TrayIcon::AddTrayIcon(platform::Hwnd window, std::uint64_t icon, const std::string& tip) {
    data_.cbSize = ui::kTrayRecordSize;
    data_.hWnd = window.value();
    data_.uID = 1;
    data_.uFlags = ui::kNifAll;
    data_.uCallbackMessage = ui::kTrayCallback;
    data_.hIcon = icon;
    data_.szTip = FitTip(text::IsBlankValue(tip) ? exeName_ : tip);
    added_ = shell_.NotifyIcon(ui::kNimAdd, data_) || added_;
}

void TrayIcon::ModifyTrayIcon(platform::Hwnd window, std::optional<std::uint64_t> icon,
                              std::optional<std::string> tip) {
    data_.cbSize = ui::kTrayRecordSize;
    data_.hWnd = window.value();
    data_.uID = 1;
    data_.uFlags = ui::kNifAll;
    if (icon) data_.hIcon = *icon;
    if (tip) data_.szTip = FitTip(*tip);
    shell_.NotifyIcon(ui::kNimModify, data_);
}

void TrayIcon::RemoveTrayIcon(platform::Hwnd window) {
    data_.cbSize = ui::kTrayRecordSize;
    data_.hWnd = window.value();
    data_.uID = 1;
    shell_.NotifyIcon(ui::kNimDelete, data_);
    added_ = false;
}

bool TrayIcon::ShowBalloon(platform::Hwnd window, const std::string& title, const std::string& text,
                           std::uint32_t icon) {
    if (!added_) return false;
    ui::TrayIconData d = data_;
    d.cbSize = ui::kTrayBalloonRecordSize;
    d.hWnd = window.value();
    d.uID = 1;
    d.uFlags = ui::kNifInfo;
    d.szInfoTitle = title.substr(0, 63);
    d.szInfo = text.empty() ? " " : text.substr(0, 255);  // an empty text takes a balloon down
    d.dwInfoFlags = icon;
    return shell_.NotifyIcon(ui::kNimModify, d);
}

bool TrayBalloons::Enabled() {
    return settings::ReadNumber(desktop_, settings::kNotifications, 1, 0, 0x7fffffff) != 0 && tray_.Added();
}

void TrayBalloons::Send(const supervision::Alert& alert) {
    const supervision::Level level = supervision::Info(alert.id).level;
    tray_.ShowBalloon(window_, alert.title, alert.text,
                      level == supervision::Level::Error     ? ui::kNiifError
                      : level == supervision::Level::Warning ? ui::kNiifWarning
                                                             : ui::kNiifInfo);
}

}  // namespace hw::app
