// Player messages through the server's send dialog, and chat capture from
// its message list.
#include <gtest/gtest.h>

#include <algorithm>

#include "native/controller_fixture.h"

namespace hw::testing {
namespace {

class MessagesTest : public ControllerFixture {
protected:
    void Line(const std::string& text) { host().ListBoxAdd(server().messageList(), {text}); }
    bool DrawingOn() {
        return d.Window(d.GetDesktopWindow())->redraw && d.Window(d.TaskbarWindow())->redraw;
    }
};

TEST_F(MessagesTest, ChatLinesAndTheConsumedCountAlsoOfARelaunchedServer) {
    Started();
    const auto count = [&] { return static_cast<std::int32_t>(host().Lines(server().messageList()).size()); };
    // The first call only marks where capture starts.
    Line("10:00:00 AM--  --Dorn \"before Harrowatch looked\"");
    EXPECT_EQ(controller.ProcessChatText(), "");
    EXPECT_EQ(controller.mMessageLineCount, count());

    Line("10:01:00 AM--  --Dorn has entered the realm.");
    Line("10:01:05 AM--  --Dorn \"hello all\"");
    Line("10:01:09 AM--  --Ysra left");
    EXPECT_EQ(controller.ProcessChatText(), "hello all");
    EXPECT_EQ(controller.mMessageLineCount, count());  // grew by all three

    // Lines without chat are consumed too: a busy server's list is never read twice.
    Line("no marker here");
    Line("a line with --  -- the marker and no quote");
    EXPECT_EQ(controller.ProcessChatText(), "");
    EXPECT_EQ(controller.mMessageLineCount, count());

    Line("  Ysra said \"two\" \"quotes\"");
    EXPECT_EQ(controller.ProcessChatText(), "said two quotes");
    Line("11:00:00 AM--  --Dorn \"one\"");
    Line("11:00:01 AM--  --Ysra \"two\"");
    EXPECT_EQ(controller.ProcessChatText(), "one\r\ntwo");
    EXPECT_EQ(events.front(), "ENABLE_TIMER 0");
    EXPECT_EQ(events.back(), "ENABLE_TIMER -1");

    // The chat of a relaunched server is read from its first line.
    for (int i = 0; i < 30; ++i) Line("10:00:00 AM--  --Dorn \"old " + std::to_string(i) + "\"");
    controller.ProcessChatText();
    Line("10:00:01 AM--  --Dorn \"counted\"");
    EXPECT_EQ(controller.ProcessChatText(), "counted");
    ASSERT_GT(controller.mMessageLineCount, 30);
    // The server dies and is launched again: its list starts short.
    d.KillProcess(automation::GetProcessIdByName(d, server::kServerExeName));
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    host().ListBoxClear(server().messageList());
    Line("10:05:00 AM--  --Ysra \"first on the new server\"");
    EXPECT_EQ(controller.ProcessChatText(), "first on the new server");
    Line("10:05:01 AM--  --Ysra \"second\"");
    EXPECT_EQ(controller.ProcessChatText(), "second");
}

TEST_F(MessagesTest, SendingFillsTheDialogAndSkipsTheEchoButNotAPlayersLine) {
    Started();
    controller.SendServerMessage("Server restarts at noon");
    d.AdvanceIdle(10);
    EXPECT_EQ(server().effects().sentMessages, std::vector<std::string>{"Server restarts at noon"});
    EXPECT_EQ(d.FindWindow("#32770", "Send Message To Player"), nullptr);
    EXPECT_TRUE(DrawingOn());
    // A fresh controller reads on from where the list stood before its text.
    const auto lines = host().Lines(server().messageList());
    EXPECT_EQ(controller.mMessageLineCount, static_cast<std::int32_t>(lines.size()) - 1);
    EXPECT_NE(lines.back().find("ADMIN \"Server restarts at noon\""), std::string::npos);
    controller.SendServerMessage("again");
    d.AdvanceIdle(10);
    EXPECT_EQ(controller.ProcessChatText(), "");  // the echoes are not chat
    EXPECT_EQ(controller.mMessageLineCount, static_cast<std::int32_t>(host().Lines(server().messageList()).size()));
    EXPECT_EQ(controller.ProcessChatText(), "");
    Line("10:00:00 AM--  --Dorn has entered the realm.");
    EXPECT_EQ(controller.ProcessChatText(), "");
    // A player speaks, and the operator sends before the next read.
    Line("10:00:01 AM--  --Dorn \"noon? really?\"");
    controller.SendServerMessage("Server restarts at noon");
    ASSERT_TRUE(controller.LastSendArrived());
    Line("10:00:02 AM--  --Ysra \"Server restarts at noon\"");  // a player may say the same
    EXPECT_EQ(controller.ProcessChatText(), "noon? really?\r\nServer restarts at noon");
    EXPECT_EQ(controller.ProcessChatText(), "");
    EXPECT_EQ(controller.mMessageLineCount, static_cast<std::int32_t>(host().Lines(server().messageList()).size()));
    // Two lines sent: the server's line of it is recognised as well.
    controller.SendServerMessage("first\r\nsecond");
    ASSERT_TRUE(controller.LastSendArrived());
    EXPECT_EQ(controller.ProcessChatText(), "");
}

TEST_F(MessagesTest, ASendThatDoesNotGoThroughIsNeverCalledSent) {
    supervision::Events told;
    controller.events = &told;
    const auto sent = [&] {
        return std::count_if(told.Recent().begin(), told.Recent().end(),
                             [](const supervision::Event& e) { return e.id == supervision::EventId::MessageSent; });
    };
    const auto relaunched = [&] {
        d.KillProcess(ServerPid());
        ASSERT_NE(controller.StartServer(), platform::Pid{});
    };
    Started();
    controller.SendServerMessage("hello");
    EXPECT_TRUE(controller.LastSendArrived());
    EXPECT_EQ(controller.LastSendFailure(), "");
    EXPECT_EQ(sent(), 1);

    // The dialog's box does not take the text: it is not confirmed.
    d.beforeSendToOthers = [&](platform::Hwnd w, std::uint32_t m) {
        if (m == platform::msg::kSetText && automation::GetWindowClass(d, w) == "Edit") d.DestroyWindow(w);
    };
    controller.SendServerMessage("second");
    d.beforeSendToOthers = nullptr;
    EXPECT_FALSE(controller.LastSendArrived());
    EXPECT_NE(controller.LastSendFailure().find("text"), std::string::npos) << controller.LastSendFailure();
    EXPECT_EQ(server().effects().sentMessages, std::vector<std::string>{"hello"});
    EXPECT_EQ(sent(), 1);
    EXPECT_TRUE(DrawingOn());
    EXPECT_EQ(events.back(), "ENABLE_TIMER -1");

    // No OK button: the dialog stays open, and nothing was sent.
    relaunched();
    d.beforeSendToOthers = [&](platform::Hwnd w, std::uint32_t m) {
        if (m != platform::msg::kSetText) return;
        if (platform::Hwnd ok = d.FindWindowEx(d.GetParent(w), 0, "Button", "OK")) d.DestroyWindow(ok);
    };
    controller.SendServerMessage("third");
    d.beforeSendToOthers = nullptr;
    EXPECT_FALSE(controller.LastSendArrived());
    EXPECT_NE(controller.LastSendFailure().find("OK"), std::string::npos) << controller.LastSendFailure();
    EXPECT_EQ(sent(), 1);

    // OK pressed, but the dialog never goes: not called sent either.
    relaunched();
    bool textSet = false;
    d.beforeSendToOthers = [&](platform::Hwnd, std::uint32_t m) {
        if (textSet) host().Hang(60000);
        textSet = textSet || m == platform::msg::kSetText;
    };
    controller.SendServerMessage("fourth");
    d.beforeSendToOthers = nullptr;
    EXPECT_FALSE(controller.LastSendArrived());
    EXPECT_NE(controller.LastSendFailure().find("dialog"), std::string::npos) << controller.LastSendFailure();
    EXPECT_EQ(sent(), 1);
}

TEST_F(MessagesTest, NoDialogEndsTheWaitReleasesTheScreenAndKeepsMonitoring) {
    Started("dialogs none\n");
    const std::uint64_t start = d.NowMs();
    controller.SendServerMessage("hello");
    EXPECT_GE(d.NowMs() - start, server::clsHarrowatch::kSendDialogWaitMs);
    EXPECT_LT(d.NowMs() - start, server::clsHarrowatch::kSendDialogWaitMs + 1000);
    EXPECT_TRUE(DrawingOn());
    EXPECT_EQ(events.back(), "ENABLE_TIMER -1");

    events.clear();
    d.ScheduleAt(d.NowMs() + 2000, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    controller.SendServerMessage("hello");
    EXPECT_TRUE(DrawingOn());
    EXPECT_EQ(events.back(), "ENABLE_TIMER -1");  // the next poll relaunches the server
}

}  // namespace
}  // namespace hw::testing
