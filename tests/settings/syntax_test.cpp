// TARVEX.CFG syntax: value forms, encodings, the initial-default marker,
// $map_drive and the drive mapping, the base macro, node selection.
#include "settings/config_reader.h"
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

using settings::ExpandBaseMacro;
using settings::ParseNumber;

TEST(ConfigValueForms, NumberForm) {
  struct Case {
    const char16_t* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {u"12", 12},          {u"  -7", -7},      {u"+3", 3},         {u"$1F", 31},     {u"0x10", 16},
      {u"0XfF", 255},       {u"$FFFFFFFF", -1}, {u"", 99},          {u"   ", 99},     {u"12 ", 99},
      {u"1a", 99},          {u"abc", 99},       {u"2147483648", 99}, {u"-2147483648", INT32_MIN},
      {u"$100000000", 99},  {u"$", 99},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseNumber(c.text, 99), c.expected) << ToUtf8(c.text);
  EXPECT_EQ(settings::ParseDecimal(u"$10", 5), 5);
}

TEST(ConfigValueForms, TextForm) {
  EXPECT_EQ(settings::Unquote(u"\"a b\""), u"a b");
  EXPECT_EQ(settings::Unquote(u"\"a\"\"b\""), u"a\"b");
  EXPECT_EQ(settings::Unquote(u"plain\"x"), u"plain\"x");
  EXPECT_EQ(settings::Unquote(u""), u"");
}

TEST_F(SettingsTest, RestOfLineAndVariableForms) {
  ASSERT_EQ(LoadConfig(Lines({
                "  $email_from   Ann <a@b.c>, \"Dept; Two\" ; main contact",
                "$email_esender\tsender@x.y\t; tab comment",
                "$email_notify ops@x.y;not-a-comment",
                "$var_def FS_2B \"\"",
                "$var_def v7html yes",
                "$var_def V7HTML \"\"",
                "$var_def CP_NORVAEDIT \"  1252  \"",
            })),
            0);
  EXPECT_EQ(S().EmailFrom, u"Ann <a@b.c>, \"Dept; Two\"");
  EXPECT_EQ(S().EmailESender, u"sender@x.y");
  EXPECT_EQ(S().EmailNotify, u"ops@x.y;not-a-comment");
  // The last definition wins, names ignore case, an empty value is empty.
  EXPECT_FALSE(S().V7Html);
  EXPECT_FALSE(S().Fs2b);
  EXPECT_EQ(S().CpNorvaEdit, u"1252");
}

TEST_F(SettingsTest, EncodingComesFromTheFirstBytes) {
  RegisterLocator();
  struct Case {
    const char* name;
    Bytes bytes;
    TextEncoding expected;
  };
  auto utf16 = [](std::u16string_view text) {
    Bytes b = {0xFF, 0xFE};
    for (char16_t c : text) {
      b.push_back(static_cast<std::uint8_t>(c & 0xFF));
      b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
  };
  auto bytes = [](std::string_view text) { return Bytes(text.begin(), text.end()); };
  const Case cases[] = {
      {"UTF-16", utf16(u"$company_name \u00C9lan\r\n"), TextEncoding::Utf16LE},
      {"UTF-8 with mark", bytes("\xEF\xBB\xBF$company_name \xC3\x89lan\r\n"), TextEncoding::Utf8},
      {"ANSI", bytes("$company_name \xC9lan\r\n"), TextEncoding::Ansi},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_.WriteBytes(fake_.configFile, c.bytes);
    ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
    EXPECT_EQ(S().ConfigEncoding, c.expected);
    EXPECT_EQ(S().ConfiguredCompanyName, u"\u00C9lan");
  }
  // UTF-8 without a mark is taken as ANSI.
  m_.WriteBytes(fake_.configFile, bytes("$company_name \xC3\x89lan\r\n"));
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().ConfigEncoding, TextEncoding::Ansi);
  EXPECT_EQ(S().ConfiguredCompanyName, u"\u00C3\u2030lan");
}

