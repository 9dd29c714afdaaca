// Trace options on the in-memory machine: the trace name, the flag word,
// the choice of destination and the external trace library.
#include <gtest/gtest.h>

#include <thread>

#include "platform/memory/memory_machine.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"
#include "trace/trace.h"

using namespace qv;
using namespace qv::platform;

namespace {

const String kTraceKey = u"Software\\Norva\\QTTRACE";
const String kExternalKey = u"Software\\Norva\\QVTRC";

void ResetAll() {
  ResetTraceForTests();
  ResetServiceIdentityForTests();
  ResetAncestorCacheForTests();
}

// What the stand-in for QV9TRACE.DLL was given.
struct ExternalCalls {
  std::vector<std::string> calls;
  int refuseAt = 0;  // the nth post is refused; 0: none
  int posts = 0;
};
ExternalCalls g_external;

extern "C" void FakeInit(const char16_t* name) { g_external.calls.push_back("InitQVTRACE " + ToUtf8(name)); }
extern "C" void FakeDestination(char16_t* buffer) {
  g_external.calls.push_back("GetDestination");
  const String where = u"monitor";
  std::copy(where.begin(), where.end(), buffer);
}
extern "C" std::uint8_t FakePost(std::int32_t zero, const char16_t* line) {
  g_external.calls.push_back("PostQVTRACE " + std::to_string(zero) + " " + ToUtf8(line));
  return ++g_external.posts == g_external.refuseAt ? 0 : 1;
}

class TraceOptions : public ::testing::Test {
 protected:
  TraceOptions() : use_(m_) {
    ResetAll();
    g_external = ExternalCalls{};
  }
  ~TraceOptions() override { ResetAll(); }

  void RegisterExternal(bool withPost = true) {
    std::map<std::string, void*> exports = {
        {"InitQVTRACE", reinterpret_cast<void*>(&FakeInit)},
        {"GetDestination", reinterpret_cast<void*>(&FakeDestination)},
    };
    if (withPost) exports["PostQVTRACE"] = reinterpret_cast<void*>(&FakePost);
    m_.RegisterLibrary(u"QV9TRACE.DLL", exports);
  }
  std::vector<String> MonitorLines() {
    std::vector<String> lines;
    for (const auto& record : m_.CopyDataSent()) {
      String text;
      for (std::size_t i = 0; i + 3 < record.data.size(); i += 2)
        text += static_cast<char16_t>(record.data[i] | (record.data[i + 1] << 8));
      lines.push_back(text);
    }
    return lines;
  }

  MemoryMachine m_;
  ScopedPlatform use_;
};

}  // namespace

TEST_F(TraceOptions, TraceNameRules) {
  // With toFile, file tracing is on: the first call's folder names the trace file
  // and the folder of a later call is never created.
  struct Case {
    const char16_t* first;
    const char16_t* second;
    const char16_t* tag;
    bool toFile;
  } cases[] = {
      {u"", u"", u"NORVACONNECT", false},      // the module name without folder and extension
      {u"MyProg", u"", u"MYPROG", false},
      {u"Grüße", u"", u"GRÜßE", false},  // letters beyond ASCII are upper-cased too
      {u"first", u"second", u"FIRST", false},  // a later call keeps the first name
      {u"first", u"second", u"FIRST", true},   // ... and the first folder
      {u"", u"second", u"NORVACONNECT", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.tag) + (c.toFile ? " to a file" : " to the monitor"));
    MemoryMachine machine;
    ScopedPlatform use(machine);
    ResetAll();
    machine.SetProgramPath(u"\\\\SRV\\NORVA\\NetBin.v2\\NorvaConnect.exe");
    machine.SetRegDword(RootKey::LocalMachine, kTraceKey, c.tag, 4);
    machine.AddWindow(u"TTraceForm", u"");
    SetFileTraceRequested(c.toFile);
    InitTrace(c.first, c.toFile ? u"C:\\T" : u"");
    InitTrace(c.second, u"C:\\IGNORED");
    WriteTrace(u"x");
    EXPECT_TRUE(TraceFlag4());  // the flags are read under the upper-case name
    if (c.toFile) {
      // Monday on the machine's clock: day digit 1.
      EXPECT_TRUE(machine.Exists(u"C:\\T\\" + String(c.tag) + u".FT1"));
      EXPECT_FALSE(machine.Exists(u"C:\\IGNORED"));
      EXPECT_TRUE(machine.CopyDataSent().empty());
    } else {
      EXPECT_EQ(machine.CopyDataSent().size(), 1u);
    }
  }
}

