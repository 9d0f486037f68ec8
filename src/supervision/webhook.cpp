#include "supervision/webhook.h"

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

std::string MachineName(platform::Desktop& d) {
    char name[256] = {};
    const std::uint32_t n = d.ExpandEnvironmentStrings("%COMPUTERNAME%", name, sizeof name);
    const std::string s = n > 0 && n <= sizeof name ? std::string(name) : std::string();
    return s.empty() || s[0] == '%' ? "unknown" : s;
}
}  // namespace

std::string WebhookResult::Describe() const {
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

Webhook::~Webhook() { *alive_ = false; }

std::string Webhook::Url() { return text::Trim(settings::ReadSetting(desktop_, settings::kWebhookUrl).ToText()); }

bool Webhook::Enabled() { return !Url().empty(); }

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
    const std::string url = Url();
    if (url.empty()) return;
    const std::string content = alert.title + (alert.text.empty() ? "" : ": " + alert.text);
    Post({url, Body(Info(alert.id).key, content, alert.count), 0}, nullptr);
}

void Webhook::Test(const std::string& url, std::function<void(const WebhookResult&)> answer) {
    Post({text::Trim(url), Body("test", "test event from the configuration dialog", 1), kWebhookRetries},
         std::move(answer));
}

void Webhook::Post(Delivery delivery, std::function<void(const WebhookResult&)> answer) {
    auto result = std::make_shared<WebhookResult>();
    platform::Desktop& d = desktop_;
    const std::string url = delivery.url, body = delivery.body;
    // Only copies cross to the worker; the answer comes back through the
    // message loop, to an object that may have gone meanwhile.
    d.RunInBackground([&d, url, body, result] { result->error = d.HttpPost(url, body, kWebhookTimeoutMs, &result->status); },
                      [this, alive = std::weak_ptr<bool>(alive_), delivery, answer, result] {
                          if (alive.expired()) return;
                          if (answer) answer(*result);
                          if (!result->Delivered()) Retry(delivery, *result);
                      });
}

void Webhook::Retry(Delivery delivery, const WebhookResult& failed) {
    const std::string where = "to " + text::UrlHost(delivery.url) + ", " + failed.Describe();
    if (delivery.attempt >= kWebhookRetries) {
        // A test says so in its dialog; an alert is logged once it gives up.
        if (delivery.body.find("\"event\":\"test\"") == std::string::npos)
            events_.Raise(EventId::WebhookNotDelivered, where + ", after " + std::to_string(kWebhookRetries + 1) + " tries");
        return;
    }
    const std::uint32_t delay = kRetryDelaysMs[delivery.attempt];
    ++delivery.attempt;
    auto timer = std::make_shared<std::uint32_t>(0);
    *timer = desktop_.SetTimer(delay, [this, alive = std::weak_ptr<bool>(alive_), delivery, timer] {
        if (alive.expired()) return;
        desktop_.KillTimer(*timer);
        Post(delivery, nullptr);
    });
}

}  // namespace hw::supervision
