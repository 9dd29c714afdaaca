// Path, registry, INI, special-folder and message-box services on the
// in-memory machine.
#include <gtest/gtest.h>

#include <thread>

#include "platform/ini.h"
#include "platform/local_path.h"
#include "platform/memory/memory_machine.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "platform/timed_message.h"

using namespace qv;
using namespace qv::platform;

namespace {

// A file server named FILESRV: drive D: with D:\WORK and D:\SHARES\DATA,
// its own share DATA, another server's NORVA share mapped as N:, its own
// share mapped as M:, and S: substituted for D:\WORK.
class FileServer : public ::testing::Test {
 protected:
  FileServer() : use_(m_) {
    m_.SetComputerName(u"FILESRV");
    m_.AddDrive(u'D');
    m_.MakeDirectories(u"D:\\WORK\\A\\B");
    m_.MakeDirectories(u"D:\\SHARES\\DATA\\X");
    m_.AddShare(u"DATA", u"D:\\SHARES\\DATA");
    m_.AddRemoteShare(u"OTHERSRV", u"NORVA");
    m_.MapDrive(u'N', u"\\\\OTHERSRV\\NORVA");
    m_.MapDrive(u'M', u"\\\\FILESRV\\DATA");
    m_.Subst(u'S', u"D:\\WORK");
  }
  MemoryMachine m_;
  ScopedPlatform use_;
};

struct LocalPathCase {
  const char16_t* path;
  int status;
  const char16_t* local;
};

}  // namespace

TEST_F(FileServer, GetLocalPath) {
  const LocalPathCase cases[] = {
      {u"c:\\windows", 0, u"C:\\WINDOWS\\"},               // a local fixed disk: upper case, backslash added
      {u"C:\\", 0, u"C:\\"},
      {u"S:\\A\\B", 0, u"D:\\WORK\\A\\B\\"},                // substituted drive
      {u"S:", 0, u"D:\\WORK\\"},
      {u"M:\\X", 0, u"D:\\SHARES\\DATA\\X\\"},              // drive mapped to a share of this machine
      {u"N:\\TARVEX", -1, u""},                              // drive mapped to another machine
      {u"\\\\filesrv\\data\\X", 0, u"D:\\SHARES\\DATA\\X\\"},  // this computer in other letter case
      {u"\\\\FILESRV\\DATA", 0, u"D:\\SHARES\\DATA\\"},
      {u"\\\\OTHERSRV\\DATA\\X", -1, u""},
      {u"\\\\FILESRV", -1, u""},                             // no share name
      {u"\\\\FILESRV\\NOSUCH\\X", -1, u""},
      {u"relative\\path", -1, u""},
  };
  for (const LocalPathCase& c : cases) {
    String local = u"stale";
    EXPECT_EQ(GetLocalPath(c.path, local), c.status) << ToUtf8(c.path);
    EXPECT_EQ(local, c.local) << ToUtf8(c.path);
  }
}

TEST_F(FileServer, GetShareLocalPath) {
  const LocalPathCase cases[] = {
      {u"\\\\FILESRV\\DATA", 0, u"D:\\SHARES\\DATA\\"},       // the share itself: backslash added
      {u"\\\\FILESRV\\DATA\\X\\Y", 0, u"D:\\SHARES\\DATA\\X\\Y"},  // no backslash after the remainder
      {u"D:\\SHARES", 53, u""},                                // not a UNC path
      {u"\\\\FILESRV", -1, u""},
      {u"\\\\FILESRV\\NOSUCH", 2310, u""},                    // the share query's own status
  };
  for (const LocalPathCase& c : cases) {
    String local = u"stale";
    EXPECT_EQ(GetShareLocalPath(c.path, local), c.status) << ToUtf8(c.path);
    EXPECT_EQ(local, c.local) << ToUtf8(c.path);
  }
}

TEST_F(FileServer, ShareQueryRefusedOrUnavailableKeepsTheNetworkForm) {
  m_.SetNetShareGetInfoStatus(5);
  String local;
  EXPECT_EQ(GetShareLocalPath(u"\\\\FILESRV\\DATA\\X", local), 5);
  EXPECT_EQ(GetLocalPath(u"\\\\FILESRV\\DATA\\X", local), -1);
  EXPECT_EQ(local, u"");
  m_.SetNetShareGetInfoStatus(0);
  m_.SetNetApiAvailable(false);
  EXPECT_EQ(GetShareLocalPath(u"\\\\FILESRV\\DATA\\X", local), -1);
  EXPECT_EQ(GetLocalPath(u"M:\\X", local), -1);
}

TEST_F(FileServer, GetLocalPathWithoutAComputerName) {
  m_.InjectFailure("GetComputerNameW", 0, 111);
  String local;
  EXPECT_EQ(GetLocalPath(u"\\\\FILESRV\\DATA", local), -1);
  EXPECT_EQ(GetLocalPath(u"C:\\Windows", local), 0);  // drive paths need no name
}

