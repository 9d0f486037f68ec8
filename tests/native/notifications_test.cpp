// Reaching the operator away from the console: tray balloons and the
// webhook, throttled and merged, posted off the interface thread, retried,
// and the configuration dialog's Test button.
#include <gtest/gtest.h>

#include <algorithm>

#include "native/main_window_fixture.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "supervision/alerts.h"
#include "supervision/webhook.h"

namespace hw::testing {
namespace {

using supervision::EventId;
using supervision::kWebhookQueued;
using supervision::kWebhookTimeoutMs;
constexpr const char* kHook = "https://hooks.example.net/services/T0/B0/secret-token";

TEST(AlertThrottle, HeldEventsGoOutAsOneWithTheirCountAndSpan) {
    supervision::AlertThrottle t;
    const supervision::Event crash{EventId::ServerEnded, supervision::Level::Warning, "exit code 3"};
    const supervision::Event hung{EventId::NotResponding, supervision::Level::Warning, ""};
    const auto first = t.Take(crash, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->title, "Server crashed");
    EXPECT_EQ(first->text, "exit code 3");
    EXPECT_TRUE(t.Take(hung, 1000));  // another kind is not held up
    for (std::uint64_t at : {5000, 15000, 35000, 59000, 100000}) EXPECT_FALSE(t.Take(crash, at)) << at;
    EXPECT_TRUE(t.Holding());
    EXPECT_TRUE(t.Due(59999).empty());
    const auto due = t.Due(100000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].title, "Server crashed 5 times in 2 min");
    EXPECT_EQ(due[0].count, 5);
    EXPECT_FALSE(t.Holding());
    EXPECT_FALSE(t.Take(crash, 130000));  // a minute after the merged one
    const auto one = t.Due(160000);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].title, "Server crashed");  // one held: said as it was
}

class NotificationsTest : public MainWindowTest {
protected:
    NotificationsTest() {
        d.SetEnvironment("COMPUTERNAME", "GAMEHOST");
        d.httpServer = [this](const platform::sim::SimDesktop::HttpPosted&) { return answer; };
    }
    void Hook(const std::string& url = kHook) {
        d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "WebhookUrl", url);
    }
    std::vector<std::string> PostedEvents() {
        std::vector<std::string> events;
        for (const auto& p : d.HttpPosts()) {
            const std::size_t at = p.body.find("\"event\":\"") + 9;
            events.push_back(p.body.substr(at, p.body.find('"', at) - at));
        }
        return events;
    }
    std::vector<std::string> BalloonTitles() {
        std::vector<std::string> titles;
        for (const auto& b : shell.balloons) titles.push_back(b.szInfoTitle);
        return titles;
    }
    platform::sim::SimDesktop::HttpAnswer answer{0, 204, 50};
};

TEST_F(NotificationsTest, ACrashShowsABalloonAndPostsTheWebhookWithinAMinute) {
    Hook();
    Start("active\nat 1000 players 3\nat 90000 crash\n");
    Run(91000 + 30000);
    ASSERT_EQ(BalloonTitles(), std::vector<std::string>{"Server crashed"});
    const ui::TrayIconData& b = shell.balloons[0];
    EXPECT_EQ(b.cbSize, ui::kTrayBalloonRecordSize);  // the first-version record shows no balloon
    EXPECT_EQ(b.dwInfoFlags, ui::kNiifWarning);
    EXPECT_NE(b.szInfo.find("exit code 3"), std::string::npos);
    ASSERT_EQ(PostedEvents(), std::vector<std::string>{"server_crashed"});
    const auto& post = d.HttpPosts()[0];
    EXPECT_EQ(post.url, kHook);
    EXPECT_LE(post.atMs, 91000u + app::kDefaultPollMs);
    const std::string& body = post.body;
    EXPECT_EQ(body.rfind("{\"content\":\"Harrowatch on GAMEHOST: Server crashed: process id ", 0), 0u) << body;
    EXPECT_NE(body.find("\"machine\":\"GAMEHOST\""), std::string::npos);
    EXPECT_NE(body.find("\"players\":3"), std::string::npos);
    EXPECT_NE(body.find("\"server_status\":\""), std::string::npos);
    // ISO 8601 with the machine's offset (the simulation's clock: UTC+1).
    const std::size_t time = body.find("\"time\":\"") + 8;
    const std::string stamp = body.substr(time, body.find('"', time) - time);
    EXPECT_EQ(stamp.size(), 25u) << stamp;
    EXPECT_EQ(stamp[10], 'T');
    EXPECT_EQ(stamp.substr(19), "+01:00");
    EXPECT_EQ(body.find('\n'), std::string::npos);
    EXPECT_EQ(TodaysLog().find("Webhook not delivered"), std::string::npos);
    // Closed by Harrowatch on exit: no alert.
    form.sysExit_Click();
    Run(20000);
    EXPECT_EQ(shell.balloons.size(), 1u);
    EXPECT_EQ(d.HttpPosts().size(), 1u);
    EXPECT_NE(TodaysLog().find("INFO Server stopped: process id"), std::string::npos);
}

