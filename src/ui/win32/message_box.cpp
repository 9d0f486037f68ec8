#include "ui/win32/message_box.h"

#include <windows.h>

#include <thread>

namespace hw::ui::win32 {

int Win32MessageBoxes::Show(const std::string& text, const std::string& title,
                            std::uint32_t flags) {
    HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(owner_));
    // A box owned by a window hidden in the tray would open behind the
    // others, with no taskbar button: it comes to the front on its own.
    if (owner && !::IsWindowVisible(owner)) owner = nullptr;
    if (!owner) flags |= MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    return ::MessageBoxA(owner, text.c_str(), title.c_str(), flags);
}

void Win32MessageBoxes::Report(const std::string& text, const std::string& title, std::uint32_t flags) {
    // The box's thread may take the foreground from this program's.
    ::AllowSetForegroundWindow(::GetCurrentProcessId());
    ++open_;
    try {
        std::thread([text, title, flags] {
            ::MessageBoxA(nullptr, text.c_str(), title.c_str(), flags | MB_SETFOREGROUND | MB_TOPMOST);
            --open_;
        }).detach();
    } catch (...) {
        // No thread to be had: show it the ordinary way rather than not at all.
        --open_;
        Show(text, title, flags);
    }
}

}  // namespace hw::ui::win32