TEST(Registry, ReadsFallBackToTheirDefaults) {
  MemoryMachine m;
  ScopedPlatform use(m);
  const String key = u"Software\\Norva\\Test";
  m.SetRegDword(RootKey::CurrentUser, key, u"Four", 4);
  m.SetRegString(RootKey::CurrentUser, key, u"FourText", u"4");
  m.SetRegString(RootKey::CurrentUser, key, u"X4", u"x4");
  m.SetRegString(RootKey::CurrentUser, key, u"Path", u"%TEMP%\\x", RegType::ExpandSz);
  m.SetRegValue(RootKey::CurrentUser, key, u"Big", RegType::Qword, {7, 0, 0, 0, 5, 0, 0, 0});
  m.SetRegValue(RootKey::CurrentUser, key, u"Nine", RegType::Binary, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  m.SetRegValue(RootKey::CurrentUser, key, u"Multi", RegType::MultiSz, RegStringBytes(u"a"));
  m.SetRegValue(RootKey::CurrentUser, key, u"Empty", RegType::Sz, {});
  m.SetRegValue(RootKey::CurrentUser, key, u"NoNul", RegType::Sz, {'a', 0, 'b', 0});

  struct IntCase {
    const char16_t* key;
    const char16_t* value;
    int def, want;
  };
  const IntCase ints[] = {
      {key.c_str(), u"Four", -1, 4},      {key.c_str(), u"FourText", -1, 4}, {key.c_str(), u"X4", -1, -1},
      {key.c_str(), u"Big", -1, 7},       // low 32 bits of a QWORD above 2^32
      {key.c_str(), u"Nine", -1, -1},     // binary longer than 8 bytes
      {key.c_str(), u"Missing", 12, 12},  {u"Software\\Missing", u"Four", 3, 3},
      {u"\\Software\\Norva\\Test", u"Four", -1, 4},  // leading backslash ignored
  };
  for (const IntCase& c : ints)
    EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, c.key, c.value, c.def), c.want) << ToUtf8(c.value);

  struct StrCase {
    const char16_t* value;
    const char16_t* want;
  };
  const StrCase strings[] = {
      {u"FourText", u"4"},    {u"Path", u"%TEMP%\\x"},  // not expanded
      {u"Multi", u"dflt"},    {u"Four", u"dflt"},       // other kinds give the default
      {u"Missing", u"dflt"},  {u"Empty", u""},
      {u"NoNul", u"a"},                                 // size/2 - 1 characters
  };
  for (const StrCase& c : strings)
    EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, c.value, u"dflt"), c.want) << ToUtf8(c.value);

  EXPECT_TRUE(ReadRegBool(RootKey::CurrentUser, key, u"Four", false));
  EXPECT_TRUE(ReadRegBool(RootKey::CurrentUser, key, u"Missing", true));
  EXPECT_FALSE(ReadRegBool(RootKey::CurrentUser, key, u"X4", false));
  EXPECT_TRUE(RegKeyPresent(RootKey::CurrentUser, key));
  EXPECT_FALSE(RegKeyPresent(RootKey::LocalMachine, key));
  EXPECT_TRUE(RegValuePresent(RootKey::CurrentUser, key, u"Multi"));
  EXPECT_FALSE(RegValuePresent(RootKey::CurrentUser, key, u"Missing"));

  m.InjectFailure("RegQueryValueExW", 0, 5);
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"Four", 8), 8);  // an unreadable value reads as the default
}

