// The file-server round trips of one cold start of a suite program: QVGETCFG
// through QV9REG's real logic and LoadSuiteSettings on the staged suite
// share. The whole sequence (operation and path) is pinned, so that a change
// that adds, repeats or reorders a round trip shows as a diff of this list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/connect/suite_machine.h"

namespace qv {
namespace {

using platform::MemoryMachine;

class ColdLoad : public ::testing::Test {
 protected:
  void SetUp() override { Stage(); }
  // A cold start: the library's and the reader's state forgotten, the share
  // staged and this machine connected to it.
  void Stage() {
    testing_connect::InstallLocationLibrary(m_);
    testing_connect::StageSuiteShare(m_);
    m_.MakeDirectories(u"C:\\ProgramData\\Norva");
    m_.WriteTextFile(u"C:\\ProgramData\\Norva\\NORVACONNECT.INI",
                     "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n");
    m_.ResetCounts();
  }
  void TearDown() override { ResetSuiteSettingsForTests(); }

  std::vector<std::string> Trips() const {
    std::vector<std::string> trips;
    for (const MemoryMachine::NetworkOperation& op : m_.NetworkOperations())
      trips.push_back(op.op + " " + ToUtf8(op.path));
    return trips;
  }

  MemoryMachine m_;
  platform::ScopedPlatform use_{m_};
};

// The round trips, in order, for the staged share and for the variants that
// add a step: a configuration without $request_dir (its request folder is
// then on the share, whose volume is queried) and a QVLINK.INI (read when
// present). Every mandated step is in the list once; nothing is repeated.
TEST_F(ColdLoad, PinsTheFileServerRoundTripsInOrder) {
  const std::string qvlink = "\\\\SRV\\NORVA\\QVLINK.INI";
  const std::string qtcfg = "\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI";
  const std::string config = "\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";
  // QVLINK.INI probe: an open that fails answers "absent"; QTCFG.INI: the
  // open test with writers refused is the open it is read through, once;
  // TARVEX.CFG: its existence (-950), then its open with writers refused and
  // one read, its last-write time from that handle. The trace folder is the
  // Tarvex folder the file was opened from: no test of its own.
  const std::vector<std::string> common = {
      "CreateFileW " + qtcfg,  "ReadFile " + qtcfg,    "GetFileAttributesW " + config,
      "CreateFileW " + config, "ReadFile " + config,
  };
  struct Case {
    const char* name;
    void (*stage)(MemoryMachine&);
    std::vector<std::string> before, after;
  } cases[] = {
      {"the staged share", [](MemoryMachine&) {}, {"CreateFileW " + qvlink}, {}},
      {"the request folder on the share",
       [](MemoryMachine& m) {
         m.WriteTextFile(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", "$macro_char @\r\n$var_def SITE \"Head office\"\r\n");
       },
       {"CreateFileW " + qvlink},
       {"GetVolumeInformationW \\\\SRV\\NORVA\\"}},
      {"QVLINK.INI present",
       [](MemoryMachine& m) {
         m.WriteTextFile(u"\\\\SRV\\NORVA\\QVLINK.INI", "[NorvaNetBin]\r\nUNCname=\\\\SRV\\NORVA\\NB\r\n");
       },
       {"CreateFileW " + qvlink, "ReadFile " + qvlink},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stage();
    c.stage(m_);
    m_.ResetCounts();
    ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
    std::vector<std::string> expected = c.before;
    expected.insert(expected.end(), common.begin(), common.end());
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(Trips(), expected);
    EXPECT_LE(m_.NetworkCount(), 8u);
    EXPECT_EQ(m_.OpenFileCount(), 0u);
  }
}

// What the merged steps must not change: the same folders, file, time and
// settings as the steps they stand for, and the trace folder still created
// when it is not the folder the file was read from.
TEST_F(ColdLoad, MergedStepsGiveTheSameResults) {
  const platform::FileTime written = MemoryMachine::MakeFileTime(2025, 6, 1, 12, 0, 0);
  ASSERT_TRUE(m_.SetLastWriteTime(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", written));
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  const SuiteSettings& s = Settings();
  EXPECT_EQ(s.ConfigFile, u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG");
  EXPECT_EQ(s.ConfigFileTime, written);
  EXPECT_EQ(s.AppDataDir, u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(s.NetBinDir, u"\\\\SRV\\NORVA\\NETBIN\\");
  EXPECT_EQ(s.TraceDir, u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(s.VarDefPairs.Value(u"SITE"), u"Head office");
  // Unchanged file: a reread finds the same time and does nothing.
  m_.ResetCounts();
  EXPECT_EQ(LoadSuiteSettings(true, false, true), 0);
  EXPECT_EQ(m_.Count("LoadLibraryW"), 0u);

  // A trace folder elsewhere on the share is tested and created.
  ResetSuiteSettingsForTests();
  m_.SetEnvironmentVariable(u"QTTRC", String(u"\\\\SRV\\NORVA\\TRACE\\N1"));
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(Settings().TraceDir, u"\\\\SRV\\NORVA\\TRACE\\N1\\");
  EXPECT_TRUE(m_.IsDirectory(u"\\\\SRV\\NORVA\\TRACE\\N1"));
}

// The computer name is asked for once per load, however many folders are
// translated to their local forms.
TEST_F(ColdLoad, AsksForTheComputerNameOncePerLoad) {
  ASSERT_EQ(LoadSuiteSettings(true, true, true), 0);
  EXPECT_EQ(m_.Count("GetComputerNameW"), 1u);
}

}  // namespace
}  // namespace qv
