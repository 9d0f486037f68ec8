#include "ui/win32/native_window.h"

#include "ui/win32/guard.h"

namespace hw::ui::win32 {

bool RegisterOwnClass(const char* className, WNDPROC proc, int background, HICON bigIcon, HICON smallIcon) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(instance, className, &wc)) return true;
    wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(background);
    wc.hIcon = bigIcon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = className;
    return RegisterClassExA(&wc) != 0;
}

NativeWindow::~NativeWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool NativeWindow::CreateTop(const char* className, const char* title, DWORD style, DWORD exStyle, int clientWidth,
                             int clientHeight, HWND owner, HICON bigIcon, HICON smallIcon) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterOwnClass(className, Proc, COLOR_BTNFACE, bigIcon, smallIcon)) return false;
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    hwnd_ = CreateWindowExA(exStyle, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                            r.bottom - r.top, owner, nullptr, instance, this);
    return hwnd_ != nullptr;
}

LRESULT NativeWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK NativeWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<NativeWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<NativeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return Guarded("NativeWindow::Proc", LRESULT{0}, [&] { return self->Handle(message, wParam, lParam); });
}

void NativeWindow::RunModal(HWND owner, bool (*done)(void*), void* context) {
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    MSG msg;
    while (!done(context)) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // the program ends: leave it to the outer loop
            break;
        }
        if (hwnd_ && IsDialogMessageA(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The owner is enabled before this window goes, so the focus returns to it.
    if (owner && ownerWasEnabled) EnableWindow(owner, TRUE);
}

}  // namespace hw::ui::win32
