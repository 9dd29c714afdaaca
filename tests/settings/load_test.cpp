// LoadSuiteSettings: binding QV9REG, the location outputs, failure codes and
// their dialog, the reload rules.
#include <atomic>
#include <future>
#include <thread>

#include "settings/suite_settings.h"
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

using platform::MemoryMachine;
using platform::RootKey;

const String kCfgPath = u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";

TEST_F(SettingsTest, GoodLoadStoresTheLocationWithTrailingDelimiters) {
  fake_.tarvex = u"\\\\SRV\\NORVA\\TARVEX";  // without delimiter: the reader adds it
  fake_.server = u"D:\\NORVA";
  fake_.serverMatch = 1;
  ASSERT_EQ(LoadConfig(Lines({"$country_prefix 44"})), 0);

  EXPECT_EQ(S().AppDataDir, u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(S().AppDataDirAsLoaded, S().AppDataDir);
  EXPECT_EQ(S().ServerDir, u"D:\\NORVA\\");
  EXPECT_EQ(S().ConfigFile, kCfgPath);
  EXPECT_EQ(S().SuiteIniFile, fake_.suiteIni);
  EXPECT_EQ(S().NetBinDir, u"\\\\SRV\\NORVA\\NETBIN\\");
  EXPECT_EQ(S().ShareRoot, u"\\\\SRV\\NORVA\\");
  EXPECT_EQ(S().ServerDirIsExpected, 1);
  EXPECT_EQ(S().LibraryFlag, 0);
  EXPECT_EQ(S().CountryPrefix, u"44");
  EXPECT_EQ(S().LastLoadError, 0);
  EXPECT_EQ(GetLastLoadError(), 0);
  EXPECT_EQ(S().ProgramDir, u"C:\\Program Files (x86)\\NORVA\\");
  EXPECT_EQ(S().ConfigFileTime, *m_.LastWriteTime(kCfgPath));

  // The library was asked once, quietly, with the reader's version, and
  // unloaded again.
  EXPECT_EQ(fake_.getCfgCalls, 1);
  EXPECT_EQ(fake_.versionArgument, 3);
  EXPECT_EQ(fake_.noDialog, 1);
  EXPECT_NE(fake_.module, nullptr);
  EXPECT_EQ(m_.LibraryRefCount(u"QV9REG.DLL"), 0u);
  EXPECT_EQ(m_.ErrorMode(), 0x8001u);
}

TEST_F(SettingsTest, EmptyLocationBuffersBecomeSingleDelimiters) {
  fake_.netBin.clear();
  fake_.shareRoot.clear();
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().NetBinDir, u"\\");
  EXPECT_EQ(S().ShareRoot, u"\\");
  EXPECT_EQ(S().ServerDir, u"");  // an empty report leaves it unchanged
}

TEST_F(SettingsTest, KnownSuiteIniPathIsHandedBackToTheLibrary) {
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(fake_.iniOnEntry, u"");
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(fake_.iniOnEntry, fake_.suiteIni);
}

struct FailureCase {
  const char* name;
  bool registered, withGetCfg, withRegVer;
  std::int32_t version, libraryResult;
  String libraryMessage;
  bool noConfigFile;
  std::int32_t code;
  String message;
};

