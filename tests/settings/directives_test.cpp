// The directives of TARVEX.CFG and the record fields they fill.
#include <functional>

#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

struct DirectiveCase {
  const char* name;
  std::string config;
  std::function<void(const SuiteSettings&)> check;
};

void RunCases(const std::function<std::int32_t(const std::string&)>& load, const std::vector<DirectiveCase>& cases) {
  for (const DirectiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSuiteSettingsForTests();
    ASSERT_EQ(load(c.config), 0);
    c.check(Settings());
  }
}

class DirectiveTest : public SettingsTest {
 protected:
  void Run(const std::vector<DirectiveCase>& cases) {
    RunCases([this](const std::string& text) { return LoadConfig(text); }, cases);
  }
};

TEST_F(DirectiveTest, UnicodeSlots) {
  using K = FileKind;
  using E = FileEncoding;
  Run({
      {"defaults", "",
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.FileEncodings[K::Active], E::Ansi);
         EXPECT_EQ(s.FileEncodings[K::Extra], E::Utf8);
       }},
      {"single kinds",
       Lines({"$unicode CFGfile UTF8", "$unicode ujpfile unicode", "$unicode GCTfile UTF16",
              "$unicode MBXfile ASCII", "$unicode FSfile Klingon", "$unicode Tracefile UTF8"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.FileEncodings[K::ConfigFile], E::Utf8);
         EXPECT_EQ(s.FileEncodings[K::UserProfile], E::Utf16LE);
         EXPECT_EQ(s.FileEncodings[K::Gct], E::Utf8);  // UTF-16 stands for UTF-8 here
         EXPECT_EQ(s.FileEncodings[K::Mbx], E::Ascii);
         EXPECT_EQ(s.FileEncodings[K::Fs], E::Ansi);
       }},
      {"groups", Lines({"$unicode All Unicode", "$unicode AllEmailFiles Default", "$unicode jobextract utf8"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.FileEncodings[K::Active], E::Utf16LE);
         EXPECT_EQ(s.FileEncodings[K::Mcf], E::Utf16LE);
         EXPECT_EQ(s.FileEncodings[K::Gct], E::Utf8);
         EXPECT_EQ(s.FileEncodings[K::Extra], E::Utf8);
         EXPECT_EQ(s.FileEncodings[K::JobHistory], E::Utf16LE);
         EXPECT_EQ(s.FileEncodings[K::JobExtract], E::Utf8);
         EXPECT_EQ(s.FileEncodings[K::EmailBody], E::Ansi);
         EXPECT_EQ(s.FileEncodings[K::EmailRecipList], E::Ansi);
       }},
  });
}

TEST_F(DirectiveTest, FirstLineDirectives) {
  Run({
      {"retry and IP mode", Lines({"$retry_parms * \"3, 10\"", "$email_settings a b c d ipv6all"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.RetryParms, u"3, 10");
         EXPECT_EQ(s.EmailIpMode, 2);
       }},
      {"retry for one node is ignored", Lines({"$retry_parms N1 5", "$email_settings a b c d IPv6"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.RetryParms, u"");
         EXPECT_EQ(s.EmailIpMode, 1);
       }},
      {"country", Lines({"$country_prefix \"+44\"", "$country_code 44 dbok"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.CountryPrefix, u"+44");
         EXPECT_EQ(s.CountryCode, 44);
         EXPECT_TRUE(s.CountryDbOk);
       }},
      {"lock tries and active life", Lines({"$lock_tries \"\" 75", "$active_life 99 qvactive"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.LockTries, 20);
         EXPECT_EQ(s.LockDelay, 75);
         EXPECT_EQ(s.ActiveLife, 60);
         EXPECT_TRUE(s.QvActive);
         EXPECT_FALSE(s.ToSendConstraints);
       }},
      {"active life lower limit", Lines({"$active_life 1 TOSEND_CONSTRAINTS"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ActiveLife, 5);
         EXPECT_TRUE(s.ToSendConstraints);
       }},
  });
}

