// The notify-icon record and the shell call it goes to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hw::ui {

// The shell's first-version record: 88 bytes in a 32-bit build, 104 in a
// 64-bit one (its handles are wider).
struct TrayIconData {
    std::uint32_t cbSize = 0;
    std::uint64_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uint64_t hIcon = 0;
    std::string szTip;  // at most 63 characters and a NUL
    // A balloon (NIF_INFO), read by the shell only from the second-version
    // record: its text (255 characters at most), title (63) and icon.
    std::string szInfo, szInfoTitle;
    std::uint32_t dwInfoFlags = 0;
};
inline constexpr std::uint32_t kTrayRecordSize = sizeof(void*) == 8 ? 104 : 88;
// The second-version record, the smallest that carries a balloon.
inline constexpr std::uint32_t kTrayBalloonRecordSize = sizeof(void*) == 8 ? 504 : 488;
inline constexpr std::uint32_t kNifInfo = 0x10;
inline constexpr std::uint32_t kNiifInfo = 1, kNiifWarning = 2, kNiifError = 3;
inline constexpr std::uint32_t kNimAdd = 0, kNimModify = 1, kNimDelete = 2;
inline constexpr std::uint32_t kNifAll = 7;  // message, icon and tip
inline constexpr std::uint32_t kTrayCallback = 512;

class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual bool NotifyIcon(std::uint32_t message, const TrayIconData& data) = 0;
};

// The headless shell: keeps the icon as the shell would show it.
class RecordingTrayShell : public TrayShell {
public:
    bool NotifyIcon(std::uint32_t message, const TrayIconData& data) override {
        calls.push_back({message, data});
        if (message == kNimModify && (data.uFlags & kNifInfo)) {
            // A balloon needs the icon there and the record that has room for it.
            if (!shown) return false;
            if (data.cbSize >= kTrayBalloonRecordSize) balloons.push_back(data);
            return true;
        }
        if (message == kNimAdd) shown = true, icon = data;
        if (message == kNimModify && shown) icon = data;
        if (message == kNimDelete) shown = false;
        return true;
    }
    struct Call {
        std::uint32_t message;
        TrayIconData data;
    };
    std::vector<Call> calls;
    std::vector<TrayIconData> balloons;  // as shown
    bool shown = false;
    TrayIconData icon;
};

}  // namespace hw::ui