TEST_F(NotificationsTest, ACrashLoopIsOneAlertAMinuteMergedAndTheReturnIsPosted) {
    Hook();
    Setting("Notifications", 0);
    Start("at 4000 crash\n");
    Run(300000);
    EXPECT_TRUE(shell.balloons.empty());  // turned off
    std::vector<std::string> events = PostedEvents();
    const auto crashes = std::count(events.begin(), events.end(), "server_crashed");
    EXPECT_GE(crashes, 2);
    EXPECT_LE(crashes, 6);  // one a minute at most, and the merged ones
    // Posted once a run after the loop has lasted a minute.
    EXPECT_EQ(std::count(events.begin(), events.end(), "relaunched_after_crashes"), 0);
    standins.SetScript("active\n");
    Run(300000 + 70000);
    events = PostedEvents();
    const auto back = std::find(events.begin(), events.end(), "relaunched_after_crashes");
    ASSERT_NE(back, events.end());
    EXPECT_NE(d.HttpPosts()[static_cast<std::size_t>(back - events.begin())].body.find("quick ends in a row"),
              std::string::npos);
    const bool merged = std::any_of(d.HttpPosts().begin(), d.HttpPosts().end(), [](const auto& p) {
        return p.body.find("Server crashed ") != std::string::npos && p.body.find(" times in ") != std::string::npos;
    });
    EXPECT_TRUE(merged);
    std::vector<std::uint64_t> times;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (events[i] == "server_crashed") times.push_back(d.HttpPosts()[i].atMs);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 60000u);
}

// HungRestartMinutes ends the silent server, and the poll launches it again.
TEST_F(NotificationsTest, AHungServerEndedIsABalloonAndAPost) {
    Hook();
    Setting("HungRestartMinutes", 2);
    Start("active\nat 10000 hang 600000\n");
    Run(10000 + 2 * 60000 + 15000);
    EXPECT_EQ(Count(EventId::HungServerEnded), 1);
    EXPECT_EQ(standins.Launches(), 2u);  // ended by Harrowatch: no quick end, no back-off
    // Its end is told once, as the hung server's end, with its exit code.
    EXPECT_EQ(Count(EventId::ServerStopped), 0);
    EXPECT_EQ(Count(EventId::ServerEnded), 0);
    EXPECT_NE(TodaysLog().find("ERROR Hung server ended: process id"), std::string::npos);
    EXPECT_NE(TodaysLog().find(", exit code 1, after "), std::string::npos) << TodaysLog();
    EXPECT_TRUE(boxes.shown.empty());
    const std::vector<std::string> titles = BalloonTitles();
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Hung server ended"), titles.end());
    const std::vector<std::string> events = PostedEvents();
    EXPECT_NE(std::find(events.begin(), events.end(), "hung_server_ended"), events.end());
    for (const auto& b : shell.balloons)
        EXPECT_TRUE(b.szInfoTitle != "Hung server ended" || b.dwInfoFlags == ui::kNiifError);
}

