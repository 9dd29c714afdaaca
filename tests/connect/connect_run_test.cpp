// The connect run on the in-memory machine: start-up, source-path
// validation, share identity checks, questions and the final report, seen
// from outside as the dialogs shown, the exit code and the settled path.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <optional>

#include "connect/command_line.h"
#include "connect/config_status.h"
#include "connect/connect_context.h"
#include "connect/connect_driver.h"
#include "connect/message_dialog.h"
#include "platform/memory/memory_machine.h"
#include "platform/timed_message.h"
#include "resources/string_tables.h"
#include "tests/connect/suite_machine.h"
#include "trace/trace.h"

using namespace qv;
using namespace qv::connect;
using qv::platform::DialogRequest;
using qv::platform::MemoryMachine;
using qv::platform::ProcessExit;

namespace {

template <typename... A>
String Msg(std::uint32_t id, const A&... args) {
  const String* text = resources::ConnectText(id);
  EXPECT_NE(text, nullptr) << id;
  return text ? Format(*text, args...) : String();
}

// What one dialog of the run looked like.
struct Shown {
  std::uint8_t kind;
  std::uint16_t buttons;
  int seconds;
  String message;
};

struct Outcome {
  std::optional<std::uint32_t> exitCode;
  std::vector<DialogRequest> dialogs;
  std::uint64_t pausedMs = 0;
};

// Runs the program on machine m; the run ends the "process".
Outcome RunOn(MemoryMachine& m, const String& program, std::vector<String> args) {
  m.SetProgramPath(program);
  Outcome out;
  const auto before = m.GetSystemTimeAsFileTime();
  try {
    RunProgram(std::move(args));
    ADD_FAILURE() << "the program returned";
  } catch (const ProcessExit& e) {
    out.exitCode = e.exitCode;
  }
  out.pausedMs = (m.GetSystemTimeAsFileTime() - before) / 10000;
  out.dialogs = m.Dialogs();
  // A load failure's self-closing message box leaves a closing thread that
  // talks to this machine: let it finish before the machine goes.
  while (qv::Tsimplethread::Running() > 0) std::this_thread::yield();
  return out;
}

class ConnectRun : public ::testing::Test {
 protected:
  MemoryMachine m;
  qv::platform::ScopedPlatform use{m};

  void SetUp() override {
    m.SetComputerName(u"THISPC");
    qv::testing_connect::InstallLocationLibrary(m);
    SetConfigurationStatusForTests(std::nullopt);
    SetDialogWidth(kDefaultDialogWidth);
  }
  void TearDown() override { SetConfigurationStatusForTests(std::nullopt); }

  // A prepared share: root\TARVEX\QTCFG.INI naming `expected`, root\NETBIN.
  void Prepare(const String& root, const String& expected) {
    m.MakeDirectories(root + u"\\NETBIN");
    m.WriteTextFile(root + u"\\TARVEX\\QTCFG.INI",
                    "[QTCONFIG]\r\nExpectedUNCpath=" + ToUtf8(expected) + "\r\nConfigurationFile=TARVEX.CFG\r\n");
    m.WriteTextFile(root + u"\\TARVEX\\TARVEX.CFG", qv::testing_connect::kSmallConfig);
  }
  void RemoteShare(const String& server, const String& share) { m.AddRemoteShare(server, share); }

  Outcome Run(const String& program, std::vector<String> args) { return RunOn(m, program, std::move(args)); }

  static void ExpectDialogs(const Outcome& out, const std::vector<Shown>& expected) {
    ASSERT_EQ(out.dialogs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "dialog " << i);
      const DialogRequest& d = out.dialogs[i];
      EXPECT_EQ(d.kind, expected[i].kind);
      EXPECT_EQ(d.buttons, expected[i].buttons);
      EXPECT_EQ(d.seconds, expected[i].seconds);
      EXPECT_EQ(ToUtf8(d.message), ToUtf8(expected[i].message));
      EXPECT_TRUE(d.detail.empty());
      EXPECT_EQ(d.width, i == 0 ? 600 : 500);
      EXPECT_EQ(d.title, d.kind == kDialogError ? u"  NORVACONNECT: Error" : u"  NORVACONNECT: Information");
    }
  }
};