TEST_F(SettingsTest, InitialDefaultMarker) {
  struct Case {
    const char* name;
    std::string text;
    bool expected;
  };
  const Case cases[] = {
      {"comment line with more lines", Lines({"; Initial TARVEX.CFG created as default", "$qvmsg x"}), true},
      {"only that line", Lines({"; Initial TARVEX.CFG created as default"}), false},
      {"other letter case", Lines({"; initial tarvex.cfg created as default", "$qvmsg x"}), false},
      {"marker on the second line", Lines({"$qvmsg x", "; Initial TARVEX.CFG created as default"}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSuiteSettingsForTests();
    ASSERT_EQ(LoadConfig(c.text), 0);
    EXPECT_EQ(S().InitialDefaultFile, c.expected);
  }
  // Never cleared by a later load.
  ASSERT_EQ(LoadConfig(cases[0].text), 0);
  ASSERT_EQ(LoadConfig(Lines({"$qvmsg y"})), 0);
  EXPECT_TRUE(S().InitialDefaultFile);
}

TEST_F(SettingsTest, MapDrivePairs) {
  struct Case {
    const char* line;
    const char16_t* from;
    const char16_t* to;
  };
  const Case cases[] = {
      {"$map_drive gh", u"G", u"H"},
      {"$map_drive GG G1 GHI \"KL\" MN", u"KM", u"LN"},
      {"$map_drive AB CD EF GH IJ KL", u"ACEGI", u"BDFHJ"},
      {"$map_drive", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(LoadConfig(Lines({"; first", c.line, "$map_drive XY"})), 0);
    String from, to;
    for (int i = 0; i < S().DriveMapCount; ++i) {
      from.push_back(S().DriveMapFrom[static_cast<std::size_t>(i)]);
      to.push_back(S().DriveMapTo[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(from, c.from);
    EXPECT_EQ(to, c.to);
    EXPECT_EQ(S().DriveMapLine, 1);
  }
  ASSERT_EQ(LoadConfig(Lines({"$qvmsg x"})), 0);
  EXPECT_EQ(S().DriveMapCount, 0);
  EXPECT_EQ(S().DriveMapLine, 9999);
}

TEST_F(SettingsTest, DriveMappingAppliesOnlyBelowMapDrive) {
  ASSERT_EQ(LoadConfig(Lines({
                "$request_dir g:\\req",
                "$map_drive GH",
                "$post_office g:\\mail",
                "$user_profiles g:\\users",
            })),
            0);
  EXPECT_EQ(S().RequestDir, u"G:\\REQ\\");
  EXPECT_EQ(S().PostOfficeDir, u"H:\\MAIL\\");
  // Of the profile folders only the default profile file is mapped.
  EXPECT_EQ(S().UserProfilesDir, u"G:\\USERS\\");
  EXPECT_EQ(S().DefaultProfileFile, u"H:\\USERS\\FAX.USR");

  ASSERT_EQ(LoadConfig(Lines({"$map_drive GH", "$request_dir g:\\req"})), 0);
  EXPECT_EQ(S().RequestDir, u"H:\\REQ\\");
}

TEST_F(SettingsTest, DefaultFoldersFollowTheDriveMapButAppDataDirKeepsItsDrive) {
  fake_.tarvex = u"G:\\NORVA\\TARVEX\\";
  ASSERT_EQ(LoadConfig(Lines({"$map_drive GH"})), 0);
  EXPECT_EQ(S().AppDataDir, u"G:\\NORVA\\TARVEX\\");
  EXPECT_EQ(S().RequestDir, u"H:\\NORVA\\TARVEX\\CALLBACK\\");
  EXPECT_EQ(S().PostOfficeDir, u"H:\\NORVA\\TARVEX\\MAIL\\");
  EXPECT_EQ(S().CertificatesDir, u"H:\\NORVA\\TARVEX\\CERTIFICATES\\");
  EXPECT_EQ(S().ScriptsDir, u"H:\\NORVA\\TARVEX\\SCRIPTS\\");
  EXPECT_EQ(S().DefaultProfileFile, u"H:\\NORVA\\TARVEX\\FAX.USR");
  EXPECT_EQ(S().UserProfilesDir, u"H:\\NORVA\\TARVEX\\");
  EXPECT_EQ(S().LogDir, u"H:\\NORVA\\TARVEX\\LOG\\");
  EXPECT_EQ(S().UserJobsDir, u"H:\\NORVA\\TARVEX\\USERJOBS\\");
  EXPECT_EQ(S().ActiveDir, u"H:\\NORVA\\TARVEX\\CALLBACK\\ACTIVE\\");
}

TEST_F(SettingsTest, BaseMacroForms) {
  ASSERT_EQ(LoadConfig(""), 0);
  S().MacroChar1 = u'@';
  S().MacroChar2 = u'`';
  struct Case {
    const char16_t* word;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"@qtbase\\Requests", u"\\\\SRV\\NORVA\\TARVEX\\Requests"},
      {u"`QTBASE\\mail\\", u"\\\\SRV\\NORVA\\TARVEX\\mail"},
      {u"@QTBASE", u"\\\\SRV\\NORVA\\TARVEX"},
      {u"\"@QTBASE\\with blank\"", u"\\\\SRV\\NORVA\\TARVEX\\with blank"},
      {u"@QTREQ\\sub\\", u"@QTREQ\\sub"},
      {u"@QTBASEX\\a", u"@QTBASEX\\a"},
      {u"D:\\plain\\", u"D:\\plain\\"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandBaseMacro(S(), c.word), c.expected) << ToUtf8(c.word);
}

TEST_F(SettingsTest, RequestDirWithMacroAndCount) {
  struct Case {
    const char* line;
    const char16_t* dir;
    std::int32_t count;
  };
  const Case cases[] = {
      {"$request_dir @QTBASE\\Req 20", u"\\\\SRV\\NORVA\\TARVEX\\REQ\\", 15},
      {"$request_dir @QTBASE\\Req 4", u"\\\\SRV\\NORVA\\TARVEX\\REQ\\", 4},
      {"$request_dir @QTBASE\\Req 0", u"\\\\SRV\\NORVA\\TARVEX\\REQ\\", 9},
      {"$request_dir @QTBASE\\Req lots", u"\\\\SRV\\NORVA\\TARVEX\\REQ\\", 9},
      {"$request_dir \"\" 3", u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(LoadConfig(Lines({c.line})), 0);
    EXPECT_EQ(S().RequestDir, c.dir);
    EXPECT_EQ(S().RequestDirCount, c.count);
  }
}

TEST_F(SettingsTest, MacroCharDirectiveChangesBothCopies) {
  ASSERT_EQ(LoadConfig(Lines({"$macro_char % \"\"", "$scripts %QTBASE\\s"})), 0);
  EXPECT_EQ(S().MacroChar1, u'%');
  EXPECT_EQ(S().MacroChar2, u'`');
  EXPECT_EQ(TFileBase::MacroChar1(), u'%');
  EXPECT_EQ(S().ScriptsDir, u"\\\\SRV\\NORVA\\TARVEX\\S\\");
}

TEST_F(SettingsTest, MachineSelectorYieldsToNodeOverrides) {
  m_.SetPhysicalComputerName(u"PHYS01");
  m_.AddDrive(u'D');
  const std::string text = Lines({"$environment \\\\phys01 CVSDELAY 5", "$local_temp \\\\PHYS01 D:\\TMP"});
  ASSERT_EQ(LoadConfig(text), 0);
  EXPECT_EQ(S().CvsDelay, u"5");
  EXPECT_EQ(S().LocalTempDir, u"D:\\TMP\\");

  S().NodeNameOverride1 = u"N7";
  S().LocalTempDir.clear();
  ASSERT_EQ(LoadConfig(text), 0);
  EXPECT_EQ(S().CvsDelay, u"");
  EXPECT_EQ(S().LocalTempSource, 2);
}

TEST_F(SettingsTest, NodeSelectorFamilies) {
  m_.SetRegString(platform::RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"REG");
  S().NodeNameOverride3 = u"THIRD";
  S().NodeNameOverride2 = u"SECOND";
  ASSERT_EQ(LoadConfig(Lines({
                "$environment second CVSDELAY eff",  // effective node: override 2
                "$environment REG DNSUPD_LOG reg",   // not the effective node
                "$notify_qname REG NQ",              // registry node only
                "$preproc_qname SECOND PQ",          // not the registry node
                "$ad_connect third a b",             // third override counts here
            })),
            0);
  EXPECT_EQ(S().CvsDelay, u"eff");
  EXPECT_EQ(S().DnsUpdLog, u"");
  EXPECT_EQ(S().NotifyQueueName, u"NQ");
  EXPECT_EQ(S().PreprocQueueName, u"");
  ASSERT_EQ(S().AdConnect.size(), 5u);
  EXPECT_EQ(S().AdConnect[1], u"a");
}

}  // namespace
}  // namespace qv::testing_settings
