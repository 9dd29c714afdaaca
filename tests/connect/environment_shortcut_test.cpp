// The connect phases that publish the loaded configuration: the machine
// environment variables and the start-menu shortcuts.
#include <gtest/gtest.h>

#include "connect/connect_context.h"
#include "connect/message_dialog.h"
#include "connect/shortcuts.h"
#include "connect/system_environment.h"
#include "platform/memory/memory_machine.h"
#include "settings/suite_settings.h"

using namespace qv;
using namespace qv::connect;
using namespace qv::platform;

namespace {

class Published : public ::testing::Test {
 protected:
  Published() : use_(m_) {
    ResetConnectContext();
    ResetSuiteSettingsForTests();
    Settings().AppDataDir = u"\\\\SRV\\NORVA\\TARVEX\\";
    Settings().AppDataLocalDir.clear();
  }
  ~Published() override { ResetSuiteSettingsForTests(); }
  std::optional<String> Env(const char16_t* name) { return m_.GetRegString(RootKey::LocalMachine, kEnvironmentKey, name); }
  void SetEnv(const char16_t* name, const char16_t* value) { m_.SetRegString(RootKey::LocalMachine, kEnvironmentKey, name, value); }
  MemoryMachine m_;
  ScopedPlatform use_;
};

}  // namespace

TEST_F(Published, SameDirectoryInOtherCaseWritesAndSendsNothing) {
  SetEnv(u"TarvexDir", u"\\\\srv\\norva\\tarvex\\");
  m_.ResetCounts();
  UpdateSystemEnvironment();
  EXPECT_EQ(m_.Count("RegSetValueExW"), 0u);
  EXPECT_EQ(m_.Count("RegDeleteValueW"), 0u);
  EXPECT_TRUE(m_.Broadcasts().empty());
  EXPECT_EQ(*Env(u"TarvexDir"), u"\\\\srv\\norva\\tarvex\\");
}

