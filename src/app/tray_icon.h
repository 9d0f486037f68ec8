// Harrowatch's one tray icon.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop.h"
#include "platform/types.h"
#include "supervision/alerts.h"
#include "ui/tray.h"

namespace hw::app {

class TrayIcon {
public:
    TrayIcon(ui::TrayShell& shell, std::string exeName) : shell_(shell), exeName_(std::move(exeName)) {}
    // A blank tip shows the program's name.
    void AddTrayIcon(platform::Hwnd window, std::uint64_t icon, const std::string& tip);
    void ModifyTrayIcon(platform::Hwnd window, std::optional<std::uint64_t> icon, std::optional<std::string> tip);
    void RemoveTrayIcon(platform::Hwnd window);
    // A balloon over the icon; false when the shell did not take it.
    bool ShowBalloon(platform::Hwnd window, const std::string& title, const std::string& text, std::uint32_t icon);
    const ui::TrayIconData& TrayIconData() const { return data_; }
    bool Added() const { return added_; }

private:
    ui::TrayShell& shell_;
    std::string exeName_;
    ui::TrayIconData data_;
    bool added_ = false;
};

// Tray balloons for the alerts of the balloon reach, unless "Notifications" is 0.
class TrayBalloons : public supervision::AlertSink {
public:
    TrayBalloons(platform::Desktop& desktop, TrayIcon& tray, const platform::Hwnd& window)
        : AlertSink(desktop, supervision::Reach::Balloon), tray_(tray), window_(window) {}

protected:
    bool Enabled() override;
    void Send(const supervision::Alert& alert) override;

private:
    TrayIcon& tray_;
    const platform::Hwnd& window_;
};

}  // namespace hw::app
