// QV9REG's exports on the in-memory machine: a file server SRV with the
// NORVA share, this machine's connection file, and the library loaded as a
// suite program loads it (its string table behind the handle passed in).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "locator/locator.h"
#include "platform/memory/memory_machine.h"
#include "platform/timed_message.h"
#include "resources/string_tables.h"

using namespace qv;
using namespace qv::platform;
using namespace qv::locator;

namespace {

constexpr char16_t kGuard = 0xBEEF;
constexpr char16_t kFill = u'#';
constexpr std::size_t kGuardChars = 64;

const String kConnectionFile = u"C:\\ProgramData\\Norva\\NorvaConnect.INI";
const String kRoot = u"\\\\SRV\\NORVA\\";
const String kTarvex = u"\\\\SRV\\NORVA\\TARVEX\\";
const String kNetBin = u"\\\\SRV\\NORVA\\NETBIN\\";
const String kConfigFile = u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";
const String kUserIni = u"C:\\Users\\Admin\\AppData\\Roaming\\Norva\\Velmora.INI";
const String kCommonIni = u"C:\\ProgramData\\Norva\\Velmora.INI";

String T(std::uint32_t id) { return *resources::LibraryText(id); }

// A caller's buffer of the documented size, filled with '#' behind the
// initial text, followed by guard characters that must never change.
class Buffer {
 public:
  explicit Buffer(std::size_t chars, StringView initial = u"") : chars_(chars), data_(chars + kGuardChars, kGuard) {
    std::fill_n(data_.begin(), chars, kFill);
    std::copy(initial.begin(), initial.end(), data_.begin());
    data_[initial.size()] = 0;
    initial_ = data_;
  }
  char16_t* p() { return data_.data(); }
  String str() const {
    const auto end = std::find(data_.begin(), data_.begin() + chars_, char16_t(0));
    return end == data_.begin() + chars_ ? String(u"<unterminated>") : String(data_.begin(), end);
  }
  bool GuardIntact() const {
    return std::all_of(data_.begin() + chars_, data_.end(), [](char16_t c) { return c == kGuard; });
  }
  bool Untouched() const { return data_ == initial_; }

 private:
  std::size_t chars_;
  std::vector<char16_t> data_;
  std::vector<char16_t> initial_;
};

std::map<std::uint32_t, String> LibraryStrings() {
  std::map<std::uint32_t, String> strings;
  for (const resources::StringEntry& e : resources::LibraryTable()) strings[e.id] = String(e.text);
  return strings;
}

String Ini(std::initializer_list<std::pair<const char*, const char*>> lines) {
  String text;
  for (const auto& [k, v] : lines) text += *v ? FromUtf8(k) + u"=" + FromUtf8(v) + u"\r\n" : FromUtf8(k) + u"\r\n";
  return text;
}

struct NadBuffers {
  Buffer tarvex{kPathBufferChars}, netBin{kPathBufferChars}, root{kPathBufferChars};
  Buffer connectIni{kPathBufferChars}, configFile{kPathBufferChars};
  Buffer message{kMessageBufferChars};
  bool GuardsIntact() const {
    return tarvex.GuardIntact() && netBin.GuardIntact() && root.GuardIntact() && connectIni.GuardIntact() &&
           configFile.GuardIntact() && message.GuardIntact();
  }
};

class Locator : public ::testing::Test {
 public:
  Locator() : use_(m_) {
    ResetState();
    m_.RegisterLibrary(u"QV9REG.DLL", {}, LibraryStrings());
    std::uint32_t error = 0;
    library_ = m_.LoadLibrary(u"QV9REG.DLL", error);
    m_.AddRemoteShare(u"SRV", u"NORVA");
    m_.AddRemoteShare(u"OTHER", u"DATA");
    m_.AddDrive(u'D');
    Write(kTarvex + u"QTCFG.INI",
          Ini({{"[QTCONFIG]", ""}, {"ExpectedUNCpath", "\\\\SRV\\NORVA"}, {"ConfigurationFile", "TARVEX.CFG"}}));
    Write(kConfigFile, u"$request_dir x\r\n");
    m_.MakeDirectories(kNetBin);
    Connect(u"\\\\SRV\\NORVA");
  }
  ~Locator() override {
    // Closing threads of timed boxes talk to this machine: let them finish.
    for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ResetState();
  }

  void Write(const String& path, const String& text) { ASSERT_TRUE(m_.WriteTextFile(path, ToUtf8(text))); }
  void Connect(const String& uncName, const String& file = kConnectionFile) {
    Write(file, u"[NorvaAppdataShare]\r\nUNCname=" + uncName + u"\r\n");
  }
  void Pointer(const String& tarvex, StringView expected, StringView configName = u"TARVEX.CFG") {
    Write(tarvex + u"QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=" + String(expected) +
                                     u"\r\nConfigurationFile=" + String(configName) + u"\r\n");
    Write(tarvex + String(configName), u"x");
  }
  void Island() { m_.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\NORVACONNECT", u"Island", 1); }
  void Diagnostics(std::uint32_t value) {
    m_.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"QV9REG", value);
  }
  void Env(const String& name, const String& value) { m_.SetEnvironmentVariable(name, value); }
  void Remove(const String& path) { ASSERT_TRUE(m_.RemovePath(path)); }

  std::int32_t Nad(NadBuffers& b, std::uint8_t noDialog = 1) {
    return QvGetNad(b.tarvex.p(), b.netBin.p(), b.root.p(), b.connectIni.p(), b.configFile.p(), b.message.p(),
                    noDialog, library_);
  }
  // Runs a call expected to end the process; returns the exit code.
  std::optional<std::uint32_t> ExitCodeOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const ProcessExit& e) {
      return e.exitCode;
    }
    return std::nullopt;
  }

  MemoryMachine m_;
  ScopedPlatform use_;
  Handle library_ = 0;
};

