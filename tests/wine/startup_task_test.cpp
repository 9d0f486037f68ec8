// "Run Harrowatch on Windows Startup" against Wine's Task Scheduler: the task
// is registered with its settings, found, and removed again. (Wine keeps the
// settings but drops triggers, run level and actions: those are checked on
// the task's XML natively.)
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/win32_desktop.h"
#include "settings/settings.h"
#include "settings/startup.h"

namespace {

using namespace hw;

TEST(StartupTask, RegisteredWithItsSettingsThenRemoved) {
    platform::win32::Win32Desktop d;
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
