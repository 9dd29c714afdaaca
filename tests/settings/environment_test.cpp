// The environment options: process environment, $environment lines and the
// adjustments after them.
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

using platform::RootKey;

class EnvironmentTest : public SettingsTest {
 protected:
  void Env(const char16_t* name, const char16_t* value) { m_.SetEnvironmentVariable(name, String(value)); }
};

TEST_F(EnvironmentTest, ValueBeforeReadingAndTheirForms) {
  ASSERT_EQ(LoadConfig(""), 0);
  const SuiteSettings& s = S();
  EXPECT_EQ(s.CvSingleOpenTimeout, 10);
  EXPECT_EQ(s.GwRecipLimit, 1);
  EXPECT_EQ(s.FxTextExt, u".TXT");
  EXPECT_EQ(s.JobDigitsDefault, 5);
  EXPECT_EQ(s.MaxVarSpace, 16);
  EXPECT_EQ(s.MinutesLimit, 1);
  EXPECT_TRUE(s.TaskEyeSkip.empty());
  EXPECT_EQ(s.ActiveDir, u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\ACTIVE\\");
  EXPECT_TRUE(s.EnvironmentOptions.Empty());
}

// Read from the environment block, and name by name where the block cannot
// be had: the same record either way, names found without regard to case.
TEST_F(EnvironmentTest, ProcessEnvironmentFormsAndPassThrough) {
  Env(u"ACTIVE", u"\"D:\\act\"");  // raw: the quotes stay
  Env(u"CVTOPTS", u"\"aK\"");
  Env(u"MAX_VAR_SPACE", u"40");
  Env(u"MINUTESLIMIT", u"\"3\"");  // raw: not a number
  Env(u"CVSINGLE_OPEN_TIMEOUT", u"120");
  Env(u"NO_VOIP_KEEPALIVE", u"1");
  Env(u"gfax", u"D:\\gfax");
  Env(u"Adp_Fax", u"fax");
  Env(u"TASKEYE_SKIP", u"TEMP, \"My Docs\" ,x");
  for (const bool blockFails : {false, true}) {
    SCOPED_TRACE(blockFails ? "name by name" : "from the block");
    if (blockFails) m_.InjectFailure("GetEnvironmentStringsW", 0, 8);
    ASSERT_EQ(LoadConfig(""), 0);
    const SuiteSettings& s = S();
    EXPECT_EQ(s.ActiveDir, u"\"D:\\act\"\\");
    EXPECT_EQ(s.CvtOpts, u"aK");
    EXPECT_EQ(s.MaxVarSpace, 40);
    EXPECT_EQ(s.MinutesLimit, 1);
    EXPECT_EQ(s.CvSingleOpenTimeout, 90);
    EXPECT_TRUE(s.NoVoipKeepalive);
    EXPECT_EQ(s.GfaxDir, u"D:\\gfax\\");
    EXPECT_EQ(s.TaskEyeSkip, (std::vector<String>{u"TEMP", u"My Docs", u"x"}));
    // Only the pass-through names are copied into the list, under their own
    // spelling.
    ASSERT_EQ(s.EnvironmentOptions.Size(), 1u);
    EXPECT_EQ(s.EnvironmentOptions.Text(0), u"ADP_FAX=fax");
    // The block spares the search of it for every name.
    EXPECT_EQ(m_.Count("GetEnvironmentVariableW", u"MAX_VAR_SPACE"), blockFails ? 1u : 0u);
  }
}

TEST_F(EnvironmentTest, EnvironmentLinesOverrideAndAreListed) {
  Env(u"CVSDELAY", u"1");
  ASSERT_EQ(LoadConfig(Lines({
                "$environment * CVSDELAY 2",
                "$environment * ACTIVE \\\\SRV\\act",
                "$environment * NO_VOIP_KEEPALIVE 1",  // process environment only
                "$environment * CUSTOM_THING \"a b\"",
                "$environment * ACTIVE_WORK \"\"",
                "$environment * LOCAL_FS_COPY_PATH c:\\copy\\",
                "$environment * CONTEXT_HELP Browser",
                "$environment * FORCE_PORTRAIT yes",
                "$environment OTHER JOBDIGITS_DEFAULT 7",
                "$environment * CUSTOM_THING \"\"",
                "",
                "$environment * QTTRC d:\\never",
            })),
            0);
  const SuiteSettings& s = S();
  EXPECT_EQ(s.CvsDelay, u"2");
  EXPECT_EQ(s.ActiveDir, u"\\\\SRV\\act\\");
  EXPECT_EQ(s.EnvironmentOptions.Value(u"ACTIVE"), u"\\\\SRV\\act");
  EXPECT_FALSE(s.NoVoipKeepalive);
  EXPECT_EQ(s.EnvironmentOptions.Value(u"NO_VOIP_KEEPALIVE"), u"1");
  EXPECT_TRUE(s.ActiveWork);
  EXPECT_EQ(s.LocalFsCopyPath, u"c:\\copy");
  EXPECT_TRUE(s.ContextHelpBrowser);
  EXPECT_TRUE(s.ForcePortrait);
  EXPECT_EQ(s.JobDigitsDefault, 5);
  EXPECT_FALSE(s.EnvironmentOptions.Contains(u"CUSTOM_THING"));
  EXPECT_FALSE(s.EnvironmentOptions.Contains(u"JOBDIGITS_DEFAULT"));
  // A blank line does not stop the lines; a blank selector would.
  EXPECT_EQ(s.TraceDirOption, u"d:\\never\\");

  // ACTIVE_WORK stays set for the life of the process.
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_TRUE(S().ActiveWork);
  EXPECT_EQ(S().CvsDelay, u"1");
}

TEST_F(EnvironmentTest, EnvironmentLinesStopAtAnEmptySelector) {
  ASSERT_EQ(LoadConfig(Lines({"$environment * CVSDELAY 2", "$environment \"\" X 1", "$environment * DNSUPD_LOG l"})),
            0);
  EXPECT_EQ(S().CvsDelay, u"2");
  EXPECT_EQ(S().DnsUpdLog, u"");
}

TEST_F(EnvironmentTest, TraceIndexesForEveryNode) {
  ASSERT_EQ(LoadConfig(Lines({"$environment OTHER TRC_INDEX 3", "$environment * TRC_INDEX 4",
                              "$environment N9 trc_index x"})),
            0);
  EXPECT_EQ(S().TraceIndexes, (TaggedList{{u"OTHER", 3}, {u"N9", 0}}));
  EXPECT_EQ(S().EnvironmentOptions.Value(u"TRC_INDEX"), u"4");
}

TEST_F(EnvironmentTest, RecipientLimitForms) {
  struct Case {
    const char* value;
    std::int32_t expected;
  };
  for (const Case& c : {Case{"12+", -12}, Case{"-3", 3}, Case{"abc", 1}, Case{"abc+", -1}, Case{"\"\"", 1},
                        Case{"$A", 10}}) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(LoadConfig(Lines({std::string("$environment * GW_RECIP_LIMIT ") + c.value})), 0);
    EXPECT_EQ(S().GwRecipLimit, c.expected);
  }
}

