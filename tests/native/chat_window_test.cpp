// The chat window with the stand-in: its transcript, sending, the Enter key,
// its position and its timers against the main window's.
#include <gtest/gtest.h>

#include <algorithm>

#include "native/main_window_fixture.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

class ChatWindowTest : public MainWindowTest {
protected:
    chat::frmMessage& Open() {
        form.sysChatServer_Click();
        return *form.Chat;
    }
    void Key(chat::frmMessage& c, std::int16_t key, std::int16_t expect) {
        c.txtMessageText_KeyPress(key);
        EXPECT_EQ(key, expect);
    }
};

TEST_F(ChatWindowTest, ShowsOnlyChatThatArrivesWhileItIsOpen) {
    Start("active\nat 0 chat Dorn early bird\n");
    Run(1000);
    chat::frmMessage& c = Open();
    EXPECT_EQ(c.txtChat.Text(), "");
    EXPECT_TRUE(c.RefreshTimer.Enabled());
    EXPECT_EQ(c.RefreshTimer.Interval(), 120u);
    server().AddChat("Dorn", "hello all");
    server().AddLine("Player Ysra has joined.");  // no quotes: not chat
    server().AddChat("Ysra", "hi Dorn");
    Run(200);
    EXPECT_EQ(c.txtChat.Text(), "hello all\r\nhi Dorn");
    EXPECT_EQ(c.txtChat.SelStart(), static_cast<int>(c.txtChat.Text().size()));

    // Reopened, it starts afresh.
    c.RequestClose();
    server().AddChat("Dorn", "while closed");
    chat::frmMessage& again = Open();
    Run(300);
    EXPECT_EQ(again.txtChat.Text(), "");
    // A busy server without chat: each tick reads only what is new.
    const auto list = server().messageList();
    for (int tick = 0; tick < 20; ++tick) {
        for (int i = 0; i < 10; ++i) server().AddLine("Player " + std::to_string(i) + " moved.");
        Run(120);
        EXPECT_EQ(again.Harrowatch->mMessageLineCount, host().ListBoxCount(list));
    }
    server().AddChat("Dorn", "finally");
    Run(200);
    EXPECT_EQ(again.txtChat.Text(), "finally");
}

TEST_F(ChatWindowTest, SendingEchoesAndReachesThePlayers) {
    Start("active\n");
    chat::frmMessage& c = Open();
    c.txtMessageText.TrackText("hello");
    c.btnSendMessage_Click();
    EXPECT_EQ(c.txtChat.Text(), "Server Admin -- hello");
    EXPECT_EQ(c.txtMessageText.Text(), "");
    ASSERT_EQ(server().effects().sentMessages.size(), 1u);
    EXPECT_EQ(server().effects().sentMessages[0], "hello");
    Run(300);  // the server's own line of it is not taken for chat
    EXPECT_EQ(c.txtChat.Text(), "Server Admin -- hello");

    // Two lines: echoed joined, sent as typed.
    c.txtMessageText.TrackText("first\r\nsecond");
    c.btnSendMessage_Click();
    EXPECT_NE(c.txtChat.Text().find("Server Admin -- firstsecond"), std::string::npos);
    EXPECT_EQ(server().effects().sentMessages.back(), "first\r\nsecond");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(c.RefreshTimer.Enabled());
    // Enter sends only what is not blank.
    const std::string echoed = c.txtChat.Text();
    Key(c, 13, 13);  // an empty box: the line break is the box's
    c.txtMessageText.TrackText("   ");
    Key(c, 13, 13);
    c.txtMessageText.TrackText("\r\n");
    Key(c, 13, 0);  // taken, but there is nothing to send
    EXPECT_EQ(server().effects().sentMessages.size(), 2u);
    EXPECT_EQ(c.txtChat.Text(), echoed);
    c.txtMessageText.TrackText("ready?");
    Key(c, 'x', 'x');
    Key(c, 13, 0);
    ASSERT_EQ(server().effects().sentMessages.size(), 3u);
    EXPECT_EQ(c.txtMessageText.Text(), "");
}