TEST_F(DirectiveTest, ImageOptionsAndBindNames) {
  Run({
      {"image options by index",
       Lines({"$image_options 0 first", "$image_options 9 \"last one\"", "$image_options 10 no",
              "$image_options x no", "$image_options 0 again"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ImageOptions[0], u"again");
         EXPECT_EQ(s.ImageOptions[9], u"last one");
         EXPECT_EQ(s.ImageOptions[5], u"");
       }},
      {"bind names", Lines({"$email_node_bindnames N1 [10.0.0.1]", "$email_node_bindnames * [x]",
                            "$email_node_bindnames N1 b2"}),
       [](const SuiteSettings& s) {
         ASSERT_EQ(s.EmailNodeBindNames.Size(), 2u);
         EXPECT_EQ(s.EmailNodeBindNames.Text(0), u"N1=10.0.0.1");
         EXPECT_EQ(s.EmailNodeBindNames.Text(1), u"N1=b2");
       }},
  });
}

TEST_F(DirectiveTest, VariablesAndLists) {
  Run({
      {"var_def lists", Lines({"$var_def A 1", "$var_def b 2", "$var_def a \"\"", "$var_def C 3"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.VarDefNames, (std::vector<String>{u"A", u"b", u"a", u"C"}));
         EXPECT_EQ(s.VarDefValues, (std::vector<String>{u"1", u"2", u"", u"3"}));
         ASSERT_EQ(s.VarDefPairs.Size(), 2u);
         EXPECT_EQ(s.VarDefPairs.Text(0), u"b=2");
         EXPECT_EQ(s.VarDefPairs.Text(1), u"C=3");
       }},
      {"channel commands yes", Lines({"$var_def USE_CHANNEL_COMMANDS yes"}),
       [](const SuiteSettings& s) { EXPECT_TRUE(s.UseChannelCommands); }},
      {"channel commands No", Lines({"$var_def USE_CHANNEL_COMMANDS Nope"}),
       [](const SuiteSettings& s) { EXPECT_FALSE(s.UseChannelCommands); }},
      {"script locations",
       Lines({"$script_locn \\\\SRV\\S1 top", "$image_locn \\\\SRV\\IMG top", "$script_locn \\\\SRV\\S2\tTOP  ",
              "$script_locn \\\\SRV\\S3", "$script_locn \\\\SRV\\laptop"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ScriptLocnTop,
                   (std::vector<String>{u"$script_locn \\\\SRV\\S1 top", u"$script_locn \\\\SRV\\S2\tTOP  "}));
         EXPECT_EQ(s.ScriptLocnOther,
                   (std::vector<String>{u"$script_locn \\\\SRV\\S3", u"$script_locn \\\\SRV\\laptop"}));
       }},
      {"qvmsg lines as written", Lines({"$qvmsg  one  two ; c", "$QVMSG three"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.QvMsgLines, (std::vector<String>{u"$qvmsg  one  two ; c", u"$QVMSG three"}));
       }},
  });
}

TEST_F(DirectiveTest, DisplayBoxesByHexadecimalIndex) {
  Run({
      {"hex indexes",
       Lines({"$display_box 0 zero", "$display_box A ten", "$display_box 11 \"seventeen x\"",
              "$display_box 12 ignored", "$display_box -1 ignored", "$display_box q ignored"}),
       [](const SuiteSettings& s) {
         ASSERT_EQ(s.DisplayBoxes.size(), 18u);
         EXPECT_EQ(s.DisplayBoxes[0], (TaggedText{u"zero", 0}));
         EXPECT_EQ(s.DisplayBoxes[10], (TaggedText{u"ten", 0}));
         EXPECT_EQ(s.DisplayBoxes[17], (TaggedText{u"seventeen x", 0}));
         int configured = 0;
         for (const TaggedText& t : s.DisplayBoxes) configured += t.tag == 0;
         EXPECT_EQ(configured, 3);
         EXPECT_EQ(s.DisplayBoxes[12], (TaggedText{u"", -1}));
       }},
      {"none configured", "",
       [](const SuiteSettings& s) {
         ASSERT_EQ(s.DisplayBoxes.size(), 18u);
         EXPECT_EQ(s.DisplayBoxes[5], (TaggedText{u"", -1}));
       }},
  });
}