TEST_F(TraceOptions, FlagWord) {
  struct Case {
    const char* what;
    RegType type;
    Bytes data;  // empty with type None: no value
    std::uint32_t flags;
  } cases[] = {
      {"dword", RegType::Dword, {0x0F, 0, 0, 0}, 15},
      {"decimal string", RegType::Sz, {'1', 0, '3', 0, '2', 0, 0, 0}, 132},
      {"binary", RegType::Binary, {4, 0, 0, 0, 0, 0, 0, 0}, 4},
      {"qword", RegType::Qword, {8, 0, 0, 0, 0, 0, 0, 0}, 8},
      {"multi-string", RegType::MultiSz, {'4', 0, 0, 0, 0, 0}, 0},
      {"not a number", RegType::Sz, {'x', 0, 0, 0}, 0},
      {"no value", RegType::None, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine machine;
    ScopedPlatform use(machine);
    ResetAll();
    machine.CreateRegKeyDirect(RootKey::LocalMachine, kTraceKey);
    if (c.type != RegType::None) machine.SetRegValue(RootKey::LocalMachine, kTraceKey, u"PROG", c.type, c.data);
    InitTrace(u"PROG", u"");
    EXPECT_EQ(TraceFlags(), c.flags);
    EXPECT_EQ(TraceFlag1(), (c.flags & 1) != 0);
    EXPECT_EQ(TraceFlag2(), (c.flags & 2) != 0);
    EXPECT_EQ(TraceFlag4(), (c.flags & 4) != 0);
    EXPECT_EQ(TraceFlag8(), (c.flags & 8) != 0);
  }
}

TEST_F(TraceOptions, WithoutTheKeyNothingIsTraced) {
  m_.AddWindow(u"TTraceForm", u"");
  InitTrace(u"PROG", u"");
  WriteTrace(u"x");
  EXPECT_EQ(TraceFlags(), 0u);
  EXPECT_EQ(m_.Count("FindWindowW"), 0u);
  EXPECT_TRUE(m_.CopyDataSent().empty());
}

TEST_F(TraceOptions, MonitorIsLookedUpByEachInitTrace) {
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  InitTrace(u"PROG", u"");
  m_.AddWindow(u"TTraceForm", u"started later");
  m_.AddWindow(u"OtherForm", u"");
  WriteTrace(u"unseen");
  EXPECT_TRUE(m_.CopyDataSent().empty());

  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 132);
  InitTrace(u"PROG", u"");  // the flags are read again, the monitor looked up again
  WriteTrace(u"seen");
  ASSERT_EQ(MonitorLines(), std::vector<String>{u"PROG seen"});
  EXPECT_EQ(m_.CopyDataSent()[0].dataWord, 129u);
}

TEST_F(TraceOptions, AServiceTracesToItsNodesFile) {
  m_.SetEnvironmentVariable(u"QV_FORCE_SERVICE", String(u"yes"));
  ASSERT_TRUE(DetectServiceIdentity());
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"QVESERVICE", 4);
  m_.AddWindow(u"TTraceForm", u"");
  m_.ResetCounts();
  InitTrace(u"QveService", u"C:\\NORVA\\TRACE");
  WriteTrace(u"engine up");
  EXPECT_EQ(m_.ReadTextFile(u"C:\\NORVA\\TRACE\\VELMORA_M3.FT1"), "\xEF\xBB\xBF" "15/08:00:00.000 QVESERVICE engine up\r\n");
  EXPECT_EQ(m_.Count("FindWindowW"), 0u);
  EXPECT_TRUE(m_.CopyDataSent().empty());
}

