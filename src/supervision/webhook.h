// The webhook: the operator's alerts as an HTTP(S) POST of JSON to the
// address in "WebhookUrl". The body's "content" is one line of text, so that
// a chat service's incoming-webhook address takes it as it is. Posts wait in
// one queue and go out one at a time on the worker thread, each to the
// address set when it goes; a failed one is tried again 3 times, 10 s, 30 s
// and 90 s later, then logged. A redirect is not followed (a POST sent on
// would arrive as a GET without its body) nor tried again. At most 100 posts
// wait: the oldest beyond are dropped. The first drop is logged at once;
// those that follow while the queue stays full are counted and logged once
// it empties, or at exit. Only the address's host is ever logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "supervision/alerts.h"

namespace hw::supervision {

inline constexpr std::uint32_t kWebhookTimeoutMs = 10000;
inline constexpr int kWebhookRetries = 3;
inline constexpr std::size_t kWebhookQueued = 100;

struct WebhookResult {
    long error = 0;           // WinHTTP or Win32 error; 0 when an answer came
    std::uint32_t status = 0; // the HTTP status of that answer
    bool Delivered() const { return error == 0 && status >= 200 && status < 300; }
    bool Redirected() const { return error == 0 && status >= 300 && status < 400; }
    // "HTTP 204", "redirected (HTTP 302)", or the error in words with its number.
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

    // The Test button: one test event to `url`, past the throttle and ahead
    // of the posts waiting; `answer` runs on the interface thread with how it went.
    void Test(const std::string& url, std::function<void(const WebhookResult&)> answer);

    // The JSON body of one alert (`key`: the "event"), as sent.
    std::string Body(const std::string& key, const std::string& content, int count);

    // Posts waiting to go out (the one under way aside).
    std::size_t Waiting() const { return queue_.size(); }
    // At exit: the posts not yet delivered are logged as such, and nothing
    // more goes out.
    void Close();

protected:
    bool Enabled() override;
    void Send(const Alert& alert) override;

private:
    struct Delivery {
        std::string body;
        std::string url;  // a test's own address; an alert goes to the one set when it goes
        std::function<void(const WebhookResult&)> answer;  // a test's
        int attempt = 0;
        std::uint64_t order = 0;   // arrival, to keep the queue in order across retries
        std::uint64_t dueMs = 0;
        bool test = false;
    };
    void Enqueue(Delivery delivery);
    void Pump();
    void Answered(Delivery delivery, const std::string& url, const WebhookResult& result);
    void Arm(std::uint64_t dueMs);
    void Disarm();
    void TellDropped();
    std::size_t AlertsWaiting() const;
    std::string Url();
    Events& events_;
    std::deque<Delivery> queue_;  // tests first, then alerts in order of arrival
    std::uint64_t arrivals_ = 0;
    bool posting_ = false, postingAlert_ = false, closed_ = false;
    int dropped_ = 0;         // dropped and not yet told
    bool dropping_ = false;   // the queue has dropped since it last emptied
    bool spellTold_ = false;  // and that was told
    std::uint32_t timer_ = 0;
    std::uint64_t timerDueMs_ = 0;
    // Whether this object still lives when a post's answer comes back.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace hw::supervision