TEST_F(NotificationsTest, AFailedPostIsTriedThreeTimesMoreThenLoggedWithItsHostOnly) {
    Hook();
    answer = {0, 500, 20};
    Start("active\nat 90000 crash\n");
    Run(91000 + 200000);
    // The first crash's post and its retries (the relaunched server crashes too).
    std::vector<platform::sim::SimDesktop::HttpPosted> posts;
    for (const auto& p : d.HttpPosts())
        if (p.body == d.HttpPosts()[0].body) posts.push_back(p);
    ASSERT_EQ(posts.size(), 4u);
    EXPECT_GE(posts[1].atMs - posts[0].atMs, 10000u);
    EXPECT_GE(posts[2].atMs - posts[1].atMs, 30000u);
    EXPECT_GE(posts[3].atMs - posts[2].atMs, 90000u);
    const std::string log = TodaysLog();
    EXPECT_NE(log.find("WARNING Webhook not delivered: to hooks.example.net, HTTP 500, after 4 tries"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_GE(standins.Launches(), 3u);  // supervision went on
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(NotificationsTest, AListenerThatNeverAnswersHoldsNoPoll) {
    Hook();
    answer = {0, 200, 3600000};  // takes the post and never answers
    Start("active\nat 90000 crash\nevery 1000 message tick\n");
    Run(91000);
    const std::int64_t copied = form.CopiedServerLines();
    Run(60000);
    // The worker waits out its time-outs while the polls go on: the crashed
    // server is back and its lines are copied.
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_GE(form.CopiedServerLines() - copied, 40);
    EXPECT_EQ(d.HttpPosts().size(), 3u);  // the first and two retries, each after its 10 s time-out
    Run(300000);
    EXPECT_NE(TodaysLog().find("did not answer in time (error 12002), after 4 tries"), std::string::npos);
}

TEST_F(NotificationsTest, ARedirectIsNotDeliveredNorFollowedNorTriedAgain) {
    Hook();
    answer = {0, 302, 20, "https://elsewhere.example.org/login"};
    Start("active\n");
    form.Events.Raise(EventId::ResetFailed, "Store Inventory");
    Run(300000);
    ASSERT_EQ(PostedEvents(), std::vector<std::string>{"reset_failed"});
    EXPECT_EQ(d.HttpPosts()[0].url, kHook);
    const std::string log = TodaysLog();
    EXPECT_NE(log.find("WARNING Webhook not delivered: to hooks.example.net, redirected (HTTP 302), after 1 try"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("elsewhere"), std::string::npos);
    // The Test button says so too.
    std::string shown;
    form.runConfigModal = [&](settings::frmConfig& c) {
        c.btnTestWebhook_Click();
        d.AdvanceIdle(1000);
        shown = c.lblWebhookResult.Text();
    };
    form.sysConfigue_Click();
    EXPECT_EQ(shown, "Not arrived: redirected (HTTP 302)");
}

TEST_F(NotificationsTest, QueuedPostsGoToTheAddressNowSetAndThoseLeftAtExitAreLogged) {
    Hook("https://old.example.net/hook");
    answer = {12029, 0, 0};
    Start("active\n");
    form.Events.Raise(EventId::ResetFailed, "Store Inventory");
    Run(5000);
    Hook();  // the operator sets another address while the post waits
    Run(15000);
    ASSERT_EQ(d.HttpPosts().size(), 2u);
    EXPECT_EQ(d.HttpPosts()[0].url, "https://old.example.net/hook");
    EXPECT_EQ(d.HttpPosts()[1].url, kHook);
    form.Events.Raise(EventId::HungServerEnded, "after 2 minutes");
    Run(1000);
    form.sysExit_Click();
    Run(120000);
    EXPECT_EQ(d.HttpPosts().size(), 3u);  // nothing more once Harrowatch is gone
    const std::string log = TodaysLog();
    const std::size_t left = log.find("WARNING Webhook not delivered: 2 posts still waiting at exit, to hooks.example.net");
    EXPECT_NE(left, std::string::npos) << log;
    EXPECT_LT(left, log.find("Harrowatch exited"));
}

TEST_F(NotificationsTest, TheTestIsAnsweredBeforeThePostsWaiting) {
    Hook();
    answer = {0, 200, 3600000};  // the alerts' listener never answers: 10 s a try
    d.httpServer = [this](const platform::sim::SimDesktop::HttpPosted& p) {
        return p.url == kHook ? answer : platform::sim::SimDesktop::HttpAnswer{0, 204, 50};
    };
    Start("active\n");
    for (EventId id : {EventId::ResetFailed, EventId::HungServerEnded, EventId::NotResponding,
                       EventId::RespondingAgain, EventId::RelaunchDelayed})
        form.Events.Raise(id, "");
    Run(1000);
    std::string shown;
    std::uint64_t pressed = 0, answered = 0;
    form.runConfigModal = [&](settings::frmConfig& c) {
        c.txtWebhookUrl.TrackText("http://127.0.0.1:8080/hook");
        c.btnTestWebhook_Click();
        pressed = d.NowMs();
        while (c.lblWebhookResult.Text().rfind("Sending", 0) == 0 && d.NowMs() - pressed < 120000) d.AdvanceIdle(100);
        answered = d.NowMs();
        shown = c.lblWebhookResult.Text();
    };
    form.sysConfigue_Click();
    EXPECT_EQ(shown, "Arrived: HTTP 204");
    EXPECT_LE(answered - pressed, kWebhookTimeoutMs + 1000);  // only the post under way goes first
}

// A webhook whose listener takes 10 s a try, with every "not delivered"
// line it tells kept, and the seven alerts it is sent each minute.
struct SlowListener {
    SlowListener() {
        d.httpServer = [](const platform::sim::SimDesktop::HttpPosted&) {
            return platform::sim::SimDesktop::HttpAnswer{0, 200, 3600000};  // 10 s a try
        };
        d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "WebhookUrl", kHook);
        events.AddSink(&kept);
        events.AddSink(&hook);
    }
    std::vector<std::string> Dropped() const {
        std::vector<std::string> dropped;
        for (const std::string& line : kept.lines)
            if (line.find("dropped") != std::string::npos) dropped.push_back(line);
        return dropped;
    }
    static constexpr EventId kKinds[] = {EventId::ServerEnded,     EventId::RelaunchDelayed, EventId::NotResponding,
                                         EventId::RespondingAgain, EventId::HungServerEnded, EventId::ResetFailed,
                                         EventId::RelaunchedAfterCrashes};
    platform::sim::SimDesktop d;
    supervision::Events events;
    struct Kept : supervision::EventSink {
        std::vector<std::string> lines;
        void Take(const supervision::Event& e) override {
            if (e.id == EventId::WebhookNotDelivered) lines.push_back(e.text);
        }
    } kept;
    supervision::Webhook hook{d, events};
};

TEST(WebhookQueue, AHundredPostsWaitAtMostAndTheOldestDroppedAreCountedAndTold) {
    // Ended by Harrowatch's exit, or by the address taken away.
    for (const bool emptied : {false, true}) {
        SlowListener w;
        platform::sim::SimDesktop& d = w.d;
        supervision::Webhook& hook = w.hook;
        int alerts = 0;
        std::size_t most = 0;
        for (int minute = 0; minute < 30; ++minute) {
            for (EventId id : SlowListener::kKinds) {
                w.events.Raise(id, "minute " + std::to_string(minute));
                ++alerts;
                most = std::max(most, hook.Waiting());
            }
            for (int second = 0; second < 60; ++second) {
                const std::size_t told = w.Dropped().size();
                d.AdvanceIdle(1000);
                // Told as the queue, full, lets its oldest post go.
                if (w.Dropped().size() > told) {
                    EXPECT_EQ(hook.Waiting(), kWebhookQueued);
                }
            }
        }
        EXPECT_EQ(most, kWebhookQueued);
        // Told when it first drops a post, not only once it empties (it may
        // not for hours) or at exit; and once for all the same full spell drops.
        ASSERT_EQ(w.Dropped().size(), 1u);
        EXPECT_EQ(w.Dropped()[0], "1 older post dropped, 100 were waiting already, to hooks.example.net");
        if (emptied) {
            d.PokeString(platform::kHkeyLocalMachine, server::kSettingsKey, "WebhookUrl", "");
            d.AdvanceIdle(20000);
        }
        hook.Close();
        if (!emptied) {
            ASSERT_EQ(w.Dropped().size(), 2u);  // the rest of the spell, at exit
            EXPECT_NE(w.Dropped()[1].find(" more older posts dropped, 100 were waiting already"), std::string::npos)
                << w.Dropped()[1];
        }
        // Every alert is accounted for: given up after its tries, dropped, or left at exit.
        int givenUp = 0, dropped = 0, left = 0;
        for (const std::string& line : w.kept.lines) {
            if (line.find("after 4 tries") != std::string::npos) ++givenUp;
            else if (line.find(" older post") != std::string::npos &&
                     line.find(" dropped, 100 were waiting already, to hooks.example.net") != std::string::npos)
                dropped += std::stoi(line);
            else if (line.find(" posts still waiting at exit, to hooks.example.net") != std::string::npos ||
                     line.find(" not sent, \"WebhookUrl\" is empty now") != std::string::npos)
                left += std::stoi(line);
            else
                ADD_FAILURE() << line;
        }
        EXPECT_EQ(givenUp + dropped + left, alerts);
        EXPECT_EQ(hook.Waiting(), 0u);
        const std::size_t posts = d.HttpPosts().size();
        d.AdvanceIdle(600000);
        EXPECT_EQ(d.HttpPosts().size(), posts);
    }
}

TEST(Background, ResultsComeBackOnlyThroughTheMessageLoop) {
    platform::sim::SimDesktop d;
    std::vector<std::string> order;
    d.RunInBackground([&](platform::Desktop&) { order.push_back("work"); }, [&] { order.push_back("done"); });
    d.Sleep(1000);  // the interface thread busy: the worker runs, its result waits
    EXPECT_EQ(order, std::vector<std::string>{"work"});
    d.DoEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"work", "done"}));
    // A post from the interface thread is a fault of the program.
    std::uint32_t status = 0;
    d.HttpPost("http://127.0.0.1:1/x", "{}", 1000, &status);
    ASSERT_EQ(d.CallbackErrors().size(), 1u);
    EXPECT_EQ(d.CallbackErrors()[0], "HttpPost on the interface thread");
}

