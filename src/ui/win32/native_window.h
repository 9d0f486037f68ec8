// A top-level window of Harrowatch's own: registers its class once, routes
// its messages to Handle, and is destroyed with the object.
#pragma once

#include <windows.h>

namespace hw::ui::win32 {

// Registers a window class of Harrowatch's own once (double-clicks on).
bool RegisterOwnClass(const char* className, WNDPROC proc, int background, HICON bigIcon = nullptr,
                      HICON smallIcon = nullptr);

class NativeWindow {
public:
    NativeWindow() = default;
    virtual ~NativeWindow();
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

protected:
    // Creates the window with a client area of clientWidth x clientHeight
    // pixels, hidden.
    bool CreateTop(const char* className, const char* title, DWORD style, DWORD exStyle, int clientWidth,
                   int clientHeight, HWND owner, HICON bigIcon, HICON smallIcon);
    virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the modal loop until `done` answers true, with the owner disabled.
    void RunModal(HWND owner, bool (*done)(void*), void* context);

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
};

}  // namespace hw::ui::win32
