// The operator away from the machine, end to end: a webhook listener on
// 127.0.0.1 that the test runs itself hears of a crash and of the Test
// button; one that never answers holds nothing up; the players are warned
// before a reset.
#include <winsock2.h>

#include "e2e/e2e_fixture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <cstring>
#include <thread>
#include <vector>

namespace hw::testing {
namespace {

// A one-thread HTTP listener: keeps each request's head and body and
// answers 204, or, when silent, keeps the connection open and never answers.
class Listener {
public:
    explicit Listener(bool silent) : silent_(silent) {
        WSADATA w;
        WSAStartup(MAKEWORD(2, 2), &w);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int size = sizeof a;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        listen(socket_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Listener() {
        stop_ = true;
        thread_.join();
        closesocket(socket_);
        for (SOCKET s : held_) closesocket(s);
        WSACleanup();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/hook/secret"; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> g(lock_);
        return requests_;
    }
    bool Has(const std::string& part) {
        for (const std::string& r : Requests())
            if (r.find(part) != std::string::npos) return true;
        return false;
    }

private:
    void Serve() {
        // Short waits, so that the destructor's stop is seen: a socket closed
        // under a blocked accept is not woken everywhere.
        auto ready = [](SOCKET s) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval wait{0, 200000};
            return select(0, &set, nullptr, nullptr, &wait) > 0;
        };
        while (!stop_) {
            if (!ready(socket_)) continue;
            SOCKET c = accept(socket_, nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            std::string got;
            char buf[4096];
            while (!stop_) {
                const std::size_t head = got.find("\r\n\r\n");
                if (head != std::string::npos) {
                    const std::size_t at = got.find("Content-Length: ");
                    const std::size_t length = at == std::string::npos ? 0 : std::stoul(got.substr(at + 16));
                    if (got.size() >= head + 4 + length) break;
                }
                if (!ready(c)) continue;
                const int n = recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                got.append(buf, static_cast<std::size_t>(n));
            }
            {
                std::lock_guard<std::mutex> g(lock_);
                requests_.push_back(got);
            }
            if (silent_) {
                held_.push_back(c);
                continue;
            }
            const char* answer = "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            send(c, answer, static_cast<int>(std::strlen(answer)), 0);
            closesocket(c);
        }
    }
    bool silent_;
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::vector<SOCKET> held_;
};

class CrashAlertE2E : public HarrowatchE2E {
protected:
    std::string Script() override { return "active\nat 0 join Dorn 10.0.0.5 Dornak\nat 5000 crash\n"; }
};

TEST_F(CrashAlertE2E, TheListenerHearsOfTheCrashAndOfTheTestButton) {
    Listener listener(false);
    Set("Software\\Harrowatch", "WebhookUrl", listener.Url(), platform::reg::kSz);
    StartHarrowatch();
    // The Test button on the Supervision tab, as the operator clicks it.
    Command(win32::kToolbarBase + 0, Control(main_, win32::kIdToolbar));
    const Hwnd dialog = WaitForForm(win32::kConfigClass, "Harrowatch - Configuration",
                                    {win32::kIdConfigTabs, win32::kIdWebhookUrl, win32::kIdTestWebhook});
    ASSERT_TRUE(dialog);
    // The tabs are filled in a moment later still.
    Hwnd tabs = 0;
    RECT second{};
    ASSERT_TRUE(env_->WaitFor(
        [&] { return (tabs = Control(dialog, win32::kIdConfigTabs)) != 0 && RemoteItemRect(tabs, 1, second); }, 10000));
    const LPARAM at = MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2);
    PostMessageA(H(tabs), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(H(tabs), WM_LBUTTONUP, 0, at);
    const Hwnd url = Control(dialog, win32::kIdWebhookUrl);
    ASSERT_TRUE(env_->WaitFor([&] { return d().IsWindowVisible(url); }, 10000));
    EXPECT_EQ(Text(url), listener.Url());
    Click(Control(dialog, win32::kIdTestWebhook));
    const Hwnd result = Control(dialog, win32::kIdWebhookResult);
    ASSERT_TRUE(env_->WaitFor([&] { return Text(result) == "Arrived: HTTP 204"; }, 30000)) << Text(result);
    EXPECT_TRUE(listener.Has("\"event\":\"test\""));
    // Above the relaunched server's window, which may show for a moment.
    SetWindowPos(H(dialog), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    Screenshot("configuration-supervision");
    Click(Control(dialog, win32::kIdCancel));
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(dialog); }, 10000));
    // Then the crash (5 s after the server runs), within a minute.
    ASSERT_TRUE(env_->WaitFor([&] { return listener.Has("\"event\":\"server_crashed\""); }, 60000));
    std::string crash;
    for (const std::string& r : listener.Requests())
        if (r.find("server_crashed") != std::string::npos) crash = r;
    EXPECT_EQ(crash.rfind("POST /hook/secret HTTP/1.1\r\n", 0), 0u) << crash;
    EXPECT_NE(crash.find("Content-Type: application/json"), std::string::npos);
    const std::string body = crash.substr(crash.find("\r\n\r\n") + 4);
    EXPECT_EQ(body.rfind("{\"content\":\"Harrowatch on ", 0), 0u) << body;
    for (const char* field : {"\"time\":\"", "\"machine\":\"", "\"server_status\":\"", "\"players\":"})
        EXPECT_NE(body.find(field), std::string::npos) << field;
}

TEST_F(CrashAlertE2E, AListenerThatNeverAnswersFreezesNothing) {
    Listener listener(true);
    Set("Software\\Harrowatch", "WebhookUrl", listener.Url(), platform::reg::kSz);
    StartHarrowatch();
    const platform::Pid first = server_;
    ASSERT_TRUE(env_->WaitFor([&] { return listener.Has("server_crashed"); }, 60000));
    // While the post waits out its time-out, Harrowatch answers at once and
    // the crashed server is launched again.
    const auto start = std::chrono::steady_clock::now();
    auto slowest = std::chrono::milliseconds(0);
    bool relaunched = false;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(15)) {
        const auto sent = std::chrono::steady_clock::now();
        DWORD_PTR r = 0;
        EXPECT_TRUE(SendMessageTimeoutA(H(main_), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r));
        slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - sent));
        const platform::Pid now = automation::GetProcessIdByName(d(), server::kServerExeName);
        relaunched = relaunched || (now && now != first);
        env_->Pass(200);
    }
    std::printf("slowest answer while the webhook hangs: %lld ms\n", static_cast<long long>(slowest.count()));
    EXPECT_LT(slowest.count(), 500);
    EXPECT_TRUE(relaunched);
}

