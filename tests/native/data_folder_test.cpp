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
    // What the folder passes on to what Harrowatch makes in it counts too:
    // an inheritable entry for users is set right.
    {
        SimDesktop e;
        e.MakeFolder(kData);
        e.SetSecurity(kData, "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;FA;;;BU)");
        supervision::ActionLog inherited(e);
        inherited.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
        ASSERT_TRUE(e.HasFolder(kData + "\\Logs"));
        EXPECT_EQ(e.UserMakeJunction(kData + "\\Logs\\2000-01-01", "C:\\Users"), platform::err::kAccessDenied)
            << e.SecurityOf(kData + "\\Logs");
    }
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
    EXPECT_EQ(told, "");
    EXPECT_TRUE(d.HasFolder(kData + " (set aside 2026-12-06 09-00-00)\\Logs"));  // the user's junction, set aside
    // The folder is the administrators' now: no new junction.
    EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData), sddl::kChangeContent)) << d.SecurityOf(kData);
    EXPECT_EQ(d.UserMakeJunction(kData + "\\Backups\\2000-01-02", "C:\\Users"), platform::err::kAccessDenied);
}

TEST(DataFolder, ADataFolderThatIsAJunctionIsSetAsideAndOneThatCannotBeRefusedWithItsReason) {
    {
        SimDesktop d;
        MakeVictim(d);
        d.MakeJunction(kData, "C:\\Users\\Owner\\Documents");
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), 0);
        EXPECT_NE(why.find("was a junction or link to another folder: it was set aside"), std::string::npos) << why;
        supervision::RemoveOldBackups(d, 1, 0);
        supervision::ActionLog log(d);
        log.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
        EXPECT_EQ(supervision::BackUp(d, "C:\\Users\\Owner\\Documents\\thesis.doc"), 0);
        ExpectVictimWhole(d);
        EXPECT_EQ(d.FilesUnder(kData).size(), 2u);  // the day's log and the copy, in the new folder
    }
    {
        // Not run as administrator: a user's folder can be neither set
        // aside nor made anew, and nothing is written into it.
        SimDesktop d;
        MadeByAUser(d, kData);
        d.SetIntegrity(d.GetCurrentProcessId(), platform::proc::kIntegrityMedium);
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), platform::err::kAccessDenied);
        EXPECT_NE(why.find("was made by a user who is not an administrator, and cannot be set aside"), std::string::npos)
            << why;
        EXPECT_EQ(supervision::MakeFolders(d, kData + "\\Logs"), platform::err::kAccessDenied);
        EXPECT_FALSE(d.HasFolder(kData + "\\Logs"));
    }
    {
        // A user's folder that a program of theirs holds open (a command
        // prompt in it): in use, not refused for rights.
        SimDesktop d;
        MadeByAUser(d, kData);
        d.SetFolderOpenElsewhere(kData, true);
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), platform::err::kSharingViolation);
        EXPECT_NE(why.find("cannot be set aside: another program has it, or something in it, open (Windows error 32)"), std::string::npos)
            << why;
    }
    {
        // One an earlier Harrowatch made, open as ProgramData left it, with
        // only its own in it: set right where it is, and says so.
        SimDesktop d;
        d.WriteFile(kData + "\\Logs\\Harrowatch-2026-12-01.log", "an earlier day");
        std::string why;
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), 0);
        EXPECT_NE(why.find("set again"), std::string::npos) << why;
        EXPECT_EQ(d.FileContent(kData + "\\Logs\\Harrowatch-2026-12-01.log"), "an earlier day");
        why.clear();
        EXPECT_EQ(supervision::SecureDataFolder(d, &why), 0);
        EXPECT_EQ(why, "");
    }
}

