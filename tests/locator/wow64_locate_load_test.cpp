// The locate-and-load on the two kinds of process a 64-bit Windows runs: a
// 64-bit one, and the shipping 32-bit programs under WOW64, for which
// HKEY_LOCAL_MACHINE\Software is Software\WOW6432Node. The library's Island
// value and diagnostic switch, read through the process's default view,
// must come from that process's own view; the machine environment and the
// event-log registration live under System, which both views share; the
// suite's program folder is the 32-bit program-files folder in both.
#include <gtest/gtest.h>

#include "connect/system_environment.h"
#include "events/event_log.h"
#include "platform/memory/memory_machine.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "settings/suite_settings.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using namespace qv::platform;

namespace {

struct Wow64Case {
  const char* name;
  MemoryMachine::ProcessBitness bitness;
  const char16_t* ownSoftware;    // where the process's HKLM\Software is
  const char16_t* otherSoftware;  // the view it must not read
};

const Wow64Case kWow64Cases[] = {
    {"Process64", MemoryMachine::ProcessBitness::Native, u"Software", u"Software\\WOW6432Node"},
    {"Process32OnWow64", MemoryMachine::ProcessBitness::Wow64, u"Software\\WOW6432Node", u"Software"},
};

const String kEnvironmentKey = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";

class Wow64LocateAndLoad : public ::testing::TestWithParam<Wow64Case> {
 protected:
  void SetUp() override {
    m_.SetProcessBitness(GetParam().bitness);
    // An island: the connection record names a local folder, which the
    // library accepts only when the Island value is set.
    m_.WriteTextFile(u"C:\\ProgramData\\Norva\\NorvaConnect.INI", "[NorvaAppdataShare]\r\nUNCname=C:\\NORVA\r\n");
    m_.WriteTextFile(u"C:\\NORVA\\TARVEX\\QTCFG.INI",
                     "[QTCONFIG]\r\nExpectedUNCpath=C:\\NORVA\\\r\nConfigurationFile=TARVEX.CFG\r\n");
    m_.WriteTextFile(u"C:\\NORVA\\TARVEX\\TARVEX.CFG", testing_connect::kSmallConfig);
    m_.MakeDirectories(u"C:\\NORVA\\NETBIN");
  }
  void TearDown() override { testing_connect::InstallLocationLibrary(m_); }

  // Island and the diagnostic switch (Trying and Using entries) in one view.
  void SetIslandAndSwitch(const String& software) {
    m_.SetRegDword(RootKey::LocalMachine, software + u"\\Norva\\NORVACONNECT", u"Island", 1);
    m_.SetRegDword(RootKey::LocalMachine, software + u"\\Norva\\QTTRACE", u"QV9REG", 6);
  }
  std::size_t Qv9RegEntries() const {
    std::size_t n = 0;
    for (const auto& e : m_.Events()) n += e.source == u"QV9REG";
    return n;
  }

