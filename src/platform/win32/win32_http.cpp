// The HTTP POST and the worker thread it runs on.
#include <windows.h>
#include <winhttp.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/win32/win32_desktop.h"

namespace hw::platform::win32 {

namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    ~InternetHandle() {
        if (h) WinHttpCloseHandle(h);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
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

long Win32Desktop::HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                            std::uint32_t* status) {
    const std::wstring wurl = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {}, path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    wchar_t extra[2048] = {};
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = ARRAYSIZE(extra);
    if (!WinHttpCrackUrl(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &parts)) return static_cast<long>(::GetLastError());
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    if (!host[0]) return ERROR_WINHTTP_INVALID_URL;

    // The system's proxy as Windows 8.1 and later find it (settings, script,
    // auto-detection); a system before it refuses that access type as an
    // invalid parameter, and takes the configured default proxy instead.
    InternetHandle session(WinHttpOpen(L"Harrowatch", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.h && ::GetLastError() == ERROR_INVALID_PARAMETER)
        session.h = WinHttpOpen(L"Harrowatch", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session.h) return static_cast<long>(::GetLastError());
    // TLS 1.2 and 1.3 whatever the system's defaults; a system that knows no
    // 1.3 refuses the pair and gets 1.2 alone.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session.h, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!WinHttpSetOption(session.h, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
            return static_cast<long>(::GetLastError());
    }
    // A redirect is answered as it is: followed, the POST would go on as a
    // GET without its body, and the event would be lost while "delivered".
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.h, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never))
        return static_cast<long>(::GetLastError());
    const int t = static_cast<int>(timeoutMs);
    if (!WinHttpSetTimeouts(session.h, t, t, t, t)) return static_cast<long>(::GetLastError());
    InternetHandle connection(WinHttpConnect(session.h, host, parts.nPort, 0));
    if (!connection.h) return static_cast<long>(::GetLastError());
    std::wstring target = std::wstring(path) + extra;
    if (target.empty()) target = L"/";
    InternetHandle request(WinHttpOpenRequest(connection.h, L"POST", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!request.h) return static_cast<long>(::GetLastError());
    const wchar_t* headers = L"Content-Type: application/json; charset=utf-8\r\n";
    if (!WinHttpSendRequest(request.h, headers, static_cast<DWORD>(-1L), const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.h, nullptr))
        return static_cast<long>(::GetLastError());
    DWORD code = 0, size = sizeof code;
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        return static_cast<long>(::GetLastError());
    if (status) *status = code;
    return 0;
}

}  // namespace hw::platform::win32
