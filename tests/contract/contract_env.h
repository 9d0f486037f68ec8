// What a contract test needs from the world it runs in. The same tests run
// against the simulated desktop (natively) and against Windows (under Wine),
// so the simulation cannot drift from the real calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/desktop.h"

namespace hw::testing {

class ContractEnv {
public:
    virtual ~ContractEnv() = default;
    virtual platform::Desktop& desktop() = 0;
    // A fresh folder whose path holds spaces, ending in a backslash.
    virtual std::string MakeFolder(const std::string& name) = 0;
    virtual void PutFile(const std::string& path, const std::string& content) = 0;
    // Writes the file as a server that lets others read it while it saves
    // does (sharing reads); false when that open is refused.
    virtual bool SaveSharingReads(const std::string& path, const std::string& content) = 0;
    // Holds the file open without delete sharing, as a running server does.
    virtual void LockFile(const std::string& path) = 0;
    virtual void UnlockFile(const std::string& path) = 0;
    // A second name of a file (a hard link), and a symbolic link to one;
    // false when the system cannot make it.
    virtual bool MakeHardLink(const std::string& existing, const std::string& link) = 0;
    // False where the disk keeps no symbolic links Windows' calls see as
    // such (Wine 8 makes a Unix link that opens as a missing file).
    virtual bool MakeSymbolicLink(const std::string& link, const std::string& target) = 0;
    // Puts the helper window program at folder + fileName.
    virtual std::string InstallHelper(const std::string& folder, const std::string& fileName) = 0;
    // Puts the stand-in game server at folder + "KALTOR INTERNET SERVER.EXE"
    // with the given script beside it.
    virtual std::string InstallServer(const std::string& folder, const std::string& script) = 0;
    virtual void EndProcess(platform::Pid pid) = 0;
    // Lets time pass, the other programs running meanwhile.
    virtual void Pass(std::uint32_t ms) = 0;
    bool WaitFor(const std::function<bool()>& done, std::uint32_t timeoutMs) {
        for (std::uint32_t waited = 0;; waited += 50) {
            if (done()) return true;
            if (waited >= timeoutMs) return false;
            Pass(50);
        }
    }
    // A registry key under HKEY_LOCAL_MACHINE of this test's own.
    virtual std::string TestKey() = 0;
};

std::unique_ptr<ContractEnv> MakeContractEnv();

}  // namespace hw::testing
