// The trace writer on the in-memory machine: line composition, the weekly
// files and their byte-order mark, the cut at 2048 characters, retries and
// "Trace Error" records, and delivery to the monitor window.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

#include "platform/memory/memory_machine.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"
#include "trace/trace.h"

using namespace qv;
using namespace qv::platform;

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const String kTraceKey = u"Software\\Norva\\QTTRACE";
const String kMonday = u"C:\\TRACE\\TRCTEST.FT1";
const String kTuesday = u"C:\\TRACE\\TRCTEST.FT2";

void ResetAll() {
  ResetTraceForTests();
  ResetServiceIdentityForTests();
  ResetAncestorCacheForTests();
}

class TraceWriter : public ::testing::Test {
 protected:
  // Monday 2024-01-15 08:00:00.000 on the machine's clock.
  TraceWriter() : use_(m_) { ResetAll(); }
  ~TraceWriter() override { ResetAll(); }

  void InitFileTrace(StringView folder = u"C:\\TRACE") {
    SetFileTraceRequested(true);
    InitTrace(u"TrcTest", folder);
  }
  std::string File(const String& path) { return m_.ReadTextFile(path).value_or("(missing)"); }
  std::optional<String> TraceError(RootKey root) { return m_.GetRegString(root, kTraceKey, u"Trace Error"); }

  MemoryMachine m_;
  ScopedPlatform use_;
};

String Utf16(const Bytes& data) {
  String text(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return text;
}

}  // namespace

TEST_F(TraceWriter, FileLinesCarryDayTimeAndTag) {
  m_.SetLocalTime(2024, 1, 5, 14, 3, 7, 42);  // a Friday
  InitFileTrace(u"C:\\TRACE\\DEEP\\ER");       // the folder chain is created
  WriteTrace(u"hello");
  WriteTraceFmt(u"Application path: %s (%d)", String(u"\\\\SRV\\NORVA\\"), 7);
  EXPECT_EQ(File(u"C:\\TRACE\\DEEP\\ER\\TRCTEST.FT5"),
            kBom + "05/14:03:07.042 TRCTEST hello\r\n05/14:03:07.042 TRCTEST Application path: \\\\SRV\\NORVA\\ (7)\r\n");
}

TEST_F(TraceWriter, FirstLineOnAWeekdayWithAFileAppendsWithoutMark) {
  m_.WriteTextFile(kMonday, kBom + "older line\r\n");
  m_.SetLastWriteTime(kMonday, MemoryMachine::MakeFileTime(2024, 1, 8, 9));  // last week's Monday
  InitFileTrace();
  WriteTrace(u"Grüße");
  EXPECT_EQ(File(kMonday), kBom + "older line\r\n15/08:00:00.000 TRCTEST Gr\xC3\xBC\xC3\x9F" "e\r\n");
}

TEST_F(TraceWriter, CrossingMidnightStartsTheNextWeekdaysFileAfresh) {
  m_.WriteTextFile(kTuesday, kBom + "last week\r\n");
  m_.SetLastWriteTime(kTuesday, MemoryMachine::MakeFileTime(2024, 1, 9, 17));
  m_.SetLocalTime(2024, 1, 15, 23, 59, 59, 990);
  InitFileTrace();
  WriteTrace(u"before");
  m_.Advance(20);
  WriteTrace(u"after");
  WriteTrace(u"again");
  EXPECT_EQ(File(kMonday), kBom + "15/23:59:59.990 TRCTEST before\r\n");
  EXPECT_EQ(File(kTuesday), kBom + "16/00:00:00.010 TRCTEST after\r\n16/00:00:00.010 TRCTEST again\r\n");
}

TEST_F(TraceWriter, CrossingMidnightKeepsLinesAnotherWriterWroteToday) {
  m_.SetLocalTime(2024, 1, 15, 23, 59, 59, 990);
  InitFileTrace();
  WriteTrace(u"before");
  m_.Advance(20);
  // Another process crossed midnight first and started Tuesday's file.
  m_.WriteTextFile(kTuesday, kBom + "16/00:00:00.005 OTHER first\r\n");
  WriteTrace(u"after");
  EXPECT_EQ(File(kTuesday), kBom + "16/00:00:00.005 OTHER first\r\n16/00:00:00.010 TRCTEST after\r\n");
}

