// Derived folders: local temporary and trace folders, request numbers, the
// defaults, local forms, the NTFS test and the macro table.
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

const String kSystemTemp = u"C:\\Users\\Admin\\AppData\\Local\\Temp\\";

TEST_F(SettingsTest, LocalTempSources) {
  struct Case {
    const char* name;
    std::string config;
    const char16_t* folder;
    std::int32_t source;
  };
  const Case cases[] = {
      {"from $local_temp", Lines({"$local_temp * D:\\LT"}), u"D:\\LT", 0},
      {"from GFAX", Lines({"$environment * GFAX D:\\GF"}), u"D:\\GF\\", 1},
      {"built in", "", u"C:\\FAXTEMP", 2},
  };
  m_.AddDrive(u'D');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool fails : {false, true}) {
      ResetSuiteSettingsForTests();
      m_.ClearFailures();
      if (fails) m_.InjectFailure("GetTempFileNameW", 0, platform::kErrAccessDenied, c.folder);
      ASSERT_EQ(LoadConfig(c.config), 0);
      if (fails) {
        EXPECT_EQ(S().LocalTempSource, c.source + 10);
        EXPECT_EQ(S().LocalTempRejected, c.folder);
        EXPECT_EQ(S().LocalTempDir, kSystemTemp);
      } else {
        EXPECT_EQ(S().LocalTempSource, c.source);
        EXPECT_EQ(S().LocalTempRejected, u"");
        EXPECT_EQ(S().LocalTempDir, WithTrailingBackslash(c.folder));
        // The folder was created and the probe left nothing behind.
        EXPECT_TRUE(m_.IsDirectory(c.folder));
        EXPECT_TRUE(m_.ListFolder(c.folder).empty());
      }
    }
  }
}

// The temporary-name test only forms the name CFG1.TMP: it creates nothing,
// removes a file of that name, and keeps a folder that exists but takes no
// files (on a CD-ROM); a folder that does not exist is replaced.
TEST_F(SettingsTest, LocalTempNameIsOnlyFormed) {
  m_.AddDrive(u'D');
  m_.AddDrive(u'E', platform::DriveType::CdRom);
  ASSERT_TRUE(m_.MakeDirectories(u"D:\\LT"));
  ASSERT_TRUE(m_.WriteBytes(u"D:\\LT\\CFG1.TMP", Bytes{'x'}));
  ASSERT_TRUE(m_.WriteBytes(u"D:\\LT\\KEEP.TXT", Bytes{'y'}));
  ASSERT_EQ(LoadConfig(Lines({"$local_temp * D:\\LT"})), 0);
  EXPECT_EQ(S().LocalTempDir, u"D:\\LT\\");
  EXPECT_EQ(m_.ListFolder(u"D:\\LT"), std::vector<String>{u"KEEP.TXT"});
  ASSERT_TRUE(m_.MakeDirectories(u"E:\\LT"));
  ASSERT_EQ(LoadConfig(Lines({"$local_temp * E:\\LT"})), 0);
  EXPECT_EQ(S().LocalTempDir, u"E:\\LT\\");
  EXPECT_EQ(S().LocalTempSource, 0);
  EXPECT_EQ(S().LocalTempRejected, u"");
  ASSERT_EQ(LoadConfig(Lines({"$local_temp * Q:\\LT"})), 0);
  EXPECT_EQ(S().LocalTempDir, kSystemTemp);
  EXPECT_EQ(S().LocalTempSource, 10);
  EXPECT_EQ(S().LocalTempRejected, u"Q:\\LT");
}

TEST_F(SettingsTest, LocalTempDirIsKeptAcrossLoads) {
  m_.AddDrive(u'D');
  ASSERT_EQ(LoadConfig(Lines({"$local_temp * D:\\LT"})), 0);
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().LocalTempDir, u"D:\\LT\\");
  EXPECT_EQ(S().LocalTempSource, 0);
  // The last applying line wins.
  ASSERT_EQ(LoadConfig(Lines({"$local_temp * D:\\A", "$local_temp OTHER D:\\B", "$local_temp * D:\\C"})), 0);
  EXPECT_EQ(S().LocalTempDir, u"D:\\C\\");
}

