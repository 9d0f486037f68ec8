// HTTP on the simulated desktop: what an address answers is up to the test.
#include "platform/sim/sim_desktop.h"

namespace hw::platform::sim {

long SimDesktop::HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                          std::uint32_t* status) {
    // A call that blocks for seconds has no place on the interface thread.
    if (!onWorker_) callbackErrors_.push_back("HttpPost on the interface thread");
    constexpr long kInvalidUrl = 12005, kUnrecognizedScheme = 12006, kCannotConnect = 12029, kTimeout = 12002;
    std::string lower = url;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t start = 0;
    if (lower.rfind("http://", 0) == 0) start = 7;
    else if (lower.rfind("https://", 0) == 0) start = 8;
    else return lower.find("://") == std::string::npos ? kInvalidUrl : kUnrecognizedScheme;
    const std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    const std::string host = authority.substr(0, authority.find(':'));
    if (host.empty()) return kInvalidUrl;
    if (authority.find(':') != std::string::npos) {
        const std::string port = authority.substr(authority.find(':') + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) == 0 || std::stoi(port) > 65535)
            return kInvalidUrl;
    }
    const HttpPosted posted{url, body, workerClock_};
    httpPosts_.push_back(posted);
    const HttpAnswer answer = httpServer ? httpServer(posted) : HttpAnswer{kCannotConnect, 0, 0};
    if (answer.delayMs > timeoutMs) {
        workerClock_ += timeoutMs;
        return kTimeout;
    }
    workerClock_ += answer.delayMs;
    if (answer.error) return answer.error;
    if (status) *status = answer.status;
    return 0;
}

}  // namespace hw::platform::sim
