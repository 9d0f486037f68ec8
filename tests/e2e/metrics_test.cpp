// A fleet's view of Harrowatch, end to end on loopback: its metrics file in a
// folder a real node exporter's textfile collector serves, scraped by a real
// Prometheus. tests/e2e/prometheus.sh starts both and says where they are.
#include <windows.h>
#include <winhttp.h>

#include <cstdlib>

#include "e2e/e2e_fixture.h"

namespace hw::testing {
namespace {

class MetricsE2E : public HarrowatchE2E {
protected:
    std::string Script() override {
        return "active\nat 0 join Dorn 10.0.0.5 Dornak\nat 0 join Ysolde 10.0.0.6 Ysa\nat 0 join Korr 10.0.0.7 Korrin\n";
    }
};

// The body of a GET to 127.0.0.1:port; "" when it did not come.
std::string Get(int port, const std::wstring& path) {
    std::string body;
    HINTERNET session = WinHttpOpen(L"Harrowatch tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        char buf[4096];
        DWORD n = 0;
        while (WinHttpReadData(request, buf, sizeof buf, &n) && n > 0) body.append(buf, n);
    }
    for (HINTERNET h : {request, connection, session})
        if (h) WinHttpCloseHandle(h);
    return body;
}

// The value of an instant query's first sample: {"value":[1733.1,"3"]}.
std::string FirstValue(const std::string& answer) {
    const size_t at = answer.find("\"value\":[");
    if (at == std::string::npos) return "";
    const size_t open = answer.find('"', answer.find(',', at));
    const size_t close = open == std::string::npos ? open : answer.find('"', open + 1);
    return close == std::string::npos ? "" : answer.substr(open + 1, close - open - 1);
}

TEST_F(MetricsE2E, PrometheusScrapesThePlayersOnlineThroughTheNodeExporter) {
    const char* folder = std::getenv("HW_METRICS_FOLDER");
    const char* port = std::getenv("HW_PROMETHEUS_PORT");
    if (!folder || !port) GTEST_SKIP() << "run by tests/e2e/prometheus.sh, which starts the exporter and Prometheus";
    Set(server::kSettingsKey, "MetricsFolder", std::string(folder), platform::reg::kSz);
    StartHarrowatch();
    const int prometheus = std::atoi(port);
    std::string answer;
    EXPECT_TRUE(env_->WaitFor([&] {
        answer = Get(prometheus, L"/api/v1/query?query=harrowatch_players_online");
        return FirstValue(answer) == "3";
    }, 90000)) << answer;
    answer = Get(prometheus, L"/api/v1/query?query=harrowatch_server_up");
    EXPECT_EQ(FirstValue(answer), "1") << answer;
    answer = Get(prometheus, L"/api/v1/query?query=node_textfile_scrape_error");
    EXPECT_EQ(FirstValue(answer), "0") << answer;
    answer = Get(prometheus, L"/api/v1/query?query=harrowatch_build_info");
    EXPECT_NE(answer.find("\"version\":\"1.0.0\""), std::string::npos) << answer;
}

}  // namespace
}  // namespace hw::testing
