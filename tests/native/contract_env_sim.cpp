#include <gtest/gtest.h>

#include "contract/contract_env.h"
#include "platform/sim/sim_desktop.h"
#include "standin/sim/sim_host.h"

namespace hw::testing {

namespace {
class SimContractEnv : public ContractEnv {
public:
    platform::Desktop& desktop() override { return sim_; }
    std::string MakeFolder(const std::string& name) override {
        const std::string folder = "C:\\Program Files\\Test Games\\" + name + "\\";
        sim_.MakeFolder(folder);
        return folder;
    }
    void PutFile(const std::string& path, const std::string& content) override {
        sim_.WriteFile(path, content);
    }
    bool SaveSharingReads(const std::string& path, const std::string& content) override {
        sim_.WriteFile(path, content);
        return true;
    }
    void LockFile(const std::string& path) override { sim_.SetFileLocked(path, true); }
    void UnlockFile(const std::string& path) override { sim_.SetFileLocked(path, false); }
    bool MakeHardLink(const std::string& existing, const std::string& link) override {
        sim_.MakeHardLink(existing, link);
        return true;
    }
    bool MakeSymbolicLink(const std::string& link, const std::string& target) override {
        sim_.MakeSymbolicLink(link, target);
        return true;
    }
    std::string InstallHelper(const std::string& folder, const std::string& fileName) override {
        platform::sim::ProgramSpec spec;
        spec.idleAfterMs = 200;
        spec.is32Bit = false;  // built like the tests themselves, as under Wine
        sim_.InstallProgram(folder + fileName, spec);
        return folder + fileName;
    }
    std::string InstallServer(const std::string& folder, const std::string& script) override {
        const std::string path = folder + "KALTOR INTERNET SERVER.EXE";
        standins_.Install(sim_, path, script);
        return path;
    }
    void EndProcess(platform::Pid pid) override { sim_.KillProcess(pid); }
    void Pass(std::uint32_t ms) override { sim_.AdvanceIdle(ms); }
    std::string TestKey() override {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string("Software\\HarrowatchTests\\") + info->test_suite_name() + "." +
               info->name();
    }

private:
    platform::sim::SimDesktop sim_;
    standin::SimStandins standins_;
};
}  // namespace

std::unique_ptr<ContractEnv> MakeContractEnv() { return std::make_unique<SimContractEnv>(); }

}  // namespace hw::testing