TEST_F(TraceWriter, LongTextIsCutTo2048Characters) {
  InitFileTrace();
  WriteTrace(String(3000, u'x'));
  const String text = FromUtf8(File(kMonday).substr(kBom.size()));
  ASSERT_EQ(text.size(), 2050u);
  EXPECT_EQ(text.substr(0, 24), u"15/08:00:00.000 TRCTEST ");
  EXPECT_EQ(text.substr(24, 2024), String(2024, u'x'));
  EXPECT_EQ(text.substr(2048), u"\r\n");

  // A cut through a surrogate pair drops its first half instead of
  // leaving half a character in the file.
  m_.RemovePath(kMonday);
  WriteTrace(String(2023, u'y') + u"\U0001F600" + u"zzz");
  const std::string bytes = File(kMonday);
  EXPECT_EQ(FromUtf8(bytes.substr(kBom.size())), u"15/08:00:00.000 TRCTEST " + String(2023, u'y') + u"\r\n");
}

TEST_F(TraceWriter, AFileHeldBrieflyStillGetsTheLine) {
  InitFileTrace();
  WriteTrace(u"first");
  for (int i = 0; i < 3; ++i) m_.InjectFailure("CreateFileW", 1, kErrSharingViolation, kMonday);
  m_.ResetCounts();
  WriteTrace(u"second");
  EXPECT_EQ(File(kMonday), kBom + "15/08:00:00.000 TRCTEST first\r\n15/08:00:00.000 TRCTEST second\r\n");
  EXPECT_EQ(m_.Count("Sleep"), 3u);
  EXPECT_EQ(TraceError(RootKey::CurrentUser),
            u"The process cannot access the file because it is being used by another process.");
}

