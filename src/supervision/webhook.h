// The webhook: the operator's alerts as an HTTP(S) POST of JSON to the
// address in "WebhookUrl". The body's "content" is one line of text, so that
// a chat service's incoming-webhook address takes it as it is. Posts run on
// the worker thread; a failed one is tried again 3 times, 10 s, 30 s and
// 90 s later, then logged. Only the address's host is ever logged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "supervision/alerts.h"

namespace hw::supervision {

inline constexpr std::uint32_t kWebhookTimeoutMs = 10000;
inline constexpr int kWebhookRetries = 3;

struct WebhookResult {
    long error = 0;           // WinHTTP or Win32 error; 0 when an answer came
    std::uint32_t status = 0; // the HTTP status of that answer
    bool Delivered() const { return error == 0 && status >= 200 && status < 300; }
    // "HTTP 204", or the error in words with its number.
    std::string Describe() const;
};

class Webhook : public AlertSink {
public:
    Webhook(platform::Desktop& desktop, Events& events);
    ~Webhook() override;

    // What the body says about the server now.
    std::function<std::string()> serverStatus;
    std::function<int()> players;
    // When the players were last read, while they cannot be read now.
    std::function<std::optional<platform::LocalTime>()> playersAsOf;

    // The Test button: one test event to `url` at once, past the throttle;
    // `answer` runs on the interface thread with how it went.
    void Test(const std::string& url, std::function<void(const WebhookResult&)> answer);

    // The JSON body of one alert (`key`: the "event"), as sent.
    std::string Body(const std::string& key, const std::string& content, int count);

protected:
    bool Enabled() override;
    void Send(const Alert& alert) override;

private:
    struct Delivery {
        std::string url, body;
        int attempt = 0;
    };
    void Post(Delivery delivery, std::function<void(const WebhookResult&)> answer);
    void Retry(Delivery delivery, const WebhookResult& failed);
    std::string Url();
    Events& events_;
    // Whether this object still lives when a post's answer comes back.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace hw::supervision
