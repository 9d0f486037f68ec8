// A small window program for the Windows tests: it takes a moment before its
// window is up (so the idle wait has something to wait for), then runs its
// message loop until closed. It ends by itself after two minutes, so a test
// that fails half-way leaves nothing running.
#include <windows.h>

static LRESULT CALLBACK HelperProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    Sleep(300);
    WNDCLASSA wc{};
    wc.lpfnWndProc = HelperProc;
    wc.hInstance = instance;
    wc.lpszClassName = "HarrowatchTestHelper";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_APPWINDOW, wc.lpszClassName, "Harrowatch test helper",
                                WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr, instance,
                                nullptr);
    ShowWindow(hwnd, show);
    SetTimer(hwnd, 1, 120000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
