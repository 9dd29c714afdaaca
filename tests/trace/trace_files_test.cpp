// Collecting a day's trace files by node on the in-memory machine: the
// 02:00 rule, the candidates and their fallbacks, the node names from the
// registry, the seven-day window and the engine's flush request.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/memory/memory_machine.h"
#include "settings/suite_settings.h"
#include "trace/trace_files.h"

using namespace qv;
using namespace qv::platform;

namespace {

const String kLog = u"C:\\TARVEX\\LOG\\";
constexpr TraceDay kSunday{2024, 1, 14};
constexpr TraceDay kMonday{2024, 1, 15};  // the machine's default today
constexpr TraceDay kTuesday{2024, 1, 16};

class TraceFiles : public ::testing::Test {
 protected:
  TraceFiles() : use_(m_) {
    ResetSuiteSettingsForTests();
    Settings().AppDataDir = u"C:\\TARVEX\\";
    Settings().TraceDir = kLog;
    m_.MakeDirectories(kLog);
  }
  ~TraceFiles() override { ResetSuiteSettingsForTests(); }
  void File(const String& path, FileTime written) {
    m_.WriteTextFile(path, "trace");
    m_.SetLastWriteTime(path, written);
  }
  void File(const String& name, int year, int month, int day, int hour = 12, int minute = 0) {
    File(kLog + name, MemoryMachine::MakeFileTime(year, month, day, hour, minute));
  }
  std::vector<String> Collect(StringView node, std::uint8_t selection, const TraceDay& day, std::int32_t* rc = nullptr) {
    std::vector<String> list;
    const std::int32_t r = CollectTraceFiles(node, list, selection, day);
    if (rc) *rc = r;
    return list;
  }
  std::uint32_t* Engine(const String& node, std::uint32_t signature, std::uint32_t reply) {
    auto* block = reinterpret_cast<std::uint32_t*>(m_.HoldSharedMemory(u"TarvexFG" + node, 12));
    block[1] = reply;
    block[2] = signature;
    return block;
  }
  MemoryMachine m_;
  ScopedPlatform use_;
};

TEST_F(TraceFiles, AFileCountsForTheDayOfItsLocalWriteTimeMovedBackBeforeTwoOClock) {
  struct Case {
    const char* what;
    int offsetMinutes;
    FileTime utc;
    TraceDay day;
    bool counts;
  } cases[] = {
      {"Monday noon", 0, MemoryMachine::MakeFileTime(2024, 1, 15, 12), kMonday, true},
      {"Monday noon is not Sunday", 0, MemoryMachine::MakeFileTime(2024, 1, 15, 12), kSunday, false},
      {"01:30 on Tuesday counts as Monday", 0, MemoryMachine::MakeFileTime(2024, 1, 16, 1, 30), kMonday, true},
      {"01:30 on Tuesday is not Tuesday", 0, MemoryMachine::MakeFileTime(2024, 1, 16, 1, 30), kTuesday, false},
      {"02:00 on Tuesday is Tuesday", 0, MemoryMachine::MakeFileTime(2024, 1, 16, 2, 0), kTuesday, true},
      {"00:00 on Tuesday counts as Monday", 0, MemoryMachine::MakeFileTime(2024, 1, 16, 0, 0), kMonday, true},
      {"23:30 UTC Monday is 01:30 local Tuesday at UTC+2: Monday", 120,
       MemoryMachine::MakeFileTime(2024, 1, 15, 23, 30), kMonday, true},
      {"23:30 UTC Monday is 03:30 local Tuesday at UTC+4: Tuesday", 240,
       MemoryMachine::MakeFileTime(2024, 1, 15, 23, 30), kTuesday, true},
      {"01:00 on 1 March counts as 29 February", 0, MemoryMachine::MakeFileTime(2024, 3, 1, 1, 0),
       TraceDay{2024, 2, 29}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_.SetTimeZoneOffsetMinutes(c.offsetMinutes);
    File(kLog + u"X.FT1", c.utc);
    EXPECT_EQ(TraceFileWrittenOn(kLog + u"X.FT1", c.day), c.counts);
  }
  EXPECT_FALSE(TraceFileWrittenOn(kLog + u"MISSING.FT1", kMonday));
}

TEST_F(TraceFiles, TodaysLiveTraceAsksTheEngineToFlushAndWaitsTwoSeconds) {
  File(u"N1.TR1", 2024, 1, 15, 7);
  std::uint32_t* block = Engine(u"N1", kEngineSignature1, 42);
  const FileTime before = m_.GetSystemTimeAsFileTime();
  EXPECT_EQ(Collect(u"N1", kTraceEngineLive, kMonday), std::vector<String>{kLog + u"N1.TR1"});
  EXPECT_EQ(block[0], 1u);  // the request field
  EXPECT_EQ(m_.GetSystemTimeAsFileTime() - before, 2000u * 10000u);
  EXPECT_EQ(m_.Count("Sleep"), 1u);
}

TEST_F(TraceFiles, YesterdaysLiveTraceNeverSignals) {
  File(u"N1.TR0", 2024, 1, 14, 18);
  std::uint32_t* block = Engine(u"N1", kEngineSignature1, 42);
  EXPECT_EQ(Collect(u"N1", kTraceEngineLive, kSunday), std::vector<String>{kLog + u"N1.TR0"});
  EXPECT_EQ(block[0], 0u);
  EXPECT_EQ(m_.Count("Sleep"), 0u);
  EXPECT_EQ(m_.Count("CreateFileMappingW"), 0u);
}

TEST_F(TraceFiles, TheEnginesOwnFileComesFirstAndOnlyWithoutItTheOthersAreExamined) {
  m_.SetLocalTime(2024, 1, 16, 9);  // Tuesday: digit 2
  File(u"N1.FT2", 2024, 1, 16, 8);
  File(u"VELMORA_N1.FT2", 2024, 1, 16, 8);
  File(u"QTEXTERN_N1.FT2", 2024, 1, 16, 8);
  EXPECT_EQ(Collect(u"N1", kTraceEngine, kTuesday), std::vector<String>{kLog + u"N1.FT2"});
  EXPECT_EQ(m_.Count("FindFirstFileW", kLog + u"VELMORA_N1.FT2"), 0u);
  EXPECT_EQ(Collect(u"N1", kTraceEngineAndConnector, kTuesday), std::vector<String>{kLog + u"N1.FT2"});

  m_.SetLastWriteTime(kLog + u"N1.FT2", MemoryMachine::MakeFileTime(2024, 1, 9, 8));  // last week's
  EXPECT_EQ(Collect(u"N1", kTraceEngine, kTuesday), std::vector<String>{kLog + u"VELMORA_N1.FT2"});
  EXPECT_EQ(Collect(u"N1", kTraceEngineAndConnector, kTuesday),
            (std::vector<String>{kLog + u"VELMORA_N1.FT2", kLog + u"QTEXTERN_N1.FT2"}));
}

TEST_F(TraceFiles, NodeNamesComeFromTheRegistryWhenNoNodeIsGiven) {
  File(u"HQ.TR1", 2024, 1, 15);
  File(u"USERNODE.TR1", 2024, 1, 15);
  File(u"LATE.TR1", 2024, 1, 15);
  File(u"QTEXTERN_.FT1", 2024, 1, 15);
  File(u"QTEXTERN_CN.FT1", 2024, 1, 15);
  // Nothing in the registry: the engine candidates are skipped.
  EXPECT_TRUE(Collect(u"", kTraceEngineLive | kTraceEngine, kMonday).empty());

  m_.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\Engine_", u"Nodename", u"LATE");
  EXPECT_EQ(Collect(u"", kTraceEngineLive, kMonday), std::vector<String>{kLog + u"LATE.TR1"});
  m_.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\Engine", u"Nodename", u"HQ");
  EXPECT_EQ(Collect(u"", kTraceEngineLive, kMonday), std::vector<String>{kLog + u"HQ.TR1"});
  m_.SetRegString(RootKey::CurrentUser, u"Software\\Norva\\Engine", u"Nodename", u"USERNODE");
  EXPECT_EQ(Collect(u"", kTraceEngineLive, kMonday), std::vector<String>{kLog + u"USERNODE.TR1"});

  // The connector's node may stay empty.
  EXPECT_EQ(Collect(u"", kTraceEngineAndConnector, kMonday), std::vector<String>{kLog + u"QTEXTERN_.FT1"});
  m_.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\QTEXTERN", u"Nodename", u"CN");
  EXPECT_EQ(Collect(u"", kTraceEngineAndConnector, kMonday), std::vector<String>{kLog + u"QTEXTERN_CN.FT1"});
}

TEST_F(TraceFiles, TheGatewayLogIsFoundInItsOwnFolderOrTheTraceFolder) {
  File(u"GATEWAY.GW1", 2024, 1, 15);
  EXPECT_EQ(Collect(u"", kTraceGateway, kMonday), std::vector<String>{kLog + u"GATEWAY.GW1"});
  File(u"C:\\GWLOGS\\GATEWAY.GW1", MemoryMachine::MakeFileTime(2024, 1, 15, 9));
  File(u"C:\\GWLOGS\\N7.GW1", MemoryMachine::MakeFileTime(2024, 1, 15, 9));
  m_.SetRegString(RootKey::LocalMachine, u"SOFTWARE\\Norva\\Velmora SMTP Gateway", u"DebugLogfolder", u"C:\\GWLOGS");
  EXPECT_EQ(Collect(u"", kTraceGateway, kMonday), std::vector<String>{u"C:\\GWLOGS\\GATEWAY.GW1"});
  EXPECT_EQ(Collect(u"N7", kTraceGateway, kMonday), std::vector<String>{u"C:\\GWLOGS\\N7.GW1"});
}

TEST_F(TraceFiles, EverySelectedProgramInTheOrderOfTheBits) {
  for (const char16_t* name : {u"N1.TR1", u"N1.FT1", u"N1.GW1", u"QVHKSERVICE.FT1", u"QVMSG.FT1", u"QTMERGE.FT1",
                               u"QTCVRT.FT1"})
    File(name, 2024, 1, 15, 3);
  const std::vector<String> all = Collect(u"N1", 0xFF, kMonday);
  EXPECT_EQ(all, (std::vector<String>{kLog + u"N1.TR1", kLog + u"N1.FT1", kLog + u"N1.GW1", kLog + u"QVHKSERVICE.FT1",
                                      kLog + u"QVMSG.FT1", kLog + u"QTMERGE.FT1", kLog + u"QTCVRT.FT1"}));
  EXPECT_EQ(Collect(u"N1", kTraceQvMsg | kTraceQtCvrt, kMonday),
            (std::vector<String>{kLog + u"QVMSG.FT1", kLog + u"QTCVRT.FT1"}));
}

TEST_F(TraceFiles, OnlyTheLastSevenDaysAreUsableAndTheListIsOnlyAppendedTo) {
  struct Case {
    TraceDay day;
    std::int32_t rc;
  } cases[] = {{kMonday, 0},      {{2024, 1, 9}, 0},  {{2024, 1, 8}, -1},  // six back, seven back
               {{2024, 1, 7}, -1},  // eight days back
               {kTuesday, -1},    {{2023, 1, 15}, -1}};
  for (const Case& c : cases) {
    std::vector<String> list{u"kept"};
    EXPECT_EQ(CollectTraceFiles(u"N1", list, 0xFF, c.day), c.rc) << c.day.year << "-" << c.day.month << "-" << c.day.day;
    EXPECT_EQ(list, std::vector<String>{u"kept"});
  }
}

TEST_F(TraceFiles, SettingsNotYetReadAreLoadedFirst) {
  ResetSuiteSettingsForTests();
  std::vector<String> list;
  EXPECT_EQ(CollectTraceFiles(u"N1", list, kTraceQvMsg, kMonday), 0);
  EXPECT_GE(m_.Count("LoadLibraryW"), 1u);  // the load tried to bind QV9REG.DLL
}

TEST_F(TraceFiles, TheFlushRequestNeedsAnEngineThatOwnsTheBlock) {
  EXPECT_EQ(RequestEngineFlush(u"NOBODY"), -1);
  EXPECT_EQ(m_.Count("Sleep"), 0u);
  std::uint32_t* other = Engine(u"OTHER", 0x12345678, 5);
  EXPECT_EQ(RequestEngineFlush(u"OTHER"), -1);
  EXPECT_EQ(other[0], 0u);
  std::uint32_t* second = Engine(u"N2", kEngineSignature2, 77);
  EXPECT_EQ(RequestEngineFlush(u"N2"), 77);
  EXPECT_EQ(second[0], 1u);
  std::uint32_t* unnamed = Engine(u"", kEngineSignature1, 3);
  EXPECT_EQ(RequestEngineFlush(u""), 3);
  EXPECT_EQ(unnamed[0], 1u);
  EXPECT_EQ(m_.Count("Sleep"), 2u);
  m_.InjectFailure("CreateFileMappingW", 0, kErrAccessDenied);
  EXPECT_EQ(RequestEngineFlush(u"N2"), -1);
}

// Whatever the engine's state, the request leaves no view mapped and no
// mapping open behind it.
TEST_F(TraceFiles, TheFlushRequestLeavesNothingOpen) {
  Engine(u"N2", kEngineSignature2, 77);
  Engine(u"OTHER", 0x12345678, 5);
  struct Case {
    const char16_t* node;
    const char* failingOp;  // nullptr: none
    std::int32_t result;
  };
  const Case cases[] = {
      {u"N2", nullptr, 77},             // an engine answers
      {u"OTHER", nullptr, -1},          // a block of someone else
      {u"NOBODY", nullptr, -1},         // a block this request made itself
      {u"N2", "MapViewOfFile", -1},     // the block does not map
      {u"N2", "CreateFileMappingW", -1},
  };
  for (const Case& c : cases) {
    m_.ClearFailures();
    if (c.failingOp) m_.InjectFailure(c.failingOp, 0, kErrAccessDenied);
    EXPECT_EQ(RequestEngineFlush(c.node), c.result) << ToUtf8(c.node);
    EXPECT_EQ(m_.MappedViewCount(), 0u) << ToUtf8(c.node);
    EXPECT_EQ(m_.OpenMappingCount(), 0u) << ToUtf8(c.node);
  }
}

}  // namespace