TEST_F(EnvironmentTest, BladewareServiceFromTheProcessWins) {
  const std::string line = Lines({"$environment * BLADEWARESERVICE fromfile"});
  ASSERT_EQ(LoadConfig(line), 0);
  EXPECT_EQ(S().BladewareService, u"fromfile");

  Env(u"BLADEWARESERVICE", u"fromprocess");
  ASSERT_EQ(LoadConfig(line), 0);
  EXPECT_EQ(S().BladewareService, u"fromprocess");
  EXPECT_EQ(S().EnvironmentOptions.Value(u"BLADEWARESERVICE"), u"fromfile");
}

TEST_F(EnvironmentTest, ConverterOptionsKeepOnlyTheirLetters) {
  // UTF-8 with its mark, so that the letters beyond ASCII arrive as written.
  ASSERT_EQ(LoadConfig("\xEF\xBB\xBF" + Lines({"$environment * CVTOPTS \"a1-Kz x\u00E9\u00E1\u0100T\""})), 0);
  EXPECT_EQ(S().CvtOpts, u"aKxT");
}

TEST_F(EnvironmentTest, ConverterPageFromTheUserLocale) {
  struct Case {
    const char* name;
    std::optional<String> locale;
    std::string config;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"no locale value", std::nullopt, "", u"1"},
      {"US English", u"00000409", "", u"1"},
      {"empty locale", u"", "", u"1"},
      {"UK English", u"00000809", "", u"9"},
      {"configured", u"00000809", Lines({"$environment * DEFAULT_CONVERTER_PAGE 5"}), u"5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.locale)
      m_.SetRegString(RootKey::CurrentUser, u"Control Panel\\International", u"Locale", *c.locale);
    ASSERT_EQ(LoadConfig(c.config), 0);
    EXPECT_EQ(S().DefaultConverterPage, c.expected);
  }
}

TEST_F(EnvironmentTest, LimitsAfterTheLines) {
  ASSERT_EQ(LoadConfig(Lines({"$environment * CVSINGLE_OPEN_TIMEOUT -4", "$environment * MAX_VAR_SPACE 3",
                              "$environment * TASKEYE_SKIP \"\"\" a \"\",b\""})),
            0);
  EXPECT_EQ(S().CvSingleOpenTimeout, 0);
  EXPECT_EQ(S().MaxVarSpace, 16);
  EXPECT_EQ(S().TaskEyeSkip, (std::vector<String>{u"a", u"b"}));
}

TEST_F(EnvironmentTest, TaskEyeSkipEndsAtANulCharacter) {
  // A NUL inside the list once made the reader loop forever, adding empty
  // items until memory ran out.
  static const char kLine[] = "$environment * TASKEYE_SKIP a,b\0c d";
  ASSERT_EQ(LoadConfig(Lines({std::string(kLine, sizeof kLine - 1)})), 0);
  EXPECT_EQ(S().TaskEyeSkip, (std::vector<String>{u"a", u"b"}));
}

TEST_F(EnvironmentTest, TaskEyeSkipBeforeTheFirstLoad) {
  EXPECT_EQ(GetTaskEyeSkip(), (std::vector<String>{u"TEMP"}));
}

}  // namespace
}  // namespace qv::testing_settings
