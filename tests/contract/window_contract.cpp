// The window facade and the automation on it, against the stand-in server:
// simulated natively, the real program under Wine.
#include <gtest/gtest.h>

#include "automation/process.h"
#include "automation/remote_lists.h"
#include "automation/windows.h"
#include "contract/contract_env.h"

namespace hw::testing {
namespace {

using namespace automation;
namespace msg = platform::msg;

class WindowContract : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = MakeContractEnv();
        folder_ = env_->MakeFolder("Kaltor Online");
    }
    void TearDown() override {
        if (pid_) env_->EndProcess(pid_);
    }
    platform::Desktop& d() { return env_->desktop(); }
    void Click(Hwnd w, std::uint64_t wParam = 0, std::int64_t lParam = 0) {
        d().PostMessage(w, msg::kLButtonDown, wParam, lParam);
        d().PostMessage(w, msg::kLButtonUp, wParam, lParam);
    }
    Hwnd Find(Hwnd parent, const std::string& title) {
        for (Hwnd h : GetChildWindows(d(), parent))
            if (h && GetWindowTitle(d(), h) == title) return h;
        return 0;
    }
    Hwnd FindClass(Hwnd parent, const std::string& cls) {
        for (Hwnd h : GetChildWindows(d(), parent))
            if (h && GetWindowClass(d(), h) == cls) return h;
        return 0;
    }
    // Starts the server and saves its configuration form, as an operator would.
    void Start(const std::string& script) {
        const std::string program = env_->InstallServer(folder_, script);
        pid_ = LaunchProgram(d(), program, folder_, false);
        ASSERT_NE(pid_, platform::Pid{});
        // The form may be up before its buttons are.
        Hwnd form = 0, save = 0;
        ASSERT_TRUE(env_->WaitFor(
            [&] {
                form = d().FindWindow("ThunderRT6FormDC", "Server Configuration");
                return (save = d().FindWindowEx(form, 0, "ThunderRT6CommandButton", "&Save")) != 0;
            },
            10000));
        Click(save);
        main_ = GetProcessMainWindow(d(), pid_);
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(env_->WaitFor([&] { return Find(main_, "KALTOR Server") != 0; }, 10000));
        ASSERT_TRUE(env_->WaitFor([&] { return !d().IsWindow(form); }, 5000));
    }
    Hwnd MessageList() { return d().FindWindowEx(Find(main_, "KALTOR Server"), 0, "ThunderRT6ListBox", nullptr); }

    std::unique_ptr<ContractEnv> env_;
    std::string folder_;
    platform::Pid pid_ = 0;
    Hwnd main_ = 0;
};