// Only web addresses are posted to, and redirects are never followed: a
// POST sent on as a GET would lose its body.
TEST(Background, HttpPostTakesOnlyWebAddressesAndFollowsNoRedirect) {
    platform::sim::SimDesktop d;
    std::vector<long> errors;
    for (const char* url : {"ftp://example.net/", "example.net/x", "http:///x", "http://example.net:99999/",
                            "http://127.0.0.1:8080/hook"})
        d.RunInBackground([&, url](platform::Desktop& worker) { errors.push_back(worker.HttpPost(url, "{}", 1000, nullptr)); }, [] {});
    d.AdvanceIdle(10);
    EXPECT_EQ(errors, (std::vector<long>{12006, 12005, 12005, 12005, 12029}));
    d.httpServer = [](const platform::sim::SimDesktop::HttpPosted& p) {
        return p.url.find("elsewhere") == std::string::npos
                   ? platform::sim::SimDesktop::HttpAnswer{0, 307, 10, "https://elsewhere.example.org/x"}
                   : platform::sim::SimDesktop::HttpAnswer{0, 204, 10};
    };
    long error = -1;
    std::uint32_t status = 0;
    d.RunInBackground([&](platform::Desktop& worker) { error = worker.HttpPost("https://hooks.example.net/x", "{}", 1000, &status); }, [] {});
    d.AdvanceIdle(100);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(status, 307u);
    ASSERT_EQ(d.HttpPosts().size(), 2u);  // the one refused by its address never went
    EXPECT_EQ(d.HttpPosts()[1].url, "https://hooks.example.net/x");
}

