// Time, timers and the message loop through kernel32 and user32.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <functional>
#include <map>

namespace hw::platform::win32 {

namespace {

std::map<UINT_PTR, std::function<void()>>& Timers() {
    static std::map<UINT_PTR, std::function<void()>> timers;
    return timers;
}

std::function<void(const char*)>& CallbackErrorHandler() {
    static std::function<void(const char*)> handler;
    return handler;
}

// Nothing may cross back into Windows from a timer procedure: what a tick
// throws goes to the program's handler, inside the catch.
void CALLBACK TimerTrampoline(::HWND, UINT, UINT_PTR id, DWORD) noexcept {
    auto it = Timers().find(id);
    if (it == Timers().end()) return;
    try {
        auto tick = it->second;  // the tick may kill its timer
        tick();
    } catch (...) {
        try {
            if (CallbackErrorHandler()) CallbackErrorHandler()("TimerProc");
        } catch (...) {
        }
    }
}

}  // namespace

std::uint64_t Win32Desktop::GetSystemTimeAsFileTime() {
    ::FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FromFileTime(now);
}

std::int32_t Win32Desktop::UtcOffsetMinutes() {
    TIME_ZONE_INFORMATION zone;
    const DWORD which = ::GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    return static_cast<std::int32_t>(-bias);
}

void Win32Desktop::Sleep(std::uint32_t milliseconds) {
    // Messages other programs send meanwhile are answered: a program that
    // waits on one of Harrowatch's windows (to activate it, say) must not
    // wait for as long as Harrowatch waits for that program.
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void Win32Desktop::SetCallbackErrorHandler(std::function<void(const char*)> handler) {
    CallbackErrorHandler() = std::move(handler);
}

const std::function<void(const char*)>& Win32Desktop::CallbackError() { return CallbackErrorHandler(); }

void Win32Desktop::DoEvents() {
    // What is waiting now, not a stream without end: while the desktop's
    // drawing is frozen a window may be asked to paint again and again.
    MSG msg;
    ::HWND painted = nullptr;
    for (int n = 0; n < 500 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
            return;
        }
        if (msg.message == WM_PAINT) {
            // The same window asking twice in one pass cannot paint now.
            if (msg.hwnd && msg.hwnd == painted) {
                ::ValidateRect(msg.hwnd, nullptr);
                continue;
            }
            painted = msg.hwnd;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

std::uint32_t Win32Desktop::SetTimer(std::uint32_t milliseconds, std::function<void()> tick) {
    const UINT_PTR id = ::SetTimer(nullptr, 0, milliseconds, TimerTrampoline);
    if (id) Timers()[id] = std::move(tick);
    return static_cast<std::uint32_t>(id);
}

void Win32Desktop::KillTimer(std::uint32_t id) {
    ::KillTimer(nullptr, id);
    Timers().erase(id);
}

std::uint64_t Win32Desktop::TickCount() { return ::GetTickCount64(); }

LocalTime Win32Desktop::GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace hw::platform::win32