TEST_F(DirectiveTest, ValueVariables) {
  Run({
      {"defaults", "",
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.TemplateDllBufferSize, 2048);
         EXPECT_EQ(s.JobDllLockOptions, 127u);
         EXPECT_EQ(s.LibreTimeout, 60);
         EXPECT_EQ(s.ForceTabExt, u".");
         EXPECT_TRUE(s.OmaWarning);
       }},
      {"values",
       Lines({"$var_def DNS_MAIL_PATH \\\\SRV\\dns", "$var_def TEMPLATE_DLL_BUFFER_SIZE 100",
              "$var_def JOB_DLL_LOCK_OPTIONS 0100", "$var_def FS_2B 1", "$var_def UTF8LISTS_ADDBOM y",
              "$var_def FORCE_TAB \" txt \"", "$var_def LIBRE_TIMEOUT $20", "$var_def OMA_WARNING NONE",
              "$var_def VSP01_USERNAME u1", "$var_def VSP01_PASSWORD \"p w\""}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.DnsMailPath, u"\\\\SRV\\dns");
         EXPECT_EQ(s.TemplateDllBufferSize, 256);
         // 0100 padded to 0100111: bits 2, 5, 6, 7 of the positions 1..7.
         EXPECT_EQ(s.JobDllLockOptions, 2u | 16u | 32u | 64u);
         EXPECT_TRUE(s.Fs2b);
         EXPECT_TRUE(s.Utf8ListsAddBom);
         EXPECT_FALSE(s.V7Html);
         EXPECT_EQ(s.ForceTabExt, u"txt.");
         EXPECT_EQ(s.LibreTimeout, 32);
         EXPECT_FALSE(s.OmaWarning);
         EXPECT_EQ(s.Vsp01UserName, u"u1");
         EXPECT_EQ(s.Vsp01Password, u"p w");
       }},
  });
}

TEST_F(DirectiveTest, EmailSecurityAndConvertTypes) {
  Run({
      {"security words",
       Lines({"$email_security SMIMESIGN dkim bogus", "$email_security ImplicitTLS \"\" verifydkim",
              "$email_security smimeemcrypt decodesmime"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.EmailSecurity, kEmailSmimeSign | kEmailDkim | kEmailImplicitTls | kEmailSmimeEncrypt |
                                        kEmailDecodeSmime | kEmailVerifyDkim);
       }},
      {"DOCX PDF13 TIF", Lines({"$convert_types DOCX pdf13 TIF"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ConvertTypes, (1u << 15) | (1u << 7) | (1u << 13) | (1u << 18));
         EXPECT_EQ(s.PdfLevel, 13);
       }},
      {"every word",
       Lines({"$convert_types URLHTTP URLFTP URLFILE HTM HTML DOC RTF XLS PPT PDF XML JPG JPEG GIF PNG XIF TIFN "
              "SNP ODT ODS",
              "$convert_types ignored"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ConvertTypes, 0x1FFFBu);  // bits 0, 1 and 3 to 16
         EXPECT_EQ(s.PdfLevel, 0);
       }},
      {"the rest", Lines({"$convert_types PPTX ODP TIFF EMF WMF XLSM XLSX \"\" DOC"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ConvertTypes, (1u << 17) | (1u << 18) | (1u << 19) | (1u << 20) | (1u << 21) | (1u << 16));
       }},
  });
}

TEST_F(DirectiveTest, FolderDirectives) {
  Run({
      {"folders", Lines({"$post_office \\\\srv\\mail", "$certificates @QTBASE\\certs\\", "$scripts d:\\s",
                         "$user_jobs \"\\\\srv\\user jobs\"", "$log_def \\\\srv\\log\\"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.PostOfficeDir, u"\\\\SRV\\MAIL\\");
         EXPECT_EQ(s.CertificatesDir, u"\\\\SRV\\NORVA\\TARVEX\\CERTS\\");
         EXPECT_EQ(s.ScriptsDir, u"D:\\S\\");
         EXPECT_EQ(s.UserJobsDir, u"\\\\SRV\\USER JOBS\\");
         EXPECT_EQ(s.LogDir, u"\\\\SRV\\LOG\\");
       }},
      {"profiles for this node", Lines({"$user_profiles @QTBASE\\users", "$default_profile OTHER other.usr",
                                        "$default_profile * sales.usr", "$default_profile OTHER x.usr"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.UserProfilesDir, u"\\\\SRV\\NORVA\\TARVEX\\USERS\\");
         EXPECT_EQ(s.DefaultProfileFile, u"\\\\SRV\\NORVA\\TARVEX\\USERS\\SALES.USR");
       }},
      {"a last applying profile that is empty", Lines({"$user_profiles d:\\u", "$default_profile * a.usr",
                                                       "$default_profile *"}),
       [](const SuiteSettings& s) { EXPECT_EQ(s.DefaultProfileFile, u"D:\\U\\FAX.USR"); }},
  });
}

