// The file-security component and module: right-set conversions, reading
// an access list into merged per-account entries, writing it back, and
// giving Users and Power Users full control of a file.
#include <gtest/gtest.h>

#include "connect/dmfilesec.h"
#include "connect/ntfilesecurity.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using namespace qv::platform;

namespace {
constexpr std::uint32_t kFsNoAcl = 0x2;  // case-preserving names only, no persistent ACLs

}  // namespace

TEST(FileSecurityRights, MaskConversionsBothColumns) {
  struct Case {
    std::uint32_t mask;
    bool generic;
    TAccessSet set;
    std::uint32_t writtenBack;
  };
  const Case cases[] = {
      {0x1200A9, false, faRead | faExecute, 0x1200A9},
      {kFileAllAccess, false, faAll, kFileAllAccess},
      {0x1F0000, false, faDelete | faChangePermissions | faTakeOwnership, 0xD0000},
      {0x1301BF, false, faRead | faWrite | faExecute | faDelete, 0x1301BF},
      {0, false, 0, 0},
      {kGenericAll, true, faAll, kGenericAll},
      {0xA0000000u, true, faRead | faExecute, 0xA0000000u},
      {kFileAllAccess, true, faDelete | faChangePermissions | faTakeOwnership, 0xD0000},  // not a generic mask
  };
  for (const Case& c : cases) {
    const TAccessSet set = c.generic ? GenericMaskToAccessSet(c.mask) : FileMaskToAccessSet(c.mask);
    EXPECT_EQ(set, c.set) << std::hex << c.mask;
    EXPECT_EQ(c.generic ? AccessSetToGenericMask(set) : AccessSetToFileMask(set), c.writtenBack) << std::hex << c.mask;
  }
  // faAll alone is the full mask; with other members it adds nothing.
  EXPECT_EQ(AccessSetToFileMask(faAll | faRead), kFileGenericRead);
  EXPECT_EQ(AccessSetToGenericMask(faAll | faDelete), kDelete);
}

class FileSecurity : public ::testing::Test {
 protected:
  FileSecurity() : use_(m_) {
    m_.MakeDirectories(u"C:\\ProgramData\\Norva");
    m_.WriteTextFile(file_, "[NorvaAppdataShare]\r\n");
  }
  void SetDacl(std::vector<Ace> entries) { m_.SetFileDacl(file_, Dacl{true, std::move(entries)}); }
  Dacl GetDacl() {
    Dacl d;
    m_.GetFileDacl(file_, d);
    return d;
  }
  MemoryMachine m_;
  ScopedPlatform use_;
  const String file_ = u"C:\\ProgramData\\Norva\\NORVACONNECT.INI";
};

TEST_F(FileSecurity, ReadingMergesConsecutiveEntriesOfOneAccount) {
  SetDacl({
      Ace{kAceAllowed, 0, kFileAllAccess, u"S-1-5-18"},
      Ace{kAceAllowed, 0, 0x1200A9, u"S-1-5-32-545"},
      Ace{kAceDenied, 0, kWriteDac, u"S-1-5-32-545"},
      Ace{kAceAllowed, 0, kFileAllAccess, u"S-1-5-32-544"},
      Ace{kAceAllowed, 0, kFileGenericRead, u"S-1-5-32-545"},  // the same account again, later
  });
  TNTFileSecurity fs;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;
  fs.OnGetSecurity = [&](TNTFileSecurity&, std::uint32_t e, std::uint32_t l) { reports.emplace_back(e, l); };
  fs.SetFileName(file_);
  ASSERT_EQ(reports, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 0}}));
  ASSERT_EQ(fs.EntryCount(), 4);
  EXPECT_EQ(fs.Entries(), (std::vector<String>{u"SYSTEM", u"Users", u"Administrators", u"Users"}));
  EXPECT_EQ(fs.FileRights(0), faAll);
  EXPECT_EQ(fs.FileRights(1), faRead | faExecute);
  EXPECT_EQ(fs.DeniedFileRights(1), faChangePermissions);
  EXPECT_EQ(fs.FileRights(3), faRead);
  EXPECT_EQ(fs.EntryType(1), seAlias);
  EXPECT_EQ(fs.EntryType(0), seWellKnownGroup);
  EXPECT_EQ(fs.ServerName(1), u"WORKSTATION");  // BUILTIN accounts belong to the file's host
  EXPECT_TRUE(fs.IsFile());
  EXPECT_FALSE(fs.IsDirectory());

  reports.clear();
  fs.SetFileName(file_);  // the same name again: nothing happens
  EXPECT_TRUE(reports.empty());
}