// The folder as checked is the folder locked down: what a user lays in it or
// puts in its place meanwhile is found, and the folder set aside.
TEST(DataFolder, WhatChangesBetweenTheCheckAndTheLockDownIsFoundAfter) {
    for (bool swapped : {false, true}) {
        SimDesktop d;
        MakeVictim(d);
        const std::string victimSecurity = d.SecurityOf("C:\\Users\\Owner\\Documents");
        d.WriteFile(kData + "\\Logs\\Harrowatch-2026-12-01.log", "an earlier day");  // open, as ProgramData left it
        d.beforeSetFileSecurity = [&](const std::string& path) {
            if (path != kData) return;
            d.beforeSetFileSecurity = nullptr;
            if (!swapped) {
                ASSERT_EQ(d.UserMakeJunction(kData + "\\Backups", "C:\\Users\\Owner\\Documents"), 0);
            } else {
                ASSERT_EQ(d.MoveFileEx(kData, "C:\\ProgramData\\Elsewhere", 0), 0);
                d.MakeJunction(kData, "C:\\Users\\Owner\\Documents");
            }
        };
        std::string why;
        ASSERT_EQ(supervision::SecureDataFolder(d, &why), 0) << why;
        EXPECT_NE(why.find("it was set aside"), std::string::npos) << why;
        std::uint32_t attributes = 0;
        ASSERT_EQ(d.GetFileAttributes(kData, attributes), 0);
        EXPECT_EQ(attributes, platform::file::kAttributeDirectory);
        EXPECT_EQ(d.GetFileAttributes(kData + "\\Backups", attributes), platform::err::kFileNotFound);
        EXPECT_EQ(d.SecurityOf("C:\\Users\\Owner\\Documents"), victimSecurity);
        supervision::RemoveOldBackups(d, 1, 0);
        ExpectVictimWhole(d);
    }
}

// A deduplicated backup or a cloud log in the folder, and cloud folders (the
// folder itself, its Logs), are files and folders with their own content, no
// links: the folder, open as ProgramData left it, is set right where it is
// and written to. A junction laid among them still has the whole folder set
// aside.
TEST(DataFolder, ADeduplicatedOrCloudFileIsNoLinkButAJunctionStillIs) {
    for (bool junction : {false, true}) {
        SimDesktop d;
        MakeVictim(d);
        d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
        const std::string backup = kData + "\\Backups\\2026-12-01\\KALTORHallInfo.KLD";
        const std::string log = kData + "\\Logs\\Harrowatch-2026-12-01.log";
        d.WriteFile(backup, "an old backup");
        d.SetReparseTag(backup, platform::file::kTagDedup);
        d.WriteFile(log, "an earlier day");
        d.SetReparseTag(log, platform::file::kTagCloud);
        d.SetReparseTag(kData, platform::file::kTagCloud);
        d.SetReparseTag(kData + "\\Logs", platform::file::kTagCloud);
        d.SetReparseTag(kData + "\\Backups", platform::file::kTagCloud);
        if (junction) {
            ASSERT_EQ(d.UserMakeJunction(kData + "\\Logs\\2000-01-01", "C:\\Users\\Owner\\Documents"), 0);
        }
        std::string why;
        ASSERT_EQ(supervision::SecureDataFolder(d, &why), 0) << why;
        EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData), sddl::kChangeContent, true)) << d.SecurityOf(kData);
        const std::string aside = kData + " (set aside 2026-12-06 09-00-00)";
        if (junction) {
            EXPECT_NE(why.find("held what users who are not administrators made or may change"), std::string::npos) << why;
            EXPECT_EQ(d.FileContent(aside + "\\Backups\\2026-12-01\\KALTORHallInfo.KLD"), "an old backup");
            EXPECT_FALSE(d.HasFolder(kData + "\\Logs"));
            continue;
        }
        EXPECT_NE(why.find("set again"), std::string::npos) << why;
        EXPECT_FALSE(d.HasFolder(aside));
        EXPECT_EQ(d.FileContent(backup), "an old backup");
        EXPECT_EQ(d.FileContent(log), "an earlier day");
        supervision::ActionLog written(d);
        std::string told;
        written.onUnwritable = [&](const std::string& why) { told = why; };
        written.Take({supervision::EventId::Started, supervision::Level::Information, "started"});
        EXPECT_EQ(told, "");
        EXPECT_NE(d.FileContent(kData + "\\Logs\\Harrowatch-2026-12-06.log").find("started"), std::string::npos);
        // Backups are taken into a cloud Backups folder too.
        EXPECT_EQ(supervision::SecureBackupFolder(d), 0);
        ExpectVictimWhole(d);
    }
}