TEST_F(NotificationsTest, TheTestButtonSaysWhetherTheEventArrived) {
    Start("active\n");
    // The dialog as the binding holds it: opened, used, answered, closed.
    std::vector<std::string> shown;
    form.runConfigModal = [&](settings::frmConfig& c) {
        c.txtWebhookUrl.TrackText("not an address");
        c.btnTestWebhook_Click();
        shown.push_back(boxes.shown.empty() ? "" : boxes.shown.back().text);
        c.txtWebhookUrl.TrackText("http://127.0.0.1:8080/hook");
        c.btnTestWebhook_Click();
        shown.push_back(c.lblWebhookResult.Text());
        d.AdvanceIdle(1000);  // the modal loop runs
        shown.push_back(c.lblWebhookResult.Text());
        answer = {12029, 0, 0};
        c.btnTestWebhook_Click();
        d.AdvanceIdle(1000);
        shown.push_back(c.lblWebhookResult.Text());
        answer = {0, 403, 0};
        c.btnTestWebhook_Click();
        c.btnCancel_Click();  // closed before the answer: nothing to show it in
    };
    form.sysConfigue_Click();
    Run(1000);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], settings::kWebhookUrlText);
    EXPECT_EQ(shown[1], "Sending a test event to 127.0.0.1...");
    EXPECT_EQ(shown[2], "Arrived: HTTP 204");
    EXPECT_EQ(shown[3], "Not arrived: no connection could be made (error 12029)");
    ASSERT_EQ(d.HttpPosts().size(), 3u);
    EXPECT_NE(d.HttpPosts()[0].body.find("\"event\":\"test\""), std::string::npos);
    // A test that fails is not tried again nor logged as an alert.
    Run(200000);
    EXPECT_EQ(d.HttpPosts().size(), 3u);
    EXPECT_EQ(TodaysLog().find("Webhook not delivered"), std::string::npos);
}