TEST_F(SettingsTest, TraceFolder) {
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().TraceDir, u"\\\\SRV\\NORVA\\TARVEX\\");
  ASSERT_EQ(LoadConfig(Lines({"$environment * QTTRC \\\\SRV\\NORVA\\TARVEX\\TRACE\\NODE1"})), 0);
  EXPECT_EQ(S().TraceDir, u"\\\\SRV\\NORVA\\TARVEX\\TRACE\\NODE1\\");
  EXPECT_TRUE(m_.IsDirectory(u"\\\\SRV\\NORVA\\TARVEX\\TRACE\\NODE1"));
  EXPECT_EQ(GetTraceDir(), S().TraceDir);
}

TEST_F(SettingsTest, RequestNumbersAndSendOrder) {
  ASSERT_EQ(LoadConfig(Lines({"$request_dir d:\\r 4"})), 0);
  EXPECT_EQ(S().RequestDirNumbers, (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(S().SendOrder, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  ASSERT_EQ(LoadConfig(Lines({"$request_dir d:\\r 6"})), 0);
  EXPECT_EQ(S().RequestDirNumbers, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(S().SendOrder, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
}

TEST_F(SettingsTest, DefaultFoldersAndKeptFolders) {
  fake_.tarvex = u"\\\\srv\\norva\\tarvex\\";
  ASSERT_EQ(LoadConfig(Lines({"$log_def \\\\SRV\\LOGS"})), 0);
  EXPECT_EQ(S().RequestDir, u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\");
  EXPECT_EQ(S().ActiveDir, u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\ACTIVE\\");
  EXPECT_EQ(S().LogDir, u"\\\\SRV\\LOGS\\");
  // LogDir is kept by a load whose file has no $log_def.
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().LogDir, u"\\\\SRV\\LOGS\\");
  // ACTIVE set in the file wins over the default.
  ASSERT_EQ(LoadConfig(Lines({"$environment * ACTIVE \\\\SRV\\ACT"})), 0);
  EXPECT_EQ(S().ActiveDir, u"\\\\SRV\\ACT\\");
}

TEST_F(SettingsTest, LocalFormsOnTheFileServer) {
  m_.AddDrive(u'D');
  m_.AddShare(u"NORVA", u"D:\\NORVA");
  m_.MakeDirectories(u"D:\\NORVA\\TARVEX");
  fake_.tarvex = u"\\\\WORKSTATION\\NORVA\\TARVEX\\";
  fake_.configFile = u"\\\\WORKSTATION\\NORVA\\TARVEX\\TARVEX.CFG";
  ASSERT_EQ(LoadConfig(Lines({"$post_office \\\\SRV\\MAIL"})), 0);
  EXPECT_EQ(S().AppDataLocalDir, u"D:\\NORVA\\TARVEX\\");
  EXPECT_EQ(GetAppDataLocalDir(), u"D:\\NORVA\\TARVEX\\");
  EXPECT_EQ(S().RequestDirLocal, u"D:\\NORVA\\TARVEX\\CALLBACK\\");
  EXPECT_EQ(S().UserJobsLocal, u"D:\\NORVA\\TARVEX\\USERJOBS\\");
  EXPECT_EQ(S().UserProfilesLocal, u"D:\\NORVA\\TARVEX\\");
  // Not on this machine: the folder itself.
  EXPECT_EQ(S().PostOfficeLocal, u"\\\\SRV\\MAIL\\");
  EXPECT_TRUE(S().RequestVolumeIsNtfs);
  EXPECT_EQ(S().MacroTable[24], u"D:\\NORVA\\TARVEX");
  EXPECT_EQ(S().MacroTable[25], u"D:\\NORVA\\TARVEX\\CALLBACK");
  EXPECT_EQ(S().MacroTable[28], u"");

  // A later load from elsewhere never clears the local form of the area.
  fake_.tarvex = u"\\\\SRV\\NORVA\\TARVEX\\";
  fake_.configFile = u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().AppDataLocalDir, u"D:\\NORVA\\TARVEX\\");
  EXPECT_EQ(S().RequestDirLocal, u"");
}

TEST_F(SettingsTest, NtfsTestQueriesTheVolumeRoot) {
  m_.AddRemoteShare(u"SRV2", u"DATA", platform::kFatFlags, u"FAT32");
  m_.AddDrive(u'E', platform::DriveType::Fixed, platform::kFatFlags, u"FAT");
  struct Case {
    const char* line;
    const char16_t* root;
    bool ntfs;
  };
  const Case cases[] = {
      {"$request_dir \\\\SRV2\\DATA\\A\\B", u"\\\\SRV2\\DATA\\", false},
      {"$request_dir \\\\SRV\\NORVA\\REQ", u"\\\\SRV\\NORVA\\", true},
      {"$request_dir E:\\REQ", u"E:\\", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    m_.ResetCounts();
    ASSERT_EQ(LoadConfig(Lines({c.line})), 0);
    EXPECT_EQ(m_.Count("GetVolumeInformationW", c.root), 1u);
    EXPECT_EQ(S().RequestVolumeIsNtfs, c.ntfs);
  }
  // A failed query keeps the last answer: true here, where a reset would
  // give false (the E: drive's FAT answer of the last case).
  ASSERT_EQ(LoadConfig(Lines({"$request_dir \\\\SRV\\NORVA\\REQ"})), 0);
  ASSERT_TRUE(S().RequestVolumeIsNtfs);
  m_.InjectFailure("GetVolumeInformationW", 0, platform::kErrBadNetPath);
  ASSERT_EQ(LoadConfig(Lines({"$request_dir E:\\REQ"})), 0);
  EXPECT_TRUE(S().RequestVolumeIsNtfs);
}

TEST_F(SettingsTest, MacroTableIsBuiltOnce) {
  ASSERT_EQ(LoadConfig(Lines({"$scripts \\\\SRV\\SCRIPTS", "$user_jobs \\\\SRV\\JOBS"})), 0);
  const auto& t = S().MacroTable;
  EXPECT_EQ(t[0], u"@QTBASE");
  EXPECT_EQ(t[1], u"@QTREQ");
  EXPECT_EQ(t[6], u"@QTLOG");
  EXPECT_EQ(t[7], u"");  // outside the masks
  EXPECT_EQ(t[8], u"`QTBASE");
  EXPECT_EQ(t[15], u"");
  EXPECT_EQ(t[16], u"\\\\SRV\\NORVA\\TARVEX");
  EXPECT_EQ(t[17], u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK");
  EXPECT_EQ(t[18], u"\\\\SRV\\JOBS");
  EXPECT_EQ(t[19], u"\\\\SRV\\NORVA\\TARVEX");
  EXPECT_EQ(t[20], u"\\\\SRV\\NORVA\\TARVEX\\MAIL");
  EXPECT_EQ(t[21], u"\\\\SRV\\NORVA\\TARVEX\\CERTIFICATES");
  EXPECT_EQ(t[22], u"\\\\SRV\\NORVA\\TARVEX\\LOG");
  EXPECT_EQ(t[23], u"\\\\SRV\\SCRIPTS");
  EXPECT_EQ(t[24], u"");  // no local form on this machine
  EXPECT_TRUE(S().MacroTableBuilt);

  // Later loads leave it, also when the macro characters change.
  ASSERT_EQ(LoadConfig(Lines({"$macro_char ! ~", "$scripts \\\\SRV\\OTHER"})), 0);
  EXPECT_EQ(S().ScriptsDir, u"\\\\SRV\\OTHER\\");
  EXPECT_EQ(S().MacroTable[23], u"\\\\SRV\\SCRIPTS");
  EXPECT_EQ(S().MacroTable[0], u"@QTBASE");
}

TEST_F(SettingsTest, MacroTableWithOtherCharactersAndMasks) {
  S().MacroMask1 = 0xFF;
  S().MacroMask2 = 0x01;
  ASSERT_EQ(LoadConfig(Lines({"$macro_char ! ~"})), 0);
  EXPECT_EQ(S().MacroTable[0], u"!QTBASE");
  EXPECT_EQ(S().MacroTable[7], u"!QTSCRIPTS");
  EXPECT_EQ(S().MacroTable[8], u"~QTBASE");
  EXPECT_EQ(S().MacroTable[9], u"");
}

}  // namespace
}  // namespace qv::testing_settings