TEST_F(SettingsTest, EveryFailureCodeWithItsMessage) {
  const String notFound = *resources::ConnectText(20192);
  const FailureCase cases[] = {
      {"no library", false, true, true, 3, 0, u"", false, -20192, notFound},
      {"no QVGETCFG", true, false, true, 3, 0, u"", false, -20192, notFound},
      {"version 4", true, true, true, 4, 0, u"", false, -20196,
       u"QV9REG.DLL interface version mismatch: expected 3, found 4"},
      {"no QVREGVER", true, true, false, 3, 0, u"", false, -20196,
       u"QV9REG.DLL interface version mismatch: expected 3, found 0"},
      {"QVGETCFG failure", true, true, true, 3, -948, u"Mismatch <B>x</B>", false, -948, u"Mismatch <B>x</B>"},
      {"no config file name", true, true, true, 3, 0, u"", true, -20193,
       u"Internal error: failed to find configuration filename."},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryMachine m;
    platform::ScopedPlatform use(m);
    std::map<std::uint32_t, String> strings;
    for (const auto& e : resources::ConnectTable()) strings[e.id] = String(e.text);
    m.SetProgramStrings(strings);
    ResetSuiteSettingsForTests();
    FakeLocation fake;
    fake.version = c.version;
    fake.result = c.libraryResult;
    fake.message = c.libraryMessage;
    if (c.noConfigFile) fake.configFile.clear();
    g_fake = &fake;
    if (c.registered) {
      std::map<std::string, void*> exports;
      if (c.withGetCfg) exports["QVGETCFG"] = reinterpret_cast<void*>(&FakeQvGetCfg);
      if (c.withRegVer) exports["QVREGVER"] = reinterpret_cast<void*>(&FakeQvRegVer);
      m.RegisterLibrary(u"QV9REG.DLL", exports);
    }

    EXPECT_EQ(LoadSuiteSettings(true, true, true), c.code);
    EXPECT_EQ(S().LastLoadError, c.code);
    EXPECT_EQ(GetLastLoadError(), c.code);
    EXPECT_EQ(S().LastLoadMessage, c.message);
    EXPECT_EQ(m.LibraryRefCount(u"QV9REG.DLL"), 0u);
    EXPECT_TRUE(m.MessageBoxes().empty());
    EXPECT_FALSE(m.ExitCode().has_value());
    // A failed load fills no derived folders.
    EXPECT_EQ(S().RequestDir, u"");
    EXPECT_FALSE(S().MacroTableBuilt);
    g_fake = &fake_;
  }
}

