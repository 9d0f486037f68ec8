#include "automation/windows.h"

#include "automation/send.h"
#include "automation/wait.h"

#include <algorithm>

#include "common/text.h"

namespace hw::automation {

namespace p = platform;

Hwnd GetProcessMainWindow(p::Desktop& desktop, p::Pid processId) {
    Hwnd found = 0;
    desktop.EnumWindows([&](Hwnd h) {
        p::Pid owner = 0;
        desktop.GetWindowThreadProcessId(h, &owner);
        if (owner == processId && (desktop.GetWindowLong(h, p::wnd::kGwlExStyle) & p::wnd::kWsExAppWindow)) {
            found = h;
            return false;
        }
        return true;
    });
    return found;
}

std::vector<Hwnd> GetChildWindows(p::Desktop& desktop, Hwnd parent) {
    std::vector<Hwnd> list;
    // Window 0 would enumerate every top-level window on the desktop.
    if (parent != 0) {
        desktop.EnumChildWindows(parent, [&](Hwnd h) {
            list.push_back(h);
            return true;
        });
    }
    if (list.empty()) list.push_back(0);
    return list;
}

Hwnd FindAmong(p::Desktop& desktop, const std::vector<Hwnd>& windows, const std::function<bool(Hwnd)>& match,
               Between between) {
    for (Hwnd h : windows) {
        const std::uint64_t asked = between == Between::YieldIfSlow ? desktop.TickCount() : 0;
        if (h && match(h)) return h;
        // A look the program was slow to answer held the operator's input
        // already: two in a row would hold it past half a second.
        if (between == Between::Yield ||
            (between == Between::YieldIfSlow && desktop.TickCount() - asked >= kPollPauseMs))
            desktop.DoEvents();
    }
    return 0;
}

Hwnd FindChild(p::Desktop& desktop, Hwnd parent, const std::function<bool(Hwnd)>& match, Between between) {
    return FindAmong(desktop, GetChildWindows(desktop, parent), match, between);
}

std::string GetWindowTitle(p::Desktop& desktop, Hwnd window) {
    return text::ReadSized(desktop.GetWindowTextLength(window), [&](char* buffer, std::uint32_t size) {
        return desktop.GetWindowText(window, buffer, static_cast<int>(size));
    });
}

std::optional<std::string> ReadControlText(p::Desktop& desktop, Hwnd window) {
    std::int64_t n = 0;
    if (!SendTimed(desktop, window, p::msg::kGetTextLength, 0, 0, &n)) return std::nullopt;
    bool answered = true;
    const std::string got = text::ReadSized(std::min<std::int64_t>(n, 1 << 20), [&](char* buffer, std::uint32_t size) {
        std::int64_t copied = 0;
        answered = SendTextTimed(desktop, window, p::msg::kGetText, 0, buffer, size, &copied);
        return answered ? copied : -1;
    });
    if (!answered) return std::nullopt;
    return text::Trim(text::ReplaceNulls(got));
}

std::string GetControlText(p::Desktop& desktop, Hwnd window) { return ReadControlText(desktop, window).value_or(""); }

std::string GetWindowClass(p::Desktop& desktop, Hwnd window) {
    char buffer[256] = {};
    const int n = desktop.GetClassName(window, buffer, 255);
    return std::string(buffer, static_cast<size_t>(std::clamp(n, 0, 255)));
}

namespace {
std::string MenuText(p::Desktop& desktop, p::HMenu menu, std::uint32_t item, std::uint32_t flags) {
    char buffer[100] = {};
    const int n = desktop.GetMenuString(menu, item, buffer, 100, flags);
    return text::Trim(text::ReplaceNulls(std::string(buffer, static_cast<size_t>(std::clamp(n, 0, 99)))));
}
}  // namespace

std::vector<std::string> GetMenuCommands(p::Desktop& desktop, Hwnd window) {
    std::vector<std::string> entries;
    const p::HMenu bar = desktop.GetMenu(window);
    if (!bar) return entries;
    const int count = desktop.GetMenuItemCount(bar);
    for (int pos = 0; pos < count; ++pos) {
        const std::string top = MenuText(desktop, bar, static_cast<std::uint32_t>(pos), p::wnd::kMfByPosition);
        const auto topId = static_cast<std::int32_t>(desktop.GetMenuItemID(bar, pos));
        const std::int32_t shownId = topId == -1 ? pos : topId;
        const p::HMenu sub = desktop.GetSubMenu(bar, pos);
        if (!sub) continue;
        const int items = desktop.GetMenuItemCount(sub);
        for (int q = 0; q < items; ++q) {
            const auto id = static_cast<std::int32_t>(desktop.GetMenuItemID(sub, q));
            if (id <= 0) continue;  // separators and nested submenus
            entries.push_back(top + "|" + std::to_string(shownId) + "\\" +
                              MenuText(desktop, sub, static_cast<std::uint32_t>(id), p::wnd::kMfByCommand) + "|" +
                              std::to_string(id));
        }
    }
    return entries;
}

}  // namespace hw::automation