// Folders a user made in it before Harrowatch came stay theirs whatever
// the folder's own permissions say: the whole folder is set aside, kept, and
// made anew.
TEST(DataFolder, AFolderAUserMadeInsideBeforehandHasTheWholeFolderSetAsideAndMadeAnew) {
    SimDesktop d;
    MakeVictim(d);
    MadeByAUser(d, kData);
    d.MakeFolder(kData + "\\Backups");
    d.SetSecurity(kData + "\\Backups", std::string("O:") + SimDesktop::kUserSid + "D:P(A;OICI;FA;;;" + SimDesktop::kUserSid + ")");
    d.WriteFile(kData + "\\Logs\\Harrowatch-2026-12-01.log", "an earlier day");
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    std::string why;
    ASSERT_EQ(supervision::SecureDataFolder(d, &why), 0) << why;
    EXPECT_NE(why.find("set aside"), std::string::npos) << why;
    const std::string aside = kData + " (set aside 2026-12-06 09-00-00)";
    EXPECT_EQ(d.FileContent(aside + "\\Logs\\Harrowatch-2026-12-01.log"), "an earlier day");  // nothing lost
    EXPECT_FALSE(d.HasFolder(kData + "\\Backups"));
    EXPECT_FALSE(sddl::OthersMay(d.SecurityOf(kData), sddl::kChangeContent, true)) << d.SecurityOf(kData);
    d.WriteFile("C:\\Game\\x.KLD", "x");
    EXPECT_EQ(supervision::BackUp(d, "C:\\Game\\x.KLD"), 0);
    EXPECT_EQ(d.UserMakeJunction(kData + "\\Backups\\2000-01-02", "C:\\Users"), platform::err::kAccessDenied);
    // A folder only its maker may even read, and a file in the folder's
    // place, are set aside too.
    for (bool file : {false, true}) {
        SimDesktop e;
        if (file) e.WriteFile(kData, "not a folder");
        else e.MakeFolder(kData), e.SetSecurity(kData, std::string("O:") + SimDesktop::kUserSid + "D:P(A;OICI;FA;;;" + SimDesktop::kUserSid + ")");
        why.clear();
        EXPECT_EQ(supervision::SecureDataFolder(e, &why), 0) << why;
        EXPECT_NE(why.find("set aside"), std::string::npos) << why;
        EXPECT_TRUE(e.HasFolder(kData));
        EXPECT_FALSE(sddl::OthersMay(e.SecurityOf(kData), sddl::kChangeContent, true)) << e.SecurityOf(kData);
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
    // What does not read, or reads as a grant in any other form, is open.
    EXPECT_TRUE(sddl::OthersMay("O:BAD:P(A;;0x40100000;;;BU)", sddl::kChangeContent));  // GENERIC_WRITE
    EXPECT_TRUE(sddl::OthersMay("O:BAD:P(A;;0x10000000;;;BU)", sddl::kChangeContent));  // GENERIC_ALL
    EXPECT_TRUE(sddl::OthersMay("O:BA", sddl::kChangeContent));                          // no access list
    EXPECT_TRUE(sddl::OthersMay("O:BAD:P(A;CIOI;FA;;;BU)", sddl::kChangeContent));       // flags in either order
    EXPECT_TRUE(sddl::OthersMay("O:BAD:P(OA;;FA;;;BU)", sddl::kChangeContent));          // another kind of grant
    EXPECT_FALSE(sddl::OthersMay("O:BAD:P(A;OICIIO;FA;;;BU)", sddl::kChangeContent));
    EXPECT_TRUE(sddl::OthersMay("O:BAD:P(A;OICIIO;FA;;;BU)", sddl::kChangeContent, true));  // what it makes
}

// Three copies of a file that changes, in the same second: none written over,
// and nothing left under a partial name.
TEST(DataFolder, CopiesInTheSameSecondEachKeepTheirOwnName) {
    SimDesktop d;
    d.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    std::vector<std::string> made;
    for (const char* content : {"first", "second", "third"}) {
        d.WriteFile("C:\\Game\\KALTORHallInfo.KLD", content);
        std::string copy;
        ASSERT_EQ(supervision::BackUp(d, "C:\\Game\\KALTORHallInfo.KLD", &copy), 0);
        EXPECT_EQ(d.FileContent(copy), content);
        made.push_back(copy);
    }
    EXPECT_EQ(made[0], kData + "\\Backups\\2026-12-06\\KALTORHallInfo.KLD");
    EXPECT_EQ(made[1], kData + "\\Backups\\2026-12-06\\KALTORHallInfo-090000.KLD");
    EXPECT_EQ(made[2], kData + "\\Backups\\2026-12-06\\KALTORHallInfo-090000-2.KLD");
    EXPECT_EQ(d.FilesUnder(kData + "\\Backups").size(), 3u);
}
}  // namespace
}  // namespace hw::testing