TEST_F(TraceOptions, FileTraceOnRequestFromWindows6) {
  struct Case {
    std::uint32_t major;
    bool toFile;
  } cases[] = {{5, false}, {6, true}, {10, true}};
  for (const Case& c : cases) {
    MemoryMachine machine;
    ScopedPlatform use(machine);
    ResetAll();
    machine.SetOsVersion({c.major, 1, 2600, 0});
    machine.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 1);
    machine.AddWindow(u"TTraceForm", u"");
    SetFileTraceRequested(true);
    InitTrace(u"PROG", u"C:\\T");
    WriteTrace(u"x");
    EXPECT_EQ(machine.Exists(u"C:\\T\\PROG.FT1"), c.toFile) << c.major;
    EXPECT_EQ(machine.CopyDataSent().size(), c.toFile ? 0u : 1u) << c.major;
  }
}

TEST_F(TraceOptions, ExternalLibraryReceivesLinesUntilItRefuses) {
  RegisterExternal();
  g_external.refuseAt = 2;
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  m_.SetRegDword(RootKey::LocalMachine, kExternalKey, u"EXTNAME", 1);
  m_.SetLocalTime(2024, 1, 15, 9, 5, 3, 7);
  SetExternalTraceName(u"EXTNAME");
  InitTrace(u"Prog", u"");
  WriteTrace(u"one");
  WriteTrace(u"two");
  WriteTrace(u"three");
  EXPECT_EQ(g_external.calls, (std::vector<std::string>{"InitQVTRACE EXTNAME", "GetDestination",
                                                        "PostQVTRACE 0 09:05:03.007  PROG one",
                                                        "PostQVTRACE 0 09:05:03.007  PROG two"}));
  EXPECT_EQ(m_.LibraryRefCount(u"QV9TRACE.DLL"), 1u);
}

TEST_F(TraceOptions, ExternalLibraryFromALibraryModuleIsNotInitialised) {
  RegisterExternal();
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  m_.SetRegDword(RootKey::LocalMachine, kExternalKey, u"EXTNAME", 1);
  const Handle self = m_.RegisterLibrary(u"HOST.DLL", {});
  m_.SetCurrentModule(self, true);
  SetExternalTraceName(u"EXTNAME");
  InitTrace(u"PROG", u"");
  WriteTrace(u"one");
  EXPECT_EQ(g_external.calls,
            (std::vector<std::string>{"GetDestination", "PostQVTRACE 0 08:00:00.000  PROG one"}));
}

TEST_F(TraceOptions, ExternalLibraryNeedsItsSwitch) {
  RegisterExternal();
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  m_.AddWindow(u"TTraceForm", u"");
  SetExternalTraceName(u"EXTNAME");
  InitTrace(u"PROG", u"");
  WriteTrace(u"to the monitor");
  EXPECT_EQ(g_external.calls, (std::vector<std::string>{"InitQVTRACE EXTNAME", "GetDestination"}));
  EXPECT_EQ(MonitorLines(), std::vector<String>{u"PROG to the monitor"});
}

TEST_F(TraceOptions, AnIncompleteExternalLibraryIsIgnored) {
  RegisterExternal(/*withPost=*/false);
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  m_.SetRegDword(RootKey::LocalMachine, kExternalKey, u"EXTNAME", 1);
  SetExternalTraceName(u"EXTNAME");
  SetFileTraceRequested(true);
  InitTrace(u"PROG", u"C:\\T");
  WriteTrace(u"to the file");
  EXPECT_TRUE(g_external.calls.empty());
  EXPECT_EQ(m_.LibraryRefCount(u"QV9TRACE.DLL"), 0u);
  EXPECT_EQ(m_.ReadTextFile(u"C:\\T\\PROG.FT1"), "\xEF\xBB\xBF" "15/08:00:00.000 PROG to the file\r\n");
}

TEST_F(TraceOptions, ConcurrentFirstCallsSetUpOnce) {
  RegisterExternal();
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"PROG", 4);
  SetExternalTraceName(u"EXTNAME");
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([] { InitTrace(u"PROG", u""); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(g_external.calls, (std::vector<std::string>{"InitQVTRACE EXTNAME", "GetDestination"}));
  EXPECT_EQ(m_.LibraryRefCount(u"QV9TRACE.DLL"), 1u);
}