TEST_F(ChatWindowTest, ASecondSendWhileOneRunsIsRefusedAClosingWaitsAndTheTranscriptIsBounded) {
    Start("active\n");
    chat::frmMessage& c = Open();
    // A double click, then a double Enter: the second arrives while the first waits.
    d.ScheduleAfter(10, d.OwnPid(), [&] { c.btnSendMessage_Click(); });
    c.txtMessageText.TrackText("hello");
    c.btnSendMessage_Click();
    d.ScheduleAfter(10, d.OwnPid(), [&] {
        c.txtMessageText.TrackText("typed meanwhile");
        std::int16_t key = 13;
        c.txtMessageText_KeyPress(key);
        EXPECT_EQ(key, 0);  // taken, not a line break
    });
    c.txtMessageText.TrackText("again");
    c.btnSendMessage_Click();
    EXPECT_EQ(server().effects().sentMessages, (std::vector<std::string>{"hello", "again"}));
    EXPECT_EQ(c.txtChat.Text(), "Server Admin -- hello\r\nServer Admin -- again");
    EXPECT_EQ(c.txtMessageText.Text(), "typed meanwhile");  // kept for the operator to send
    Run(300);
    EXPECT_EQ(c.txtChat.Text(), "Server Admin -- hello\r\nServer Admin -- again");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(c.RefreshTimer.Enabled());

    // The transcript is bounded, and closing during a send waits for it.
    for (std::size_t i = 0; i < chat::kTranscriptLines + 50; ++i) server().AddChat("Dorn", "line " + std::to_string(i));
    Run(200);
    const std::string& t = c.txtChat.Text();
    EXPECT_EQ(static_cast<std::size_t>(std::count(t.begin(), t.end(), '\n')) + 1, chat::kTranscriptLines);
    EXPECT_EQ(t.substr(t.rfind('\n') + 1), "line " + std::to_string(chat::kTranscriptLines + 49));

    bool closedDuringSend = true;
    d.ScheduleAfter(10, d.OwnPid(), [&] {
        c.RequestClose();
        closedDuringSend = c.Closed();
    });
    c.txtMessageText.TrackText("bye");
    c.btnSendMessage_Click();
    EXPECT_FALSE(closedDuringSend);
    EXPECT_TRUE(c.Closed());
    EXPECT_EQ(server().effects().sentMessages.back(), "bye");
}

TEST_F(ChatWindowTest, AFailedSendIsShownAndLoggedAsFailed) {
    Start("active\ndialogs empty\n");  // the send dialog has no OK button
    chat::frmMessage& c = Open();
    c.txtMessageText.TrackText("hello");
    c.btnSendMessage_Click();
    const std::string& t = c.txtChat.Text();
    EXPECT_EQ(t.rfind("Server Admin -- hello\r\n", 0), 0u) << t;
    EXPECT_NE(t.find("NOT SENT"), std::string::npos) << t;
    EXPECT_TRUE(server().effects().sentMessages.empty());
    const auto& told = form.Events.Recent();
    EXPECT_FALSE(std::any_of(told.begin(), told.end(),
                             [](const supervision::Event& e) { return e.id == supervision::EventId::MessageSent; }));
    const auto failed = std::find_if(told.begin(), told.end(), [](const supervision::Event& e) {
        return e.id == supervision::EventId::MessageNotSent;
    });
    ASSERT_NE(failed, told.end());
    EXPECT_NE(failed->text.find("hello"), std::string::npos);
    EXPECT_NE(d.FileContent(form.Log.TodaysFile()).find("Message to the players not sent"), std::string::npos);
}

TEST_F(ChatWindowTest, KeepsItsPositionOnTheScreen) {
    Start("active\n");
    chat::frmMessage& c = Open();
    EXPECT_EQ(c.window.Left(), 0);
    EXPECT_EQ(c.window.Top(), 0);
    c.window.TrackMoved(form.screen.width - 100, 2000);
    c.RequestClose();
    EXPECT_TRUE(c.Closed());
    EXPECT_EQ(settings::ReadSetting(d, settings::kChatLeft).ToText(), std::to_string(form.screen.width - 100));
    chat::frmMessage& again = Open();
    EXPECT_EQ(again.window.Left(), form.screen.width - again.window.Width());  // pulled back to the edge
    EXPECT_EQ(again.window.Top(), 2000);
    // Closed when its position cannot be stored: monitoring goes on.
    d.registryFault = Refuse("setvalue", platform::err::kAccessDenied, "Left");
    again.RequestClose();
    EXPECT_TRUE(again.Closed());
    ASSERT_TRUE(OneBoxSaying(boxes, {" - Form_Unload"}));
    // The main poll goes on: a server that ends is launched again.
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    Run(60000);  // a server that has run a minute is no quick end: it comes back at the next poll
    d.KillProcess(ServerPid());
    Run(6000);
    EXPECT_EQ(standins.Launches(), 2);
}