TEST_F(WindowContract, TheServerWindowsAsHarrowatchReadsThem) {
    Start("at 0 join Dorn 10.0.0.5 Dornak\nat 0 players 2\nat 0 message Welcome to Kaltor\n");
    EXPECT_EQ(GetWindowClass(d(), main_), "ThunderRT6FormDC");
    EXPECT_NE(d().GetWindowLong(main_, platform::wnd::kGwlExStyle) & platform::wnd::kWsExAppWindow, 0);
    platform::Pid owner = 0;
    d().GetWindowThreadProcessId(main_, &owner);
    EXPECT_EQ(owner, pid_);

    // The status fields keep their creation caption; their live text differs.
    Hwnd field = Find(main_, "Connecting to Master Server...\r\n");
    ASSERT_NE(field, nullptr);
    std::vector<Hwnd> fields = GetChildWindows(d(), d().GetParent(field));
    ASSERT_GE(fields.size(), 2u);
    EXPECT_EQ(fields[0], field);
    EXPECT_EQ(GetControlText(d(), fields[1]), "NOT ACTIVE");
    Click(Find(main_, "Activate Server"));
    EXPECT_TRUE(env_->WaitFor([&] { return GetControlText(d(), fields[1]) == "ACTIVE - 3 players"; }, 5000))
        << GetControlText(d(), fields[1]);
    EXPECT_EQ(GetWindowTitle(d(), fields[1]), "Connecting to Master Server...\r\n");

    Hwnd lv = FindClass(main_, "ListViewWndClass");
    ASSERT_NE(lv, nullptr);
    std::int64_t rows = 0;
    ASSERT_TRUE(d().SendMessageTimeout(lv, msg::kLvmGetItemCount, 0, 0, msg::kSmtoAbortIfHung, 2000, &rows));
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(GetListViewCellText(d(), lv, pid_, 1, 0), "Dorn");
    EXPECT_EQ(GetListViewCellText(d(), lv, pid_, 2, 0), "10.0.0.5");
    EXPECT_EQ(GetListViewCellText(d(), lv, pid_, 3, 0), "Dornak");
    EXPECT_EQ(GetListViewCellText(d(), lv, pid_, 1, 2), "Player3");
    auto cells = GetListViewCells(d(), lv, pid_, 3, {1, 2, 3});
    ASSERT_EQ(cells.size(), 3u);
    for (int r = 0; r < 3; ++r)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(cells[r][c - 1], GetListViewCellText(d(), lv, pid_, c, r));

    Hwnd list = MessageList();
    ASSERT_NE(list, nullptr);
    std::vector<std::string> lines = GetListBoxLines(d(), list, 0);
    ASSERT_GE(lines.size(), 2u);
    bool welcomed = false;
    for (const std::string& l : lines) welcomed = welcomed || l.find("--  --Welcome to Kaltor") != std::string::npos;
    EXPECT_TRUE(welcomed);
    EXPECT_EQ(GetListBoxLines(d(), list, static_cast<std::int32_t>(lines.size())).size(), 0u);
    EXPECT_EQ(GetChildWindows(d(), list), std::vector<Hwnd>{0});

    EXPECT_TRUE(d().IsWindowVisible(main_));
    d().ShowWindow(main_, platform::wnd::kSwHide);
    EXPECT_FALSE(d().IsWindowVisible(main_));
    EXPECT_EQ(GetProcessMainWindow(d(), pid_), main_);
    d().ShowWindow(main_, platform::wnd::kSwShowNormal);
    EXPECT_TRUE(d().MoveWindow(main_, 100, 100, 700, 600, true));
    EXPECT_TRUE(d().UpdateWindow(d().GetDesktopWindow()));
}

TEST_F(WindowContract, ToolbarDialogsAndTheirButtons) {
    Start("");
    // The data manager opens on its menu command; a posted toolbar click opens a view.
    d().PostMessage(main_, msg::kCommand, 31, 0);
    Hwnd toolbar = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (toolbar = FindClass(main_, "ToolbarWindow32")) != 0; }, 5000));
    const std::int32_t point = GetToolbarButtonPoint(d(), toolbar, pid_, 4);
    ASSERT_NE(point, 0);
    EXPECT_GT(point & 0xFFFF, GetToolbarButtonPoint(d(), toolbar, pid_, 2) & 0xFFFF);
    Click(toolbar, msg::kMkLButton, point);
    Hwnd view = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (view = Find(main_, "Review Messages")) != 0; }, 5000));

    Hwnd button = 0;
    for (Hwnd h : GetChildWindows(d(), view))
        if (h && GetControlText(d(), h) == "&Delete All Messages") button = h;
    ASSERT_NE(button, nullptr);
    Click(button);
    Hwnd dialog = 0;
    ASSERT_TRUE(env_->WaitFor([&] { return (dialog = d().FindWindow("#32770", "Delete File")) != 0; }, 5000));
    Hwnd yes = 0;
    for (Hwnd h : GetChildWindows(d(), dialog))
        if (h && GetControlText(d(), h) == "&Yes") yes = h;
    ASSERT_NE(yes, nullptr);
    EXPECT_EQ(GetWindowClass(d(), yes), "Button");
    Click(yes, msg::kMkLButton);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(dialog); }, 5000));
    d().PostMessage(view, msg::kClose, 0, 0);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(view); }, 5000));
    const std::vector<std::string> lines = GetListBoxLines(d(), MessageList(), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("All public messages deleted."), std::string::npos) << lines.back();

    // The send dialog: every "Edit" takes the text, "OK" sends it.
    Click(Find(main_, "&Send Message"));
    ASSERT_TRUE(env_->WaitFor([&] { return (dialog = d().FindWindow("#32770", "Send Message To Player")) != 0; }, 5000));
    std::string text = "Server restarts at noon";
    Hwnd ok = 0;
    for (Hwnd h : GetChildWindows(d(), dialog)) {
        if (!h) continue;
        if (GetWindowClass(d(), h) == "Edit") {
            EXPECT_TRUE(d().SendTextMessageTimeout(h, msg::kSetText, 0, text.data(), 0, msg::kSmtoAbortIfHung, 2000,
                                                   nullptr));
        }
        if (GetWindowTitle(d(), h) == "OK") ok = h;
    }
    ASSERT_NE(ok, nullptr);
    Click(ok);
    EXPECT_TRUE(env_->WaitFor([&] { return !d().IsWindow(dialog); }, 5000));
    EXPECT_TRUE(env_->WaitFor(
        [&] {
            const std::vector<std::string> now = GetListBoxLines(d(), MessageList(), 0);
            return !now.empty() && now.back().find("ADMIN \"Server restarts at noon\"") != std::string::npos;
        },
        5000));
}

