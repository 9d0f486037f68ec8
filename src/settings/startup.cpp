#include "settings/startup.h"

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/sddl.h"
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

std::string UnescapeXml(std::string s) {
    for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
        for (size_t at = s.find(entity); at != std::string::npos; at = s.find(entity, at + 1))
            s.replace(at, std::string(entity).size(), c);
    return s;
}

// The program the registered task starts; nothing when its definition names
// none (Task Schedulers that keep no actions).
std::optional<std::string> TaskProgram(const std::string& xml) {
    const size_t open = xml.find("<Command>"), close = xml.find("</Command>");
    if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
    std::string program = text::Trim(UnescapeXml(xml.substr(open + 9, close - open - 9)));
    if (program.size() >= 2 && program.front() == '"' && program.back() == '"') program = program.substr(1, program.size() - 2);
    return program;
}

// The task as registered: none (""), or its definition. Throws when the Task
// Scheduler cannot be asked.
std::optional<std::string> RegisteredTask(platform::Desktop& desktop) {
    std::string xml;
    const long hr = desktop.GetTaskXml(kLogonTaskName, xml);
    if (hr == platform::err::kHrFileNotFound) return std::nullopt;
    if (hr != 0) Refused("read", hr);
    return xml;
}

// The task is Harrowatch's and starts another file: Harrowatch was moved, or
// the other package (x86, x64) installed.
bool StartsAnotherProgram(platform::Desktop& desktop, const std::string& xml) {
    const std::optional<std::string> program = TaskProgram(xml);
    return program && text::Upper(*program) != text::Upper(OwnProgram(desktop));
}

// The user logged on to this session, for whom the task starts Harrowatch;
// refused when that is not the administrator Harrowatch runs as (one who
// typed a password to elevate it): Windows would start nothing for the
// operator, who cannot run a program that needs administrator rights.
std::string LogonUser(platform::Desktop& desktop) {
    std::string session;
    if (const long e = desktop.GetSessionUser(session))
        throw HwError(static_cast<std::int32_t>(e), kAppTitle,
                      "The user logged on to this Windows session cannot be told (Windows error " + std::to_string(e) +
                          "): the task that starts Harrowatch at log-on was not registered");
    const std::string self = CurrentUser(desktop);
    if (!self.empty() && text::Upper(session) != text::Upper(self))
        throw HwError(errnum::kRefused, kAppTitle,
                      "Harrowatch cannot start at log-on for " + session +
                          ": that account cannot run it as administrator (it was elevated here as " + self +
                          "). Log on as an administrator and check the box there");
    return session;
}

// The task runs Harrowatch as administrator at every log-on: refused when
// anyone else could change the program, put a file beside it (a DLL it would
// load), or swap its folder for another.
void RefuseAnOpenFolder(platform::Desktop& desktop, const std::string& program) {
    std::string folder = text::FolderOf(program);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    std::vector<std::pair<std::string, std::uint32_t>> checks{{program, sddl::kChangeContent},
                                                              {folder, sddl::kChangeContent}};
    for (std::string up = folder; up.size() > 3;) {
        const size_t cut = up.find_last_of('\\');
        if (cut == std::string::npos) break;
        up = up.substr(0, cut);
        checks.emplace_back(up.size() == 2 ? up + "\\" : up, sddl::kReplaceChildren);
    }
    for (const auto& [path, rights] : checks) {
        // Who may change a folder behind a junction is the folder it leads
        // to, and that is not what this path names.
        std::uint32_t attributes = 0;
        if (const long e = desktop.GetFileAttributes(path, attributes))
            throw HwError(static_cast<std::int32_t>(e), kAppTitle,
                          "Who may change " + path + " cannot be told (Windows error " + std::to_string(e) +
                              "): the task that starts Harrowatch at log-on was not registered");
        if (attributes & platform::file::kAttributeReparsePoint)
            throw HwError(errnum::kRefused, kAppTitle,
                          "Harrowatch cannot start at log-on from " + folder + ": " + path +
                              " is a junction or link, and who may change what it leads to cannot be told. Start "
                              "Harrowatch from the folder itself, in Program Files");
        std::string security;
        if (const long e = desktop.GetFileSecurity(path, security))
            throw HwError(static_cast<std::int32_t>(e), kAppTitle,
                          "Who may change " + path + " cannot be told (Windows error " + std::to_string(e) +
                              "): the task that starts Harrowatch at log-on was not registered");
        if (sddl::OthersMay(security, rights))
            throw HwError(errnum::kRefused, kAppTitle,
                          "Harrowatch cannot start at log-on from " + folder + ": users who are not administrators may change " +
                              path + ", and the task would run what they put there as administrator. Install Harrowatch with "
                              "its package, or move it to a folder only administrators may change, such as one in Program Files");
    }
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
           "    <Priority>4</Priority>\n"
           "  </Settings>\n"
           "  <Actions Context=\"Author\"><Exec><Command>" + EscapeXml(program) + "</Command></Exec></Actions>\n"
           "</Task>\n";
}

bool StartsAtLogon(platform::Desktop& desktop) {
    const std::optional<std::string> xml = RegisteredTask(desktop);
    return xml && !StartsAnotherProgram(desktop, *xml);
}

bool RepairLogonTask(platform::Desktop& desktop) {
    const std::optional<std::string> xml = RegisteredTask(desktop);
    if (!xml) return false;
    if (!StartsAnotherProgram(desktop, *xml)) {
        // Registered before Harrowatch refused an open folder, or the folder
        // opened since: the task would run what others put there.
        try {
            RefuseAnOpenFolder(desktop, OwnProgram(desktop));
        } catch (const HwError& e) {
            SetStartAtLogon(desktop, false);
            throw HwError(e.number(), kAppTitle, e.description() + ". The task that started it at log-on was removed");
        }
        return false;
    }
    // Another copy that is still there (the other package, a copy tried
    // once) keeps the task: only one whose file is gone is replaced.
    if (desktop.FileExists(*TaskProgram(*xml))) return false;
    SetStartAtLogon(desktop, true);
    return true;
}

void SetStartAtLogon(platform::Desktop& desktop, bool on) {
    if (on) {
        const std::string program = OwnProgram(desktop);
        RefuseAnOpenFolder(desktop, program);
        if (const long hr = desktop.RegisterTask(kLogonTaskName, LogonTaskXml(program, LogonUser(desktop))))
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