TEST_F(TraceWriter, AFileHeldThroughoutLosesTheLineAndLeavesTraceError) {
  struct Case {
    const char* what;
    bool admin;
    bool service;
    bool machineRecord;
  } cases[] = {
      {"administrator", true, false, true},
      {"ordinary user", false, false, false},
      {"service without administrator rights", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine machine;
    ScopedPlatform use(machine);
    ResetAll();
    machine.SetAdministratorsMember(c.admin);
    String file = kMonday;
    if (c.service) {
      machine.SetEnvironmentVariable(u"QV_FORCE_SERVICE", String(u"1"));
      ASSERT_TRUE(DetectServiceIdentity());
      file = u"C:\\TRACE\\VELMORA_M3.FT1";
    }
    InitFileTrace();
    Handle other = 0;
    ASSERT_EQ(machine.OpenFile(file, kGenericWrite, kShareRead, Disposition::CreateAlways, other), kOk);
    machine.ResetCounts();
    WriteTrace(u"lost");
    EXPECT_EQ(machine.Count("CreateFileW", file), 10u);
    EXPECT_EQ(machine.Count("Sleep"), 10u);
    machine.CloseHandle(other);
    EXPECT_EQ(machine.ReadTextFile(file), "");
    const String busy = u"The process cannot access the file because it is being used by another process.";
    EXPECT_EQ(machine.GetRegString(RootKey::CurrentUser, kTraceKey, u"Trace Error"), busy);
    EXPECT_EQ(machine.GetRegString(RootKey::LocalMachine, kTraceKey, u"Trace Error"),
              c.machineRecord ? std::optional<String>(busy) : std::nullopt);

    WriteTrace(u"kept");  // nothing stays locked; the empty file gets its mark
    EXPECT_EQ(machine.ReadTextFile(file), kBom + "15/08:00:00.100 TRCTEST kept\r\n");
  }
}

TEST_F(TraceWriter, AFailedWriteIsRetried) {
  InitFileTrace();
  m_.InjectFailure("WriteFile", 1, kErrNotEnoughMemory, kMonday);
  WriteTrace(u"once");
  EXPECT_EQ(File(kMonday), kBom + "15/08:00:00.000 TRCTEST once\r\n");
  EXPECT_TRUE(TraceError(RootKey::CurrentUser).has_value());
}

TEST_F(TraceWriter, AnUnrecordableFailureReachesTheCaller) {
  m_.SetAdministratorsMember(false);
  InitFileTrace();
  m_.DenyRegistryWrite(RootKey::CurrentUser, u"Software\\Norva");
  m_.InjectFailure("CreateFileW", 1, kErrAccessDenied, kMonday);
  EXPECT_THROW(WriteTrace(u"x"), RegistryError);
  m_.AllowRegistryWrite();
  WriteTrace(u"y");  // the file lock was released
  EXPECT_EQ(File(kMonday), kBom + "15/08:00:00.000 TRCTEST y\r\n");
}

TEST_F(TraceWriter, FileTracingWithoutAFolderDeliversNothing) {
  m_.CreateRegKeyDirect(RootKey::LocalMachine, kTraceKey);
  m_.AddWindow(u"TTraceForm", u"Trace");
  m_.ResetCounts();
  InitFileTrace(u"");
  WriteTrace(u"nowhere");
  EXPECT_EQ(m_.Count("CreateFileW"), 0u);
  EXPECT_EQ(m_.Count("FindWindowW"), 0u);
  EXPECT_TRUE(m_.CopyDataSent().empty());
}

TEST_F(TraceWriter, WithoutInitTraceNothingIsDelivered) {
  m_.AddWindow(u"TTraceForm", u"Trace");
  m_.ResetCounts();
  WriteTrace(u"nothing");
  EXPECT_EQ(m_.Count("CreateFileW"), 0u);
  EXPECT_TRUE(m_.CopyDataSent().empty());
}

TEST_F(TraceWriter, MonitorLinesAndTheirDataWords) {
  struct Case {
    std::uint32_t flags;
    const char16_t* text;
    std::uintptr_t dataWord;
  } cases[] = {
      {4, u"plain", 1},
      {4, u">>highlighted", 129},
      {4, u"> not quite", 1},
      {132, u"plain", 129},
      {132, u">>highlighted", 129},
  };
  for (const Case& c : cases) {
    MemoryMachine machine;
    ScopedPlatform use(machine);
    ResetAll();
    const Handle window = machine.AddWindow(u"TTraceForm", u"any title");
    machine.SetRegDword(RootKey::LocalMachine, kTraceKey, u"TRCTEST", c.flags);
    InitTrace(u"trctest", u"");
    WriteTrace(c.text);
    const auto sent = machine.CopyDataSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].window, window);
    EXPECT_EQ(sent[0].dataWord, c.dataWord) << ToUtf8(c.text) << " flags " << c.flags;
    const String line = u"TRCTEST " + String(c.text);
    EXPECT_EQ(Utf16(sent[0].data), line + u'\0');
  }
}

TEST_F(TraceWriter, MonitorLinesAreCutAndTheSendMayFail) {
  const Handle window = m_.AddWindow(u"TTraceForm", u"");
  m_.SetRegDword(RootKey::LocalMachine, kTraceKey, u"TRCTEST", 4);
  InitTrace(u"TRCTEST", u"");
  WriteTrace(String(3000, u'm'));
  m_.InjectFailure("SendMessageW", 1, 0);
  WriteTrace(u"fails quietly");
  m_.RemoveWindow(window);
  WriteTrace(u"monitor gone");
  const auto sent = m_.CopyDataSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].data.size(), 2u * 2048 + 2);
  EXPECT_EQ(Utf16(sent[0].data), u"TRCTEST " + String(2040, u'm') + u'\0');
}

namespace {

// Threads of one program tracing at once: every line arrives whole, once.
TEST_F(TraceWriter, ThreadsWritingAtOnceLoseAndTearNoLine) {
  InitFileTrace();
  constexpr int kThreads = 4, kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int n = 0; n < kLines; ++n) WriteTrace(FromUtf8("thread " + std::to_string(t) + " line " + std::to_string(n)));
    });
  for (std::thread& t : threads) t.join();

  std::string text = File(kMonday);
  ASSERT_EQ(text.substr(0, kBom.size()), kBom);
  std::istringstream lines(text.substr(kBom.size()));
  std::set<std::string> seen;
  int torn = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string prefix = "15/08:00:00.000 TRCTEST thread ";
    if (line.empty() || line.back() != '\r' || line.rfind(prefix, 0) != 0) ++torn;
    else seen.insert(line);
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

}  // namespace
