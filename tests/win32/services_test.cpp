// The registry, INI, special-folder and message-box services against the
// real Win32 API (run under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ini.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "platform/timed_message.h"

using namespace qv;
using namespace qv::platform;

namespace {

String TestKey(const char16_t* leaf) {
  return Format(u"Software\\Norva\\Tests\\%u\\%s", static_cast<unsigned>(GetCurrentProcessId()), leaf);
}

String WindowText(HWND hwnd) {
  wchar_t buffer[2048] = {0};
  GetWindowTextW(hwnd, buffer, 2048);
  return String(reinterpret_cast<const char16_t*>(buffer));
}

// Keeps the text of the message box's (last non-empty) static control.
BOOL CALLBACK CollectStaticText(HWND child, LPARAM out) {
  wchar_t cls[32] = {0};
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Static") == 0) {
    String text = WindowText(child);
    if (!text.empty()) *reinterpret_cast<String*>(out) = text;
  }
  return TRUE;
}

// Process ids repeat across Wine runs: start from a clean key.
String FreshKey(const char16_t* leaf) {
  const String key = TestKey(leaf);
  RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()));
  return key;
}

}  // namespace

TEST(Win32Registry, EveryValueKindRoundTrips) {
  const String key = FreshKey(u"Kinds");
  ASSERT_FALSE(RegKeyPresent(RootKey::CurrentUser, key));
  WriteRegString(RootKey::CurrentUser, key, u"Sz", u"plain text");  // creates the key
  EXPECT_TRUE(RegKeyPresent(RootKey::CurrentUser, u"\\" + key));     // a leading backslash is ignored
  WriteRegString(RootKey::CurrentUser, key, u"Expand", u"%SystemRoot%\\x", RegType::ExpandSz);
  WriteRegString(RootKey::CurrentUser, key, u"Bin", u"as bytes", RegType::Binary);
  WriteRegInteger(RootKey::CurrentUser, key, u"Dword", -5);
  WriteRegInteger(RootKey::CurrentUser, key, u"Qword", 77, RegType::Qword);
  WriteRegInteger(RootKey::CurrentUser, key, u"IntBin", 0x01020304, RegType::Binary);
  WriteRegInteger(RootKey::CurrentUser, key, u"IntText", -1, RegType::Sz);

  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"Sz", u"?"), u"plain text");
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"Expand", u"?"), u"%SystemRoot%\\x");  // not expanded
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"Bin", u"?"), u"as bytes");
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"Dword", 0), -5);
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"Qword", 0), 77);
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"IntBin", 0), 0x01020304);
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"IntText", u"?"), u"4294967295");
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"IntText", 0), -1);  // low 32 bits of 4294967295
  EXPECT_TRUE(ReadRegBool(RootKey::CurrentUser, key, u"Dword", false));
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"Dword", u"dflt"), u"dflt");  // a number is no string
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"Sz", 9), 9);                 // "plain text" is no number
  EXPECT_TRUE(RegValuePresent(RootKey::CurrentUser, key, u"Qword"));
  EXPECT_FALSE(RegValuePresent(RootKey::CurrentUser, key, u"Missing"));
}

TEST(Win32Registry, QwordAboveFourGigReadsItsLowHalf) {
  const String key = FreshKey(u"Qword");
  ASSERT_EQ(CreateRegKey(RootKey::CurrentUser, key), 0u);
  HKEY hkey = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()), 0, KEY_WRITE, &hkey),
            ERROR_SUCCESS);
  const unsigned long long big = 0x0000000500000007ull;
  RegSetValueExW(hkey, L"Big", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&big), sizeof big);
  const wchar_t multi[] = L"a\0b\0";
  RegSetValueExW(hkey, L"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  RegCloseKey(hkey);
  EXPECT_EQ(ReadRegInteger(RootKey::CurrentUser, key, u"Big", 0), 7);
  EXPECT_EQ(ReadRegString(RootKey::CurrentUser, key, u"Multi", u"dflt"), u"dflt");
}

TEST(Win32Registry, WriteToAKeyThatCannotBeOpenedRaisesTheMessage) {
  // HKEY_PERFORMANCE_DATA has no subkeys that can be created or written.
  try {
    WriteRegString(RootKey::PerformanceData, u"Software\\Norva", u"X", u"y");
    FAIL() << "no error raised";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.message(), u"Unable to open key \"HKEY_PERFORMANCE_DATA\\Software\\Norva\" for write");
  }
  try {
    WriteRegString(RootKey::CurrentUser, u"Software\\Norva", u"X", u"y", RegType::Dword);
    FAIL() << "no error raised";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.message(), u"\"HKEY_CURRENT_USER\\Software\\Norva\\X\" is of wrong kind or size");
  }
}

