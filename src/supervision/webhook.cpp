#include "supervision/webhook.h"

#include <algorithm>
#include <cstdio>

#include "common/text.h"
#include "settings/settings.h"
#include "supervision/log.h"

namespace hw::supervision {

namespace {
constexpr std::uint32_t kRetryDelaysMs[kWebhookRetries] = {10000, 30000, 90000};

std::string Json(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// ", to hooks.example.net": the host only, never the secret path.
std::string To(const std::string& url) {
    const std::string host = text::UrlHost(url);
    return host.empty() ? std::string() : ", to " + host;
}

std::string MachineName(platform::Desktop& d) {
    char name[256] = {};
    const std::uint32_t n = d.ExpandEnvironmentStrings("%COMPUTERNAME%", name, sizeof name);
    const std::string s = n > 0 && n <= sizeof name ? std::string(name) : std::string();
    return s.empty() || s[0] == '%' ? "unknown" : s;
}
}  // namespace

std::string WebhookResult::Describe() const {
    if (Redirected()) return "redirected (HTTP " + std::to_string(status) + ")";
    if (error == 0) return "HTTP " + std::to_string(status);
    const char* what = nullptr;
    switch (error) {
        case 12002: what = "the server did not answer in time"; break;
        case 12005: case 12006: what = "the address is not an http:// or https:// address"; break;
        case 12007: what = "the host name could not be resolved"; break;
        case 12029: what = "no connection could be made"; break;
        case 12030: what = "the connection was closed"; break;
        case 12175: what = "the secure connection failed"; break;
        default: what = "the request failed"; break;
    }
    return std::string(what) + " (error " + std::to_string(error) + ")";
}

Webhook::Webhook(platform::Desktop& desktop, Events& events) : AlertSink(desktop, Reach::Webhook), events_(events) {}

Webhook::~Webhook() {
    *alive_ = false;
    Disarm();
}

std::string Webhook::Url() { return text::Trim(settings::ReadSetting(desktop_, settings::kWebhookUrl).ToText()); }

bool Webhook::Enabled() { return !closed_ && !Url().empty(); }

std::string Webhook::Body(const std::string& key, const std::string& content, int count) {
    const std::string machine = MachineName(desktop_);
    const std::string status = serverStatus ? serverStatus() : "";
    const int online = players ? players() : 0;
    const std::optional<platform::LocalTime> asOf = playersAsOf ? playersAsOf() : std::nullopt;
    std::string line = "Harrowatch on " + machine + ": " + content;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return "{\"content\":" + Json(desktop_.AnsiToUtf8(line)) + ",\"event\":" + Json(key) +
           ",\"time\":" + Json(Stamp(desktop_.GetLocalTime(), desktop_.UtcOffsetMinutes(), 'T')) +
           ",\"machine\":" + Json(desktop_.AnsiToUtf8(machine)) +
           ",\"server_status\":" + Json(desktop_.AnsiToUtf8(status)) +
           ",\"players\":" + std::to_string(online) +
           (asOf ? ",\"players_as_of\":" + Json(Stamp(*asOf, desktop_.UtcOffsetMinutes(), 'T')) : std::string()) +
           ",\"count\":" + std::to_string(count) + "}";
}

void Webhook::Send(const Alert& alert) {
    if (closed_ || Url().empty()) return;
    const std::string content = alert.title + (alert.text.empty() ? "" : ": " + alert.text);
    Delivery d;
    d.body = Body(Info(alert.id).key, content, alert.count);
    d.order = ++arrivals_;
    d.dueMs = desktop_.TickCount();
    Enqueue(std::move(d));
    Pump();
}

void Webhook::Test(const std::string& url, std::function<void(const WebhookResult&)> answer) {
    if (closed_) return;
    Delivery d;
    d.body = Body("test", "test event from the configuration dialog", 1);
    d.url = text::Trim(url);
    d.answer = std::move(answer);
    d.test = true;
    d.dueMs = desktop_.TickCount();
    Enqueue(std::move(d));
    Pump();
}

std::size_t Webhook::AlertsWaiting() const {
    std::size_t n = 0;
    for (const Delivery& d : queue_) n += d.test ? 0 : 1;
    return n;
}

void Webhook::Enqueue(Delivery delivery) {
    // Tests go before every alert; alerts keep their order of arrival, also
    // when one comes back to wait for its retry.
    auto at = queue_.begin();
    while (at != queue_.end() && (at->test || (!delivery.test && at->order < delivery.order))) ++at;
    queue_.insert(at, std::move(delivery));
    while (AlertsWaiting() > kWebhookQueued) {
        for (auto it = queue_.begin(); it != queue_.end(); ++it)
            if (!it->test) {
                queue_.erase(it);
                break;
            }
        ++dropped_;
    }
    // A full queue is told of as it starts dropping, not hours later when it
    // empties; the rest of the spell is told then, in one line.
    if (dropped_ && !dropping_) {
        dropping_ = true;
        TellDropped();
    }
}

void Webhook::TellDropped() {
    if (!dropped_) return;
    // Once the spell's first drop is told, the rest are "more".
    std::string what = std::to_string(dropped_);
    if (spellTold_) what += " more";
    spellTold_ = dropping_;
    events_.Raise(EventId::WebhookNotDelivered, what + (dropped_ == 1 ? " older post" : " older posts") + " dropped, " +
                                                    std::to_string(kWebhookQueued) + " were waiting already" + To(Url()));
    dropped_ = 0;
}

void Webhook::Pump() {
    if (closed_ || posting_) return;
    const std::uint64_t now = desktop_.TickCount();
    auto next = queue_.begin();
    std::uint64_t soonest = UINT64_MAX;
    for (; next != queue_.end(); ++next) {
        if (next->dueMs <= now) break;
        soonest = std::min(soonest, next->dueMs);
    }
    if (next == queue_.end()) {
        if (queue_.empty()) {
            Disarm();
            TellDropped();
            dropping_ = spellTold_ = false;
        } else {
            Arm(soonest);
        }
        return;
    }
    Delivery delivery = std::move(*next);
    queue_.erase(next);
    const std::string url = delivery.test ? delivery.url : Url();
    if (url.empty()) {
        // The address was taken away: what waits has nowhere to go.
        const std::size_t left = AlertsWaiting() + 1 + dropped_;  // those dropped before too
        std::erase_if(queue_, [](const Delivery& d) { return !d.test; });
        dropped_ = 0;
        dropping_ = spellTold_ = false;
        events_.Raise(EventId::WebhookNotDelivered,
                      std::to_string(left) + (left == 1 ? " post" : " posts") + " not sent, \"WebhookUrl\" is empty now");
        Pump();
        return;
    }
    posting_ = true;
    postingAlert_ = !delivery.test;
    auto result = std::make_shared<WebhookResult>();
    platform::Desktop& d = desktop_;
    const std::string body = delivery.body;
    // Only copies cross to the worker; the answer comes back through the
    // message loop, to an object that may have gone meanwhile.
    d.RunInBackground([url, body, result](platform::Desktop& worker) {
                          result->error = worker.HttpPost(url, body, kWebhookTimeoutMs, &result->status);
                      },
                      [this, alive = std::weak_ptr<bool>(alive_), delivery = std::move(delivery), url, result] {
                          if (alive.expired()) return;
                          posting_ = false;
                          if (closed_) return;
                          Answered(delivery, url, *result);
                          Pump();
                      });
}

void Webhook::Answered(Delivery delivery, const std::string& url, const WebhookResult& result) {
    if (delivery.answer) delivery.answer(result);
    // A test says how it went in its dialog and is not tried again.
    if (result.Delivered() || delivery.test) return;
    // A redirect answers the same way next time.
    if (delivery.attempt >= kWebhookRetries || result.Redirected()) {
        const int tries = delivery.attempt + 1;
        events_.Raise(EventId::WebhookNotDelivered, "to " + text::UrlHost(url) + ", " + result.Describe() + ", after " +
                                                        std::to_string(tries) + (tries == 1 ? " try" : " tries"));
        return;
    }
    delivery.dueMs = desktop_.TickCount() + kRetryDelaysMs[delivery.attempt];
    ++delivery.attempt;
    Enqueue(std::move(delivery));
}

void Webhook::Arm(std::uint64_t dueMs) {
    if (timer_ && timerDueMs_ == dueMs) return;
    Disarm();
    timerDueMs_ = dueMs;
    const std::uint64_t now = desktop_.TickCount();
    timer_ = desktop_.SetTimer(static_cast<std::uint32_t>(dueMs > now ? dueMs - now : 1),
                               [this, alive = std::weak_ptr<bool>(alive_)] {
                                   if (alive.expired()) return;
                                   Disarm();
                                   Pump();
                               });
}

void Webhook::Disarm() {
    if (timer_) desktop_.KillTimer(timer_);
    timer_ = 0;
}

void Webhook::Close() {
    if (closed_) return;
    const std::size_t left = AlertsWaiting() + (posting_ && postingAlert_ ? 1 : 0);
    TellDropped();
    closed_ = true;
    Disarm();
    queue_.clear();
    if (left)
        events_.Raise(EventId::WebhookNotDelivered, std::to_string(left) + (left == 1 ? " post" : " posts") +
                                                        " still waiting at exit" + To(Url()));
}

}  // namespace hw::supervision