TEST(Registry, WritesCreateKeysAndRaiseTheFixedMessage) {
  MemoryMachine m;
  ScopedPlatform use(m);
  WriteRegString(RootKey::CurrentUser, u"Software\\Norva\\New\\Deep", u"S", u"text");
  EXPECT_TRUE(m.KeyExists(RootKey::CurrentUser, u"Software\\Norva\\New\\Deep"));
  WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\New", u"D", -2);
  WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\New", u"Q", -2, RegType::Qword);
  WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\New", u"T", -2, RegType::ExpandSz);
  EXPECT_EQ(m.GetRegValue(RootKey::CurrentUser, u"Software\\Norva\\New", u"D")->data, (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(m.GetRegValue(RootKey::CurrentUser, u"Software\\Norva\\New", u"Q")->data.size(), 8u);
  EXPECT_EQ(m.GetRegValue(RootKey::CurrentUser, u"Software\\Norva\\New", u"T")->type, RegType::ExpandSz);
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\New", u"T", u""), u"4294967294");
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\New\\Deep", u"S", u""), u"text");

  struct ErrorCase {
    RootKey root;
    const char16_t* key;
    RegType kind;
    bool integer;
    const char16_t* message;
  };
  m.DenyRegistryWrite(RootKey::LocalMachine, u"Software\\Norva");
  const ErrorCase cases[] = {
      {RootKey::LocalMachine, u"Software\\Norva\\Engine", RegType::Sz, false,
       u"Unable to open key \"HKEY_LOCAL_MACHINE\\Software\\Norva\\Engine\" for write"},
      {RootKey::LocalMachine, u"Software\\Norva\\Engine", RegType::Dword, true,
       u"Unable to open key \"HKEY_LOCAL_MACHINE\\Software\\Norva\\Engine\" for write"},
      {RootKey::CurrentUser, u"Software\\Norva", RegType::Dword, false,
       u"\"HKEY_CURRENT_USER\\Software\\Norva\\V\" is of wrong kind or size"},
      {RootKey::CurrentUser, u"Software\\Norva", RegType::MultiSz, true,
       u"\"HKEY_CURRENT_USER\\Software\\Norva\\V\" is of wrong kind or size"},
      {static_cast<RootKey>(0x12345678u), u"Software", RegType::Sz, false,
       u"Unable to open key \"0x12345678\\Software\" for write"},
  };
  for (const ErrorCase& c : cases) {
    try {
      if (c.integer)
        WriteRegInteger(c.root, c.key, u"V", 1, c.kind);
      else
        WriteRegString(c.root, c.key, u"V", u"x", c.kind);
      ADD_FAILURE() << "no error for " << ToUtf8(c.message);
    } catch (const RegistryError& e) {
      EXPECT_EQ(e.message(), c.message);
    }
  }
  EXPECT_FALSE(m.KeyExists(RootKey::LocalMachine, u"Software\\Norva\\Engine"));

  // A key that opens but refuses the value.
  m.InjectFailure("RegSetValueExW", 1, 5);
  EXPECT_THROW(WriteRegString(RootKey::CurrentUser, u"Software\\Norva", u"V", u"x"), RegistryError);
  EXPECT_EQ(CreateRegKey(RootKey::LocalMachine, u"Software\\Norva\\X"), 5u);
  EXPECT_EQ(CreateRegKey(RootKey::CurrentUser, u"Software\\Norva\\X"), 0u);
}

TEST(Ini, ParsingRules) {
  const IniFile ini = IniFile::ParseText(
      u"top=ignored outside any section\r\n"
      u"[NorvaAppdataShare]\r\n"
      u"  UNCname =  \\\\SRV\\NORVA  \r\n"
      u"; UNCname=commented\n"
      u"   ;also=comment\n"
      u"Island=1\r"
      u"novalue\n"
      u"empty=\n"
      u"[ Second ]\n"
      u"key=a=b\n"
      u"UNCNAME=later section\n"
      u"[NORVAAPPDATASHARE]\n"
      u"uncname=duplicate\n"
      u"island=2");
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* want;
  };
  const Case cases[] = {
      {u"norvaappdatashare", u"uncname", u"\\\\SRV\\NORVA"},  // case-insensitive, blanks trimmed, first wins
      {u"NorvaAppdataShare", u"Island", u"1"},
      {u"NorvaAppdataShare", u"top", u""},
      {u"NorvaAppdataShare", u"novalue", u""},
      {u"NorvaAppdataShare", u"; UNCname", u""},
      {u"Second", u"key", u"a=b"},
      {u"second", u"uncname", u"later section"},
      {u"Missing", u"key", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(ini.Get(c.section, c.key), c.want) << ToUtf8(c.key);
  EXPECT_TRUE(ini.HasKey(u"NorvaAppdataShare", u"empty"));
  EXPECT_FALSE(ini.HasKey(u"NorvaAppdataShare", u"novalue"));
  EXPECT_TRUE(ini.HasSection(u"SECOND"));
}

TEST(Ini, EncodingsAndOneReadPerFile) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.AddRemoteShare(u"SRV", u"NORVA");
  const std::string text = "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\\\r\nOwner=Jos\xE9\r\n";
  Bytes ansi(text.begin(), text.end());
  Bytes utf8 = {0xEF, 0xBB, 0xBF};
  for (char c : ToUtf8(FromCp1252(text))) utf8.push_back(static_cast<std::uint8_t>(c));
  Bytes utf16le = {0xFF, 0xFE}, utf16be = {0xFE, 0xFF};
  for (char16_t c : FromCp1252(text)) {
    utf16le.insert(utf16le.end(), {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>(c >> 8)});
    utf16be.insert(utf16be.end(), {static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c & 0xFF)});
  }
  for (const Bytes& bytes : {ansi, utf8, utf16le, utf16be}) {
    const String path = u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI";
    m.MakeDirectories(u"\\\\SRV\\NORVA\\TARVEX");
    m.WriteBytes(path, bytes);
    m.ResetCounts();
    std::uint32_t status = 1;
    const IniFile ini = IniFile::Load(path, &status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(ini.Get(u"QTCONFIG", u"ExpectedUNCpath"), u"\\\\SRV\\NORVA\\");
    EXPECT_EQ(ini.Get(u"QTCONFIG", u"Owner"), u"Jos\u00E9");
    EXPECT_EQ(ini.Get(u"QTCONFIG", u"Missing"), u"");
    EXPECT_EQ(m.Count("CreateFileW"), 1u);  // several keys, one open
  }
  std::uint32_t status = 0;
  EXPECT_EQ(IniFile::Load(u"\\\\SRV\\NORVA\\NONE.INI", &status).Get(u"QTCONFIG", u"ExpectedUNCpath"), u"");
  EXPECT_EQ(status, 2u);
  m.InjectFailure("ReadFile", 1, 59);
  EXPECT_EQ(IniFile::Load(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", &status).Get(u"QTCONFIG", u"ExpectedUNCpath"), u"");
  EXPECT_EQ(status, 59u);
}

TEST(SpecialFolders, KnownFolderFromVersionSixOnAndCsidlBefore) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetKnownFolder(KnownFolder::ProgramData, u"C:\\ProgramData");
  m.SetCsidlFolder(kCsidlCommonAppData, u"C:\\Documents and Settings\\All Users\\Application Data");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData), u"C:\\ProgramData");
  m.SetOsVersion(OsVersion{5, 1, 2600, 3});
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData),
            u"C:\\Documents and Settings\\All Users\\Application Data");
  m.SetShFolderAvailable(false);
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData), u"");
  m.SetOsVersion(OsVersion{6, 1, 7601, 1});
  m.InjectFailure("SHGetKnownFolderPath", 1, 0x80070002u);
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData), u"");
}