TEST_F(ChatWindowTest, ASendStopsBothPollsUntilItEnds) {
    Start("active\ndialogs none\n");  // each send waits out its dialog's time
    chat::frmMessage& c = Open();
    // Looks taken while the send waits: no poll may be on or running.
    std::vector<std::string> meanwhile;
    for (std::uint64_t t = 500; t < 9000; t += 500)
        d.ScheduleAt(d.NowMs() + t, d.OwnPid(), [&] {
            meanwhile.push_back(std::string(form.RefreshTimer.Enabled() ? "main on " : "") +
                                (c.RefreshTimer.Enabled() ? "chat on " : "") + (form.Refreshing() ? "refreshing" : ""));
        });
    c.txtMessageText.TrackText("anyone there?");
    c.btnSendMessage_Click();
    ASSERT_GE(meanwhile.size(), 10u);
    for (const std::string& look : meanwhile) EXPECT_EQ(look, "");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(c.RefreshTimer.Enabled());
    // The server ends while the send waits for its dialog: the send ends and,
    // mended, both polls run again, so the next poll relaunches the server
    // (mended too: the chat poll does not keep postponing the main one).
    Run(60000);  // not a quick end: relaunched at the next poll
    host().Crash();
    c.txtMessageText.TrackText("anyone?");
    c.btnSendMessage_Click();
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(c.RefreshTimer.Enabled());
    EXPECT_NE(c.txtChat.Text().find("Server Admin -- anyone?"), std::string::npos);  // the echo stays
    Run(6000);
    EXPECT_NE(ServerPid(), platform::Pid{});
    EXPECT_EQ(standins.Launches(), 2);
}

// The main poll's timer, held off around the chat window's calls: the time
// held counts, unless its owner switched it off meanwhile.
TEST(TimerHold, KeepsTheMomentItWasDueUnlessSwitchedOffMeanwhile) {
    platform::sim::SimDesktop d;
    ui::Timer t(d);
    int ticks = 0;
    t.onTick = [&] { ++ticks; };
    ASSERT_TRUE(t.SetInterval(1000));
    t.SetEnabled(true);
    d.AdvanceIdle(600);
    t.Hold(false);
    d.AdvanceIdle(600);  // due meanwhile
    EXPECT_EQ(ticks, 0);
    t.Hold(true);
    d.AdvanceIdle(20);  // at once, as soon as a timer can tick
    EXPECT_EQ(ticks, 1);
    d.AdvanceIdle(585);
    t.Hold(false);
    t.SetEnabled(false);
    d.AdvanceIdle(2000);
    t.Hold(true);  // on again, a whole interval from now
    d.AdvanceIdle(900);
    EXPECT_EQ(ticks, 1);
    d.AdvanceIdle(200);
    EXPECT_EQ(ticks, 2);
}

// The chat window's reads of a hung server each wait a while with the main
// poll held: the main poll still comes round and tells the hang.
TEST_F(ChatWindowTest, AHangIsToldWhileTheChatWindowReadsTheHungServer) {
    Interval("11000");
    Start("active\n");
    Run(12000);
    Open();
    d.HangProcess(ServerPid(), 600000);
    Run(5000 + 11000 + 3000);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT RESPONDING");
}

// The main window's own sends (the warnings before a reset among them) come
// back as lines of the server's list too: none is a player's chat.
TEST_F(ChatWindowTest, HarrowatchsOwnSendsAreNoPlayersChat) {
    Setting("WarnPlayersMinutes", 10);
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 09:30 AM");
    Start("active\nat 0 players 3\n");
    chat::frmMessage& c = Open();
    Run(20 * 60000 + 30000);  // 09:20:30: the first warning has gone
    ASSERT_EQ(server().effects().sentMessages, std::vector<std::string>{"Server maintenance in 10 minutes"});
    form.Harrowatch->SendServerMessage("Back in a moment");
    ASSERT_TRUE(form.Harrowatch->LastSendArrived());
    server().AddChat("Dorn", "ok");
    Run(300);
    EXPECT_EQ(c.txtChat.Text(), "ok");
}

}  // namespace
}  // namespace hw::testing
