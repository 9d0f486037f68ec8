#include "settings/startup.h"

#include <cstdio>

#include "common/error.h"
#include "common/text.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::settings {

namespace {

std::string EscapeXml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Hex(long hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr) & 0xFFFFFFFFul);
    return buf;
}

[[noreturn]] void Refused(const std::string& what, long hr) {
    std::string why;
    if (hr == platform::err::kHrAccessDenied) why = ": only an administrator may do so";
    throw HwError(static_cast<std::int32_t>(hr), kAppTitle,
                  "The Task Scheduler did not " + what + " the task that starts Harrowatch at log-on (" + Hex(hr) +
                      ")" + why);
}

// DOMAIN\user of the operator running Harrowatch; empty when not known.
std::string CurrentUser(platform::Desktop& d) {
    char buf[512] = {};
    const std::uint32_t n = d.ExpandEnvironmentStrings("%USERDOMAIN%\\%USERNAME%", buf, sizeof buf);
    const std::string user = n > 0 && n <= sizeof buf ? std::string(buf) : std::string();
    return user.find('%') == std::string::npos ? user : std::string();
}

std::string OwnProgram(platform::Desktop& d) {
    return text::AddTrailingBackslash(text::Trim(text::FolderOf(d.GetOwnModuleFileName()))) + kRunProgram;
}

}  // namespace

std::string LogonTaskXml(const std::string& program, const std::string& user) {
    const std::string userId = user.empty() ? "" : "<UserId>" + EscapeXml(user) + "</UserId>";
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <RegistrationInfo><Description>Starts Harrowatch when the operator logs on.</Description></RegistrationInfo>\n"
           "  <Triggers><LogonTrigger><Enabled>true</Enabled>" + userId + "</LogonTrigger></Triggers>\n"
           "  <Principals><Principal id=\"Author\">" + userId +
           "<LogonType>InteractiveToken</LogonType><RunLevel>HighestAvailable</RunLevel></Principal></Principals>\n"
           "  <Settings>\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           "    <AllowHardTerminate>true</AllowHardTerminate>\n"
           "    <StartWhenAvailable>false</StartWhenAvailable>\n"
           "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
           "    <IdleSettings><StopOnIdleEnd>false</StopOnIdleEnd><RestartOnIdle>false</RestartOnIdle></IdleSettings>\n"
           "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
           "    <Enabled>true</Enabled>\n"
           "    <Hidden>false</Hidden>\n"
           "    <RunOnlyIfIdle>false</RunOnlyIfIdle>\n"
           "    <WakeToRun>false</WakeToRun>\n"
           "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
           "    <Priority>7</Priority>\n"
           "  </Settings>\n"
           "  <Actions Context=\"Author\"><Exec><Command>" + EscapeXml(program) + "</Command></Exec></Actions>\n"
           "</Task>\n";
}

bool StartsAtLogon(platform::Desktop& desktop) {
    std::string xml;
    const long hr = desktop.GetTaskXml(kLogonTaskName, xml);
    if (hr == 0) return true;
    if (hr == platform::err::kHrFileNotFound) return false;
    Refused("read", hr);
}

void SetStartAtLogon(platform::Desktop& desktop, bool on) {
    if (on) {
        const std::string program = OwnProgram(desktop);
        if (const long hr = desktop.RegisterTask(kLogonTaskName, LogonTaskXml(program, CurrentUser(desktop))))
            Refused("register", hr);
        WriteSetting(desktop, kRunEntry, "\"" + program + "\"");
        return;
    }
    if (const long hr = desktop.DeleteTask(kLogonTaskName); hr != 0 && hr != platform::err::kHrFileNotFound)
        Refused("remove", hr);
    if (!(ReadSetting(desktop, kRunEntry) == TaggedValue(""))) {
        cRegistry reg(desktop);
        reg.SetClassKey(kHkeyLocalMachine);
        reg.SetSectionKey(kRunEntry.key);
        reg.SetValueKey(kRunEntry.name);
        reg.DeleteValue();
    }
}

}  // namespace hw::settings
