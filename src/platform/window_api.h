// Windows (user32): finding them, reading what the window manager keeps
// of them, showing and placing them. Handles of other processes' windows
// are valid until those windows go; every call on a gone window fails
// cleanly.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class WindowApi {
public:
    virtual ~WindowApi() = default;

    // className / windowName may be null to match any.
    virtual Hwnd FindWindow(const char* className, const char* windowName) = 0;
    virtual Hwnd FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                              const char* windowName) = 0;
    // Top-level windows in z-order; the callback answers false to stop.
    virtual void EnumWindows(const std::function<bool(Hwnd)>& callback) = 0;
    // All descendants of parent, each followed by its own descendants.
    virtual void EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) = 0;
    virtual std::uint32_t GetWindowThreadProcessId(Hwnd window, Pid* processId) = 0;
    virtual std::int32_t GetWindowLong(Hwnd window, int index) = 0;
    // For another process's window: the caption the window manager keeps,
    // without asking the window. For one's own: what WM_GETTEXT answers.
    virtual int GetWindowTextLength(Hwnd window) = 0;
    virtual int GetWindowText(Hwnd window, char* buffer, int size) = 0;
    virtual int GetClassName(Hwnd window, char* buffer, int size) = 0;
    virtual Hwnd GetParent(Hwnd window) = 0;
    virtual bool IsWindow(Hwnd window) = 0;
    virtual bool IsWindowVisible(Hwnd window) = 0;
    // Windows' own test of a hung window: its thread has taken no message
    // for 5 s and is not waiting for one. False for a window that is gone.
    virtual bool IsHungAppWindow(Hwnd window) = 0;
    virtual bool ShowWindow(Hwnd window, int command) = 0;
    virtual bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) = 0;
    virtual bool UpdateWindow(Hwnd window) = 0;
    virtual Hwnd GetDesktopWindow() = 0;
    virtual bool SetForegroundWindow(Hwnd window) = 0;
};

}  // namespace hw::platform