const String kUncProgram = u"\\\\SRV\\NORVA\\NORVACONNECT.exe";

Shown Success(const String& path) { return {kDialogInformation, kDlgOk, 3, u"Connected successfully to " + path}; }
Shown QuietFailure(const String& text) { return {kDialogError, kDlgOk, -2, text}; }
Shown Question(const String& text, int seconds = 2) { return {kDialogError, kDlgYes | kDlgNo, seconds, text}; }

// ---------------------------------------------------------------- start-up

TEST_F(ConnectRun, UncShareRootConnectsWithoutAQuestion) {
  RemoteShare(u"SRV", u"NORVA");
  Prepare(u"\\\\SRV\\NORVA", u"\\\\SRV\\NORVA");
  const Outcome out = Run(kUncProgram, {u"/q"});
  EXPECT_EQ(out.exitCode, 0u);
  EXPECT_EQ(Connect().ConnectPath, u"\\\\SRV\\NORVA\\");
  EXPECT_EQ(Connect().DataFolder, u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(Connect().NetbinFolder, u"\\\\SRV\\NORVA\\NETBIN\\");
  EXPECT_EQ(Connect().ExpectedUNCPath, u"\\\\SRV\\NORVA\\");
  EXPECT_EQ(Connect().LinkFilePath, u"\\\\SRV\\NORVA\\QVLINK.INI");
  EXPECT_EQ(Connect().ComputerName, u"THISPC");
  EXPECT_TRUE(Connect().ConnectError.empty());
  ExpectDialogs(out, {Success(u"\\\\SRV\\NORVA\\")});
  EXPECT_EQ(out.pausedMs, 500u);
}

TEST_F(ConnectRun, SwitchesAndTheFailureReport) {
  const String failure = Msg(64915);
  struct Case {
    std::vector<String> args;
    int seconds;  // of the failure report: -2 in quiet mode, else none
  };
  const Case cases[] = {
      {{}, 0},           {{u"/q"}, -2},         {{u"-Q"}, -2},    {{u"/Q", u"/n"}, -2},
      {{u"q"}, 0},       {{u"/qn"}, 0},         {{u"--q"}, 0},    {{u"C:\\x", u"-q"}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "arguments " << c.args.size() << (c.args.empty() ? "" : ToUtf8(c.args[0])));
    MemoryMachine fresh;
    qv::platform::ScopedPlatform useFresh(fresh);
    qv::testing_connect::InstallLocationLibrary(fresh);
    // The share lacks NETBIN: the identity check fails.
    fresh.AddRemoteShare(u"SRV", u"NORVA");
    fresh.MakeDirectories(u"\\\\SRV\\NORVA\\TARVEX");
    const Outcome out = RunOn(fresh, kUncProgram, c.args);
    EXPECT_EQ(out.exitCode, 1u);
    ExpectDialogs(out, {{kDialogError, kDlgOk, c.seconds, failure}});
    EXPECT_EQ(out.pausedMs, 500u);
  }
}

TEST_F(ConnectRun, ElevationAndComputerNameAreRead) {
  RemoteShare(u"SRV", u"NORVA");
  Prepare(u"\\\\SRV\\NORVA", u"\\\\SRV\\NORVA");
  m.SetTokenElevation(true);
  Run(kUncProgram, {u"/q"});
  EXPECT_TRUE(Connect().ProcessElevated);
  m.SetTokenElevation(false);
  Run(kUncProgram, {u"/q"});
  EXPECT_FALSE(Connect().ProcessElevated);
  m.SetTokenElevation(true);
  m.InjectFailure("OpenProcessToken", 0, 5);
  Run(kUncProgram, {u"/q"});
  EXPECT_FALSE(Connect().ProcessElevated);
  // Without a computer name the run still ends with a report.
  m.InjectFailure("GetComputerNameW", 0, 5);
  const Outcome out = Run(kUncProgram, {u"/q"});
  EXPECT_EQ(out.exitCode, 0u);
  EXPECT_TRUE(Connect().ComputerName.empty());
}

TEST_F(ConnectRun, NegativeConfigurationStatusFailsTheRunWithAText) {
  RemoteShare(u"SRV", u"NORVA");
  Prepare(u"\\\\SRV\\NORVA", u"\\\\SRV\\NORVA");
  SetConfigurationStatusForTests(-20193);
  const Outcome out = Run(kUncProgram, {u"/q"});
  EXPECT_EQ(out.exitCode, 1u);
  ExpectDialogs(out, {QuietFailure(u"The connect operation has failed (-20193) for \\\\SRV\\NORVA\\TARVEX\\")});
}

// ------------------------------------------------------- source-path validation

struct PathCase {
  const char* name;
  std::function<void(MemoryMachine&)> setup;
  String program;
  std::vector<String> args;
  std::vector<int> answers;  // scripted answers of the dialogs, in order
  std::uint32_t exitCode;
  String connectPath;        // after the run
  std::vector<Shown> dialogs;
};

void Share(MemoryMachine& m, const String& server, const String& share, const String& expected) {
  m.AddRemoteShare(server, share);
  const String root = u"\\\\" + server + u"\\" + share;
  m.MakeDirectories(root + u"\\NETBIN");
  m.WriteTextFile(root + u"\\TARVEX\\QTCFG.INI",
                  "[QTCONFIG]\r\nExpectedUNCpath=" + ToUtf8(expected) + "\r\nConfigurationFile=TARVEX.CFG\r\n");
  m.WriteTextFile(root + u"\\TARVEX\\TARVEX.CFG", qv::testing_connect::kSmallConfig);
}

void LocalShare(MemoryMachine& m, const String& name, const String& path, bool withFolders, const String& expected) {
  m.MakeDirectories(path);
  m.AddShare(name, path);
  if (!withFolders) return;
  m.MakeDirectories(path + u"\\NETBIN");
  m.WriteTextFile(path + u"\\TARVEX\\QTCFG.INI",
                  "[QTCONFIG]\r\nExpectedUNCpath=" + ToUtf8(expected) + "\r\nConfigurationFile=TARVEX.CFG\r\n");
  m.WriteTextFile(path + u"\\TARVEX\\TARVEX.CFG", qv::testing_connect::kSmallConfig);
}

TEST_F(ConnectRun, SourcePathCases) {
  const String mapped = u"M:\\NORVACONNECT.exe";
  const PathCase cases[] = {
      {"IP address", [](MemoryMachine&) {}, u"\\\\10.1.2.3\\NORVA\\NORVACONNECT.exe", {u"/q"}, {}, 1,
       u"\\\\10.1.2.3\\NORVA",
       {QuietFailure(u"The NORVACONNECT program must be run from a sharename\rof the form \\\\machinename\\NORVA, "
                     u"not using the IP address\rof the machine: \\\\10.1.2.3\\NORVA\\NORVACONNECT.exe.\rThe "
                     u"connect operation failed.")}},
      {"two dots are a name", [](MemoryMachine& m) { Share(m, u"10.1.2", u"NORVA", u"\\\\10.1.2\\NORVA"); },
       u"\\\\10.1.2\\NORVA\\NORVACONNECT.exe", {u"/q"}, {}, 0, u"\\\\10.1.2\\NORVA\\",
       {Success(u"\\\\10.1.2\\NORVA\\")}},
      {"a letter makes a name", [](MemoryMachine& m) { Share(m, u"SRV1.2.3.4", u"NORVA", u"\\\\SRV1.2.3.4\\NORVA"); },
       u"\\\\SRV1.2.3.4\\NORVA\\NORVACONNECT.exe", {u"/q"}, {}, 0, u"\\\\SRV1.2.3.4\\NORVA\\",
       {Success(u"\\\\SRV1.2.3.4\\NORVA\\")}},
      {"UNC subfolder fails in the identity check", [](MemoryMachine& m) { Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA"); },
       u"\\\\SRV\\NORVA\\SUB\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"\\\\SRV\\NORVA\\SUB\\", {QuietFailure(Msg(64915))}},
      {"SUBST drive",
       [](MemoryMachine& m) {
         m.MakeDirectories(u"C:\\DATA");
         m.Subst(u'X', u"C:\\DATA");
       },
       u"X:\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"X:",
       {QuietFailure(u"The NORVACONNECT program cannot be run from X: which\ris a SUBST drive. To use this folder you "
                     u"should delete the\rsubstitution using \"SUBST X: /d\" and create a network share\rinstead.\r\r"
                     u"The connect operation failed.")}},
      {"mapped NORVA share, Yes",
       [](MemoryMachine& m) {
         Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
         m.MapDrive(u'M', u"\\\\SRV\\NORVA");
         m.SetUniversalNameRootBackslash(false);
       },
       mapped, {u"/q"}, {6}, 0, u"\\\\SRV\\NORVA\\",
       {Question(Msg(64942, u"M:", u"M:", u"\\\\SRV")), Success(u"\\\\SRV\\NORVA\\")}},
      {"mapped share reported with a trailing backslash",
       [](MemoryMachine& m) {
         Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
         m.MapDrive(u'M', u"\\\\SRV\\NORVA");
       },
       mapped, {u"/q"}, {}, 1, u"M:", {QuietFailure(Msg(64913, mapped))}},
      {"mapped share, program in a subfolder",
       [](MemoryMachine& m) {
         Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
         m.MakeDirectories(u"\\\\SRV\\NORVA\\SUB");
         m.MapDrive(u'M', u"\\\\SRV\\NORVA");
         m.SetUniversalNameRootBackslash(false);
       },
       u"M:\\SUB\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"M:\\SUB", {QuietFailure(Msg(64913, u"M:\\SUB\\NORVACONNECT.exe"))}},
      {"mapped DATA share without NORVA folders on its server",
       [](MemoryMachine& m) {
         m.AddRemoteShare(u"SRV", u"DATA");
         m.MapDrive(u'M', u"\\\\SRV\\DATA");
         m.SetUniversalNameRootBackslash(false);
       },
       mapped, {u"/q"}, {}, 1, u"M:\\", {QuietFailure(Msg(64915))}},
      {"mapped DATA share on a server with TARVEX and NETBIN",
       [](MemoryMachine& m) {
         Share(m, u"SRV", u"DATA", u"\\\\SRV\\DATA");
         m.AddRemoteShare(u"SRV", u"TARVEX");
         m.AddRemoteShare(u"SRV", u"NETBIN");
         m.MapDrive(u'M', u"\\\\SRV\\DATA");
         m.SetUniversalNameRootBackslash(false);
       },
       mapped, {u"/q", u"/n"}, {6}, 0, u"\\\\SRV\\DATA\\",
       {Question(Msg(64943, u"M:", u"M:", u"\\\\SRV"), -2), Success(u"\\\\SRV\\DATA\\")}},
      {"server name beginning with this computer's name counts as this computer",
       [](MemoryMachine& m) {
         m.SetComputerName(u"SRV");
         Share(m, u"SRV2", u"NORVA", u"\\\\SRV2\\NORVA");
         m.MapDrive(u'M', u"\\\\SRV2\\NORVA");
         m.SetUniversalNameRootBackslash(false);
       },
       mapped, {u"/q"}, {}, 1, u"M:", {QuietFailure(Msg(64912, mapped))}},
      {"case A: this machine's own NORVA share",
       [](MemoryMachine& m) { LocalShare(m, u"norva", u"C:\\NORVA", true, u"\\\\THISPC\\NORVA"); },
       u"C:\\NORVA\\NORVACONNECT.exe", {u"/q"}, {}, 0, u"\\\\THISPC\\NORVA\\", {Success(u"\\\\THISPC\\NORVA\\")}},
      {"case A without TARVEX and NETBIN",
       [](MemoryMachine& m) { LocalShare(m, u"NORVA", u"C:\\NORVA", false, u""); },
       u"C:\\NORVA\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"C:\\NORVA",
       {QuietFailure(Msg(64912, u"C:\\NORVA\\NORVACONNECT.exe"))}},
      {"case B: a shared folder, no NORVA share",
       [](MemoryMachine& m) { LocalShare(m, u"DATA", u"C:\\DATA", true, u"\\\\THISPC\\DATA"); },
       u"C:\\DATA\\NORVACONNECT.exe", {}, {6}, 0, u"\\\\THISPC\\DATA\\",
       {Question(Msg(64940, u"C:\\DATA", u"\\\\THISPC\\DATA"), 0), Success(u"\\\\THISPC\\DATA\\")}},
      {"case B without the folders asks nothing",
       [](MemoryMachine& m) { LocalShare(m, u"DATA", u"C:\\DATA", false, u""); },
       u"C:\\DATA\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"C:\\DATA\\", {QuietFailure(Msg(64915))}},
      {"case C: a shared folder beside a NORVA share",
       [](MemoryMachine& m) {
         LocalShare(m, u"NORVA", u"C:\\OTHER", false, u"");
         LocalShare(m, u"DATA", u"C:\\DATA", true, u"\\\\THISPC\\DATA");
       },
       u"C:\\DATA\\NORVACONNECT.exe", {u"/q"}, {6}, 0, u"\\\\THISPC\\DATA\\",
       {Question(Msg(64941, u"C:\\DATA", u"\\\\THISPC\\DATA", u"C:\\OTHER")), Success(u"\\\\THISPC\\DATA\\")}},
      {"case D: a folder that is not shared",
       [](MemoryMachine& m) {
         LocalShare(m, u"DATA", u"C:\\DATA", true, u"\\\\THISPC\\DATA");
         m.MakeDirectories(u"C:\\APP");
       },
       u"C:\\APP\\NORVACONNECT.exe", {u"/q"}, {}, 1, u"C:\\APP", {QuietFailure(Msg(64912, u"C:\\APP\\NORVACONNECT.exe"))}},
      {"no shares at all", [](MemoryMachine& m) { m.MakeDirectories(u"C:\\NORVA"); }, u"C:\\NORVA\\NORVACONNECT.exe",
       {}, {}, 1, u"C:\\NORVA", {{kDialogError, kDlgOk, 0, Msg(64912, u"C:\\NORVA\\NORVACONNECT.exe")}}},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryMachine fresh;
    qv::platform::ScopedPlatform useFresh(fresh);
    qv::testing_connect::InstallLocationLibrary(fresh);
    fresh.SetComputerName(u"THISPC");
    c.setup(fresh);
    for (int a : c.answers) fresh.ScriptDialog(a);
    const Outcome out = RunOn(fresh, c.program, c.args);
    EXPECT_EQ(out.exitCode, c.exitCode);
    EXPECT_EQ(ToUtf8(Connect().ConnectPath), ToUtf8(c.connectPath));
    ExpectDialogs(out, c.dialogs);
  }
}

// The step trace of the source-path check, one table row per way to the
// share root: the lines the trace monitor receives (program flag 4 set).
TEST(ConnectRunTrace, SourcePathCasesTraceTheirSteps) {
  struct TraceCase {
    const char* name;
    std::function<void(MemoryMachine&)> setup;
    String program;
    std::vector<int> answers;
    std::vector<String> lines;  // the source-path lines, in order
  };
  const String mapped = u"M:\\NORVACONNECT.exe";
  const TraceCase cases[] = {
      {"UNC share root", [](MemoryMachine& m) { Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA"); },
       u"\\\\SRV\\NORVA\\NORVACONNECT.exe", {},
       {u"Application path: \\\\SRV\\NORVA", u"Using \\\\SRV\\NORVA as pathname"}},
      {"mapped NORVA share",
       [](MemoryMachine& m) {
         Share(m, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
         m.MapDrive(u'M', u"\\\\SRV\\NORVA");
         m.SetUniversalNameRootBackslash(false);
       },
       mapped, {6},
       {u"Application path: M:", u"Universalname: \\\\SRV\\NORVA", u"Using \\\\SRV\\NORVA as pathname"}},
      {"this machine's own NORVA share",
       [](MemoryMachine& m) { LocalShare(m, u"NORVA", u"C:\\NORVA", true, u"\\\\THISPC\\NORVA"); },
       u"C:\\NORVA\\NORVACONNECT.exe", {},
       {u"Application path: C:\\NORVA", u"No universalname for: C:\\NORVA (Windows error 2250)",
        u"Local Norva share: C:\\NORVA", u"Set source to: C:\\NORVA", u"Using \\\\THISPC\\NORVA as pathname"}},
      {"a shared folder, no NORVA share",
       [](MemoryMachine& m) { LocalShare(m, u"DATA", u"C:\\DATA", true, u"\\\\THISPC\\DATA"); },
       u"C:\\DATA\\NORVACONNECT.exe", {6},
       {u"Application path: C:\\DATA", u"No universalname for: C:\\DATA (Windows error 2250)",
        u"Local DATA share: C:\\DATA", u"Using \\\\THISPC\\DATA as pathname"}},
      {"no shares at all", [](MemoryMachine& m) { m.MakeDirectories(u"C:\\NORVA"); },
       u"C:\\NORVA\\NORVACONNECT.exe", {},
       {u"Application path: C:\\NORVA", u"No universalname for: C:\\NORVA (Windows error 2250)"}},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryMachine m;
    qv::platform::ScopedPlatform use(m);
    qv::testing_connect::InstallLocationLibrary(m);
    m.SetComputerName(u"THISPC");
    m.SetRegDword(qv::platform::RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"NORVACONNECT", 4);
    m.AddWindow(u"TTraceForm", u"");
    qv::ResetTraceForTests();
    c.setup(m);
    for (int a : c.answers) m.ScriptDialog(a);
    RunOn(m, c.program, {u"/q"});
    std::vector<String> lines;
    for (const auto& record : m.CopyDataSent()) {
      String text;
      for (std::size_t i = 0; i + 3 < record.data.size(); i += 2)
        text += static_cast<char16_t>(record.data[i] | (record.data[i + 1] << 8));
      const std::size_t at = text.find(u"NORVACONNECT ");
      if (at != String::npos) text = text.substr(at + 13);
      for (const char16_t* prefix : {u"Application path: ", u"Universalname: ", u"No universalname for: ",
                                     u"Local ", u"Set source to: ", u"Using "})
        if (StartsWithNoCaseAscii(text, prefix)) lines.push_back(text);
    }
    std::string all;
    for (const String& l : lines) all += ToUtf8(l) + "\n";
    std::string want;
    for (const String& l : c.lines) want += ToUtf8(l) + "\n";
    EXPECT_EQ(all, want);
    qv::ResetTraceForTests();
  }
}

// A question's answer decides: only Yes goes on; anything else ends the
// program after 250 ms with exit code 1 and no further message.
TEST_F(ConnectRun, QuestionAnswers) {
  struct Case {
    std::vector<String> args;
    int seconds;  // the question's countdown
    int answer;   // what the dialog returned (a countdown answers for its button)
    bool goesOn;
  };
  const Case cases[] = {
      {{u"/q"}, 2, 6, true},          // nobody answers: the green bar under Yes
      {{u"/q", u"-N"}, -2, 7, false},  // nobody answers: the red bar under No
      {{u"/q"}, 2, 7, false},
      {{u"/q"}, 2, 2, false},  // close box
      {{u"/n"}, 0, 6, true},   // n alone changes nothing visible
      {{}, 0, 7, false},
      {{}, 0, 2, false},
      {{}, 0, -1, false},  // the dialog could not be shown
  };
  const String question = Msg(64942, u"M:", u"M:", u"\\\\SRV");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "seconds " << c.seconds << " answer " << c.answer);
    MemoryMachine fresh;
    qv::platform::ScopedPlatform useFresh(fresh);
    qv::testing_connect::InstallLocationLibrary(fresh);
    Share(fresh, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
    fresh.MapDrive(u'M', u"\\\\SRV\\NORVA");
    fresh.SetUniversalNameRootBackslash(false);
    if (c.answer == -1)
      fresh.InjectFailure("ShowDialog", 1, 5);
    else
      fresh.ScriptDialog(c.answer);
    fresh.SetProgramPath(u"M:\\NORVACONNECT.exe");
    const auto before = fresh.GetSystemTimeAsFileTime();
    std::optional<std::uint32_t> code;
    try {
      RunProgram(c.args);
    } catch (const ProcessExit& e) {
      code = e.exitCode;
    }
    const auto paused = (fresh.GetSystemTimeAsFileTime() - before) / 10000;
    const auto dialogs = fresh.Dialogs();
    if (c.goesOn) {
      EXPECT_EQ(code, 0u);
      ASSERT_EQ(dialogs.size(), 2u);
      EXPECT_EQ(dialogs[1].message, u"Connected successfully to \\\\SRV\\NORVA\\");
    } else {
      EXPECT_EQ(code, 1u);
      EXPECT_EQ(paused, 250u);
      ASSERT_EQ(dialogs.size(), c.answer == -1 ? 0u : 1u);
    }
    if (!dialogs.empty()) {
      EXPECT_EQ(dialogs[0].message, question);
      EXPECT_EQ(dialogs[0].buttons, kDlgYes | kDlgNo);
      EXPECT_EQ(dialogs[0].kind, kDialogError);
      EXPECT_EQ(dialogs[0].seconds, c.seconds);
    }
  }
}

// --------------------------------------------------------- share identity

struct IdentityCase {
  const char* name;
  std::function<void(MemoryMachine&)> setup;
  String error;  // empty: connected
  String dataFolder;
  String netbinFolder;
};

TEST_F(ConnectRun, ShareIdentityCases) {
  const String root = u"\\\\SRV\\NORVA";
  auto qtcfg = [](MemoryMachine& m, const String& folder, std::string_view text) {
    m.WriteTextFile(folder + u"\\QTCFG.INI", text);
  };
  const IdentityCase cases[] = {
      {"TARVEX and NETBIN of the share", [](MemoryMachine&) {}, u"", u"\\\\SRV\\NORVA\\TARVEX\\",
       u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"QVLINK.INI redirects TARVEX",
       [&](MemoryMachine& m) {
         m.RemovePath(root + u"\\TARVEX");
         m.AddRemoteShare(u"SRV2", u"DATA");
         qtcfg(m, u"\\\\SRV2\\DATA\\TARVEX",
               "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n");
         m.WriteTextFile(u"\\\\SRV2\\DATA\\TARVEX\\TARVEX.CFG", qv::testing_connect::kSmallConfig);
         m.WriteTextFile(root + u"\\QVLINK.INI", "[norvaappdata]\r\nuncname = \\\\SRV2\\DATA\\TARVEX\r\n");
       },
       u"", u"\\\\SRV2\\DATA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"QVLINK.INI redirects both, not tested for existence",
       [&](MemoryMachine& m) {
         m.WriteTextFile(root + u"\\QVLINK.INI",
                         "[NorvaAppdata]\r\nUNCname=\\\\SRV\\NORVA\\TARVEX\\\r\n[NorvaNetbin]\r\nUNCname=\\\\X\\Y\\NB\r\n");
       },
       u"", u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\X\\Y\\NB\\"},
      {"unreadable QVLINK.INI",
       [&](MemoryMachine& m) {
         m.WriteTextFile(root + u"\\QVLINK.INI", "[NorvaAppdata]\r\n");
         m.InjectFailure("CreateFileW", 0, 5, root + u"\\QVLINK.INI");
       },
       u"Access is denied.\r\rThe connect operation failed.", u"", u""},
      {"NETBIN missing", [&](MemoryMachine& m) { m.RemovePath(root + u"\\NETBIN"); }, Msg(64915),
       u"\\\\SRV\\NORVA\\TARVEX", u""},
      {"TARVEX missing", [&](MemoryMachine& m) { m.RemovePath(root + u"\\TARVEX"); }, Msg(64915), u"",
       u"\\\\SRV\\NORVA\\NETBIN"},
      {"QTCFG.INI missing", [&](MemoryMachine& m) { m.RemovePath(root + u"\\TARVEX\\QTCFG.INI"); }, Msg(64917),
       u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"QTCFG.INI unreadable",
       [&](MemoryMachine& m) { m.InjectFailure("CreateFileW", 0, 32, root + u"\\TARVEX\\QTCFG.INI"); },
       u"The process cannot access the file because it is being used by another process.\r\rThe connect "
       u"operation failed.",
       u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"QTCFG.INI without the key",
       [&](MemoryMachine& m) { qtcfg(m, root + u"\\TARVEX", "[QTCONFIG]\r\nConfigurationFile=TARVEX.CFG\r\n"); },
       Msg(64919), u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"QTCFG.INI without the section",
       [&](MemoryMachine& m) { qtcfg(m, root + u"\\TARVEX", "ExpectedUNCpath=\\\\SRV\\NORVA\r\n"); }, Msg(64919),
       u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"expected path in other letter case without backslash",
       [&](MemoryMachine& m) { qtcfg(m, root + u"\\TARVEX", "[qtconfig]\r\nexpecteduncpath=\\\\srv\\norva\r\nconfigurationfile=TARVEX.CFG\r\n"); },
       u"", u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"expected path names another server",
       [&](MemoryMachine& m) { qtcfg(m, root + u"\\TARVEX", "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV2\\NORVA\r\n"); },
       Msg(64921, u"\\\\SRV2\\NORVA\\", u"\\\\SRV\\NORVA\\"), u"\\\\SRV\\NORVA\\TARVEX\\",
       u"\\\\SRV\\NORVA\\NETBIN\\"},
      {"expected path by IP address",
       [&](MemoryMachine& m) { qtcfg(m, root + u"\\TARVEX", "[QTCONFIG]\r\nExpectedUNCpath=\\\\10.1.2.3\\NORVA\\\r\n"); },
       Msg(64921, u"\\\\10.1.2.3\\NORVA\\", u"\\\\SRV\\NORVA\\"), u"\\\\SRV\\NORVA\\TARVEX\\",
       u"\\\\SRV\\NORVA\\NETBIN\\"},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryMachine fresh;
    qv::platform::ScopedPlatform useFresh(fresh);
    qv::testing_connect::InstallLocationLibrary(fresh);
    Share(fresh, u"SRV", u"NORVA", u"\\\\SRV\\NORVA");
    c.setup(fresh);
    fresh.SetProgramPath(kUncProgram);
    std::optional<std::uint32_t> code;
    try {
      RunProgram({u"/q"});
    } catch (const ProcessExit& e) {
      code = e.exitCode;
    }
    const auto dialogs = fresh.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    if (c.error.empty()) {
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(dialogs[0].kind, kDialogInformation);
    } else {
      EXPECT_EQ(code, 1u);
      EXPECT_EQ(ToUtf8(dialogs[0].message), ToUtf8(c.error));
      EXPECT_EQ(dialogs[0].seconds, -2);
    }
    EXPECT_EQ(ToUtf8(Connect().DataFolder), ToUtf8(c.dataFolder));
    EXPECT_EQ(ToUtf8(Connect().NetbinFolder), ToUtf8(c.netbinFolder));
  }
}

}  // namespace
