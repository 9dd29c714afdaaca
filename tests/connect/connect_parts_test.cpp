// The connect program's building blocks: share enumeration, the message
// dialog request, the command line.
#include <gtest/gtest.h>

#include "connect/command_line.h"
#include "connect/message_dialog.h"
#include "connect/share_enum.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using namespace qv::connect;
using qv::platform::MemoryMachine;
using qv::platform::ScopedPlatform;

namespace {

struct Shares {
  std::vector<String> names, paths;
};

Shares Enumerate() {
  Shares s;
  s.names.push_back(u"stale");  // the lists are cleared first
  s.paths.push_back(u"stale");
  EnumerateDiskShares(s.names, s.paths);
  return s;
}

TEST(EnumerateDiskShares, ListsOrdinaryDiskSharesOnly) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.MakeDirectories(u"C:\\Data\\Norva");
  m.AddShare(u"norva", u"C:\\Data\\Norva");
  m.AddShare(u"DATA$", u"C:\\Data");
  m.AddShare(u"LaserJet", u"", 1);        // printer
  m.AddShare(u"Temp", u"C:\\Data", 0x40000000u);  // temporary
  m.AddShare(u"Öffentlich", u"C:\\Data");
  const Shares s = Enumerate();
  // ADMIN$, C$ and IPC$ are special; DATA$ has a "$"; only a to z change case.
  EXPECT_EQ(s.names, (std::vector<String>{u"NORVA", u"ÖFFENTLICH"}));
  EXPECT_EQ(s.paths, (std::vector<String>{u"C:\\Data\\Norva", u"C:\\Data"}));
}

TEST(EnumerateDiskShares, FollowsTheResumeHandleAndKeepsWhatItGotOnFailure) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetSpecialShares(false);
  for (const char16_t* name : {u"A", u"B", u"C", u"D"}) {
    m.MakeDirectories(String(u"C:\\") + name);
    m.AddShare(name, String(u"C:\\") + name);
  }
  m.SetNetShareEnumBatchSize(1);
  EXPECT_EQ(Enumerate().names, (std::vector<String>{u"A", u"B", u"C", u"D"}));
  EXPECT_EQ(m.Count("NetShareEnum"), 4u);

  m.InjectFailure("NetShareEnum", 3, 5);
  const Shares partly = Enumerate();
  EXPECT_EQ(partly.names, (std::vector<String>{u"A", u"B"}));
  EXPECT_EQ(partly.paths, (std::vector<String>{u"C:\\A", u"C:\\B"}));
}

TEST(EnumerateDiskShares, RefusedOrMissingLibraryGivesEmptyLists) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.MakeDirectories(u"C:\\NORVA");
  m.AddShare(u"NORVA", u"C:\\NORVA");
  m.SetNetShareEnumStatus(5);
  Shares s = Enumerate();
  EXPECT_TRUE(s.names.empty());
  EXPECT_TRUE(s.paths.empty());
  m.SetNetShareEnumStatus(0);
  m.SetNetApiAvailable(false);
  s = Enumerate();
  EXPECT_TRUE(s.names.empty());
  EXPECT_TRUE(s.paths.empty());
}

TEST(MessageDialog, BuildsTheRequestAndResetsTheWidth) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetProgramPath(u"\\\\SRV\\NORVA\\NORVACONNECT.exe");
  m.ScriptDialog(7);
  m.ScriptDialog(2);
  SetDialogWidth(600);
  EXPECT_EQ(TimedMessageDialog(u"Question?", kDialogError, kDlgYes | kDlgNo, -2), 7);
  EXPECT_EQ(DialogWidth(), 500);
  EXPECT_EQ(MessageDialog(u"Text", kDialogWarning, kDlgOk | kDlgCancel, u"Detail\rtext"), 2);
  EXPECT_EQ(MessageDialog(u"Done", kDialogInformation, kDlgOk), 1);  // the machine's default answer

  const auto d = m.Dialogs();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].title, u"  NORVACONNECT: Error");
  EXPECT_EQ(d[0].message, u"Question?");
  EXPECT_EQ(d[0].kind, kDialogError);
  EXPECT_EQ(d[0].buttons, kDlgYes | kDlgNo);
  EXPECT_EQ(d[0].seconds, -2);
  EXPECT_EQ(d[0].width, 600);
  EXPECT_TRUE(d[0].detail.empty());
  EXPECT_EQ(d[1].title, u"  NORVACONNECT: Warning");
  EXPECT_EQ(d[1].detail, u"Detail\rtext");
  EXPECT_EQ(d[1].seconds, 0);
  EXPECT_EQ(d[1].width, 500);
  EXPECT_EQ(d[2].title, u"  NORVACONNECT: Information");

  // A dialog that cannot be shown still resets the width.
  SetDialogWidth(600);
  m.InjectFailure("ShowDialog", 1, 5);
  EXPECT_EQ(MessageDialog(u"x", kDialogError, kDlgOk), 0xFFFF);
  EXPECT_EQ(DialogWidth(), 500);
}

TEST(MessageDialog, TitleByKind) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetProgramPath(u"C:\\Tools\\v1.2\\NorvaConnect.EXE");
  EXPECT_EQ(DialogTitle(0), u"  NorvaConnect: Warning");
  EXPECT_EQ(DialogTitle(1), u"  NorvaConnect: Error");
  EXPECT_EQ(DialogTitle(2), u"  NorvaConnect: Information");
  EXPECT_EQ(DialogTitle(3), u"  NorvaConnect: Confirm");
  EXPECT_EQ(DialogTitle(4), u"  NorvaConnect");
  EXPECT_EQ(DialogTitle(255), u"  NorvaConnect");
}

TEST(CommandLine, SplitsLikeTheWindowsRuntime) {
  struct Case {
    const char16_t* line;
    std::vector<String> args;
  };
  const Case cases[] = {
      {u"", {}},
      {u"  /q   -n ", {u"/q", u"-n"}},
      {u"\"/q\"", {u"/q"}},
      {u"\"a b\" c", {u"a b", u"c"}},
      {u"a\\\\b \\\"x\\\" \"c\\\\\" d", {u"a\\\\b", u"\"x\"", u"c\\", u"d"}},
      {u"\"say \"\"hi\"\"\"", {u"say \"hi\""}},
      {u"\t/Q\t", {u"/Q"}},
      {u"\"\"", {u""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.line));
    EXPECT_EQ(SplitCommandLine(c.line), c.args);
  }
}

TEST(CommandLine, SwitchesNeedTheirMark) {
  struct Case {
    const char16_t* arg;
    bool isQ;
  };
  for (const Case& c : {Case{u"/q", true}, Case{u"-q", true}, Case{u"/Q", true}, Case{u"-Q", true},
                        Case{u"q", false}, Case{u"/q:", false}, Case{u"//q", false}, Case{u"/n", false},
                        Case{u"\\q", false}, Case{u"", false}}) {
    SCOPED_TRACE(ToUtf8(c.arg));
    EXPECT_EQ(IsSwitch(c.arg, u'q'), c.isQ);
  }
  SetProgramArguments({u"x", u"-N"});
  EXPECT_TRUE(HasSwitch(u'n'));
  EXPECT_FALSE(HasSwitch(u'q'));
  SetProgramArguments({});
}

}  // namespace
