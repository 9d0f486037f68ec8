#include "app/tray_icon.h"

#include "common/text.h"

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

}  // namespace hw::app