// ------------------------------------------------------------------ QVGETNAD

TEST_F(Locator, NadLocatesTheShareAndClearsTheMessage) {
  EXPECT_EQ(State().folderStatus, kFoldersNotLocated);
  NadBuffers b;
  b.message = Buffer(kMessageBufferChars, u"an old message");
  EXPECT_EQ(Nad(b), 0);
  EXPECT_EQ(b.tarvex.str(), kTarvex);
  EXPECT_EQ(b.netBin.str(), kNetBin);
  EXPECT_EQ(b.root.str(), kRoot);
  EXPECT_EQ(b.connectIni.str(), kConnectionFile);
  EXPECT_EQ(b.configFile.str(), kConfigFile);
  EXPECT_EQ(b.message.str(), u"");
  EXPECT_TRUE(b.GuardsIntact());
  EXPECT_EQ(m_.OpenFileCount(), 0u);
  EXPECT_TRUE(m_.MessageBoxes().empty());
  const StateView state = State();
  EXPECT_EQ(state.messageModule, library_);
  EXPECT_EQ(state.folderStatus, 0);
  EXPECT_EQ(state.appDataFolder, u"C:\\Users\\Admin\\AppData\\Roaming\\");
  EXPECT_EQ(state.commonAppDataFolder, u"C:\\ProgramData\\");
}

TEST_F(Locator, NadWithAFilledFirstBufferDoesNothing) {
  NadBuffers b;
  b.tarvex = Buffer(kPathBufferChars, u"X:\\KEEP\\");
  b.message = Buffer(kMessageBufferChars, u"keep this");
  m_.ResetCounts();
  EXPECT_EQ(Nad(b, 0), 0);
  EXPECT_TRUE(b.tarvex.Untouched() && b.netBin.Untouched() && b.root.Untouched());
  EXPECT_TRUE(b.connectIni.Untouched() && b.configFile.Untouched() && b.message.Untouched());
  EXPECT_EQ(m_.Count("GetFileAttributesW") + m_.Count("CreateFileW"), 0u);
}

struct NadFailure {
  const char* name;
  std::function<void(Locator&)> arrange;
  std::int32_t result;
  bool connectIniSet;
  bool configFileSet;
};

class NadFailures : public Locator, public ::testing::WithParamInterface<int> {};

const std::vector<NadFailure>& NadFailureCases() {
  static const std::vector<NadFailure> cases = {
      {"Windows NT 4", [](Locator& t) { t.m_.SetOsVersion(OsVersion{4, 0, 1381, 6}); }, kErrOldWindows, false, false},
      {"no roaming folder",
       [](Locator& t) { t.m_.SetKnownFolder(KnownFolder::RoamingAppData, u"  "); },
       kErrNoAppDataFolder, false, false},
      {"no common folder", [](Locator& t) { t.m_.SetKnownFolder(KnownFolder::ProgramData, u""); },
       kErrNoCommonAppDataFolder, false, false},
      {"no connection file", [](Locator& t) { t.Remove(kConnectionFile); },
       kErrNoConnectionFile, true, false},
      {"no UNCname", [](Locator& t) { t.Write(kConnectionFile, u"[NorvaAppdataShare]\r\n"); },
       kErrNoUncName, true, false},
      {"drive path off an island", [](Locator& t) { t.Connect(u"C:\\DATA\\"); },
       kErrNotUnc, true, false},
      {"no ExpectedUNCpath",
       [](Locator& t) { t.Write(kTarvex + u"QTCFG.INI", u"[QTCONFIG]\r\nConfigurationFile=TARVEX.CFG\r\n"); },
       kErrNoExpectedPath, true, false},
      {"no ConfigurationFile",
       [](Locator& t) { t.Write(kTarvex + u"QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\n"); },
       kErrNoConfigurationName, true, false},
      {"configuration file missing", [](Locator& t) { t.Remove(kConfigFile); },
       kErrNoConfigurationFile, true, true},
  };
  return cases;
}

TEST_P(NadFailures, ReturnTheCodeWithTheTableTextAndLeaveTheFoldersAlone) {
  const NadFailure& c = NadFailureCases()[GetParam()];
  SCOPED_TRACE(c.name);
  c.arrange(*this);
  NadBuffers b;
  b.message = Buffer(kMessageBufferChars, u"stale text of an earlier call");
  EXPECT_EQ(Nad(b), c.result);
  EXPECT_EQ(b.message.str(), T(static_cast<std::uint32_t>(-c.result)));
  EXPECT_TRUE(b.tarvex.Untouched() && b.netBin.Untouched() && b.root.Untouched());
  EXPECT_EQ(b.connectIni.str(), c.connectIniSet ? kConnectionFile : String());
  EXPECT_EQ(b.configFile.str(), c.configFileSet ? kConfigFile : String());
  EXPECT_EQ(b.connectIni.Untouched(), !c.connectIniSet);
  EXPECT_EQ(b.configFile.Untouched(), !c.configFileSet);
  EXPECT_TRUE(b.GuardsIntact());
  EXPECT_EQ(m_.OpenFileCount(), 0u);
  EXPECT_TRUE(m_.MessageBoxes().empty());
}
INSTANTIATE_TEST_SUITE_P(Cases, NadFailures, ::testing::Range(0, static_cast<int>(NadFailureCases().size())));