TEST_F(DirectiveTest, QueueNamesAndHourLimits) {
  m_.SetRegString(platform::RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"N1");
  Run({
      {"limits",
       Lines({"$notify_qname n1 .\\private$\\notify", "$joblog_qname * joblog 0", "$preproc_qname * pre 40",
              "$preproc_altqname N1 alt -2", "$preproc_wmdcqname * wmdc"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.NotifyQueueName, u".\\private$\\notify");
         EXPECT_EQ(s.NotifyQueueLimit, 4294963696u);
         EXPECT_EQ(s.JobLogQueueName, u"joblog");
         EXPECT_EQ(s.JobLogQueueLimit, 4294967295u);
         EXPECT_EQ(s.PreprocQueueName, u"pre");
         EXPECT_EQ(s.PreprocThreads, 16);
         EXPECT_EQ(s.PreprocAltThreads, 0);
         EXPECT_EQ(s.PreprocWmdcQueueName, u"wmdc");
       }},
      {"hours", Lines({"$notify_qname * nq 2", "$joblog_qname * jq $10"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.NotifyQueueLimit, 7200u);
         EXPECT_EQ(s.JobLogQueueLimit, 57600u);
       }},
      {"another node leaves them", Lines({"$notify_qname N2 nq 2"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.NotifyQueueName, u"");
         EXPECT_EQ(s.NotifyQueueLimit, 0u);
       }},
      {"task-eye queue stands in", Lines({"$taskeye_qname N1 teq"}),
       [](const SuiteSettings& s) { EXPECT_EQ(s.JobSummaryQueueName, u"teq"); }},
      {"job summary queue wins", Lines({"$taskeye_qname * teq", "$jobsum_qname N2 jsq"}),
       [](const SuiteSettings& s) { EXPECT_EQ(s.JobSummaryQueueName, u""); }},
      {"speech", Lines({"$tts_dll * tts.dll \"arg 1\" wavmulaw11"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.TtsDll, u"tts.dll");
         EXPECT_EQ(s.TtsDllArgument, u"arg 1");
         EXPECT_EQ(s.TtsWaveFormat, 51);
       }},
      {"unknown wave format", Lines({"$tts_dll * tts.dll a WAVMP3"}),
       [](const SuiteSettings& s) { EXPECT_EQ(s.TtsWaveFormat, 6); }},
  });
}

TEST_F(DirectiveTest, FixUnicode) {
  Run({
      {"default triples", "",
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.UnicodeFixFrom, (std::vector<std::int32_t>{0xFF5E, 0x301C, 0xFF0D}));
         EXPECT_EQ(s.UnicodeFixCodePage, (std::vector<std::int32_t>{50220, 932, 50220}));
         EXPECT_EQ(s.UnicodeFixTo, (std::vector<std::int32_t>{0x301C, 0xFF5E, 0x002D}));
       }},
      {"four items", Lines({"$var_def FIX_UNICODE \"FF5E,50220,301C,1\""}),
       [](const SuiteSettings& s) {
         EXPECT_TRUE(s.UnicodeFixFrom.empty());
         EXPECT_TRUE(s.UnicodeFixCodePage.empty());
         EXPECT_TRUE(s.UnicodeFixTo.empty());
       }},
      {"disabled triples", Lines({"$var_def FIX_UNICODE \"2015, 0,2014, 2016,932,zz, 00A5,932,005C\""}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.UnicodeFixFrom, (std::vector<std::int32_t>{0, 0, 0xA5}));
         EXPECT_EQ(s.UnicodeFixCodePage, (std::vector<std::int32_t>{0, 932, 932}));
         EXPECT_EQ(s.UnicodeFixTo, (std::vector<std::int32_t>{0x2014, 0, 0x5C}));
       }},
  });
}

TEST_F(DirectiveTest, ColorFramesSorted) {
  Run({{"sorted, tagged, duplicates once",
        Lines({"$colorframe red \"#FF0000\" all", "$colorframe Blue #0000FF", "$colorframe red \"#FF0000\"",
               "$colorframe amber #FFBF00 ALL"}),
        [](const SuiteSettings& s) {
          EXPECT_EQ(s.ColorFrames, (TaggedList{{u"amber=#FFBF00", 1}, {u"Blue=#0000FF", 0}, {u"red=#FF0000", 1}}));
        }}});
}