class WarnedPlayersE2E : public HarrowatchE2E {
protected:
    std::string Script() override { return "active\nat 0 join Dorn 10.0.0.5 Dornak\n"; }
};

TEST_F(WarnedPlayersE2E, AWarningReachesTheServersMessageListBeforeTheReset) {
    // A reset due at the start of the minute after next; the warning goes a
    // minute before it.
    SYSTEMTIME t;
    GetLocalTime(&t);
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    ULARGE_INTEGER u{{f.dwLowDateTime, f.dwHighDateTime}};
    u.QuadPart += (120ull - t.wSecond) * 10000000ull;
    f = {u.LowPart, u.HighPart};
    SYSTEMTIME due;
    FileTimeToSystemTime(&f, &due);
    char when[64];
    std::snprintf(when, sizeof when, "Public Messages|%02d/%02d/%02d %02d:%02d %s", due.wMonth, due.wDay,
                  due.wYear % 100, due.wHour % 12 == 0 ? 12 : due.wHour % 12, due.wMinute, due.wHour < 12 ? "AM" : "PM");
    Set("Software\\Harrowatch\\Scheduled Events", "Daily", std::string(when), platform::reg::kSz);
    Set("Software\\Harrowatch", "WarnPlayersMinutes", std::int32_t{1}, platform::reg::kDword);
    StartHarrowatch();
    const std::string warning = "Server maintenance in 1 minute";
    ASSERT_TRUE(env_->WaitFor(
        [&] {
            for (const std::string& line : ServerLines())
                if (line.find(warning) != std::string::npos) return true;
            return false;
        },
        130000));
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_TRUE(now.wHour != due.wHour || now.wMinute < due.wMinute) << "the warning came after the reset's time";
}

}  // namespace
}  // namespace hw::testing