TEST_F(Locator, NadReportsAnUnopenablePointerFileWithTheSystemsDescription) {
  // Missing, and present but held open by a writer that shares nothing.
  ASSERT_TRUE(m_.RemovePath(kTarvex + u"QTCFG.INI"));
  NadBuffers missing;
  EXPECT_EQ(Nad(missing), kErrPointerFileUnreadable);
  EXPECT_EQ(missing.message.str(), T(946) + u"\r" + m_.FormatSystemMessage(kErrFileNotFound));

  Pointer(kTarvex, u"\\\\SRV\\NORVA");
  Handle writer = 0;
  ASSERT_EQ(m_.OpenFile(kTarvex + u"QTCFG.INI", kGenericWrite, 0, Disposition::OpenExisting, writer), kOk);
  NadBuffers locked;
  EXPECT_EQ(Nad(locked), kErrPointerFileUnreadable);
  EXPECT_EQ(locked.message.str(), T(946) + u"\r" + m_.FormatSystemMessage(kErrSharingViolation));
  EXPECT_TRUE(locked.tarvex.Untouched());
  m_.CloseHandle(writer);
  EXPECT_EQ(m_.OpenFileCount(), 0u);
}

TEST_F(Locator, NadComposesTheMismatchMessage) {
  Pointer(kTarvex, u"\\\\NEWSRV\\NORVA");
  NadBuffers b;
  EXPECT_EQ(Nad(b), kErrSharePathMismatch);
  EXPECT_EQ(b.message.str(), T(948) + u"<BR><BR>" + T(992) + u"<B>\\\\NEWSRV\\NORVA\\</B><BR>" + T(993) +
                                 u"<B>\\\\SRV\\NORVA\\</B><BR><BR>" + T(987));
  EXPECT_NE(b.message.str().find(u'\u00AC'), String::npos);
  EXPECT_TRUE(b.tarvex.Untouched());
}

TEST_F(Locator, NadCutsALongComposedMessageToTheMessageBuffer) {
  Pointer(kTarvex, u"\\\\NEWSRV\\" + String(3000, u'N'));
  NadBuffers b;
  EXPECT_EQ(Nad(b), kErrSharePathMismatch);
  EXPECT_EQ(b.message.str().size(), kMessageBufferChars - 1);
  EXPECT_EQ(b.message.str().substr(0, T(948).size()), T(948));
  EXPECT_TRUE(b.GuardsIntact());
}

TEST_F(Locator, NadAcceptsTheExpectedPathInOtherCaseWithoutSeparator) {
  Pointer(kTarvex, u"\\\\srv\\norva");
  NadBuffers b;
  EXPECT_EQ(Nad(b), 0);
  EXPECT_EQ(b.root.str(), kRoot);
}