TEST_F(WindowContract, AHungServerAnswersNothingWithinTheTimeOut) {
    Start("at 1000 hang 30000\n");
    Hwnd field = Find(main_, "Connecting to Master Server...\r\n");
    Hwnd lv = FindClass(main_, "ListViewWndClass");
    Hwnd list = MessageList();
    ASSERT_NE(GetControlText(d(), field), "");
    env_->Pass(1500);
    EXPECT_FALSE(d().IsHungAppWindow(main_));  // busy for a moment: no hang yet
    auto timed = [&](auto read) {
        const std::uint64_t start = d().TickCount();
        read();
        return d().TickCount() - start;
    };
    EXPECT_LE(timed([&] { EXPECT_EQ(GetControlText(d(), field), ""); }), 2600u);
    EXPECT_LE(timed([&] { EXPECT_TRUE(GetListBoxLines(d(), list, 0).empty()); }), 2600u);
    EXPECT_LE(timed([&] { EXPECT_EQ(GetListViewCellText(d(), lv, pid_, 1, 0), ""); }), 2600u);
    EXPECT_EQ(GetWindowTitle(d(), field), "Connecting to Master Server...\r\n");
    env_->Pass(5500);
    EXPECT_TRUE(d().IsHungAppWindow(main_));
}

TEST_F(WindowContract, AReadCutShortByAHangGoesOnWhereItStopped) {
    // A long list, and a server that hangs for half of every second: reads
    // are cut short.
    Start("at 0 messages 8000\nevery 1000 hang 500\n");
    const Hwnd list = MessageList();
    ASSERT_NE(list, nullptr);
    std::vector<std::string> lines;
    for (int tries = 0; tries < 40 && lines.size() < 8001; ++tries) {
        const std::vector<std::string> more = GetListBoxLines(d(), list, static_cast<std::int32_t>(lines.size()));
        lines.insert(lines.end(), more.begin(), more.end());
        if (more.empty()) env_->Pass(250);
    }
    // Every line once, in order, whatever the reads were cut short by.
    ASSERT_GE(lines.size(), 8001u);
    std::vector<std::string> messages;
    for (const std::string& l : lines)
        if (l.find("--  --Message ") != std::string::npos) messages.push_back(l.substr(l.find("--  --") + 6));
    ASSERT_EQ(messages.size(), 8000u);
    for (size_t i = 0; i < messages.size(); ++i) ASSERT_EQ(messages[i], "Message " + std::to_string(i + 1));
}

TEST_F(WindowContract, TheServerEndsOnClose) {
    Start("");
    platform::UniqueHandle process(d(), d().OpenProcess(platform::proc::kSynchronize | platform::proc::kQueryInformation,
                                              false, pid_));
    ASSERT_TRUE(process);
    d().PostMessage(main_, msg::kClose, 0, 0);
    EXPECT_TRUE(env_->WaitFor(
        [&] { return d().WaitForSingleObject(process.get(), 0) == platform::proc::kWaitObject0; }, 10000));
    EXPECT_FALSE(d().IsWindow(main_));
    EXPECT_EQ(GetWindowTitle(d(), main_), "");
    EXPECT_EQ(GetControlText(d(), main_), "");
    pid_ = 0;
}

}  // namespace
}  // namespace hw::testing