TEST(TimedMessage, MarkupIsPrepared) {
  struct Case {
    const char16_t* text;
    const char16_t* shown;
  };
  const Case cases[] = {
      {u"First line<BR>Second <B>bold</B> line\u00ACtrailing remark<br>more", u"First line\nSecond bold line"},
      {u"a <b>b</b> < c", u"a b < c"},                // a '<' without '>' after it stays, with the rest
      {u"x<Br>y<bR>z", u"x\ny\nz"},
      {u"<a href=\"x\">link</a>", u"link"},
      {u"\u00ACall cut", u""},
      {u"plain", u"plain"},
  };
  for (const Case& c : cases) EXPECT_EQ(PrepareMessageText(c.text), c.shown) << ToUtf8(c.text);
}

TEST(TimedMessage, ClosingThreadEndsTheBoxWithTheAnswerForTheSign) {
  struct Case {
    int seconds;
    int result;
  };
  for (const Case& c : {Case{20, kIdOk}, Case{-5, kIdCancel}}) {
    MemoryMachine m;
    ScopedPlatform use(m);
    m.ScriptMessageBoxWaitForEndDialog();
    const FileTime before = m.GetSystemTimeAsFileTime();
    EXPECT_EQ(ShowTimedMessage(u"Text<br>two", u"Velmora Configuration Error", kMbOk, c.seconds), c.result);
    for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Tsimplethread::Running(), 0);
    const auto boxes = m.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Text\ntwo");
    EXPECT_EQ(boxes[0].caption, u"Velmora Configuration Error");
    EXPECT_TRUE(boxes[0].endedByEndDialog);
    // The worker slept 10 x |seconds| times 100 ms, and the caller 100 ms after the box.
    const FileTime slept = m.GetSystemTimeAsFileTime() - before;
    EXPECT_EQ(slept, static_cast<FileTime>(std::abs(c.seconds) * 1000 + 100) * 10000);
  }
}

TEST(TimedMessage, AnEmptyCaptionEndsOnlyAWindowWithoutTitle) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetSafetyTimeoutMs(3000);
  const Handle other = m.AddWindow(u"Notepad", u"Untitled - Notepad");
  m.ScriptMessageBoxWaitForEndDialog();
  ShowTimedMessage(u"x", u"", kMbOk, 1);
  for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto calls = m.EndDialogCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].first, other);
  ASSERT_EQ(m.MessageBoxes().size(), 1u);
  EXPECT_TRUE(m.MessageBoxes()[0].endedByEndDialog);
}

TEST(TimedMessage, ZeroSecondsStartsNoClosingThread) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.ScriptMessageBox(kIdOk);
  EXPECT_EQ(ShowTimedMessage(u"x", u"title", kMbOk, 0), kIdOk);
  EXPECT_EQ(Tsimplethread::Running(), 0);
  EXPECT_TRUE(m.EndDialogCalls().empty());
}
