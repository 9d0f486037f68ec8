// Harrowatch's one tray icon.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/types.h"
#include "ui/tray.h"

namespace hw::app {

class TrayIcon {
public:
    TrayIcon(ui::TrayShell& shell, std::string exeName) : shell_(shell), exeName_(std::move(exeName)) {}
    // A blank tip shows the program's name.
    void AddTrayIcon(platform::Hwnd window, std::uint64_t icon, const std::string& tip);
    void ModifyTrayIcon(platform::Hwnd window, std::optional<std::uint64_t> icon, std::optional<std::string> tip);
    void RemoveTrayIcon(platform::Hwnd window);
    const ui::TrayIconData& TrayIconData() const { return data_; }
    bool Added() const { return added_; }

private:
    ui::TrayShell& shell_;
    std::string exeName_;
    ui::TrayIconData data_;
    bool added_ = false;
};

}  // namespace hw::app
