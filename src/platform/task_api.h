// The Task Scheduler (results are HRESULTs, 0 = S_OK), and who is logged
// on to the session the tasks run for.
#pragma once

#include <cstdint>
#include <string>

namespace hw::platform {

class TaskApi {
public:
    virtual ~TaskApi() = default;

    // root folder, given and read back as its XML definition.
    virtual long RegisterTask(const std::string& name, const std::string& xml) = 0;
    virtual long GetTaskXml(const std::string& name, std::string& xml) = 0;
    virtual long DeleteTask(const std::string& name) = 0;
    // DOMAIN\user of the user logged on to Harrowatch's Windows session
    // (wtsapi32), who is not the one Harrowatch runs as when an administrator
    // typed a password to elevate it. Win32 error code, 0 on success.
    virtual long GetSessionUser(std::string& domainUser) = 0;
};

}  // namespace hw::platform