  MemoryMachine m_;
  ScopedPlatform use_{m_};
};

TEST_P(Wow64LocateAndLoad, LibraryReadsItsValuesFromTheProcessView) {
  const Wow64Case& c = GetParam();
  EXPECT_TRUE(IsWindows64Bit());
  EXPECT_EQ(m_.IsWow64Process(), c.bitness == MemoryMachine::ProcessBitness::Wow64);

  // Set in the other view only: not an island, no diagnostics.
  SetIslandAndSwitch(c.otherSoftware);
  testing_connect::InstallLocationLibrary(m_);
  EXPECT_LT(LoadSuiteSettings(false, false, true), 0);
  EXPECT_EQ(Qv9RegEntries(), 0u);
  EXPECT_TRUE(m_.MessageBoxes().empty());

  // Set in the process's own view: the island loads, with both entries.
  SetIslandAndSwitch(c.ownSoftware);
  testing_connect::InstallLocationLibrary(m_);
  ASSERT_EQ(LoadSuiteSettings(false, false, true), 0);
  EXPECT_EQ(GetAppDataDir(), u"C:\\NORVA\\TARVEX\\");
  EXPECT_EQ(Qv9RegEntries(), 2u);
  EXPECT_EQ(Settings().ProgramDir, u"C:\\Program Files (x86)\\NORVA\\");
}

TEST_P(Wow64LocateAndLoad, WritesLandInTheProcessViewAndSystemIsShared) {
  const Wow64Case& c = GetParam();
  WriteRegInteger(RootKey::LocalMachine, u"Software\\Norva\\Probe", u"Value", 5);
  EXPECT_EQ(ReadRegInteger(RootKey::LocalMachine, u"Software\\Norva\\Probe", u"Value", 0), 5);
  EXPECT_TRUE(m_.GetRegValue(RootKey::LocalMachine, String(c.ownSoftware) + u"\\Norva\\Probe", u"Value"));
  EXPECT_FALSE(m_.GetRegValue(RootKey::LocalMachine, String(c.otherSoftware) + u"\\Norva\\Probe", u"Value"));
  // HKCU\Software is not redirected.
  WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\Probe", u"Value", 6);
  EXPECT_TRUE(m_.GetRegValue(RootKey::CurrentUser, u"Software\\Norva\\Probe", u"Value"));

  // The machine environment key is under System: TarvexDir lands there.
  m_.CreateRegKeyDirect(RootKey::LocalMachine, kEnvironmentKey);
  EXPECT_TRUE(connect::SetTarvexDir(u"\\\\SRV\\NORVA\\TARVEX\\", false));
  EXPECT_EQ(m_.GetRegString(RootKey::LocalMachine, kEnvironmentKey, u"TarvexDir"), u"\\\\SRV\\NORVA\\TARVEX\\");

  // The event-log registration names the message file of 64-bit Windows,
  // whatever the process's own bitness.
  WriteEvent(u"", -1, 0, u"");
  EXPECT_EQ(m_.GetRegString(RootKey::LocalMachine, u"System\\CurrentControlSet\\Services\\EventLog\\Velmora\\QV9REG",
                            u"EventMessageFile"),
            u"%SystemRoot%\\system32\\QVEvtMsg64.dll");
}

TEST_P(Wow64LocateAndLoad, ProgramFilesFolders) {
  const bool wow64 = GetParam().bitness == MemoryMachine::ProcessBitness::Wow64;
  String csidl38, csidl42;
  ASSERT_EQ(m_.GetFolderPathByCsidl(kCsidlProgramFilesX86, csidl38), kOk);
  ASSERT_EQ(m_.GetFolderPathByCsidl(kCsidlProgramFilesX86Always, csidl42), kOk);
  EXPECT_EQ(csidl38, wow64 ? u"C:\\Program Files (x86)" : u"C:\\Program Files");
  EXPECT_EQ(csidl42, u"C:\\Program Files (x86)");
  EXPECT_TRUE(m_.IsDirectory(u"C:\\Program Files"));
  EXPECT_TRUE(m_.IsDirectory(u"C:\\Program Files (x86)"));
}

INSTANTIATE_TEST_SUITE_P(Configurations, Wow64LocateAndLoad, ::testing::ValuesIn(kWow64Cases),
                         [](const ::testing::TestParamInfo<Wow64Case>& info) { return info.param.name; });

// The view flags, as a 64-bit and a 32-bit process use them.
TEST(MemoryMachineWow64, ViewFlagsReachEitherView) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\V", u"X", 64);
  m.SetRegDword(RootKey::LocalMachine, u"Software\\WOW6432Node\\Norva\\V", u"X", 32);
  struct Case {
    MemoryMachine::ProcessBitness bitness;
    std::uint32_t flag;
    std::uint32_t want;
  };
  for (const Case& c : {Case{MemoryMachine::ProcessBitness::Native, 0, 64},
                        Case{MemoryMachine::ProcessBitness::Native, kKeyWow64_32Key, 32},
                        Case{MemoryMachine::ProcessBitness::Native, kKeyWow64_64Key, 64},
                        Case{MemoryMachine::ProcessBitness::Wow64, 0, 32},
                        Case{MemoryMachine::ProcessBitness::Wow64, kKeyWow64_64Key, 64},
                        Case{MemoryMachine::ProcessBitness::Wow64, kKeyWow64_32Key, 32},
                        Case{MemoryMachine::ProcessBitness::Unmodelled, 0, 64}}) {
    SCOPED_TRACE(static_cast<int>(c.bitness) * 1000 + static_cast<int>(c.flag));
    m.SetProcessBitness(c.bitness);
    Handle key = 0;
    ASSERT_EQ(m.RegOpenKey(RootKey::LocalMachine, u"Software\\Norva\\V", kKeyRead | c.flag, key), kOk);
    RegValue value;
    ASSERT_EQ(m.RegQueryValue(key, u"X", value, true), kOk);
    m.RegCloseKey(key);
    ASSERT_EQ(value.data.size(), 4u);
    EXPECT_EQ(value.data[0], c.want);
  }
  // A path that names WOW6432Node itself is never redirected again.
  m.SetProcessBitness(MemoryMachine::ProcessBitness::Wow64);
  EXPECT_EQ(ReadRegInteger(RootKey::LocalMachine, u"Software\\WOW6432Node\\Norva\\V", u"X", 0), 32);
  // On 32-bit Windows there is only one view.
  m.SetWindows64Bit(false);
  EXPECT_FALSE(m.IsWow64Process());
  EXPECT_EQ(ReadRegInteger(RootKey::LocalMachine, u"Software\\Norva\\V", u"X", 0), 64);
}

}  // namespace
