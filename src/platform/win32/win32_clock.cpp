// Time, timers and the message loop through kernel32 and user32, and the
// worker threads that take work off the interface thread.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

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

// The worker thread and the hand-back of finished jobs: a message-only
// window of the interface thread runs each job's `done` when its message
// arrives, also inside modal loops (a message to a thread would be lost there).
constexpr UINT kJobDone = WM_APP + 0x200;

struct Worker {
    // What the jobs call the system through: the worker's own, so that a job
    // still under way when the interface's desktop goes at exit (it is given
    // only a few seconds) calls nothing that is gone.
    std::unique_ptr<Win32Desktop> desktop = std::make_unique<Win32Desktop>();
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::deque<std::function<void()>> finished;
    bool stopping = false;
    bool busy = false;
    HWND window = nullptr;
};

LRESULT CALLBACK DoneProc(HWND hwnd, UINT m, WPARAM wp, LPARAM lp) noexcept {
    if (m != kJobDone) return DefWindowProcW(hwnd, m, wp, lp);
    auto* w = reinterpret_cast<Worker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    for (;;) {
        std::function<void()> done;
        {
            std::lock_guard<std::mutex> g(w->lock);
            if (w->finished.empty()) break;
            done = std::move(w->finished.front());
            w->finished.pop_front();
        }
        try {
            if (done) done();
        } catch (...) {
            try {
                if (Win32Desktop::CallbackError()) Win32Desktop::CallbackError()("background work");
            } catch (...) {
            }
        }
    }
    return 0;
}

void WorkerLoop(std::shared_ptr<Worker> w) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> g(w->lock);
            w->wake.wait(g, [&] { return w->stopping || !w->jobs.empty(); });
            if (w->stopping) return;
            job = std::move(w->jobs.front());
            w->jobs.pop_front();
            w->busy = true;
        }
        try {
            job();
        } catch (...) {
        }
        std::lock_guard<std::mutex> g(w->lock);
        w->busy = false;
        w->wake.notify_all();
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

struct Win32Desktop::Background {
    std::shared_ptr<Worker> worker = std::make_shared<Worker>();
    std::thread thread;
};

void Win32Desktop::RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                                   WorkLane lane) {
    std::unique_ptr<Background>& background = background_[static_cast<int>(lane)];
    if (!background) {
        auto b = std::make_unique<Background>();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DoneProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HarrowatchWorkDone";
        RegisterClassExW(&wc);
        b->worker->window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            wc.hInstance, nullptr);
        if (!b->worker->window) {
            // No way back from a worker thread: the work is done here, as
            // it would be on one, rather than never (a reset waits for it).
            try {
                if (work) work(*this);
                if (done) done();
            } catch (...) {
                try {
                    if (Win32Desktop::CallbackError()) Win32Desktop::CallbackError()("background work");
                } catch (...) {
                }
            }
            return;
        }
        SetWindowLongPtrW(b->worker->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(b->worker.get()));
        b->thread = std::thread(WorkerLoop, b->worker);
        background = std::move(b);
    }
    std::shared_ptr<Worker> w = background->worker;
    std::lock_guard<std::mutex> g(w->lock);
    w->jobs.push_back([w, work = std::move(work), done = std::move(done)]() mutable {
        try {
            work(*w->desktop);
        } catch (...) {
        }
        std::lock_guard<std::mutex> g2(w->lock);
        if (w->stopping) return;
        w->finished.push_back(std::move(done));
        PostMessageW(w->window, kJobDone, 0, 0);
    });
    w->wake.notify_one();
}

Win32Desktop::Win32Desktop() = default;

Win32Desktop::~Win32Desktop() {
    // The lanes' jobs under way share one few seconds' grace.
    const auto graceEnds = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (std::unique_ptr<Background>& background : background_) {
        if (!background) continue;
        std::shared_ptr<Worker> w = background->worker;
        bool busy = false;
        {
            std::unique_lock<std::mutex> g(w->lock);
            w->stopping = true;
            w->jobs.clear();
            w->wake.notify_all();
            // A job under way is given a few seconds to end. One waiting out
            // its time-outs (a post, a copy from a stalled share) does not
            // hold up the exit longer: it calls only the worker's own
            // desktop, which the thread keeps alive with the rest of what it
            // owns, and ends with the process.
            w->wake.wait_until(g, graceEnds, [&] { return !w->busy; });
            busy = w->busy;
        }
        if (busy)
            background->thread.detach();
        else
            background->thread.join();
        DestroyWindow(w->window);
    }
}

}  // namespace hw::platform::win32