TEST_F(NotificationsTest, PlayersShownDuringAnOutageSayWhenTheyWereRead) {
    Hook();
    Start("active\nat 1000 players 3\nat 10000 hang 60000\n");
    Run(6000);
    ASSERT_EQ(form.StatusBar.Panel(2), "3 PLAYERS ONLINE");
    Run(10000);  // hung since 10 s; the last answer was the poll at 5 s
    const std::string panel = form.StatusBar.Panel(2);
    EXPECT_EQ(panel.rfind("3 PLAYERS ONLINE AS OF ", 0), 0u) << panel;
    EXPECT_EQ(panel.size(), std::string("3 PLAYERS ONLINE AS OF hh:mm:ss").size()) << panel;
    Run(20000);
    EXPECT_EQ(form.StatusBar.Panel(2), panel);  // still as of the last read
    ASSERT_FALSE(d.HttpPosts().empty());
    const std::string& body = d.HttpPosts().back().body;
    EXPECT_NE(body.find("\"event\":\"not_responding\""), std::string::npos) << body;
    EXPECT_NE(body.find("\"players\":3,"), std::string::npos) << body;
    EXPECT_NE(body.find("\"players_as_of\":\""), std::string::npos) << body;
    Run(60000);  // answering again: read afresh
    EXPECT_EQ(form.StatusBar.Panel(2), "3 PLAYERS ONLINE");
    const std::size_t posts = d.HttpPosts().size();
    form.Events.Raise(supervision::EventId::ResetFailed, "Store Inventory");
    Run(30000);
    ASSERT_GT(d.HttpPosts().size(), posts);
    EXPECT_EQ(d.HttpPosts().back().body.find("players_as_of"), std::string::npos);
}

}  // namespace
}  // namespace hw::testing
