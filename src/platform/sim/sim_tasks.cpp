// The simulated Task Scheduler, and the user logged on to the session.
#include "platform/sim/sim_desktop.h"

#include <cstring>

namespace hw::platform::sim {

namespace {
bool RunsWithHighestPrivileges(const std::string& xml) {
    return xml.find("<RunLevel>HighestAvailable</RunLevel>") != std::string::npos;
}
}  // namespace

long SimDesktop::RegisterTask(const std::string& name, const std::string& xml) {
    if (taskFault)
        if (long hr = taskFault("register", name)) return hr;
    if (name.empty() || xml.find("<Task") == std::string::npos) return static_cast<long>(0x80041318u);  // SCHED_E_MALFORMEDXML
    // Only an administrator may register a task that runs elevated, or
    // replace one that does.
    auto it = tasks_.find(name);
    const bool elevated = IntegrityOf(ownPid_) >= proc::kIntegrityHigh;
    if (!elevated && (RunsWithHighestPrivileges(xml) || (it != tasks_.end() && RunsWithHighestPrivileges(it->second))))
        return err::kHrAccessDenied;
    tasks_[name] = xml;
    return 0;
}

long SimDesktop::GetSessionUser(std::string& domainUser) {
    if (sessionUserError) return sessionUserError;
    if (!sessionUser.empty()) {
        domainUser = sessionUser;
        return 0;
    }
    char buf[512] = {};
    const std::uint32_t n = ExpandEnvironmentStrings("%USERDOMAIN%\\%USERNAME%", buf, sizeof buf);
    // Left unset by a test: no name to give, as an unknown one reads.
    domainUser = n > 0 && n <= sizeof buf && !std::strchr(buf, '%') ? buf : "";
    return 0;
}

long SimDesktop::GetTaskXml(const std::string& name, std::string& xml) {
    xml.clear();
    if (taskFault)
        if (long hr = taskFault("get", name)) return hr;
    auto it = tasks_.find(name);
    if (it == tasks_.end()) return err::kHrFileNotFound;
    xml = it->second;
    return 0;
}

long SimDesktop::DeleteTask(const std::string& name) {
    if (taskFault)
        if (long hr = taskFault("delete", name)) return hr;
    auto it = tasks_.find(name);
    if (it == tasks_.end()) return err::kHrFileNotFound;
    if (IntegrityOf(ownPid_) < proc::kIntegrityHigh && RunsWithHighestPrivileges(it->second))
        return err::kHrAccessDenied;
    tasks_.erase(it);
    return 0;
}

}  // namespace hw::platform::sim
