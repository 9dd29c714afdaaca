// The site configuration of tests/settings/fixtures/TARVEX.CFG loaded end to
// end: every directive of the file, as the engine node N1 sees it.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "settings/settings_json.h"
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

std::string ReadFixture() {
#ifdef _WIN32
  const std::string path = std::string("Z:") + QV_SOURCE_DIR + "/tests/settings/fixtures/TARVEX.CFG";
#else
  const std::string path = std::string(QV_SOURCE_DIR) + "/tests/settings/fixtures/TARVEX.CFG";
#endif
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SiteConfigTest : public SettingsTest {
 protected:
  SiteConfigTest() {
    fake_.tarvex = u"\\\\FILESRV\\NORVA\\TARVEX\\";
    fake_.configFile = u"\\\\FILESRV\\NORVA\\TARVEX\\TARVEX.CFG";
    fake_.netBin = u"\\\\FILESRV\\NORVA\\NETBIN\\";
    fake_.shareRoot = u"\\\\FILESRV\\NORVA\\";
    m_.AddRemoteShare(u"FILESRV", u"NORVA");
    m_.MakeDirectories(u"\\\\FILESRV\\NORVA\\TARVEX");
    m_.SetRegString(platform::RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"N1");
    m_.SetRegString(platform::RootKey::CurrentUser, u"Control Panel\\International", u"Locale", u"00000809");
    text_ = ReadFixture();
  }
  std::string text_;
};

const String kArea = u"\\\\FILESRV\\NORVA\\TARVEX\\";

TEST_F(SiteConfigTest, EveryDirectiveOfTheSiteFile) {
  ASSERT_GT(text_.size(), 5000u) << "fixture not found";
  ASSERT_EQ(LoadConfig(text_), 0);
  const SuiteSettings& s = S();
  using K = FileKind;
  using E = FileEncoding;

  EXPECT_EQ(s.NodeName, u"N1");
  EXPECT_FALSE(s.InitialDefaultFile);
  // $map_drive
  EXPECT_EQ(s.DriveMapCount, 3);
  EXPECT_EQ(s.DriveMapLine, 18);
  EXPECT_EQ(String(s.DriveMapFrom.data(), 3), u"TSA");
  EXPECT_EQ(String(s.DriveMapTo.data(), 3), u"UVB");
  // $unicode
  EXPECT_EQ(s.FileEncodings[K::ConfigFile], E::Utf8);
  EXPECT_EQ(s.FileEncodings[K::UserProfile], E::Utf16LE);
  EXPECT_EQ(s.FileEncodings[K::Gct], E::Utf8);
  EXPECT_EQ(s.FileEncodings[K::Mcf], E::Utf8);
  EXPECT_EQ(s.FileEncodings[K::EmailBody], E::Utf8);
  EXPECT_EQ(s.FileEncodings[K::EmailHtmlBody], E::Ansi);
  EXPECT_EQ(s.FileEncodings[K::JobHistory], E::Utf16LE);
  EXPECT_EQ(s.FileEncodings[K::JobStdRept], E::Ascii);
  EXPECT_EQ(s.FileEncodings[K::JobExtract], E::Ansi);
  EXPECT_EQ(s.FileEncodings[K::Active], E::Utf8);
  EXPECT_EQ(s.FileEncodings[K::Extra], E::Utf8);
  // first-line values
  EXPECT_EQ(s.RetryParms, u"3,10,30,60");
  EXPECT_EQ(s.EmailIpMode, 1);
  EXPECT_EQ(s.RequestDir, kArea + u"REQUESTS\\");
  EXPECT_EQ(s.RequestDirCount, 12);
  // environment options
  EXPECT_EQ(s.CvsDelay, u"250");
  EXPECT_EQ(s.CvSingleOpenTimeout, 45);
  EXPECT_EQ(s.CvtOpts, u"AcEfGipx");
  EXPECT_EQ(s.CvtLocalCopy, u"C:\\Conv Copy");
  EXPECT_EQ(s.CvtXlsOptions, u"landscape,fit");
  EXPECT_EQ(s.DefaultConverterPage, u"9");
  EXPECT_EQ(s.DefaultConverterRes, u"204");
  EXPECT_EQ(s.ExternAdjustLimit, 25);
  EXPECT_EQ(s.ExternAdjustReport, 16);
  EXPECT_EQ(s.ExternConsecutiveErrors, 5);
  EXPECT_EQ(s.ExternQueueErrors, 12);
  EXPECT_EQ(s.ExternTimeouts, 90);
  EXPECT_EQ(s.DnsUpdLog, u"dnsupd.log");
  EXPECT_EQ(s.FtpUploadFolder, u"/incoming/fax");
  EXPECT_EQ(s.FtpUploadMethod, u"PASV");
  EXPECT_EQ(s.GwRecipLimit, -25);
  EXPECT_TRUE(s.ForcePortrait);
  EXPECT_EQ(s.FxTextExt, u".ASC");
  EXPECT_EQ(s.JobAdminDeletion, u"confirm");
  EXPECT_EQ(s.JobDigitsDefault, 6);
  EXPECT_EQ(s.TaskEyeSkip, (std::vector<String>{u"TEMP", u"Old Jobs", u"ARCHIVE"}));
  EXPECT_EQ(s.LocalFsCopyPath, u"C:\\FSCOPY");
  EXPECT_EQ(s.MaxVarSpace, 16);
  EXPECT_EQ(s.MaxResAction, u"reject");
  EXPECT_EQ(s.MinutesLimit, 15);
  EXPECT_EQ(s.UserDomain, u"HARBOUR");
  EXPECT_EQ(s.UserDnsDomain, u"harbourside.example");
  EXPECT_TRUE(s.ContextHelpBrowser);
  EXPECT_EQ(s.AlternateJobAdmPath, u"\\\\FILESRV\\JOBADM");
  EXPECT_EQ(s.UpdateLinks, u"auto");
  EXPECT_EQ(s.BladewareService, u"BLADE01");
  EXPECT_TRUE(s.ActiveWork);
  EXPECT_EQ(s.ActiveDir, u"\\\\FILESRV\\NORVA\\TARVEX\\Requests\\ACTIVE\\");
  EXPECT_EQ(s.WmTmpDir, u"C:\\WMTMP\\");
  EXPECT_EQ(s.GfaxDir, u"");
  EXPECT_EQ(s.TraceIndexes, (TaggedList{{u"N1", 1}, {u"N2", 2}, {u"N3", 3}}));
  EXPECT_EQ(s.EnvironmentOptions.Value(u"TRC_INDEX"), u"7");
  EXPECT_EQ(s.EnvironmentOptions.Value(u"NORVA_SITE"), u"Harbourside");
  EXPECT_EQ(s.EnvironmentOptions.Value(u"TASKEYE_SKIP"), u"TEMP, \"Old Jobs\" ,ARCHIVE");
  EXPECT_EQ(s.EnvironmentOptions.Value(u"ADP_PROPERTIES"), u"cn,name,facsimileTelephoneNumber,mail");
  EXPECT_FALSE(s.EnvironmentOptions.Contains(u"GFAX"));
  EXPECT_EQ(s.EnvironmentOptions.Size(), 37u);
  // image options, temporary folder, bind names, country
  EXPECT_EQ(s.ImageOptions[0], u"-r204x196 -fine");
  EXPECT_EQ(s.ImageOptions[1], u"-r204x98 -normal");
  EXPECT_EQ(s.ImageOptions[4], u"-mono");
  EXPECT_EQ(s.LocalTempDir, u"C:\\NORVATEMP\\");
  EXPECT_EQ(s.LocalTempSource, 0);
  ASSERT_EQ(s.EmailNodeBindNames.Size(), 2u);
  EXPECT_EQ(s.EmailNodeBindNames.Text(1), u"N2=10.20.0.12");
  EXPECT_EQ(s.CountryPrefix, u"+44");
  EXPECT_EQ(s.CountryCode, 44);
  EXPECT_TRUE(s.CountryDbOk);
  // folders
  EXPECT_EQ(s.PostOfficeDir, kArea + u"POSTOFFICE\\");
  EXPECT_EQ(s.CertificatesDir, kArea + u"CERTIFICATES\\");
  EXPECT_EQ(s.ScriptsDir, kArea + u"SCRIPTS\\");
  EXPECT_EQ(s.UserJobsDir, u"U:\\USERJOBS\\");
  EXPECT_EQ(s.LogDir, kArea + u"LOGS\\");
  EXPECT_EQ(s.UserProfilesDir, u"T:\\PROFILES\\");
  EXPECT_EQ(s.DefaultProfileFile, u"U:\\PROFILES\\STANDARD.USR");
  // company and addresses
  EXPECT_EQ(s.ConfiguredCompanyName, u"Harbourside Logistics Ltd");
  EXPECT_EQ(s.EmailESender, u"\"Velmora Fax Server\" <fax@harbourside.example>");
  EXPECT_EQ(s.EmailFrom,
            u"Fax Service <fax@harbourside.example>, \"Ops; Night\" <ops@harbourside.example>");
  EXPECT_EQ(s.EmailNotify, u"helpdesk@harbourside.example");
  // variables
  EXPECT_EQ(s.VarDefNames.size(), 20u);
  EXPECT_EQ(s.VarDefPairs.Size(), 18u);
  EXPECT_EQ(s.VarDefPairs.Value(u"site_code"), u"HBS2");
  EXPECT_TRUE(s.UseChannelCommands);
  EXPECT_EQ(s.DnsMailPath, u"\\\\FILESRV\\DNS\\mail");
  EXPECT_EQ(s.DnsDomainPath, u"\\\\FILESRV\\DNS\\domains");
  EXPECT_EQ(s.TemplateDllPath, u"C:\\Program Files (x86)\\NORVA\\TPL.DLL");
  EXPECT_EQ(s.CTemplateDllPath, u"C:\\Program Files (x86)\\NORVA\\CTPL.DLL");
  EXPECT_EQ(s.TemplateDllBufferSize, 8192);
  EXPECT_EQ(s.JobDllLockOptions, 117u);
  EXPECT_TRUE(s.Fs2b);
  EXPECT_TRUE(s.V7Html);
  EXPECT_FALSE(s.Utf8ListsAddBom);
  EXPECT_EQ(s.ForceTabExt, u"tab.");
  EXPECT_EQ(s.ForceCsvExt, u"csv.");
  EXPECT_EQ(s.LibreTimeout, 120);
  EXPECT_EQ(s.CpNorvaEdit, u"1252");
  EXPECT_EQ(s.UnicodeFixFrom, (std::vector<std::int32_t>{0xFF5E, 0}));
  EXPECT_EQ(s.UnicodeFixCodePage, (std::vector<std::int32_t>{50220, 0}));
  EXPECT_EQ(s.UnicodeFixTo, (std::vector<std::int32_t>{0x301C, 0x2014}));
  EXPECT_EQ(s.Vsp01UserName, u"vsp-harbour");
  EXPECT_EQ(s.Vsp01Password, u"s3cret pass");
  EXPECT_FALSE(s.OmaWarning);
  // lists
  EXPECT_EQ(s.ScriptLocnTop, (std::vector<String>{u"$script_locn \\\\FILESRV\\NORVA\\TARVEX\\SiteScripts top",
                                                  u"$script_locn \\\\FILESRV\\Shared\\Scripts\tTOP"}));
  EXPECT_EQ(s.ScriptLocnOther, (std::vector<String>{u"$script_locn \\\\FILESRV\\NORVA\\TARVEX\\Scripts"}));
  EXPECT_EQ(s.QvMsgLines, (std::vector<String>{u"$qvmsg 100 \"Fax line 1 out of service\"",
                                               u"$qvmsg 200 \"Nightly maintenance 02:00-02:30\""}));
  EXPECT_EQ(s.DisplayBoxes[0], (TaggedText{u"Waiting", 0}));
  EXPECT_EQ(s.DisplayBoxes[10], (TaggedText{u"Held for approval", 0}));
  EXPECT_EQ(s.DisplayBoxes[17], (TaggedText{u"Archived", 0}));
  EXPECT_EQ(s.DisplayBoxes[2], (TaggedText{u"", -1}));
  // sets and limits
  EXPECT_EQ(s.EmailSecurity, 0x35u);
  EXPECT_EQ(s.ConvertTypes, 371384u);
  EXPECT_EQ(s.PdfLevel, 15);
  EXPECT_EQ(s.LockTries, 30);
  EXPECT_EQ(s.LockDelay, 100);
  EXPECT_EQ(s.ActiveLife, 45);
  EXPECT_TRUE(s.ToSendConstraints);
  EXPECT_FALSE(s.QvActive);
  // queues and speech
  EXPECT_EQ(s.NotifyQueueName, u".\\private$\\velmora_notify");
  EXPECT_EQ(s.NotifyQueueLimit, 7200u);
  EXPECT_EQ(s.PreprocQueueName, u".\\private$\\velmora_preproc");
  EXPECT_EQ(s.PreprocThreads, 4);
  EXPECT_EQ(s.PreprocAltQueueName, u"");
  EXPECT_EQ(s.PreprocWmdcQueueName, u".\\private$\\velmora_wmdc");
  EXPECT_EQ(s.JobLogQueueName, u".\\private$\\velmora_joblog");
  EXPECT_EQ(s.JobLogQueueLimit, 4294967295u);
  EXPECT_EQ(s.JobSummaryQueueName, u".\\private$\\velmora_jobsum");
  EXPECT_EQ(s.TtsDll, u"QVTTS.DLL");
  EXPECT_EQ(s.TtsDllArgument, u"voice=Hazel;rate=0");
  EXPECT_EQ(s.TtsWaveFormat, 49);
  EXPECT_EQ(s.ColorFrames,
            (TaggedList{{u"archived=#808080", 0}, {u"Held=#FFBF00", 0}, {u"Urgent=#FF0000", 1}}));
  const MsmqTable preproc = {7, 5, 5, 5, 3, 2, 1, 5, 0, 0, 0, 0, 0, 0, 0, 0};
  const MsmqTable notify = {7, 6, 5, 4, 3, 2, 1, 0, 0, 0, -1, -1, -1, 0, 0, 0};
  const MsmqTable fs = {7, 6, 0, 4, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const MsmqTable altproc = {7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(s.MsmqPriorities[0], preproc);
  EXPECT_EQ(s.MsmqPriorities[1], altproc);
  EXPECT_EQ(s.MsmqPriorities[2], notify);
  EXPECT_EQ(s.MsmqPriorities[3], fs);
  EXPECT_EQ(s.AdConnect,
            (std::vector<String>{u"*", u"ldap://dc1.harbourside.example", u"OU=Staff,DC=harbourside,DC=example",
                                 u"svc-velmora", u"p@ss word", u"AD", u"telephoneNumber", u"4", u"+44"}));
  // derived
  EXPECT_EQ(s.RequestDirNumbers.size(), 12u);
  EXPECT_EQ(s.SendOrder.size(), 13u);
  EXPECT_EQ(s.TraceDir, kArea);
  EXPECT_EQ(s.MacroTable[17], u"\\\\FILESRV\\NORVA\\TARVEX\\REQUESTS");
  EXPECT_EQ(s.MacroTable[18], u"U:\\USERJOBS");
  EXPECT_EQ(s.MacroTable[7], u"");
  EXPECT_EQ(s.MacroTable[23], u"\\\\FILESRV\\NORVA\\TARVEX\\SCRIPTS");
}

TEST_F(SiteConfigTest, JsonOfTheLoadedRecord) {
  ASSERT_EQ(LoadConfig(text_), 0);
  const std::string json = SettingsToJson(S());
  auto has = [&](const std::string& member) {
    EXPECT_NE(json.find(member), std::string::npos) << member;
  };
  ASSERT_EQ(json.front(), '{');
  ASSERT_EQ(json.substr(json.size() - 2), "}\n");
  has("\"LastLoadError\": 0,");
  has("\"AppDataDir\": \"\\\\\\\\FILESRV\\\\NORVA\\\\TARVEX\\\\\",");
  has("\"RequestDirCount\": 12,");
  has("\"ConvertTypes\": 371384,");
  has("\"ForcePortrait\": true,");
  has("\"OmaWarning\": false,");
  has("\"TaskEyeSkip\": [\"TEMP\", \"Old Jobs\", \"ARCHIVE\"],");
  has("\"EmailNodeBindNames\": [\"N1=10.20.0.11\", \"N2=10.20.0.12\"],");
  has("\"TraceIndexes\": [{\"text\": \"N1\", \"tag\": 1}, {\"text\": \"N2\", \"tag\": 2}, {\"text\": \"N3\", \"tag\": 3}],");
  has("\"MsmqPriorities\": {\"preproc\": [7, 5, 5, 5, 3, 2, 1, 5, 0, 0, 0, 0, 0, 0, 0, 0], ");
  has("\"EmailFrom\": \"Fax Service <fax@harbourside.example>, \\\"Ops; Night\\\" <ops@harbourside.example>\",");
  has("\"ScriptLocnTop\": [\"$script_locn \\\\\\\\FILESRV\\\\NORVA\\\\TARVEX\\\\SiteScripts top\", "
      "\"$script_locn \\\\\\\\FILESRV\\\\Shared\\\\Scripts\\tTOP\"],");
  has("\"NotifyQueueLimit\": 7200,");
  has("\"JobLogQueueLimit\": 4294967295,");
  has("\"MacroChar1\": \"@\",");
  has("\"DriveMapFrom\": [\"T\", \"S\", \"A\"],");
  has("\"FileEncodings\": {\"Active\": \"UTF-8\", \"CFGfile\": \"UTF-8\", \"USRfile\": \"UTF-16LE\"");
  // 32 macro table entries.
  const std::size_t at = json.find("\"MacroTable\": [");
  ASSERT_NE(at, std::string::npos);
  const std::string table = json.substr(at, json.find(']', at) - at);
  EXPECT_EQ(std::count(table.begin(), table.end(), ','), 31);
}

TEST(SettingsJson, EscapesControlAndQuoteCharacters) {
  SuiteSettings s;
  s.LastLoadMessage = u"a\"b\\c\r\n\x01\u00E9";
  const std::string json = SettingsToJson(s);
  EXPECT_NE(json.find("\"LastLoadMessage\": \"a\\\"b\\\\c\\r\\n\\u0001\xC3\xA9\","), std::string::npos);
  EXPECT_NE(json.find("\"TaskEyeSkip\": [\"TEMP\"],"), std::string::npos);
}

}  // namespace
}  // namespace qv::testing_settings