TEST_F(Published, VariablesFollowTheConfiguration) {
  struct Case {
    const char* what;
    std::optional<String> oldLocal, oldDrive;
    String local;
    std::optional<String> newLocal, newDrive;
    std::size_t broadcasts;  // TarvexDir is new in every case: one broadcast for it
  };
  const Case cases[] = {
      {"stale local values are removed", u"D:\\NORVA\\TARVEX\\", u"D:", u"", std::nullopt, std::nullopt, 2},
      {"no local path and none recorded", std::nullopt, std::nullopt, u"", std::nullopt, std::nullopt, 1},
      {"local path recorded", std::nullopt, std::nullopt, u"C:\\NORVA\\TARVEX\\", u"C:\\NORVA\\TARVEX\\", u"C:", 2},
      {"drive out of step", u"C:\\NORVA\\TARVEX\\", u"D:", u"C:\\NORVA\\TARVEX\\", u"C:\\NORVA\\TARVEX\\", u"C:", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine m;
    ScopedPlatform use(m);
    if (c.oldLocal) m.SetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexLocal", *c.oldLocal);
    if (c.oldDrive) m.SetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexDrive", *c.oldDrive);
    Settings().AppDataLocalDir = c.local;
    UpdateSystemEnvironment();
    EXPECT_EQ(m.GetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexDir"), u"\\\\SRV\\NORVA\\TARVEX\\");
    EXPECT_EQ(m.GetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexLocal"), c.newLocal);
    EXPECT_EQ(m.GetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexDrive"), c.newDrive);
    EXPECT_EQ(m.Broadcasts(), std::vector<String>(c.broadcasts, u"Environment"));
    EXPECT_TRUE(m.Dialogs().empty());
  }
}

TEST_F(Published, UnwritableEnvironmentIsReportedOnlyToAnElevatedProcess) {
  m_.DenyRegistryWrite(RootKey::LocalMachine, kEnvironmentKey);
  Settings().AppDataLocalDir = u"C:\\NORVA\\TARVEX\\";
  Connect().ProcessElevated = false;
  UpdateSystemEnvironment();
  EXPECT_TRUE(m_.Dialogs().empty());

  Connect().ProcessElevated = true;
  UpdateSystemEnvironment();
  const auto dialogs = m_.Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].message, u"Unable to add TarvexDir=\\\\SRV\\NORVA\\TARVEX\\ to the system environment");
  EXPECT_EQ(dialogs[1].message, u"Unable to add TarvexLocal=C:\\NORVA\\TARVEX\\ to the system environment");
  for (const DialogRequest& d : dialogs) {
    EXPECT_EQ(d.kind, 1);
    EXPECT_EQ(d.seconds, 0);  // never counts down
  }
  EXPECT_TRUE(m_.Broadcasts().empty());
}

namespace {
const String kCommonPrograms = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const String kUserPrograms = u"C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr char16_t kShellFoldersKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
}  // namespace

TEST_F(Published, ShortcutsInBothProgramsFolders) {
  m_.SetRegString(RootKey::LocalMachine, kShellFoldersKey, u"Common Programs", kCommonPrograms);
  m_.SetRegString(RootKey::CurrentUser, kShellFoldersKey, u"Programs", kUserPrograms);
  m_.MakeDirectories(kCommonPrograms + u"\\Velmora");
  m_.MakeDirectories(kUserPrograms + u"\\Velmora");
  const String commonLink = kCommonPrograms + u"\\Velmora\\Norva Application Data folder.lnk";
  CreateShellLink(commonLink, u"C:\\OLD", u"old", u"", u"", u"", 0, 1, 0);  // replaced

  UpdateShortcuts();
  ShellLink expected;
  expected.target = u"\\\\SRV\\NORVA\\TARVEX";
  expected.workingDirectory = u"\\\\SRV\\NORVA\\";
  expected.iconPath = u"\\\\SRV\\NORVA\\TARVEX";
  expected.iconIndex = 0;
  expected.description = u"Shows the \\\\SRV\\NORVA\\TARVEX\\ folder in Explorer";
  for (const String& link : {commonLink, kUserPrograms + u"\\Velmora\\Norva Application Data folder.lnk"}) {
    ShellLink got;
    ASSERT_EQ(m_.ReadShellLink(link, got), 0u) << ToUtf8(link);
    EXPECT_EQ(got, expected);
  }
  EXPECT_TRUE(m_.Dialogs().empty());
}

TEST_F(Published, MissingFoldersOrValuesSkipAShortcutSilently) {
  struct Case {
    const char* what;
    bool commonValue, commonVelmora, userVelmora;
    bool commonLink, userLink;
  };
  const Case cases[] = {
      {"Velmora folder missing in the user's menu", true, true, false, true, false},
      {"no Common Programs value", false, true, true, false, true},
      {"Velmora folder missing everywhere", true, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine m;
    ScopedPlatform use(m);
    m.DeleteRegKey(RootKey::LocalMachine, kShellFoldersKey);
    if (c.commonValue) m.SetRegString(RootKey::LocalMachine, kShellFoldersKey, u"Common Programs", kCommonPrograms);
    m.SetRegString(RootKey::CurrentUser, kShellFoldersKey, u"Programs", kUserPrograms);
    m.RemovePath(kCommonPrograms + u"\\Velmora");
    m.RemovePath(kUserPrograms + u"\\Velmora");
    if (c.commonVelmora) m.MakeDirectories(kCommonPrograms + u"\\Velmora");
    if (c.userVelmora) m.MakeDirectories(kUserPrograms + u"\\Velmora");
    UpdateShortcuts();
    EXPECT_EQ(m.FileExists(kCommonPrograms + u"\\" + kShortcutName), c.commonLink);
    EXPECT_EQ(m.FileExists(kUserPrograms + u"\\" + kShortcutName), c.userLink);
    EXPECT_TRUE(m.Dialogs().empty());
  }
}

TEST_F(Published, UnreadableStartMenuLocationIsReportedAndTheRunGoesOn) {
  m_.SetRegString(RootKey::LocalMachine, kShellFoldersKey, u"Common Programs", kCommonPrograms);
  m_.InjectFailure("RegQueryValueExW", 1, 1009, u"HKEY_LOCAL_MACHINE\\" + String(kShellFoldersKey) + u"*");
  UpdateShortcuts();
  const auto dialogs = m_.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].message, u"Unable to update shortcut for Norva Application Data folder");
  EXPECT_EQ(dialogs[0].detail, u"Windows error 1009");
  EXPECT_EQ(dialogs[0].buttons, kDlgOk);
}
