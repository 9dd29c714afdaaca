// System information on the in-memory machine: version, administrator,
// 64-bit, machine name, process ancestry, service node names, file times.
#include <gtest/gtest.h>

#include "platform/memory/memory_machine.h"
#include "platform/sysinfo.h"

using namespace qv;
using namespace qv::platform;

namespace {

class SysInfo : public ::testing::Test {
 protected:
  SysInfo() : use_(m_) { ResetAncestorCacheForTests(); }
  ~SysInfo() override { ResetAncestorCacheForTests(); }
  MemoryMachine m_;
  ScopedPlatform use_;
};

const std::vector<String> kNames = {u"A.exe", u"B.exe", u"C.exe", u"D.exe"};

}  // namespace

TEST_F(SysInfo, WindowsVersionAtLeast) {
  m_.SetOsVersion({6, 1, 7601, 1});
  struct Case {
    std::uint16_t major, minor, sp;
    bool expected;
  } cases[] = {
      {6, 1, 1, true}, {6, 1, 2, false}, {6, 0, 9, true}, {5, 2, 0, true}, {6, 2, 0, false}, {10, 0, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowsVersionAtLeast(c.major, c.minor, c.sp), c.expected) << c.major << "." << c.minor << " sp" << c.sp;
  m_.SetVerifyVersionAvailable(false);
  EXPECT_FALSE(WindowsVersionAtLeast(5, 0, 0));
}

TEST_F(SysInfo, IsUserAdmin) {
  EXPECT_TRUE(IsUserAdmin());
  m_.SetAdministratorsMember(false);
  EXPECT_FALSE(IsUserAdmin());
  m_.SetAdministratorsMember(true);
  m_.InjectFailure("CheckTokenMembership", 1, kErrAccessDenied);
  EXPECT_FALSE(IsUserAdmin());
  m_.SetOsVersion({5, 1, 2600, 3});  // before 6.0 the question is not asked
  EXPECT_FALSE(IsUserAdmin());
}

TEST_F(SysInfo, IsWindows64Bit) {
  EXPECT_TRUE(IsWindows64Bit());
  m_.SetWindows64Bit(false);
  EXPECT_FALSE(IsWindows64Bit());
  m_.SetWindows64Bit(true);
  m_.SetWow64ExportAvailable(false);
  EXPECT_FALSE(IsWindows64Bit());
}

TEST_F(SysInfo, GetMachineNameIsThePhysicalName) {
  m_.SetComputerName(u"CLUSTERNAME");
  m_.SetPhysicalComputerName(u"NODE7");
  EXPECT_EQ(GetMachineName(), u"NODE7");
  m_.InjectFailure("GetComputerNameExW", 1, kErrInsufficientBuffer);
  EXPECT_EQ(GetMachineName(), u"");
}

struct AncestryCase {
  const char* what;
  std::vector<ProcessEntry> table;
  std::uint32_t self;
  int expected;
};

TEST_F(SysInfo, FindAncestorProcess) {
  const AncestryCase cases[] = {
      {"started by B.exe through cmd.exe",
       {{4, 0, u"System"}, {100, 4, u"services.exe"}, {200, 100, u"b.EXE"}, {300, 200, u"cmd.exe"}, {400, 300, u"X.exe"}},
       400, 2},
      {"started from a shell", {{4, 0, u"System"}, {1000, 4, u"explorer.exe"}, {400, 1000, u"X.exe"}}, 400, 0},
      {"its own name comes before its parent's",
       {{4, 0, u"System"}, {200, 4, u"B.exe"}, {400, 200, u"C.exe"}}, 400, 3},
      {"a parent cycle", {{4, 0, u"System"}, {500, 600, u"cmd.exe"}, {600, 500, u"cmd.exe"}, {400, 500, u"X.exe"}},
       400, 0},
      {"a process that is its own parent", {{400, 400, u"X.exe"}}, 400, 0},
      {"not in the snapshot", {{4, 0, u"System"}}, 400, 0},
      {"a parent that has ended", {{400, 999, u"X.exe"}}, 400, 0},
  };
  for (const AncestryCase& c : cases) {
    m_.ClearProcesses();
    for (const ProcessEntry& e : c.table) m_.AddProcess(e.pid, e.parentPid, e.exeName);
    m_.SetCurrentProcess(c.self);
    ResetAncestorCacheForTests();
    EXPECT_EQ(FindAncestorProcess(kNames), c.expected) << c.what;
  }
}

TEST_F(SysInfo, FindAncestorProcessAnswersOncePerProcess) {
  m_.AddProcess(200, 1000, u"B.exe");
  m_.AddProcess(400, 200, u"X.exe");
  m_.SetCurrentProcess(400);
  EXPECT_EQ(FindAncestorProcess(kNames), 2);
  m_.ResetCounts();
  EXPECT_EQ(FindAncestorProcess({u"X.exe"}), 2);  // the stored answer, whatever the names
  EXPECT_EQ(m_.Count("CreateToolhelp32Snapshot"), 0u);
}

TEST_F(SysInfo, FindAncestorProcessWithoutItsPrerequisites) {
  m_.AddProcess(400, 4242, u"A.exe");
  m_.SetCurrentProcess(400);
  m_.SetOsVersion({5, 1, 2600, 3});
  EXPECT_EQ(FindAncestorProcess(kNames), 0);
  m_.SetOsVersion({10, 0, 19045, 0});
  ResetAncestorCacheForTests();
  m_.InjectFailure("CreateToolhelp32Snapshot", 1, kErrNotEnoughMemory);
  EXPECT_EQ(FindAncestorProcess(kNames), 0);
}

TEST_F(SysInfo, GetServiceNodeName) {
  const String key = u"SYSTEM\\CurrentControlSet\\services\\QVESERVICE";
  struct Case {
    const char16_t* imagePath;  // nullptr: no value
    const char16_t* node;
  } cases[] = {
      {u"\"C:\\Program Files\\Norva\\QVESERVICE.exe\" N2", u"N2"},
      {u"  C:\\NORVA\\QVESERVICE.exe  N2 \t\r\n", u"N2"},
      {u"C:\\Program Files\\Norva\\QVESERVICE.exe", u"Files\\Norva\\QVESERVICE.exe"},  // the last blank of the path
      {u"C:\\NORVA\\QVESERVICE.exe", u""},
      {u"", u""},
      {nullptr, u""},
  };
  for (const Case& c : cases) {
    m_.DeleteRegKey(RootKey::LocalMachine, key);
    if (c.imagePath) m_.SetRegString(RootKey::LocalMachine, key, u"ImagePath", c.imagePath, RegType::ExpandSz);
    EXPECT_EQ(GetServiceNodeName(u"QVESERVICE"), c.node) << ToUtf8(c.imagePath ? c.imagePath : u"(none)");
  }
  m_.SetRegString(RootKey::LocalMachine, key, u"ImagePath", u"X.exe " + String(1200, u'N'));
  EXPECT_EQ(GetServiceNodeName(u"QVESERVICE"), String(999, u'N'));
}

TEST_F(SysInfo, FileWriteTimes) {
  m_.WriteTextFile(u"C:\\DATA\\A.TXT", "x");
  const FileTime t = MemoryMachine::MakeFileTime(2024, 3, 1, 6, 0, 0, 500);
  m_.SetLastWriteTime(u"C:\\DATA\\A.TXT", t);
  EXPECT_EQ(GetFileWriteTime(u"C:\\DATA\\A.TXT"), t);
  EXPECT_EQ(GetFileWriteTime(u"C:\\DATA\\*.TXT"), t);
  EXPECT_EQ(GetFileWriteTime(u"C:\\DATA\\NONE.TXT"), 0u);
  EXPECT_EQ(GetFileWriteTime(u"Q:\\NONE.TXT"), 0u);
  // 2024-03-01 is day 45352 after 1899-12-30; 06:00:00.500 is that fraction of a day.
  EXPECT_DOUBLE_EQ(GetFileWriteDateTime(u"C:\\DATA\\A.TXT"), 45352.0 + 21600500.0 / 86400000.0);
  EXPECT_EQ(GetFileWriteDateTime(u"C:\\DATA\\NONE.TXT"), 0.0);

  // Before the origin the day counts down and the time of day still counts up.
  m_.SetLastWriteTime(u"C:\\DATA\\A.TXT", MemoryMachine::MakeFileTime(1899, 12, 29, 6));
  EXPECT_DOUBLE_EQ(GetFileWriteDateTime(u"C:\\DATA\\A.TXT"), -1.25);
}