// An access entry of another type (here an object-specific allowing entry)
// grants nothing here, but its account is still an entry of the list.
TEST_F(FileSecurity, EntriesOfOtherTypesStillNameTheirAccount) {
  constexpr std::uint8_t kAceAllowedObject = 5;
  SetDacl({
      Ace{kAceAllowed, 0, kFileAllAccess, u"S-1-5-18"},
      Ace{kAceAllowedObject, 0, kFileAllAccess, u"S-1-5-32-547"},
      Ace{kAceAllowed, 0, kFileGenericRead, u"S-1-5-32-545"},
  });
  TNTFileSecurity fs;
  fs.SetFileName(file_);
  ASSERT_EQ(fs.EntryCount(), 3);
  EXPECT_EQ(fs.Entries(), (std::vector<String>{u"SYSTEM", u"Power Users", u"Users"}));
  EXPECT_EQ(fs.FileRights(1), TAccessSet{});
  EXPECT_EQ(fs.DeniedFileRights(1), TAccessSet{});
  EXPECT_EQ(fs.FileRights(2), faRead);
}

// A file on a mapped drive belongs to the server: its accounts are resolved
// there, both when the list is read and when it is written back.
TEST_F(FileSecurity, AccountsOfAMappedDriveAreResolvedOnItsServer) {
  m_.AddRemoteShare(u"SRV", u"NORVA");
  m_.MapDrive(u'M', u"\\\\SRV\\NORVA");
  const String file = u"M:\\QTCFG.INI";
  ASSERT_TRUE(m_.WriteTextFile(file, "x"));
  m_.SetFileDacl(file, Dacl{true, {Ace{kAceAllowed, 0, kFileAllAccess, u"S-1-5-32-545"}}});
  m_.ResetCounts();
  TNTFileSecurity fs;
  fs.SetFileName(file);
  ASSERT_EQ(fs.EntryCount(), 1);
  EXPECT_EQ(fs.HostName(), u"SRV");
  EXPECT_EQ(m_.Count("LookupAccountSidW", u"SRV"), 1u);
  fs.SetSecurity();
  EXPECT_GE(m_.Count("LookupAccountNameW", u"SRV"), 1u);
  EXPECT_EQ(m_.Count("LookupAccountNameW", u"SRV"), m_.Count("LookupAccountNameW"));
}