TEST_F(SettingsTest, DialogPathShowsTheMessageAndEndsTheProcess) {
  struct Case {
    const char* seconds;  // message 20195
    int expected;
  };
  for (const Case& c : {Case{"20", 20}, Case{"7", 7}, Case{"soon", 20}}) {
    SCOPED_TRACE(c.seconds);
    MemoryMachine m;
    platform::ScopedPlatform use(m);
    std::map<std::uint32_t, String> strings;
    for (const auto& e : resources::ConnectTable()) strings[e.id] = String(e.text);
    strings[20195] = U(c.seconds);
    m.SetProgramStrings(strings);
    ResetSuiteSettingsForTests();

    try {
      LoadSuiteSettings(true, true, false);
      ADD_FAILURE() << "the load returned";
    } catch (const platform::ProcessExit& e) {
      EXPECT_EQ(e.exitCode, 1u);
    }
    // Terminated, not exited: no library's shutdown code runs under the lock.
    EXPECT_EQ(m.Count("TerminateProcess"), 1u);
    EXPECT_EQ(m.Count("ExitProcess"), 0u);
    const String notice = Format(u"(This dialog will close after %d seconds; or when you click OK)", c.expected);
    EXPECT_EQ(S().ErrorDialogSeconds, c.expected);
    EXPECT_EQ(S().ErrorDialogNotice, notice);
    const auto boxes = m.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Velmora Configuration Error");
    EXPECT_EQ(boxes[0].text, *resources::ConnectText(20192) + u"\r\r" + notice);
    EXPECT_EQ(boxes[0].style, platform::kMbOk);
    for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The lock was released on the way out: another thread can read.
  auto reader = std::async(std::launch::async, [] { return GetLastLoadError(); });
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(reader.get(), -20192);
}

TEST_F(SettingsTest, LibraryFailureInDialogModeIsLeftToTheLibrary) {
  // The library shows its own dialog when it is not asked to be quiet; a
  // failure it nevertheless returns still ends the process here.
  RegisterLocator();
  fake_.result = -943;
  fake_.message = u"There is no valid file";
  EXPECT_THROW(LoadSuiteSettings(true, true, false), platform::ProcessExit);
  EXPECT_EQ(fake_.noDialog, 0);
  EXPECT_EQ(m_.ExitCode(), 1u);
  EXPECT_EQ(m_.Count("ExitProcess"), 0u);
}

TEST_F(SettingsTest, PlainNameFirstThenProgramFolderThenPreviousLibrary) {
  // Only the program folder has it: the plain-name attempt fails first.
  RegisterLocator();
  WriteConfig("");
  m_.InjectFailure("LoadLibraryW", 1, platform::kErrModNotFound, u"QV9REG.DLL");
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(m_.Count("LoadLibraryW", u"QV9REG.DLL"), 1u);
  EXPECT_EQ(m_.Count("LoadLibraryW", u"C:\\Program Files (x86)\\NORVA\\QV9REG.DLL"), 1u);
}

TEST_F(SettingsTest, PreviousLibraryOnlyWhenAllowed) {
  RegisterLocator(true, true, u"QV8REG.DLL");
  WriteConfig("");
  EXPECT_EQ(LoadSuiteSettings(true, true, true), -20192);
  EXPECT_EQ(m_.Count("LoadLibraryW", u"QV8REG.DLL"), 0u);

  S().AllowPreviousLibrary = true;
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(m_.LibraryRefCount(u"QV8REG.DLL"), 0u);
  EXPECT_EQ(S().ConfigFile, kCfgPath);
}

TEST_F(SettingsTest, RereadFalseOnALoadedRecordChangesNothing) {
  ASSERT_EQ(LoadConfig(Lines({"$country_prefix 44"})), 0);
  WriteConfig(Lines({"$country_prefix 33"}));
  m_.ResetCounts();
  EXPECT_EQ(LoadSuiteSettings(false, true, true), 0);
  EXPECT_EQ(m_.Count("LoadLibraryW"), 0u);
  EXPECT_EQ(S().CountryPrefix, u"44");
}

TEST_F(SettingsTest, UnchangedFileIsNotReloadedWithoutForce) {
  ASSERT_EQ(LoadConfig(Lines({"$country_prefix 44"})), 0);
  m_.ResetCounts();
  EXPECT_EQ(LoadSuiteSettings(true, false, true), 0);
  EXPECT_EQ(m_.Count("LoadLibraryW"), 0u);
  EXPECT_EQ(fake_.getCfgCalls, 1);

  // A new write time reloads.
  WriteConfig(Lines({"$country_prefix 33"}));
  m_.SetLastWriteTime(kCfgPath, *m_.LastWriteTime(kCfgPath) + 10000000);
  EXPECT_EQ(LoadSuiteSettings(true, false, true), 0);
  EXPECT_EQ(fake_.getCfgCalls, 2);
  EXPECT_EQ(S().CountryPrefix, u"33");
}

TEST_F(SettingsTest, NotLoadedRecordLoadsWhateverRereadSays) {
  RegisterLocator();
  WriteConfig("");
  EXPECT_EQ(LoadSuiteSettings(false, false, true), 0);
  EXPECT_EQ(fake_.getCfgCalls, 1);
}

TEST_F(SettingsTest, QuietFailureAfterAGoodLoadClearsOnlyTheReloadFields) {
  ASSERT_EQ(LoadConfig(Lines({"$log_def \\\\SRV\\LOGS", "$retry_parms * 3,10"})), 0);
  fake_.version = 4;
  EXPECT_EQ(LoadSuiteSettings(true, true, true), -20196);
  EXPECT_EQ(S().AppDataDir, u"");
  EXPECT_EQ(S().ConfigFile, u"");
  EXPECT_EQ(S().RequestDir, u"");
  EXPECT_EQ(S().ShareRoot, u"\\\\SRV\\NORVA\\");
  EXPECT_EQ(S().NetBinDir, u"\\\\SRV\\NORVA\\NETBIN\\");
  EXPECT_EQ(S().LogDir, u"\\\\SRV\\LOGS\\");
  EXPECT_EQ(S().RetryParms, u"3,10");
}

TEST_F(SettingsTest, ReloadKeepsAssignsEmptiesAndAddsTo) {
  ASSERT_EQ(LoadConfig(Lines({
                "$retry_parms * 5",
                "$lock_tries 7 80",
                "$notify_qname * NQ 2",
                "$country_prefix 44",
                "$company_name Acme",
                "$email_node_bindnames N1 [bind1]",
                "$var_def A 1",
                "$qvmsg hello",
                "$convert_types DOC",
                "$email_security dkim",
                "$ad_connect * ldap://x",
                "$request_dir \\\\SRV\\REQ 12",
            })),
            0);
  ASSERT_EQ(S().RequestDirCount, 12);
  ASSERT_EQ(LoadConfig(Lines({"$convert_types XLS", "$email_security smimesign"})), 0);
  const SuiteSettings& s = S();
  // kept
  EXPECT_EQ(s.RetryParms, u"5");
  EXPECT_EQ(s.LockTries, 7);
  EXPECT_EQ(s.LockDelay, 80);
  EXPECT_EQ(s.NotifyQueueName, u"NQ");
  EXPECT_EQ(s.NotifyQueueLimit, 7200u);
  // assigned
  EXPECT_EQ(s.CountryPrefix, u"");
  EXPECT_EQ(s.ConfiguredCompanyName, u"");
  // emptied
  EXPECT_TRUE(s.EmailNodeBindNames.Empty());
  EXPECT_TRUE(s.VarDefNames.empty());
  EXPECT_TRUE(s.QvMsgLines.empty());
  EXPECT_TRUE(s.AdConnect.empty());
  EXPECT_EQ(s.RequestDirCount, 9);
  EXPECT_EQ(s.RequestDir, u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\");
  // added to
  EXPECT_EQ(s.ConvertTypes, (1u << 4) | (1u << 5));
  EXPECT_EQ(s.EmailSecurity, kEmailDkim | kEmailSmimeSign);
  EXPECT_TRUE(s.AdConnectSeen);
}

TEST_F(SettingsTest, NodeNameHive) {
  struct Case {
    const char* name;
    std::uint32_t major;
    bool forceService, machineHive;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"interactive on Windows 10", 10, false, false, u"USERNODE"},
      {"interactive on Windows 5", 5, false, false, u"MACHINENODE"},
      {"suite service", 10, true, false, u"MACHINENODE"},
      {"host asks for the machine hive", 10, false, true, u"MACHINENODE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetServiceIdentityForTests();
    m_.SetRegString(RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"USERNODE");
    m_.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\Engine", u"Nodename", u"MACHINENODE");
    platform::OsVersion v;
    v.major = c.major;
    m_.SetOsVersion(v);
    m_.SetEnvironmentVariable(u"QV_FORCE_SERVICE", c.forceService ? std::optional<String>(u"1") : std::nullopt);
    S().UseMachineHive = c.machineHive;
    ASSERT_EQ(LoadConfig(""), 0);
    EXPECT_EQ(S().NodeName, c.expected);
  }
}

TEST_F(SettingsTest, OwnerOrganisationAndTheSuiteIni) {
  const String nt = u"SOFTWARE\\MICROSOFT\\Windows NT\\CurrentVersion";
  m_.SetRegString(RootKey::LocalMachine, nt, u"RegisteredOwner", u"Owner");
  m_.SetRegString(RootKey::LocalMachine, nt, u"RegisteredOrganization", u"Org");

  // No INI file: the user fields stay as they were.
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_EQ(S().RegisteredOwner, u"Owner");
  EXPECT_EQ(S().RegisteredOrganization, u"Org");
  EXPECT_EQ(S().UserName, u"");

  // An INI without [TarvexUser]: the registered names.
  m_.WriteTextFile(fake_.suiteIni, "[Other]\r\nUserName=x\r\n");
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().UserName, u"Owner");
  EXPECT_EQ(S().CompanyName, u"Org");
  EXPECT_EQ(S().UserDir, u"\\\\SRV\\NORVA\\TARVEX\\Owner\\");

  m_.WriteTextFile(fake_.suiteIni, "[TarvexUser]\r\nUserName=Ann\r\nCompanyName=Fax Ltd\r\n");
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().UserName, u"Ann");
  EXPECT_EQ(S().CompanyName, u"Fax Ltd");
  EXPECT_EQ(S().UserDir, u"\\\\SRV\\NORVA\\TARVEX\\Ann\\");
}

