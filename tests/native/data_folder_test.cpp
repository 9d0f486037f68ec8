// Harrowatch's data folder under ProgramData, where every user may make
// folders: kept for administrators, and never gone through by a junction.
#include <gtest/gtest.h>

#include "common/sddl.h"
#include "platform/sim/sim_desktop.h"
#include "supervision/backups.h"
#include "supervision/log.h"

namespace hw::testing {
namespace {

using platform::sim::SimDesktop;

const std::string kData = "C:\\ProgramData\\Harrowatch";

// Someone else's files, which Harrowatch must never touch.
void MakeVictim(SimDesktop& d) {
    d.WriteFile("C:\\Users\\Owner\\Documents\\thesis.doc", "years of work");
    d.WriteFile("C:\\Users\\Owner\\Documents\\2000-01-01\\photo.jpg", "a photo");
}
void ExpectVictimWhole(SimDesktop& d) {
    EXPECT_EQ(d.FileContent("C:\\Users\\Owner\\Documents\\thesis.doc"), "years of work");
    EXPECT_EQ(d.FileContent("C:\\Users\\Owner\\Documents\\2000-01-01\\photo.jpg"), "a photo");
    EXPECT_EQ(d.FilesUnder("C:\\Users\\Owner\\Documents").size(), 2u);
}

// As a fresh ProgramData gives it to a folder an ordinary user made first.
void MadeByAUser(SimDesktop& d, const std::string& path) {
    d.MakeFolder(path);
    d.SetSecurity(path, std::string("O:") + SimDesktop::kUserSid +
                            "D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)");
}

TEST(DataFolder, MadeForAdministratorsOnlySoNoUserCanLayAJunctionInIt) {
    SimDesktop d;
    supervision::ActionLog log(d);
    log.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
    ASSERT_TRUE(d.HasFolder(kData + "\\Logs"));
    EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData), sddl::kChangeContent)) << d.SecurityOf(kData);
    EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData + "\\Logs"), sddl::kChangeContent)) << d.SecurityOf(kData + "\\Logs");
    EXPECT_EQ(d.UserMakeJunction(kData + "\\Backups", "C:\\Users\\Owner\\Documents"), platform::err::kAccessDenied);
    EXPECT_EQ(d.UserMakeJunction(kData + "\\Logs\\2000-01-01", "C:\\Users"), platform::err::kAccessDenied);
    // ProgramData itself still lets users make folders: the sim is not lenient.
    EXPECT_EQ(d.UserMakeJunction("C:\\ProgramData\\Other", "C:\\Users"), platform::err::kSuccess);
}

TEST(DataFolder, AJunctionLaidBeforeHarrowatchCameIsNeverFollowedByTheCleanUps) {
    SimDesktop d;
    MakeVictim(d);
    MadeByAUser(d, kData);
    // Laid while the folder was open to all: a day folder, and the whole
    // Logs folder, each a junction to the user's documents.
    d.MakeFolder(kData + "\\Backups");
    ASSERT_EQ(d.UserMakeJunction(kData + "\\Backups\\2000-01-01", "C:\\Users\\Owner\\Documents"), 0);
    ASSERT_EQ(d.UserMakeJunction(kData + "\\Logs", "C:\\Users\\Owner\\Documents"), 0);
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    for (const char* day : {"2026-12-01", "2026-12-02"}) d.WriteFile(kData + "\\Backups\\" + day + "\\a.KLD", "a");

    supervision::RemoveOldBackups(d, 1, UINT64_MAX);
    EXPECT_FALSE(d.HasFolder(kData + "\\Backups\\2026-12-01"));  // Harrowatch's own old day still goes
    ExpectVictimWhole(d);

    supervision::ActionLog log(d);
    std::string told;
    log.onUnwritable = [&](const std::string& why) { told = why; };
    log.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
    ExpectVictimWhole(d);  // no log written into the documents either
    EXPECT_NE(told.find("4395"), std::string::npos) << told;
    // The folder is the administrators' again: no new junction.
    EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData), sddl::kChangeContent)) << d.SecurityOf(kData);
    EXPECT_EQ(d.UserMakeJunction(kData + "\\Backups\\2000-01-02", "C:\\Users"), platform::err::kAccessDenied);
}

TEST(DataFolder, ADataFolderThatIsAJunctionOrCannotBeSecuredIsRefusedWithItsReason) {
    {
        SimDesktop d;
        MakeVictim(d);
        d.MakeJunction(kData, "C:\\Users\\Owner\\Documents");
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), platform::err::kReparsePoint);
        EXPECT_NE(why.find("junction or link"), std::string::npos) << why;
        supervision::RemoveOldBackups(d, 1, 0);
        supervision::ActionLog log(d);
        log.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
        ExpectVictimWhole(d);
        EXPECT_EQ(supervision::BackUp(d, "C:\\Users\\Owner\\Documents\\thesis.doc"), platform::err::kReparsePoint);
        ExpectVictimWhole(d);
    }
    {
        // Not run as administrator: an open folder cannot be given to the
        // Administrators, and nothing is written into it.
        SimDesktop d;
        MadeByAUser(d, kData);
        d.SetIntegrity(d.GetCurrentProcessId(), platform::proc::kIntegrityMedium);
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), platform::err::kInvalidOwner);
        EXPECT_NE(why.find("may be changed by users who are not administrators"), std::string::npos) << why;
        EXPECT_EQ(supervision::MakeFolders(d, kData + "\\Logs"), platform::err::kInvalidOwner);
        EXPECT_FALSE(d.HasFolder(kData + "\\Logs"));
    }
    {
        // An open one is set right, and says so.
        SimDesktop d;
        MadeByAUser(d, kData);
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), 0);
        EXPECT_NE(why.find("set again"), std::string::npos) << why;
        why.clear();
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), 0);
        EXPECT_EQ(why, "");
    }
}

TEST(Sddl, TellsWhoMayChangeAFileOrFolder) {
    EXPECT_FALSE(sddl::OthersMay("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", sddl::kChangeContent));
    EXPECT_FALSE(sddl::OthersMay("O:S-1-5-32-544D:P(A;OICI;FA;;;S-1-5-32-544)(A;OICIIO;GA;;;CO)", sddl::kChangeContent));
    // Program Files, owned by the installer service.
    EXPECT_FALSE(sddl::OthersMay("O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;;0x1301bf;;;SY)(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)",
                                 sddl::kChangeContent));
    EXPECT_TRUE(sddl::OthersMay("O:BAD:AI(A;OICIID;FA;;;BA)(A;CIID;0x116;;;BU)", sddl::kChangeContent));  // ProgramData's
    EXPECT_TRUE(sddl::OthersMay("O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)", sddl::kChangeContent));  // a user's own
    EXPECT_TRUE(sddl::OthersMay("O:BAD:NO_ACCESS_CONTROL", sddl::kChangeContent));
    EXPECT_TRUE(sddl::OthersMay("O:BAD:(A;;DCLC;;;AU)", sddl::kChangeContent));
    EXPECT_TRUE(sddl::OthersMay("garbage", sddl::kChangeContent));
    EXPECT_FALSE(sddl::OthersMay("O:BAD:(A;;DCLC;;;AU)", sddl::kReplaceChildren));  // C:\ lets users add, not replace
}

}  // namespace
}  // namespace hw::testing