// The volume's label and serial number are kept with the file-system name,
// for a local drive and for a mapped one, and cleared by the next name.
TEST_F(FileSecurity, VolumeLabelAndSerialNumberAreKept) {
  ASSERT_TRUE(m_.SetVolumeLabel(u'C', u"SYSTEM"));
  m_.AddRemoteShare(u"SRV", u"NORVA");
  m_.MapDrive(u'M', u"\\\\SRV\\NORVA");
  ASSERT_TRUE(m_.WriteTextFile(u"M:\\QTCFG.INI", "x"));
  struct Case {
    const char* what;
    String name;
    String volumeRoot;  // asked directly of the machine for the expected answer
    String label;
  } cases[] = {
      {"local file", file_, u"C:\\", u"SYSTEM"},
      {"drive alone", u"C:", u"C:\\", u"SYSTEM"},
      {"mapped drive", u"M:\\QTCFG.INI", u"\\\\SRV\\NORVA\\", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint32_t flags = 0, serial = 0;
    String fsName, label;
    ASSERT_EQ(m_.GetVolumeInformation(c.volumeRoot, flags, fsName, &label, &serial), kOk);
    ASSERT_NE(serial, 0u);
    EXPECT_EQ(label, c.label);
    TNTFileSecurity fs;
    fs.SetFileName(c.name);
    EXPECT_EQ(fs.VolumeName(), c.label);
    EXPECT_EQ(fs.VolumeSerialNumber(), serial);
    EXPECT_EQ(fs.FileSystemName(), u"NTFS");
    // A name whose volume cannot be queried forgets the previous volume.
    m_.InjectFailure("GetVolumeInformationW", 1, 21);
    fs.SetFileName(u"C:\\ProgramData");
    EXPECT_EQ(fs.VolumeName(), u"");
    EXPECT_EQ(fs.VolumeSerialNumber(), 0u);
  }
}

TEST_F(FileSecurity, FolderEntriesSplitIntoFolderAndFileRights) {
  const String folder = u"C:\\ProgramData\\Norva";
  m_.SetFileDacl(folder, Dacl{true,
                              {
                                  Ace{kAceAllowed, kAceContainerInherit, kFileAllAccess, u"S-1-5-32-545"},
                                  Ace{kAceAllowed, kAceObjectInherit | kAceInheritOnly, kGenericAll, u"S-1-5-32-545"},
                                  Ace{kAceDenied, kAceObjectInherit | kAceInheritOnly, kGenericWriteMask, u"S-1-5-32-547"},
                              }});
  TNTFileSecurity fs;
  fs.SetFileName(folder);
  ASSERT_EQ(fs.EntryCount(), 2);
  EXPECT_TRUE(fs.IsDirectory());
  EXPECT_EQ(fs.DirectoryRights(0), faAll);
  EXPECT_EQ(fs.FileRights(0), faAll);
  EXPECT_EQ(fs.DeniedFileRights(1), faWrite);

  // Written back: per account, denying before allowing, with the inherit flags.
  fs.SetDirectoryRights(1, faRead);
  fs.SetSecurity();
  const Dacl written = [&] {
    Dacl d;
    m_.GetFileDacl(folder, d);
    return d;
  }();
  const std::vector<Ace> expected = {
      Ace{kAceAllowed, kAceObjectInherit | kAceInheritOnly, kGenericAll, u"S-1-5-32-545"},
      Ace{kAceAllowed, kAceContainerInherit, kFileAllAccess, u"S-1-5-32-545"},
      Ace{kAceDenied, kAceObjectInherit | kAceInheritOnly, kGenericWriteMask, u"S-1-5-32-547"},
      Ace{kAceAllowed, kAceContainerInherit, kFileGenericRead, u"S-1-5-32-547"},
  };
  EXPECT_EQ(written.entries, expected);
}

TEST_F(FileSecurity, ReadFailuresReportTheirLocation) {
  struct Case {
    const char* what;
    std::function<void()> stage;
    String name;
    std::uint32_t error, location;
  };
  m_.AddDrive(u'F', DriveType::Removable, kFsNoAcl, u"FAT32");
  m_.WriteTextFile(u"F:\\X.INI", "x");
  const Case cases[] = {
      {"no persistent access lists", [] {}, u"F:\\X.INI", kNoAclSupport, 0},
      {"descriptor unreadable", [&] { m_.InjectFailure("GetFileSecurityW", 1, 5); }, file_, 5, 1},
      {"empty list", [&] { SetDacl({}); }, file_, kNoSecurityInformation, 3},
      {"account gone",
       [&] { SetDacl({Ace{kAceAllowed, 0, kFileAllAccess, u"S-1-5-21-1-2-3-999"}}); },
       file_, kErrNoneMapped, 5},
      {"drive missing", [] {}, u"Q:\\X.INI", 14, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.stage();
    TNTFileSecurity fs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;
    fs.OnGetSecurity = [&](TNTFileSecurity&, std::uint32_t e, std::uint32_t l) { reports.emplace_back(e, l); };
    fs.SetFileName(c.name);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, c.error);
    EXPECT_EQ(reports[0].second, c.location);
    EXPECT_EQ(fs.EntryCount(), 0);
  }
  EXPECT_EQ(TNTFileSecurity::GetMessageString(kNoAclSupport, 0), u"The file system does not support Access Control Lists.");
  EXPECT_EQ(TNTFileSecurity::GetMessageString(kNoSecurityInformation, 3), u"The object has no security information.");
  EXPECT_EQ(TNTFileSecurity::GetMessageString(0, 0), u"Operation was successfull.");
  EXPECT_EQ(TNTFileSecurity::GetMessageString(13, 0), u"Unable to determine drive type.");
  EXPECT_EQ(TNTFileSecurity::GetMessageString(5, 12), u"Access is denied.");
}

TEST_F(FileSecurity, IndexFaultNamesTheIndexAndTheFile) {
  TNTFileSecurity fs;
  fs.SetFileName(file_);
  ASSERT_EQ(fs.EntryCount(), 4);  // the inherited default list of the machine
  try {
    fs.EntryName(4);
    FAIL();
  } catch (const EFileSecurityError& e) {
    EXPECT_EQ(e.message(), u"Index [4] is out of bounds for |" + file_ + u"|");
  }
  EXPECT_THROW(fs.SetFileRights(-1, faAll), EFileSecurityError);
  EXPECT_THROW(fs.GrantAll(7), EFileSecurityError);
}

TEST_F(FileSecurity, EntryEditing) {
  TNTFileSecurity fs;
  fs.SetFileName(file_);
  const int pu = fs.AddEntry(u"WORKSTATION", u"Power Users");
  EXPECT_EQ(fs.EntryName(pu), u"Power Users");
  EXPECT_EQ(fs.ServerName(pu), u"WORKSTATION");
  EXPECT_EQ(fs.FileRights(pu), 0);
  fs.GrantAll(pu);
  EXPECT_EQ(fs.FileRights(pu), faAll);
  fs.DenyAll(pu);
  EXPECT_EQ(fs.FileRights(pu), 0);
  EXPECT_EQ(fs.DeniedFileRights(pu), faAll);
  fs.ClearAll(pu);
  EXPECT_EQ(fs.DeniedFileRights(pu), 0);
  fs.RemoveEntry(pu);
  fs.RemoveEntry(99);  // nothing to remove
  EXPECT_EQ(fs.EntryCount(), 4);
  EXPECT_THROW(fs.AddEntry(u"WORKSTATION", u"No Such Group"), EFileSecurityError);
}

TEST_F(FileSecurity, OpenSecurityGivesUsersFullControl) {
  TDMfilesec module;
  EXPECT_FALSE(module.FSbad);
  EXPECT_EQ(TDMfilesec::UsersGroupName(), u"Users");
  module.OpenSecurity(file_);
  EXPECT_FALSE(module.FSbad) << ToUtf8(module.FSerrormsg);
  EXPECT_EQ(module.UserIndex, 2);
  EXPECT_EQ(module.PowerUserIndex, -1);  // no entry: nothing to change
  const std::vector<Ace> expected = {
      Ace{kAceAllowed, kAceObjectInherit, kFileAllAccess, u"S-1-5-18"},
      Ace{kAceAllowed, kAceObjectInherit, kFileAllAccess, u"S-1-5-32-544"},
      Ace{kAceAllowed, kAceObjectInherit, kFileAllAccess, u"S-1-5-32-545"},
      Ace{kAceAllowed, kAceObjectInherit, 0x1301BF, u"S-1-5-11"},
  };
  EXPECT_EQ(GetDacl().entries, expected);
}

TEST_F(FileSecurity, OpenSecurityFailures) {
  {
    // A read failure leaves the positions from creation pointing at an
    // empty list: the fault comes before anything is written.
    TDMfilesec module;
    const Dacl before = GetDacl();
    m_.InjectFailure("GetFileSecurityW", 1, 5);
    EXPECT_THROW(module.OpenSecurity(file_), EFileSecurityError);
    EXPECT_TRUE(module.FSbad);
    EXPECT_EQ(module.FSerrormsg, u"Access is denied.");
    EXPECT_EQ(GetDacl().entries, before.entries);
  }
  {
    // A write failure is the module's own failure report.
    TDMfilesec module;
    m_.InjectFailure("SetFileSecurityW", 1, 5);
    module.OpenSecurity(file_);
    EXPECT_TRUE(module.FSbad);
    EXPECT_EQ(module.FSerrormsg, u"Access is denied.");
  }
  {
    m_.InjectFailure("LookupAccountSidW", 0, kErrNoneMapped, u"S-1-5-32-54*");
    TDMfilesec module;
    EXPECT_TRUE(module.FSbad);
    EXPECT_EQ(module.FSerrormsg, u"Cannot get localized names for \"Users\" and \"Power Users\"");
  }
}
