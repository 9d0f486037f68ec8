// Windows through user32: finding and enumerating them, what the window
// manager keeps of each, showing and placing them.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <exception>
#include <functional>

namespace hw::platform::win32 {

namespace {

// One enumeration: the caller's callback, and what it threw, rethrown once
// the API has returned.
struct Enumeration {
    const std::function<bool(Hwnd)>& callback;
    std::exception_ptr error;
};

BOOL CALLBACK EnumTrampoline(::HWND hwnd, LPARAM lp) noexcept {
    auto* e = reinterpret_cast<Enumeration*>(lp);
    try {
        return e->callback(FromHwnd(hwnd)) ? TRUE : FALSE;
    } catch (...) {
        e->error = std::current_exception();
        return FALSE;
    }
}

}  // namespace

Hwnd Win32Desktop::FindWindow(const char* className, const char* windowName) {
    return FromHwnd(::FindWindowA(className, windowName));
}

Hwnd Win32Desktop::FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                                const char* windowName) {
    return FromHwnd(::FindWindowExA(ToHwnd(parent), ToHwnd(childAfter), className, windowName));
}

void Win32Desktop::EnumWindows(const std::function<bool(Hwnd)>& callback) {
    Enumeration e{callback, nullptr};
    ::EnumWindows(EnumTrampoline, reinterpret_cast<LPARAM>(&e));
    if (e.error) std::rethrow_exception(e.error);
}

void Win32Desktop::EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) {
    Enumeration e{callback, nullptr};
    ::EnumChildWindows(ToHwnd(parent), EnumTrampoline, reinterpret_cast<LPARAM>(&e));
    if (e.error) std::rethrow_exception(e.error);
}

std::uint32_t Win32Desktop::GetWindowThreadProcessId(Hwnd window, Pid* processId) {
    DWORD pid = 0;
    DWORD tid = ::GetWindowThreadProcessId(ToHwnd(window), &pid);
    if (processId) *processId = Pid{pid};
    return tid;
}

std::int32_t Win32Desktop::GetWindowLong(Hwnd window, int index) {
    return ::GetWindowLongA(ToHwnd(window), index);
}

int Win32Desktop::GetWindowTextLength(Hwnd window) { return ::GetWindowTextLengthA(ToHwnd(window)); }

int Win32Desktop::GetWindowText(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetWindowTextA(ToHwnd(window), buffer, size);
}

int Win32Desktop::GetClassName(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetClassNameA(ToHwnd(window), buffer, size);
}

Hwnd Win32Desktop::GetParent(Hwnd window) { return FromHwnd(::GetParent(ToHwnd(window))); }
bool Win32Desktop::IsWindow(Hwnd window) { return ::IsWindow(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsHungAppWindow(Hwnd window) { return ::IsHungAppWindow(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsWindowVisible(Hwnd window) { return ::IsWindowVisible(ToHwnd(window)) != FALSE; }
bool Win32Desktop::ShowWindow(Hwnd window, int command) {
    return ::ShowWindow(ToHwnd(window), command) != FALSE;
}
bool Win32Desktop::MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) {
    return ::MoveWindow(ToHwnd(window), x, y, width, height, repaint) != FALSE;
}
bool Win32Desktop::UpdateWindow(Hwnd window) { return ::UpdateWindow(ToHwnd(window)) != FALSE; }
Hwnd Win32Desktop::GetDesktopWindow() { return FromHwnd(::GetDesktopWindow()); }
bool Win32Desktop::SetForegroundWindow(Hwnd window) {
    return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

}  // namespace hw::platform::win32
