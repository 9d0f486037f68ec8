// The controller against the real stand-in server, installed as the game in a
// folder whose path holds spaces, with "INSTDIR" in the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "automation/process.h"
#include "automation/windows.h"
#include "contract/contract_env.h"
#include "server/controller.h"
#include "settings/registry.h"

namespace hw::testing {
namespace {

class WineController : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = MakeContractEnv();
        folder_ = env_->MakeFolder("Kaltor Online");
        Set(server::kGameKey, "INSTDIR", folder_, platform::reg::kSz);
        Set(server::kSettingsKey, "AutoStart", std::int32_t{1}, platform::reg::kDword);
        Set(server::kSettingsKey, "HideKaltorWindow", std::int32_t{1}, platform::reg::kDword);
    }
    void TearDown() override {
        if (platform::Pid pid = automation::GetProcessIdByName(env_->desktop(), server::kServerExeName))
            env_->EndProcess(pid);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Harrowatch");
    }
    void Set(const std::string& key, const std::string& name, const TaggedValue& v, std::int32_t type) {
        settings::cRegistry r(env_->desktop());
        r.SetClassKey(settings::kHkeyLocalMachine);
        r.SetSectionKey(key);
        r.SetValueKey(name);
        r.SetValueType(type);
        r.SetValue(v);
    }
    std::string LocalStatus(platform::Hwnd main) {
        for (platform::Hwnd h : automation::GetChildWindows(env_->desktop(), main))
            if (h && automation::GetWindowTitle(env_->desktop(), h) == "Connecting to Master Server...\r\n") {
                auto fields = automation::GetChildWindows(env_->desktop(), env_->desktop().GetParent(h));
                return fields.size() > 1 ? automation::GetControlText(env_->desktop(), fields[1]) : "";
            }
        return "<none>";
    }

    std::unique_ptr<ContractEnv> env_;
    std::string folder_;
    ui::RecordingMessageBoxes boxes_;
};

TEST_F(WineController, LaunchesSavesHidesShowsTogglesAndStops) {
    env_->InstallServer(folder_, "window-delay 200\nat 0 join Dorn 10.0.0.5 Dornak\n");
    platform::Desktop& d = env_->desktop();
    server::clsHarrowatch controller(d, boxes_);
    std::vector<std::string> events;
    controller.SubscribeUpdateStatus(
        [&](const std::string& t, const std::string&, std::int32_t v) { events.push_back(t + " " + std::to_string(v)); });

    const platform::Pid pid = controller.StartServer();
    ASSERT_NE(pid, platform::Pid{});
    EXPECT_EQ(server::gInstallDirectory, folder_);
    EXPECT_EQ(events.front(), "ENABLE_TIMER 0");
    EXPECT_EQ(events.back(), "ENABLE_TIMER -1");
    const platform::Hwnd main = automation::GetProcessMainWindow(d, pid);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(d.FindWindow("ThunderRT6FormDC", "Server Configuration"), nullptr);
    EXPECT_FALSE(d.IsWindowVisible(main));

    controller.ShowServerWindow();
    EXPECT_TRUE(d.IsWindowVisible(main));
    controller.HideServerWindow();
    EXPECT_FALSE(d.IsWindowVisible(main));

    controller.ToggleServer(true);
    EXPECT_TRUE(env_->WaitFor([&] { return LocalStatus(main) == "ACTIVE - 1 player"; }, 5000)) << LocalStatus(main);
    controller.ToggleServer(false);
    EXPECT_TRUE(env_->WaitFor([&] { return LocalStatus(main) == "NOT ACTIVE"; }, 5000)) << LocalStatus(main);

    EXPECT_TRUE(controller.StopServer());
    EXPECT_EQ(automation::GetProcessIdByName(d, server::kServerExeName), platform::Pid{});
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(WineController, DataFileResetsCarriedOutForReal) {
    env_->InstallServer(folder_, "active\nhold-file KALTORGuildMasters.KLD\n");
    platform::Desktop& d = env_->desktop();
    server::clsHarrowatch controller(d, boxes_);
    const platform::Pid pid = controller.StartServer();
    ASSERT_NE(pid, platform::Pid{});
    const platform::Hwnd main = automation::GetProcessMainWindow(d, pid);
    const std::string data = folder_ + "System\\Kaltor\\";
    ASSERT_TRUE(d.FileExists(data + "KALTORServerMonsters.KLD"));
    ASSERT_TRUE(env_->WaitFor([&] { return LocalStatus(main) == "ACTIVE - 0 players"; }, 5000));

    // The server holds its monsters while active: it is deactivated, the file
    // goes, and it is activated again.
    EXPECT_EQ(d.DeleteFile(data + "KALTORServerMonsters.KLD"), platform::err::kSharingViolation);
    EXPECT_TRUE(controller.ProcessScheduledItem("Server Monsters"));
    EXPECT_FALSE(d.FileExists(data + "KALTORServerMonsters.KLD"));
    EXPECT_TRUE(env_->WaitFor([&] { return LocalStatus(main) == "ACTIVE - 0 players"; }, 5000)) << LocalStatus(main);

    EXPECT_TRUE(controller.ProcessScheduledItem("HALL OF RECORDS"));
    EXPECT_FALSE(d.FileExists(data + "KALTORHallInfo.KLD"));
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));  // already gone: still reset
    EXPECT_TRUE(boxes_.shown.empty());

    // A file the server keeps open is a reported failure.
    EXPECT_FALSE(controller.ProcessScheduledItem("GUILD CREST"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_NE(boxes_.shown[0].text.find("Error Number: 70"), std::string::npos);
    EXPECT_NE(boxes_.shown[0].text.find("The file being copied may be in use."), std::string::npos);
    EXPECT_NE(boxes_.shown[0].text.find(" - ProcessScheduledItems"), std::string::npos);
    EXPECT_TRUE(d.FileExists(data + "KALTORGuildMasters.KLD"));
}

}  // namespace
}  // namespace hw::testing

namespace hw::testing {
namespace {

TEST_F(WineController, SendsAMessageThroughTheServersDialog) {
    env_->InstallServer(folder_, "active\n");
    server::clsHarrowatch c(env_->desktop(), boxes_);
    ASSERT_NE(c.StartServer(), platform::Pid{});
    EXPECT_EQ(c.ProcessChatText(), "");
    const DWORD start = GetTickCount();
    c.SendServerMessage("hello from the operator");
    EXPECT_LT(GetTickCount() - start, 8000u);
    EXPECT_TRUE(boxes_.shown.empty());
    platform::Hwnd dialog = env_->desktop().FindWindow("#32770", "Send Message To Player");
    EXPECT_EQ(dialog, nullptr);
    // The server's own echo of the text is not taken for chat.
    EXPECT_EQ(c.ProcessChatText(), "");
    EXPECT_TRUE(c.StopServer());
}

}  // namespace
}  // namespace hw::testing