TEST_F(Locator, NadUsesNorvaConnectIniPathOnlyWhenItNamesTheConnectionFile) {
  Connect(u"\\\\NOSUCH\\SHARE", u"C:\\X\\NorvaConnect.ini.bak");
  Connect(u"\\\\NOSUCH\\SHARE", u"C:\\X\\OtherConnect.ini");
  Connect(u"\\\\SRV\\NORVA", u"D:\\X\\norvaconnect.ini");
  ASSERT_TRUE(m_.RemovePath(kConnectionFile));
  struct Case {
    const char16_t* value;
    std::int32_t result;
    const char16_t* used;
  } cases[] = {
      {u"C:\\X\\NorvaConnect.ini.bak", kErrNoConnectionFile, u"C:\\ProgramData\\Norva\\NorvaConnect.INI"},
      {u"C:\\X\\OtherConnect.ini", kErrNoConnectionFile, u"C:\\ProgramData\\Norva\\NorvaConnect.INI"},
      {u"D:\\X\\norvaconnect.ini", 0, u"D:\\X\\norvaconnect.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.value));
    Env(u"NorvaConnectIniPath", c.value);
    NadBuffers b;
    EXPECT_EQ(Nad(b), c.result);
    EXPECT_EQ(b.connectIni.str(), c.used);
  }
}

TEST_F(Locator, NadFormsTheShareRootFromUncName) {
  m_.MakeDirectories(u"C:\\DATA\\NETBIN");
  Pointer(u"C:\\DATA\\TARVEX\\", u"C:\\DATA");
  struct Case {
    const char16_t* uncName;
    bool island;
    std::int32_t result;
    const char16_t *root, *tarvex, *netBin;
  } cases[] = {
      {u"\\\\SRV\\NORVA", false, 0, u"\\\\SRV\\NORVA\\", u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {u"\\\\SRV\\NORVA\\", false, 0, u"\\\\SRV\\NORVA\\", u"\\\\SRV\\NORVA\\TARVEX\\", u"\\\\SRV\\NORVA\\NETBIN\\"},
      {u"C:\\DATA\\", false, kErrNotUnc, u"", u"", u""},
      {u"C:\\DATA", true, 0, u"C:\\DATA\\", u"C:\\DATA\\TARVEX\\", u"C:\\DATA\\NETBIN\\"},
      {u"C:\\DATA\\", true, 0, u"C:\\DATA\\", u"C:\\DATA\\TARVEX\\", u"C:\\DATA\\NETBIN\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.uncName) + (c.island ? " on an island" : ""));
    m_.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\NORVACONNECT", u"Island", c.island ? 1 : 0);
    Connect(c.uncName);
    NadBuffers b;
    EXPECT_EQ(Nad(b), c.result);
    if (c.result < 0) continue;
    EXPECT_EQ(b.root.str(), c.root);
    EXPECT_EQ(b.tarvex.str(), c.tarvex);
    EXPECT_EQ(b.netBin.str(), c.netBin);
  }
}

TEST_F(Locator, NadFollowsQvlinkIni) {
  Pointer(u"\\\\OTHER\\DATA\\TARVEX\\", u"\\\\SRV\\NORVA");
  Pointer(u"D:\\TARVEX\\", u"\\\\SRV\\NORVA");
  struct Case {
    const char* name;
    const char16_t* link;
    bool island;
    const char16_t *tarvex, *netBin;
  } cases[] = {
      {"UNC folders", u"[NorvaAppData]\r\nUNCname=\\\\OTHER\\DATA\\TARVEX\r\n[NorvaNetBin]\r\nUNCname=\\\\OTHER\\DATA\\NETBIN\\\r\n",
       false, u"\\\\OTHER\\DATA\\TARVEX\\", u"\\\\OTHER\\DATA\\NETBIN\\"},
      {"drive path off an island", u"[NorvaAppData]\r\nUNCname=D:\\TARVEX\r\n[NorvaNetBin]\r\nUNCname=D:\\NETBIN\r\n",
       false, kTarvex.c_str(), kNetBin.c_str()},
      {"drive path on an island", u"[NorvaAppData]\r\nUNCname=D:\\TARVEX\r\n[NorvaNetBin]\r\nUNCname=D:\\NETBIN\r\n",
       true, u"D:\\TARVEX\\", u"D:\\NETBIN\\"},
      {"empty values", u"[NorvaAppData]\r\nUNCname=\r\n", false, kTarvex.c_str(), kNetBin.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\NORVACONNECT", u"Island", c.island ? 1 : 0);
    Write(kRoot + u"QVLINK.INI", c.link);
    NadBuffers b;
    EXPECT_EQ(Nad(b), 0);
    EXPECT_EQ(b.tarvex.str(), c.tarvex);
    EXPECT_EQ(b.netBin.str(), c.netBin);
    EXPECT_EQ(b.root.str(), kRoot);
    EXPECT_EQ(b.configFile.str(), String(c.tarvex) + u"TARVEX.CFG");
  }
}

TEST_F(Locator, NadCutsFoldersAndPathsLongerThanTheBuffers) {
  const String root = u"\\\\SRV\\NORVA\\" + String(280, u'L') + u"\\";
  Pointer(root + u"TARVEX\\", root);
  Connect(root);
  NadBuffers b;
  EXPECT_EQ(Nad(b), 0);
  EXPECT_EQ(b.root.str(), root.substr(0, kPathBufferChars - 1));
  EXPECT_EQ(b.tarvex.str(), root.substr(0, kPathBufferChars - 1));
  EXPECT_EQ(b.configFile.str(), root.substr(0, kPathBufferChars - 1));
  EXPECT_TRUE(b.GuardsIntact());

  // Buffer 4 on a failure: the long path tried.
  const String longIni = u"D:\\" + String(300, u'C') + u"\\NORVACONNECT.INI";
  Env(u"NorvaConnectIniPath", longIni);
  NadBuffers failed;
  EXPECT_EQ(Nad(failed), kErrNoConnectionFile);
  EXPECT_EQ(failed.connectIni.str(), longIni.substr(0, kPathBufferChars - 1));
  EXPECT_TRUE(failed.GuardsIntact());
}

TEST_F(Locator, NadRetriesAFailedFolderLookupOnTheNextCall) {
  m_.SetKnownFolder(KnownFolder::ProgramData, u"");
  NadBuffers first;
  EXPECT_EQ(Nad(first), kErrNoCommonAppDataFolder);
  EXPECT_EQ(State().folderStatus, kErrNoCommonAppDataFolder);
  m_.SetKnownFolder(KnownFolder::ProgramData, u"C:\\ProgramData");
  NadBuffers second;
  EXPECT_EQ(Nad(second), 0);
  EXPECT_EQ(State().folderStatus, 0);
}

TEST_F(Locator, NadWritesDiagnosticEntriesBySwitch) {
  struct Expected {
    std::uint16_t type;
    const char16_t* code;
    String text;
  };
  const String trying = u" QV9REG Trying " + kConnectionFile;
  const String using_ = u" QV9REG Using " + kConnectionFile;
  struct Case {
    std::uint32_t value;
    bool fail944;
    bool dropConnection;
    std::vector<Expected> entries;
  } cases[] = {
      {0, true, false, {}},
      {1, true, false, {}},
      {2, false, false, {{kEventInformation, u"", using_}}},
      {2, true, false, {}},
      {4, false, false, {{kEventInformation, u"", trying}}},
      {4, true, false, {{kEventInformation, u"", trying}, {kEventError, u"-944", u" QV9REG " + T(944)}}},
      {4, false, true, {{kEventError, u"-943", u" QV9REG " + T(943)}}},
      {6, false, false, {{kEventInformation, u"", trying}, {kEventInformation, u"", using_}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    MemoryMachine m;
    ScopedPlatform use(m);
    ResetState();
    m.SetRegDword(RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"QV9REG", c.value);
    m.AddRemoteShare(u"SRV", u"NORVA");
    m.WriteTextFile(kTarvex + u"QTCFG.INI", "[QTCONFIG]\nExpectedUNCpath=\\\\SRV\\NORVA\nConfigurationFile=T.CFG\n");
    m.WriteTextFile(kTarvex + u"T.CFG", "x");
    if (!c.dropConnection)
      m.WriteTextFile(kConnectionFile, c.fail944 ? "[NorvaAppdataShare]\n" : "[NorvaAppdataShare]\nUNCname=\\\\SRV\\NORVA\n");
    const Handle lib = m.RegisterLibrary(u"QV9REG.DLL", {}, LibraryStrings());
    std::uint32_t error = 0;
    ASSERT_EQ(m.LoadLibrary(u"QV9REG.DLL", error), lib);
    NadBuffers b;
    QvGetNad(b.tarvex.p(), b.netBin.p(), b.root.p(), b.connectIni.p(), b.configFile.p(), b.message.p(), 1, lib);
    const auto events = m.Events();
    ASSERT_EQ(events.size(), c.entries.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
      EXPECT_EQ(events[i].source, u"QV9REG");
      EXPECT_EQ(events[i].type, c.entries[i].type);
      ASSERT_EQ(events[i].strings.size(), 4u);
      EXPECT_EQ(events[i].strings[0], u"QV9REG");
      EXPECT_EQ(events[i].strings[2], c.entries[i].code);
      EXPECT_EQ(events[i].strings[3], c.entries[i].text);
    }
  }
  ResetState();
}

TEST_F(Locator, DiagnosticSwitchIsReadOnceOnTheFirstCall) {
  EXPECT_FALSE(State().diagnosticsRead);
  Diagnostics(4);  // set after the library was loaded, before its first call
  NadBuffers first;
  EXPECT_EQ(Nad(first), 0);
  EXPECT_TRUE(State().diagnosticsRead);
  EXPECT_EQ(State().diagnostics, 4);
  EXPECT_EQ(m_.Events().size(), 1u);
  Diagnostics(0);
  ASSERT_TRUE(m_.RemovePath(kConnectionFile));
  NadBuffers second;
  EXPECT_EQ(Nad(second), kErrNoConnectionFile);
  EXPECT_EQ(m_.Events().size(), 2u);  // the switch read first still holds
}

// ------------------------------------------------------------ the error dialog

TEST_F(Locator, FailureWithDialogShowsTheTimedBoxAndEndsTheProcess) {
  ASSERT_TRUE(m_.RemovePath(kConnectionFile));
  m_.ScriptMessageBoxWaitForEndDialog();  // the box stays until something closes it
  NadBuffers b;
  EXPECT_EQ(ExitCodeOf([&] { Nad(b, 0); }), 1u);
  const auto boxes = m_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, u"Velmora Configuration Error");
  EXPECT_EQ(boxes[0].style, kMbOk);
  // The text as the box shows it: "<br>" became line feeds.
  EXPECT_EQ(boxes[0].text, T(943) + u"\n\n(This dialog will close after 20 seconds; or when you click OK)");
  EXPECT_NE(boxes[0].text.find(u"close after 20 seconds"), String::npos);
  EXPECT_TRUE(boxes[0].endedByEndDialog);  // closed by itself, with OK
  EXPECT_EQ(boxes[0].result, kIdOk);
  EXPECT_EQ(b.message.str(), T(943));
}

TEST_F(Locator, DialogOfTheMismatchShowsTheAdviceUpToTheNotSign) {
  Pointer(kTarvex, u"\\\\NEWSRV\\NORVA");
  NadBuffers b;
  EXPECT_EQ(ExitCodeOf([&] { Nad(b, 0); }), 1u);
  const auto boxes = m_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(u"from each other machine in turn.\n\n(This dialog"), String::npos);
  EXPECT_EQ(boxes[0].text.find(u"help link"), String::npos);
  EXPECT_NE(b.message.str().find(u"this help link"), String::npos);  // the buffer keeps it all
}

TEST_F(Locator, DialogDelayComesFromText995) {
  struct Case {
    const char16_t* text995;
    int seconds;
    bool closingThread;
  } cases[] = {{u"20", 20, true}, {u"abc", 20, true}, {u"3", 3, true}, {u"0", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text995));
    MemoryMachine m;
    ScopedPlatform use(m);
    ResetState();
    auto strings = LibraryStrings();
    strings[995] = c.text995;
    const Handle lib = m.RegisterLibrary(u"QV9REG.DLL", {}, strings);
    std::uint32_t error = 0;
    m.LoadLibrary(u"QV9REG.DLL", error);
    NadBuffers b;
    bool ended = false;
    try {
      QvGetNad(b.tarvex.p(), b.netBin.p(), b.root.p(), b.connectIni.p(), b.configFile.p(), b.message.p(), 0, lib);
    } catch (const ProcessExit& e) {
      ended = e.exitCode == 1;
    }
    EXPECT_TRUE(ended);
    for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(m.MessageBoxes().size(), 1u);
    EXPECT_NE(m.MessageBoxes()[0].text.find(Format(u"close after %d seconds", c.seconds)), String::npos);
    EXPECT_EQ(m.Count("FindWindowW") > 0, c.closingThread);
    // The closing thread waited the delay in 100 ms steps; the caller slept
    // 100 ms after the box.
    EXPECT_EQ(m.Count("Sleep"), (c.closingThread ? 10u * c.seconds : 0u) + 1u);
  }
  ResetState();
}

TEST_F(Locator, TextsComeFromTheLibraryWhenTheCallerPassesNoModule) {
  const Handle lib = library_;
  m_.SetCurrentModule(lib, true);  // this code runs inside QV9REG.DLL
  ASSERT_TRUE(m_.RemovePath(kConnectionFile));
  NadBuffers b;
  EXPECT_EQ(QvGetNad(b.tarvex.p(), b.netBin.p(), b.root.p(), b.connectIni.p(), b.configFile.p(), b.message.p(), 1, 0),
            kErrNoConnectionFile);
  EXPECT_EQ(b.message.str(), T(943));
}

TEST_F(Locator, ExportsTolerateMissingBuffers) {
  EXPECT_EQ(QvGetNad(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1, library_), 0);
  EXPECT_EQ(QvGetCfg(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1, library_), 0);
  EXPECT_EQ(QvGetIni(nullptr, nullptr, nullptr, 1, library_), 0);
  QvGetTerm(nullptr, 1, 10);
}

// ------------------------------------------------------------------ QVGETINI

struct IniCase {
  const char* name;
  bool userFile, commonFile;
  const char16_t* options;
  const char16_t* env;  // VelmoraIniPath, or nullptr
  String expected;
};

TEST_F(Locator, IniChoosesThePath) {
  const IniCase cases[] = {
      {"both files", true, true, u"", nullptr, kUserIni},
      {"only the common file", false, true, u"", nullptr, kCommonIni},
      {"only the common file, all users", false, true, u"ALLUSERS", nullptr, kCommonIni},
      {"none, all users", false, false, u"allusers,quiet", nullptr, u"C:\\ProgramData\\Norva\\VELMORA.INI"},
      {"none", false, false, u"", nullptr, u"C:\\Users\\Admin\\AppData\\Roaming\\Norva\\VELMORA.INI"},
      {"environment", true, true, u"", u"E:\\CFG\\velmora.ini", u"E:\\CFG\\VELMORA.INI"},
      {"environment, other name", false, false, u"", u"E:\\CFG\\other.ini",
       u"C:\\Users\\Admin\\AppData\\Roaming\\Norva\\VELMORA.INI"},
      {"environment, bare name", false, false, u"", u"velmora.ini", u"VELMORA.INI"},
  };
  NadBuffers located;
  ASSERT_EQ(Nad(located), 0);  // fills the folder cache
  for (const IniCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_.RemovePath(kUserIni);
    m_.RemovePath(kCommonIni);
    if (c.userFile) Write(kUserIni, u"[x]");
    if (c.commonFile) Write(kCommonIni, u"[x]");
    m_.SetEnvironmentVariable(u"VelmoraIniPath", c.env ? std::optional<String>(c.env) : std::nullopt);
    Buffer path(kPathBufferChars), message(kMessageBufferChars, u"old");
    EXPECT_EQ(QvGetIni(path.p(), c.options, message.p(), 0, library_), 0);
    EXPECT_EQ(path.str(), c.expected);
    EXPECT_EQ(message.str(), u"");
    EXPECT_TRUE(path.GuardIntact() && message.GuardIntact());
  }
  EXPECT_TRUE(m_.MessageBoxes().empty());
}

TEST_F(Locator, IniBeforeAnyNadUsesTheEmptyFolderCache) {
  Write(kUserIni, u"[x]");
  Buffer path(kPathBufferChars), message(kMessageBufferChars);
  EXPECT_EQ(QvGetIni(path.p(), u"", message.p(), 1, library_), 0);
  EXPECT_EQ(path.str(), u"Norva\\VELMORA.INI");
}

TEST_F(Locator, IniKeepsAFilledPathBuffer) {
  Buffer path(kPathBufferChars, u"Q:\\MINE.INI"), message(kMessageBufferChars, u"keep");
  EXPECT_EQ(QvGetIni(path.p(), u"", message.p(), 0, library_), 0);
  EXPECT_TRUE(path.Untouched());
  EXPECT_TRUE(message.Untouched());
}

TEST_F(Locator, IniCutsALongEnvironmentPath) {
  const String folder = u"E:\\" + String(300, u'V');
  Env(u"VelmoraIniPath", folder + u"\\Velmora.ini");
  Buffer path(kPathBufferChars), message(kMessageBufferChars);
  EXPECT_EQ(QvGetIni(path.p(), nullptr, message.p(), 1, library_), 0);
  EXPECT_EQ(path.str(), folder.substr(0, kPathBufferChars - 1));
  EXPECT_TRUE(path.GuardIntact());
}

// ------------------------------------------------------------------ QVGETCFG

struct CfgBuffers {
  Buffer configFile{kPathBufferChars}, suiteIni{kPathBufferChars}, tarvex{kPathBufferChars},
      server{kPathBufferChars, u"S:\\UNCHANGED\\"}, netBin{kPathBufferChars}, root{kPathBufferChars};
  std::uint8_t serverMatch = 7;
  std::uint8_t reserved = 0xFF;
  Buffer message{kMessageBufferChars, u"junk"};
  bool GuardsIntact() const {
    return configFile.GuardIntact() && suiteIni.GuardIntact() && tarvex.GuardIntact() && server.GuardIntact() &&
           netBin.GuardIntact() && root.GuardIntact() && message.GuardIntact();
  }
};

class LocatorCfg : public Locator {
 protected:
  std::int32_t Cfg(CfgBuffers& b, std::uint8_t noDialog = 1) {
    return QvGetCfg(b.configFile.p(), b.suiteIni.p(), b.tarvex.p(), b.server.p(), b.netBin.p(), b.root.p(),
                    &b.serverMatch, &b.reserved, b.message.p(), noDialog, library_);
  }
  void ServerFolder(const String& directory, const char16_t* expected) {
    Write(kUserIni, u"[VelmoraServer]\r\nDirectory=" + directory + u"\r\n");
    if (expected) Write(WithTrailingBackslash(directory) + u"QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=" + String(expected) + u"\r\n");
  }
};

TEST_F(LocatorCfg, ReturnsEverythingAndMatchesTheServerFolder) {
  ServerFolder(u"D:\\NORVA", u"\\\\srv\\norva");
  CfgBuffers b;
  EXPECT_EQ(Cfg(b), 0);
  EXPECT_EQ(b.configFile.str(), kConfigFile);
  EXPECT_EQ(b.suiteIni.str(), kUserIni);
  EXPECT_EQ(b.tarvex.str(), kTarvex);
  EXPECT_EQ(b.server.str(), u"D:\\NORVA\\");
  EXPECT_EQ(b.netBin.str(), kNetBin);
  EXPECT_EQ(b.root.str(), kRoot);
  EXPECT_EQ(b.serverMatch, 1);
  EXPECT_EQ(b.reserved, 0);
  EXPECT_EQ(b.message.str(), u"");
  EXPECT_TRUE(b.GuardsIntact());
  EXPECT_EQ(m_.OpenFileCount(), 0u);
}

TEST_F(LocatorCfg, ServerMatchCases) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char16_t* server;  // expected buffer 4
    std::uint8_t match;
  } cases[] = {
      {"redirected Tarvex folder",
       [&] {
         ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");
         Pointer(u"\\\\OTHER\\DATA\\TARVEX\\", u"\\\\SRV\\NORVA");
         Write(kRoot + u"QVLINK.INI", u"[NorvaAppData]\r\nUNCname=\\\\OTHER\\DATA\\TARVEX\\\r\n");
       },
       u"D:\\NORVA\\", 0},
      {"server folder without QTCFG.INI", [&] { ServerFolder(u"D:\\EMPTY\\", nullptr); }, u"D:\\EMPTY\\", 0},
      {"another area", [&] { ServerFolder(u"D:\\NORVA", u"\\\\ELSEWHERE\\NORVA\\"); }, u"D:\\NORVA\\", 0},
      {"no Directory", [&] { Write(kUserIni, u"[VelmoraServer]\r\n"); }, u"S:\\UNCHANGED\\", 0},
      {"no suite INI", [] {}, u"S:\\UNCHANGED\\", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_.RemovePath(kUserIni);
    m_.RemovePath(kRoot + u"QVLINK.INI");
    c.arrange();
    CfgBuffers b;
    EXPECT_EQ(Cfg(b), 0);
    EXPECT_EQ(b.server.str(), c.server);
    EXPECT_EQ(b.serverMatch, c.match);
    EXPECT_EQ(b.reserved, 0);
  }
}

TEST_F(LocatorCfg, KeepsTheCallersSuiteIniPathAndReadsNoServerFolderFromIt) {
  ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");
  CfgBuffers b;
  b.suiteIni = Buffer(kPathBufferChars, u"Q:\\NOWHERE\\VELMORA.INI");
  EXPECT_EQ(Cfg(b), 0);
  EXPECT_TRUE(b.suiteIni.Untouched());
  EXPECT_EQ(b.server.str(), u"S:\\UNCHANGED\\");
  EXPECT_EQ(b.serverMatch, 0);
}

TEST_F(LocatorCfg, HonoursVelmoraIniPath) {
  ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");  // the per-user file, not used here
  Write(u"D:\\CFG\\VELMORA.INI", u"[VelmoraServer]\r\nDirectory=D:\\OTHER\r\n");
  Write(u"D:\\OTHER\\QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\n");
  Env(u"VelmoraIniPath", u"D:\\CFG\\velmora.ini");
  CfgBuffers b;
  EXPECT_EQ(Cfg(b), 0);
  EXPECT_EQ(b.suiteIni.str(), u"D:\\CFG\\VELMORA.INI");
  EXPECT_EQ(b.server.str(), u"D:\\OTHER\\");
  EXPECT_EQ(b.serverMatch, 1);
}

TEST_F(LocatorCfg, FailureLeavesTheIniServerAndMatchOutputsAlone) {
  ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");
  ASSERT_TRUE(m_.RemovePath(kConfigFile));
  CfgBuffers b;
  b.tarvex = Buffer(kPathBufferChars, u"cleared by the call");
  EXPECT_EQ(Cfg(b), kErrNoConfigurationFile);
  EXPECT_EQ(b.configFile.str(), kConfigFile);  // the path tried
  EXPECT_EQ(b.tarvex.str(), u"");
  EXPECT_EQ(b.netBin.str(), u"");
  EXPECT_EQ(b.root.str(), u"");
  EXPECT_TRUE(b.suiteIni.Untouched());
  EXPECT_TRUE(b.server.Untouched());
  EXPECT_EQ(b.serverMatch, 7);
  EXPECT_EQ(b.reserved, 0);
  EXPECT_EQ(b.message.str(), T(950));
  EXPECT_TRUE(b.GuardsIntact());
}

TEST_F(LocatorCfg, FailureWithDialogEndsTheProcessAfterOneErrorEntry) {
  Diagnostics(4);
  ASSERT_TRUE(m_.RemovePath(kConnectionFile));
  CfgBuffers b;
  EXPECT_EQ(ExitCodeOf([&] { Cfg(b, 0); }), 1u);
  ASSERT_EQ(m_.MessageBoxes().size(), 1u);
  EXPECT_EQ(m_.MessageBoxes()[0].caption, u"Velmora Configuration Error");
  const auto events = m_.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].strings[2], u"-943");
}

