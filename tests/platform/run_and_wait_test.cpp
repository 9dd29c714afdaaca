// RunAndWait on the in-memory machine: every row of its result table, with
// programs whose life is scripted on the machine's clock, so no test waits.
#include <gtest/gtest.h>

#include "platform/memory/memory_machine.h"
#include "platform/run_and_wait.h"

using namespace qv;
using namespace qv::platform;

namespace {

constexpr std::uint64_t kTicksPerMs = 10000;

class RunAndWaitTest : public ::testing::Test {
 protected:
  RunAndWaitTest() : use_(m_) {}
  // Elapsed machine time of one call, in milliseconds.
  std::int32_t Run(StringView line, std::int32_t seconds, StringView folder = u"") {
    const FileTime before = m_.GetSystemTimeAsFileTime();
    const std::int32_t result = RunAndWait(line, folder, seconds, 0);
    elapsedMs_ = (m_.GetSystemTimeAsFileTime() - before) / kTicksPerMs;
    return result;
  }
  MemoryMachine m_;
  ScopedPlatform use_;
  std::uint64_t elapsedMs_ = 0;
};

TEST_F(RunAndWaitTest, EveryOutcomeMapsToItsResult) {
  using B = MemoryMachine::ProgramBehaviour;
  struct Case {
    const char* what;
    B behaviour;
    std::int32_t seconds;
    std::int32_t result;
    std::uint64_t elapsedMs;
    std::uint64_t waits;
    std::uint64_t terminations;
  } cases[] = {
      {"exit code 3 after two seconds", B{0, 2000, 3, false}, 15, 3, 2000, 2, 0},
      {"exit code 0 at once", B{0, 0, 0, false}, 15, 0, 0, 1, 0},
      {"a negative exit code", B{0, 500, static_cast<std::uint32_t>(-7), false}, 15, -7, 500, 1, 0},
      {"ends in the last second", B{0, 14999, 9, false}, 15, 9, 14999, 15, 0},
      {"never ends: terminated after 15 waits", B{0, -1, 0, false}, 15, -120, 15000, 16, 1},
      {"refuses termination: -121 about 21 s after the start", B{0, -1, 0, true}, 15, -121, 21000, 21, 1},
      {"limit 0: not waited for", B{0, -1, 0, false}, 0, 0, 0, 0, 0},
      {"negative limit: not waited for", B{0, 5000, 4, false}, -3, 0, 0, 0, 0},
      {"limit 1: terminated after one wait", B{0, -1, 0, false}, 1, -120, 1000, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine m;
    ScopedPlatform use(m);
    m.SetProgramBehaviour(u"MAILPOST.exe", c.behaviour);
    const FileTime before = m.GetSystemTimeAsFileTime();
    EXPECT_EQ(RunAndWait(u"\"MAILPOST.exe\" AUTO", u"", c.seconds, 0), c.result);
    EXPECT_EQ((m.GetSystemTimeAsFileTime() - before) / kTicksPerMs, c.elapsedMs);
    EXPECT_EQ(m.Count("WaitForSingleObject"), c.waits);
    EXPECT_EQ(m.Count("TerminateProcess"), c.terminations);
    EXPECT_EQ(m.OpenProcessHandleCount(), 0u);
  }
}

TEST_F(RunAndWaitTest, ATerminatedProgramEndsWithExitCodeMinus120) {
  m_.SetProgramBehaviour(u"HANG.EXE", {0, -1, 0, false});
  EXPECT_EQ(Run(u"HANG.EXE", 2), kRunTerminated);
  // The process is gone from the table: it really ended.
  std::vector<ProcessEntry> table;
  m_.ProcessSnapshot(table);
  for (const ProcessEntry& p : table) EXPECT_NE(p.exeName, u"HANG.EXE");
}

TEST_F(RunAndWaitTest, AStartThatFailsGivesMinusOneOrThePlatformError) {
  // No behaviour: the program file does not exist.
  EXPECT_EQ(Run(u"\"C:\\missing\\MAILPOST.exe\" AUTO", 15), kRunNotStarted);
  EXPECT_EQ(Run(u"\"C:\\missing\\MAILPOST.exe\" AUTO", 0), 2);
  EXPECT_EQ(Run(u"\"C:\\missing\\MAILPOST.exe\" AUTO", -1), 2);
  m_.SetProgramBehaviour(u"DENIED.EXE", {kErrAccessDenied, 0, 0, false});
  EXPECT_EQ(Run(u"DENIED.EXE", 0), 5);
  EXPECT_EQ(Run(u"DENIED.EXE", 15), kRunNotStarted);
  EXPECT_EQ(m_.OpenProcessHandleCount(), 0u);
}

TEST_F(RunAndWaitTest, AFailedWaitGivesZeroBeforeAndMinus122AfterTheTermination) {
  m_.SetProgramBehaviour(u"HANG.EXE", {0, -1, 0, false});
  m_.InjectFailure("WaitForSingleObject", 3, kErrInvalidHandle);
  EXPECT_EQ(Run(u"HANG.EXE", 15), 0);
  EXPECT_EQ(m_.OpenProcessHandleCount(), 0u);

  m_.ClearFailures();
  m_.SetProgramBehaviour(u"STUBBORN.EXE", {0, -1, 0, true});
  m_.InjectFailure("WaitForSingleObject", 17, kErrInvalidHandle);  // two waits after the termination
  EXPECT_EQ(Run(u"STUBBORN.EXE", 15), kRunWaitFailedAfterEnd);
  EXPECT_EQ(m_.Count("TerminateProcess"), 1u);
  EXPECT_EQ(m_.OpenProcessHandleCount(), 0u);
}

TEST_F(RunAndWaitTest, TheWorkingFolderIsPassedOnlyWhenItHoldsMoreThanBlanks) {
  m_.SetProgramBehaviour(u"P.EXE", {0, 0, 0, false});
  m_.MakeDirectories(u"C:\\WORK");
  struct Case {
    const char16_t* given;
    const char16_t* passed;
  } cases[] = {{u"", u""}, {u"   ", u""}, {u" \t\r\n", u""}, {u"C:\\WORK", u"C:\\WORK"}, {u" C:\\WORK", u" C:\\WORK"}};
  for (const Case& c : cases) RunAndWait(u"P.EXE x", c.given, 15, 0);
  const auto started = m_.StartedProcesses();
  ASSERT_EQ(started.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(started[i].workingDirectory, cases[i].passed) << i;
}

TEST_F(RunAndWaitTest, TheCommandLineAndShowModeArePassedAndCutAt8191Characters) {
  m_.SetProgramBehaviour(u"P.EXE", {0, 0, 0, false});
  const String shortLine = u"P.EXE \"a b\"";
  RunAndWait(shortLine, u"", 15, 5);
  String longLine = u"P.EXE " + String(9000, u'x');
  RunAndWait(longLine, u"", 15, 0);
  const auto started = m_.StartedProcesses();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].commandLine, shortLine);
  EXPECT_EQ(started[0].showMode, 5);
  EXPECT_EQ(started[1].commandLine, longLine.substr(0, 8191));
}

}  // namespace