TEST(Win32Ini, ReadsThroughAUncShareInEveryEncoding) {
  const char* root = std::getenv("QV_TEST_UNC_ROOT");
  if (!root) GTEST_SKIP() << "QV_TEST_UNC_ROOT is not set (scripts/wine-run.sh sets it)";
  const String folder = FromUtf8(root) + u"\\IniTest";
  Current().CreateDirectory(folder);

  struct Case {
    const char* name;
    Bytes bytes;
  };
  const std::string text = "; comment\r\n[QTCONFIG]\r\n  ExpectedUNCpath =  \\\\SRV\\NORVA\\  \r\nName=caf\xE9\r\n";
  Bytes ansi(text.begin(), text.end());
  Bytes utf8 = {0xEF, 0xBB, 0xBF};
  for (char c : ToUtf8(FromCp1252(text))) utf8.push_back(static_cast<std::uint8_t>(c));
  Bytes utf16 = {0xFF, 0xFE};
  for (char16_t c : FromCp1252(text)) {
    utf16.push_back(static_cast<std::uint8_t>(c & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  for (const Case& c : {Case{"ANSI.INI", ansi}, Case{"UTF8.INI", utf8}, Case{"UTF16.INI", utf16}}) {
    SCOPED_TRACE(c.name);
    const String path = folder + u"\\" + FromUtf8(c.name);
    ASSERT_EQ(Current().WriteWholeFile(path, c.bytes), 0u);
    std::uint32_t status = 99;
    const IniFile ini = IniFile::Load(path, &status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(ini.Get(u"qtconfig", u"EXPECTEDUNCPATH"), u"\\\\SRV\\NORVA\\");
    EXPECT_EQ(ini.Get(u"QTCONFIG", u"Name"), u"caf\u00E9");
  }
  std::uint32_t status = 0;
  EXPECT_EQ(IniFile::Load(folder + u"\\MISSING.INI", &status).Get(u"QTCONFIG", u"ExpectedUNCpath"), u"");
  EXPECT_EQ(status, 2u);
}

TEST(Win32SpecialFolders, TheThreeFoldersAreFound) {
  struct Case {
    int csidl;
    KnownFolder folder;
  };
  for (const Case& c : {Case{kCsidlCommonAppData, KnownFolder::ProgramData},
                        Case{kCsidlProgramFilesX86, KnownFolder::ProgramFilesX86},
                        Case{kCsidlAppData, KnownFolder::RoamingAppData}}) {
    SCOPED_TRACE(c.csidl);
    const String known = GetKnownFolderPath(c.folder);
    const String byCsidl = GetFolderPathByCsidl(c.csidl);
    EXPECT_FALSE(known.empty());
    // CSIDL 38 names the x86 folder only in a 32-bit process; this test
    // program is 64-bit, where CSIDL 42 does.
    const String comparable = (sizeof(void*) == 8 && c.csidl == kCsidlProgramFilesX86) ? GetFolderPathByCsidl(42) : byCsidl;
    EXPECT_FALSE(byCsidl.empty());
    EXPECT_TRUE(EqualsNoCase(known, comparable)) << ToUtf8(known) << " vs " << ToUtf8(comparable);
    EXPECT_EQ(GetSpecialFolderPath(c.csidl, c.folder), known);
    EXPECT_TRUE(Current().DirectoryExists(known));
  }
}

// A watcher thread finds the box by its title, records the text it shows
// and leaves it to close by itself.
TEST(Win32TimedMessage, ClosesItselfWithTheAnswerForTheSign) {
  struct Case {
    int seconds;
    int expected;
  };
  for (const Case& c : {Case{1, IDOK}, Case{-1, IDCANCEL}}) {
    SCOPED_TRACE(c.seconds);
    const String title = Format(u"Velmora timed test %d", c.seconds);
    std::atomic<bool> seen{false};
    String shown;
    std::thread watcher([&] {
      for (int i = 0; i < 100 && !seen; ++i) {
        HWND box = FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(title.c_str()));
        if (box) {
          EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&shown));
          seen = true;
        }
        Sleep(50);
      }
    });
    const auto start = std::chrono::steady_clock::now();
    const int result = ShowTimedMessage(u"First line<br>Second <B>bold</B> line\u00ACremark", title, MB_OK, c.seconds);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    watcher.join();
    EXPECT_EQ(result, c.expected);
    EXPECT_TRUE(seen);
    EXPECT_EQ(shown, u"First line\nSecond bold line");
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  }
  for (int i = 0; i < 100 && Tsimplethread::Running() > 0; ++i) Sleep(50);
  EXPECT_EQ(Tsimplethread::Running(), 0);
}