TEST_F(SettingsTest, UnopenableConfigurationFileStillGivesTheDefaults) {
  RegisterLocator();
  WriteConfig(Lines({"$request_dir \\\\SRV\\REQ"}));
  m_.InjectFailure("CreateFileW", 0, platform::kErrSharingViolation, kCfgPath);
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().LastLoadError, 0);
  EXPECT_EQ(S().ConfigFile, u"");
  EXPECT_EQ(S().RequestDir, u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK\\");
  EXPECT_EQ(S().LogDir, u"\\\\SRV\\NORVA\\TARVEX\\LOG\\");
  EXPECT_EQ(S().TraceDir, u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_TRUE(S().MacroTableBuilt);
  EXPECT_EQ(S().MacroTable[17], u"\\\\SRV\\NORVA\\TARVEX\\CALLBACK");
  // Not loaded, so the next call loads again.
  m_.ClearFailures();
  EXPECT_EQ(LoadSuiteSettings(false, false, true), 0);
  EXPECT_EQ(S().ConfigFile, kCfgPath);
  EXPECT_EQ(fake_.getCfgCalls, 2);
}

TEST_F(SettingsTest, ReadFailureCountsAsAFileWithoutDirectives) {
  RegisterLocator();
  WriteConfig(Lines({"$country_prefix 44"}));
  m_.InjectFailure("ReadFile", 0, platform::kErrAccessDenied, kCfgPath);
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().ConfigFile, kCfgPath);
  EXPECT_EQ(S().CountryPrefix, u"");
  EXPECT_EQ(m_.OpenFileCount(), 0u);
}