// ------------------------------------------------------------ the boundary

// Every platform operation an export performs, failing with an error and
// failing with a fault (an exception inside the operation): each call ends
// in a result code, never in an exception reaching the C caller. With the
// dialog allowed, a failure ends the process with exit code 1.
TEST_F(LocatorCfg, AFaultAtAnyOperationOfAnExportEndsInAResultCode) {
  ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");
  Diagnostics(6);
  m_.SetProgramStrings({{20001, u"Hello"}});
  const std::vector<std::pair<const char*, std::function<std::int32_t(std::uint8_t)>>> exports = {
      {"QVGETNAD", [&](std::uint8_t noDialog) { NadBuffers b; return Nad(b, noDialog); }},
      {"QVGETINI",
       [&](std::uint8_t noDialog) {
         Buffer ini(kPathBufferChars), message(kMessageBufferChars);
         return QvGetIni(ini.p(), u"", message.p(), noDialog, library_);
       }},
      {"QVGETCFG", [&](std::uint8_t noDialog) { CfgBuffers b; return Cfg(b, noDialog); }},
      {"QVGETTERM",
       [&](std::uint8_t) {
         Buffer text(64);
         QvGetTerm(text.p(), 20001, 64);
         return text.str() == u"Hello" || text.str().empty() ? 0 : -1;
       }},
  };
  for (const auto& [name, call] : exports) {
    ResetState();
    m_.ClearFailures();
    m_.ResetCounts();
    ASSERT_EQ(call(1), 0) << name;
    const auto operations = m_.Counts();
    ASSERT_FALSE(operations.empty()) << name;
    for (const auto& [op, count] : operations) {
      // Release calls run in destructors and have no failure: they get no fault.
      const bool release = op == "RegCloseKey" || op == "CloseHandle" || op == "FreeLibrary" ||
                           op == "DeregisterEventSource" || op == "ExitProcess" || op == "TerminateProcess";
      for (std::uint32_t error : {5u, MemoryMachine::kFaultThrows}) {
        if (release && error != 5u) continue;
        for (std::uint8_t noDialog : {1, 0}) {
          SCOPED_TRACE(std::string(name) + " " + op + (error == 5 ? " error" : " fault") +
                       (noDialog ? "" : " with dialog"));
          ResetState();
          m_.ClearFailures();
          m_.InjectFailure(op, 0, error);
          std::int32_t result = 0;
          try {
            result = call(noDialog);
          } catch (const ProcessExit& e) {
            EXPECT_EQ(noDialog, 0);
            EXPECT_EQ(e.exitCode, 1u);
            continue;
          } catch (...) {
            ADD_FAILURE() << "an exception crossed the boundary";
            continue;
          }
          EXPECT_TRUE(result == 0 || (result <= -903 && result >= -995)) << result;
          m_.ClearFailures();
          for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }
    }
  }
  m_.ClearFailures();
}

TEST_F(LocatorCfg, AFaultBecomesFailure946WithItsDescription) {
  ServerFolder(u"D:\\NORVA", u"\\\\SRV\\NORVA");
  m_.InjectFailure("CreateFileW", 0, MemoryMachine::kFaultThrows, kUserIni);
  CfgBuffers b;
  EXPECT_EQ(Cfg(b), kErrPointerFileUnreadable);
  EXPECT_EQ(b.message.str(), T(946) + u"\rFault injected into CreateFileW.");
  EXPECT_TRUE(b.GuardsIntact());
}

// A pointer file too large to be a pointer file is unreadable, with the reason.
TEST_F(Locator, NadRefusesAPointerFileOverTheSizeLimit) {
  std::string big = "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n";
  big.resize(2 * 1024 * 1024, ' ');
  ASSERT_TRUE(m_.WriteBytes(kTarvex + u"QTCFG.INI", Bytes(big.begin(), big.end())));
  NadBuffers b;
  EXPECT_EQ(Nad(b), kErrPointerFileUnreadable);
  EXPECT_EQ(b.message.str(), T(946) + u"\rThe file size exceeds the limit allowed and cannot be saved.");
}

// Values in quotes are read without them, as Windows reads them.
TEST_F(Locator, NadReadsQuotedValues) {
  Connect(u"\"\\\\SRV\\NORVA\"");
  Write(kTarvex + u"QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=\"\\\\SRV\\NORVA\"\r\nConfigurationFile='TARVEX.CFG'\r\n");
  NadBuffers b;
  EXPECT_EQ(Nad(b), 0) << ToUtf8(b.message.str());
  EXPECT_EQ(b.root.str(), kRoot);
  EXPECT_EQ(b.configFile.str(), kConfigFile);
}

// The suite-INI path in buffer 2 is the caller's whole string, however long.
TEST_F(LocatorCfg, ReadsTheCallersWholeSuiteIniPath) {
  const String folder = u"D:\\" + String(300, u'L');
  Write(folder + u"\\VELMORA.INI", u"[VelmoraServer]\r\nDirectory=D:\\NORVA\r\n");
  Write(u"D:\\NORVA\\QTCFG.INI", u"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\n");
  CfgBuffers b;
  const String path = folder + u"\\VELMORA.INI";
  b.suiteIni = Buffer(path.size() + 1, path);
  EXPECT_EQ(Cfg(b), 0);
  EXPECT_EQ(b.server.str(), u"D:\\NORVA\\");
  EXPECT_EQ(b.serverMatch, 1);
}

// ------------------------------------------------------------ QVGETERM, QVREGVER

TEST_F(Locator, TermReadsTheCallingProgramsOwnStrings) {
  m_.SetProgramStrings({{20001, u"Hello"}});
  struct Case {
    std::int32_t number, size;
    const char16_t* expected;
  } cases[] = {
      {20001, 256, u"Hello"}, {-20001, 256, u"Hello"}, {20001, 3, u"He"},
      {20001, 1, u""},        {99999, 256, u""},       {990, 256, u""},  // the library's texts are not the program's
      // 85537 is 20001 + 65536: numbers beyond 16 bits have no string.
      {85537, 256, u""},      {-85537, 256, u""},      {INT32_MIN, 256, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    Buffer text(256);
    QvGetTerm(text.p(), c.number, c.size);
    EXPECT_EQ(text.str(), c.expected);
  }
  Buffer untouched(16);
  QvGetTerm(untouched.p(), 20001, 0);
  EXPECT_TRUE(untouched.Untouched());
}

TEST(LocatorVersion, RegVerIsAlwaysThree) {
  for (std::int32_t v : {0, 3, 4, -1}) EXPECT_EQ(QvRegVer(v), 3);
  EXPECT_EQ(ToUtf8(Build().version), "9.1.0.379");
}

}  // namespace