TEST_F(DirectiveTest, MsmqPriorityRanges) {
  Run({
      {"reset values", "",
       [](const SuiteSettings& s) {
         for (const MsmqTable& t : s.MsmqPriorities) {
           EXPECT_EQ(t[0], 7);
           EXPECT_EQ(t[6], 1);
           EXPECT_EQ(t[7], 0);
           EXPECT_EQ(t[15], 0);
         }
       }},
      {"ranges",
       Lines({"$msmq_pri notify 3 \"2-4,9\"", "$msmq_pri FS X 1-99", "$msmq_pri preproc 8 1-3",
              "$msmq_pri altproc 5 \" 0 - 2 , 12, -3, x\"", "$msmq_pri mail 1 1", "$msmq_pri preproc 12 1"}),
       [](const SuiteSettings& s) {
         const MsmqTable& notify = s.MsmqPriorities[static_cast<std::size_t>(MsmqQueue::Notify)];
         const MsmqTable expectedNotify = {7, 6, 3, 3, 3, 2, 1, 0, 0, 3, 0, 0, 0, 0, 0, 0};
         EXPECT_EQ(notify, expectedNotify);
         const MsmqTable& fs = s.MsmqPriorities[static_cast<std::size_t>(MsmqQueue::Fs)];
         const MsmqTable expectedFs = {7, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0};
         EXPECT_EQ(fs, expectedFs);
         const MsmqTable& pre = s.MsmqPriorities[static_cast<std::size_t>(MsmqQueue::Preproc)];
         EXPECT_EQ(pre[1], 6);
         // 0-2 starts at 1; 12 alone ends at the request folder count 9,
         // below its start, so it sets nothing.
         const MsmqTable& alt = s.MsmqPriorities[static_cast<std::size_t>(MsmqQueue::Altproc)];
         const MsmqTable expectedAlt = {7, 5, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
         EXPECT_EQ(alt, expectedAlt);
       }},
      {"fifteen request folders", Lines({"$request_dir d:\\r 15", "$msmq_pri notify 2 14-40"}),
       [](const SuiteSettings& s) {
         const MsmqTable& notify = s.MsmqPriorities[static_cast<std::size_t>(MsmqQueue::Notify)];
         EXPECT_EQ(notify[13], 0);
         EXPECT_EQ(notify[14], 2);
         EXPECT_EQ(notify[15], 2);
       }},
  });
}

TEST_F(DirectiveTest, AdConnectAndDnisScan) {
  m_.SetRegString(platform::RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"N1");
  Run({
      {"first applying line, padded, with the ad scan",
       Lines({"$ad_connect N2 other", "$ad_connect n1 ldap://dc \"cn=x\"", "$ad_connect * late",
              "$dnis_scan xx 1 2", "$dnis_scan AD 3 4 5 6"}),
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.AdConnect, (std::vector<String>{u"n1", u"ldap://dc", u"cn=x", u"", u"", u"AD", u"3", u"4",
                                                     u"5"}));
         EXPECT_TRUE(s.AdConnectSeen);
         EXPECT_EQ(s.EnvironmentOptions.Value(u"ADP_PROPERTIES"), u"cn,name,facsimileTelephoneNumber,mail");
       }},
      {"no applying line", Lines({"$ad_connect N2 other", "$dnis_scan ad 1"}),
       [](const SuiteSettings& s) {
         EXPECT_TRUE(s.AdConnect.empty());
         EXPECT_TRUE(s.AdConnectSeen);
       }},
      {"configured properties stay", Lines({"$ad_connect * x", "$environment * ADP_PROPERTIES cn"}),
       [](const SuiteSettings& s) { EXPECT_EQ(s.EnvironmentOptions.Value(u"ADP_PROPERTIES"), u"cn"); }},
      {"no ad_connect line", "",
       [](const SuiteSettings& s) {
         EXPECT_FALSE(s.AdConnectSeen);
         EXPECT_FALSE(s.EnvironmentOptions.Contains(u"ADP_PROPERTIES"));
       }},
  });
}

}  // namespace
}  // namespace qv::testing_settings