TEST_F(SettingsTest, AFileTooLargeToHoldCountsAsAFileWithoutDirectives) {
  RegisterLocator();
  std::string text = Lines({"$country_prefix 44"});
  text.resize(64 * 1024 * 1024 + 1, ' ');
  WriteConfig(text);
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().ConfigFile, kCfgPath);
  EXPECT_EQ(S().CountryPrefix, u"");
  EXPECT_EQ(m_.OpenFileCount(), 0u);
}

TEST_F(SettingsTest, ConfigFileIsReadWhileWritersAreDenied) {
  RegisterLocator();
  WriteConfig("");
  // Another program has the file open for writing: the reader cannot open it.
  platform::Handle writer = 0;
  ASSERT_EQ(m_.OpenFile(kCfgPath, platform::kGenericWrite, platform::kShareRead | platform::kShareWrite,
                        platform::Disposition::OpenExisting, writer),
            0u);
  EXPECT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(S().ConfigFile, u"");
  m_.CloseHandle(writer);
}

TEST_F(SettingsTest, DriveMappingSwitchFollowsTheAreasDrive) {
  // A network drive: no mapping.
  m_.MapDrive(u'N', u"\\\\SRV\\NORVA");
  fake_.tarvex = u"N:\\TARVEX\\";
  fake_.configFile = u"N:\\TARVEX\\TARVEX.CFG";
  ASSERT_EQ(LoadConfig(""), 0);
  EXPECT_FALSE(S().DriveMapEnabled);

  // A UNC path turns it on, and it stays on.
  fake_.tarvex = u"\\\\SRV\\NORVA\\TARVEX\\";
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_TRUE(S().DriveMapEnabled);
  fake_.tarvex = u"N:\\TARVEX\\";
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_TRUE(S().DriveMapEnabled);
}

TEST_F(SettingsTest, AccessorsReadWhileAnotherThreadWaits) {
  ASSERT_EQ(LoadConfig(Lines({"$request_dir \\\\SRV\\REQ 4"})), 0);
  EXPECT_EQ(GetAppDataDir(), u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(GetRequestDirCount(), 4);
  EXPECT_EQ(GetTraceDir(), u"\\\\SRV\\NORVA\\TARVEX\\");
  // While one thread holds the lock exclusively, a reader on another waits.
  std::unique_lock hold(SettingsLock());
  auto reader = std::async(std::launch::async, [] { return GetRequestDirCount(); });
  EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  hold.unlock();
  EXPECT_EQ(reader.get(), 4);
}

// Readers on other threads while one thread reloads again and again: every
// reader, holding the lock shared, sees one whole record, never the fields
// of one file mixed with those of the other.
TEST_F(SettingsTest, ReadersDuringReloadsSeeOneWholeRecord) {
  const std::string first = Lines({"$request_dir \\\\SRV\\REQ 4"});
  const std::string second = Lines({"$request_dir \\\\SRV\\OTHER 7"});
  // The record each file gives, read once without other threads.
  using Record = std::pair<std::int32_t, String>;
  ASSERT_EQ(LoadConfig(second), 0);
  const Record other{Settings().RequestDirCount, Settings().RequestDir};
  ASSERT_EQ(LoadConfig(first), 0);
  const Record one{Settings().RequestDirCount, Settings().RequestDir};
  ASSERT_NE(one, other);
  std::atomic<bool> done{false};
  std::atomic<int> mixed{0}, reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!done) {
        {
          std::shared_lock lock(SettingsLock());
          const Record seen{Settings().RequestDirCount, Settings().RequestDir};
          if (seen != one && seen != other) ++mixed;
          ++reads;
        }
        // Let the reloading thread get the lock (readers would starve it).
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
    });
  int failures = 0;
  for (int i = 0; i < 20; ++i) {
    WriteConfig(i % 2 ? first : second);
    failures += LoadSuiteSettings(true, true, true) != 0 ? 1 : 0;
  }
  while (reads < 100) std::this_thread::yield();
  done = true;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
}

}  // namespace
}  // namespace qv::testing_settings
