// "Run Harrowatch on Windows Startup" against Wine's Task Scheduler: the task
// is registered with its settings, found, and removed again. (Wine keeps the
// settings but drops triggers, run level and actions: those are checked on
// the task's XML natively. Nor does it keep access lists: every file is its
// user's, so the program's folder reads as open and the task is refused; the
// life cycle runs with the folders read as Program Files has them.)
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/win32_desktop.h"
#include "settings/settings.h"
#include "settings/startup.h"

namespace {

using namespace hw;

class AdministratorsOnlyFolders : public platform::win32::Win32Desktop {
public:
    long GetFileSecurity(const std::string& path, std::string& sddl) override {
        if (const long e = Win32Desktop::GetFileSecurity(path, sddl)) return e;
        sddl = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
        return 0;
    }
    // Wine's Z: drive is a link to the Linux root.
    long GetFileAttributes(const std::string& path, std::uint32_t& attributes) override {
        const long e = Win32Desktop::GetFileAttributes(path, attributes);
        attributes &= ~platform::file::kAttributeReparsePoint;
        return e;
    }
};

TEST(StartupTask, RefusedForAProgramItsUserMayChange) {
    platform::win32::Win32Desktop d;
    settings::SetStartAtLogon(d, false);
    try {
        settings::SetStartAtLogon(d, true);
        ADD_FAILURE() << "registered for a program in a folder its user may change";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("users who are not administrators may change"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(settings::StartsAtLogon(d));
}

TEST(StartupTask, RegisteredWithItsSettingsThenRemoved) {
    AdministratorsOnlyFolders d;
    settings::SetStartAtLogon(d, false);  // a task left by an earlier run
    EXPECT_FALSE(settings::StartsAtLogon(d));

    // Registered for the user logged on to this session.
    std::string user;
    ASSERT_EQ(d.GetSessionUser(user), 0);
    EXPECT_FALSE(user.empty());
    settings::SetStartAtLogon(d, true);
    EXPECT_TRUE(settings::StartsAtLogon(d));
    std::string xml;
    ASSERT_EQ(d.GetTaskXml(settings::kLogonTaskName, xml), 0);
    // No three-day limit, no battery rule.
    EXPECT_NE(xml.find("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"), std::string::npos) << xml;
    EXPECT_FALSE(settings::ReadSetting(d, settings::kRunEntry) == TaggedValue(""));

    settings::SetStartAtLogon(d, false);
    EXPECT_FALSE(settings::StartsAtLogon(d));
    EXPECT_EQ(d.GetTaskXml(settings::kLogonTaskName, xml), platform::err::kHrFileNotFound);
    EXPECT_TRUE(settings::ReadSetting(d, settings::kRunEntry) == TaggedValue(""));
    // Removing what is not there is no error.
    settings::SetStartAtLogon(d, false);
}

}  // namespace
