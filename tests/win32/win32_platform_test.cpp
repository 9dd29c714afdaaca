// The real Win32 platform against the Windows API (run under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/default_platform.h"
#include "platform/seam.h"
#include "platform/win32/win32_platform.h"

using namespace qv;
using namespace qv::platform;

namespace {

Platform& P() { return DefaultPlatform(); }

String FromWide(const wchar_t* s) { return String(reinterpret_cast<const char16_t*>(s)); }
const wchar_t* Wide(const String& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Utf16Z(const String& s) {
  Bytes b;
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

// A fresh folder under the temporary folder, removed with its files.
class ScratchFolder {
 public:
  explicit ScratchFolder(const String& base = u"") {
    String root = base;
    if (root.empty()) {
      wchar_t temp[MAX_PATH + 1] = {};
      GetTempPathW(MAX_PATH + 1, temp);
      root = WithoutTrailingBackslash(FromWide(temp));
    }
    // Process ids come round again: a folder an interrupted earlier run
    // left behind is passed over, not reused.
    static int counter = 0;
    std::uint32_t rc = 0;
    do {
      path_ = Format(u"%s\\qvw32_%u_%d", root, static_cast<unsigned>(GetCurrentProcessId()), ++counter);
      rc = P().CreateDirectory(path_);
    } while (rc == ERROR_ALREADY_EXISTS && counter < 10000);
    EXPECT_EQ(rc, 0u) << ToUtf8(path_);
  }
  ~ScratchFolder() {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(Wide(path_ + u"\\*"), &data);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        String name = FromWide(data.cFileName);
        if (name != u"." && name != u"..") {
          SetFileAttributesW(Wide(path_ + u"\\" + name), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(Wide(path_ + u"\\" + name));
          RemoveDirectoryW(Wide(path_ + u"\\" + name));
        }
      } while (FindNextFileW(h, &data));
      FindClose(h);
    }
    RemoveDirectoryW(Wide(path_));
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const String& path() const { return path_; }
  String operator/(const char16_t* name) const { return path_ + u"\\" + name; }

 private:
  String path_;
};

String TestKeyPath() {
  return Format(u"Software\\Norva\\Tests\\Win32Platform\\%u", static_cast<unsigned>(GetCurrentProcessId()));
}

std::string UncRootOrEmpty() {
  const char* root = std::getenv("QV_TEST_UNC_ROOT");
  return root ? root : "";
}

// Starts this very test program again, running only the given child test,
// with one variable set for it; returns its exit code.
std::uint32_t RunChild(const String& program, const char* filter, const String& variable, const String& value,
                       std::uint32_t timeoutMs = 30000) {
  EXPECT_TRUE(P().SetEnvironmentVariable(variable, value));
  Handle process = 0;
  std::uint32_t rc =
      P().CreateProcess(u"\"" + program + u"\" --gtest_filter=" + FromUtf8(filter), u"", SW_HIDE, process);
  P().SetEnvironmentVariable(variable, std::nullopt);
  EXPECT_EQ(rc, 0u);
  if (rc != 0) return 0xFFFFFFFFu;
  EXPECT_EQ(P().WaitForProcess(process, timeoutMs), kWaitObject0);
  std::uint32_t code = 0xFFFFFFFFu;
  EXPECT_EQ(P().GetExitCodeProcess(process, code), 0u);
  P().CloseHandle(process);
  return code;
}

}  // namespace

// ------------------------------------------------------------------ paths

TEST(Win32SeamPaths, PrefixedAndWineFormsBecomePlain) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  for (const Case& c : {
           Case{u"\\\\?\\C:\\Program Files\\x.exe", u"C:\\Program Files\\x.exe"},
           Case{u"\\\\?\\UNC\\SRV\\NORVA\\x.exe", u"\\\\SRV\\NORVA\\x.exe"},
           Case{u"\\\\?\\unc\\srv\\norva", u"\\\\srv\\norva"},
           Case{u"\\??\\D:\\data", u"D:\\data"},
           Case{u"\\??\\UNC\\SRV\\S\\f", u"\\\\SRV\\S\\f"},
           Case{u"UNC\\SRV\\NORVA\\NORVACONNECT.exe", u"\\\\SRV\\NORVA\\NORVACONNECT.exe"},
           // Already plain, or without a plain form: unchanged.
           Case{u"C:\\UNC\\x", u"C:\\UNC\\x"},
           Case{u"\\\\SRV\\UNC\\x", u"\\\\SRV\\UNC\\x"},
           Case{u"\\\\?\\Volume{0b1f}\\x", u"\\\\?\\Volume{0b1f}\\x"},
           Case{u"UNC\\\\x", u"UNC\\\\x"},
           Case{u"UNC", u"UNC"},
           Case{u"", u""},
       }) {
    EXPECT_EQ(win32::PlainPath(c.in), c.out) << ToUtf8(c.in);
  }
}

TEST(Win32SeamPaths, ProgramFileNameIsPlain) {
  const String self = P().ModuleFileName(0);
  ASSERT_GE(self.size(), 4u);
  EXPECT_TRUE(EndsWithNoCaseAscii(self, u"\\qv_win32_tests.exe")) << ToUtf8(self);
  EXPECT_TRUE(self[1] == u':' || self.substr(0, 2) == u"\\\\") << ToUtf8(self);
  EXPECT_NE(self.substr(0, 4), u"\\\\?\\");
  // This code is linked into the program, so its module is the program.
  EXPECT_EQ(P().ModuleFileName(P().CurrentModule()), self);
  EXPECT_FALSE(P().CurrentModuleIsLibrary());
}

TEST(Win32SeamPaths, FullPathNameIsPlainAndAbsolute) {
  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, cwd);
  String full;
  ASSERT_EQ(P().GetFullPathName(u"sub\\..\\file.txt", full), 0u);
  EXPECT_EQ(full, WithTrailingBackslash(FromWide(cwd)) + u"file.txt");
  ASSERT_EQ(P().GetFullPathName(u"\\\\?\\C:\\windows\\..\\x", full), 0u);
  EXPECT_EQ(full.substr(0, 3), u"C:\\");
}

// ---------------------------------------------------------------- registry

TEST(Win32SeamRegistry, EveryValueKindRoundTrips) {
  const String keyPath = TestKeyPath();
  Handle key = 0;
  ASSERT_EQ(P().RegCreateKey(RootKey::CurrentUser, keyPath, kKeyAllAccess, key), 0u);
  ASSERT_NE(key, 0u);

  struct Case {
    const char16_t* name;
    RegType type;
    Bytes data;
  };
  const Case cases[] = {
      {u"Sz", RegType::Sz, Utf16Z(u"plain text")},
      {u"Expand", RegType::ExpandSz, Utf16Z(u"%SystemRoot%\\x")},
      {u"Binary", RegType::Binary, Bytes{0, 1, 2, 0xFF}},
      {u"EmptyBinary", RegType::Binary, Bytes{}},
      {u"Dword", RegType::Dword, Bytes{0x78, 0x56, 0x34, 0x12}},
      {u"Qword", RegType::Qword, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
      {u"Multi", RegType::MultiSz, Bytes{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {u"", RegType::Sz, Utf16Z(u"the default value")},
      {u"Long", RegType::Binary, Bytes(100000, 0x5A)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    ASSERT_EQ(P().RegSetValue(key, c.name, c.type, c.data), 0u);
    RegValue sized;
    ASSERT_EQ(P().RegQueryValue(key, c.name, sized, false), 0u);
    EXPECT_EQ(sized.type, c.type);
    EXPECT_EQ(sized.data.size(), c.data.size());
    RegValue full;
    ASSERT_EQ(P().RegQueryValue(key, c.name, full, true), 0u);
    EXPECT_EQ(full.type, c.type);
    EXPECT_EQ(full.data, c.data);
  }
  P().RegCloseKey(key);

  // Reopened for reading: the values are there; deleting needs write access.
  ASSERT_EQ(P().RegOpenKey(RootKey::CurrentUser, keyPath, kKeyRead, key), 0u);
  RegValue v;
  EXPECT_EQ(P().RegQueryValue(key, u"Dword", v, true), 0u);
  EXPECT_EQ(P().RegDeleteValue(key, u"Dword"), kErrAccessDenied);
  P().RegCloseKey(key);

  ASSERT_EQ(P().RegOpenKey(RootKey::CurrentUser, keyPath, kKeyWrite | kKeyRead, key), 0u);
  EXPECT_EQ(P().RegDeleteValue(key, u"Dword"), 0u);
  EXPECT_EQ(P().RegQueryValue(key, u"Dword", v, false), kErrFileNotFound);
  EXPECT_EQ(P().RegQueryValue(key, u"Dword", v, true), kErrFileNotFound);
  EXPECT_EQ(P().RegDeleteValue(key, u"Dword"), kErrFileNotFound);
  P().RegCloseKey(key);

  EXPECT_EQ(P().RegOpenKey(RootKey::CurrentUser, keyPath + u"\\Missing", kKeyRead, key), kErrFileNotFound);
  EXPECT_EQ(key, 0u);
  RegDeleteTreeW(HKEY_CURRENT_USER, Wide(keyPath));
}

TEST(Win32SeamRegistry, EveryRootKeyOpens) {
  // The predefined keys are sign-extended on 64-bit Windows; a plain cast of
  // the 32-bit numbers would name no key at all.
  struct Case {
    RootKey root;
    const char16_t* subKey;
  };
  for (const Case& c : {Case{RootKey::ClassesRoot, u""}, Case{RootKey::CurrentUser, u"Software"},
                        Case{RootKey::LocalMachine, u"Software"}, Case{RootKey::Users, u""},
                        Case{RootKey::CurrentConfig, u""}}) {
    SCOPED_TRACE(ToUtf8(RootKeyName(c.root)));
    Handle key = 0;
    EXPECT_EQ(P().RegOpenKey(c.root, c.subKey, kKeyRead, key), 0u);
    P().RegCloseKey(key);
  }
}

// ------------------------------------------------------------------ files

TEST(Win32SeamFiles, CreateWriteReadAndSizes) {
  ScratchFolder dir;
  const String path = dir / u"data.bin";
  Handle file = 0;
  ASSERT_EQ(P().OpenFile(path, kGenericWrite, 0, Disposition::CreateAlways, file), 0u);
  std::uint32_t written = 0;
  ASSERT_EQ(P().WriteFile(file, "hello", 5, written), 0u);
  EXPECT_EQ(written, 5u);
  P().CloseHandle(file);

  // Appending: open always (exists: still success), seek to the end, write.
  ASSERT_EQ(P().OpenFile(path, kGenericRead | kGenericWrite, kShareRead, Disposition::OpenAlways, file), 0u);
  std::uint64_t position = 0, size = 0;
  ASSERT_EQ(P().SeekToEnd(file, position), 0u);
  EXPECT_EQ(position, 5u);
  ASSERT_EQ(P().WriteFile(file, " world", 6, written), 0u);
  ASSERT_EQ(P().GetFileSize(file, size), 0u);
  EXPECT_EQ(size, 11u);
  P().CloseHandle(file);

  Bytes contents;
  ASSERT_EQ(P().ReadWholeFile(path, contents), 0u);
  EXPECT_EQ(contents, B("hello world"));
  EXPECT_TRUE(P().FileExists(path));
  EXPECT_FALSE(P().DirectoryExists(path));

  EXPECT_EQ(P().OpenFile(path, kGenericRead, kShareRead, Disposition::CreateNew, file), kErrFileExists);
  EXPECT_EQ(P().OpenFile(dir / u"missing.bin", kGenericRead, kShareRead, Disposition::OpenExisting, file),
            kErrFileNotFound);
  EXPECT_EQ(P().OpenFile(dir / u"no\\such\\f.bin", kGenericRead, kShareRead, Disposition::OpenExisting, file),
            kErrPathNotFound);
  EXPECT_EQ(file, 0u);

  EXPECT_EQ(P().DeleteFile(path), 0u);
  EXPECT_EQ(P().DeleteFile(path), kErrFileNotFound);
}

TEST(Win32SeamFiles, DenyWriteSharingIsEnforced) {
  ScratchFolder dir;
  const String path = dir / u"locked.txt";
  ASSERT_EQ(P().WriteWholeFile(path, B("x")), 0u);
  Handle first = 0, second = 0;
  ASSERT_EQ(P().OpenFile(path, kGenericRead | kGenericWrite, kShareRead, Disposition::OpenExisting, first), 0u);
  EXPECT_EQ(P().OpenFile(path, kGenericWrite, kShareRead | kShareWrite, Disposition::OpenExisting, second),
            kErrSharingViolation);
  // A reader that lets others write is refused too: the first handle writes.
  EXPECT_EQ(P().OpenFile(path, kGenericRead, kShareRead, Disposition::OpenExisting, second), kErrSharingViolation);
  EXPECT_EQ(P().OpenFile(path, kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting, second), 0u);
  P().CloseHandle(second);
  P().CloseHandle(first);
}

TEST(Win32SeamFiles, ReplaceTempNamesWriteTimesAndAttributes) {
  ScratchFolder dir;
  const String from = dir / u"new.ini", to = dir / u"old.ini";
  ASSERT_EQ(P().WriteWholeFile(from, B("new")), 0u);
  ASSERT_EQ(P().WriteWholeFile(to, B("old contents")), 0u);
  ASSERT_EQ(P().ReplaceFileWith(from, to), 0u);
  Bytes contents;
  ASSERT_EQ(P().ReadWholeFile(to, contents), 0u);
  EXPECT_EQ(contents, B("new"));
  EXPECT_FALSE(P().FileExists(from));
  EXPECT_EQ(P().ReplaceFileWith(from, to), kErrFileNotFound);

  String temp1, temp2;
  ASSERT_EQ(P().GetTempFileName(dir.path(), u"QVT", temp1), 0u);
  ASSERT_EQ(P().GetTempFileName(dir.path(), u"QVT", temp2), 0u);
  EXPECT_NE(temp1, temp2);
  EXPECT_TRUE(StartsWithNoCaseAscii(temp1, dir.path() + u"\\QVT")) << ToUtf8(temp1);
  EXPECT_TRUE(P().FileExists(temp1));
  EXPECT_NE(P().GetTempFileName(dir / u"missing", u"QVT", temp1), 0u);
  // With a unique number the name is only formed; the folder must exist.
  String formed;
  ASSERT_EQ(P().GetTempFileName(dir.path(), u"CFG", formed, 1), 0u);
  EXPECT_TRUE(EqualsNoCaseAscii(formed, dir.path() + u"\\CFG1.TMP")) << ToUtf8(formed);
  EXPECT_FALSE(P().FileExists(formed));
  EXPECT_EQ(P().GetTempFileName(dir / u"missing", u"CFG", formed, 1), 267u);  // ERROR_DIRECTORY

  FileTime written = 0;
  const FileTime now = P().GetSystemTimeAsFileTime();
  ASSERT_EQ(P().FindFirstFileWriteTime(to, written), 0u);
  const FileTime minute = 60ull * 10000000ull;
  EXPECT_LT(written > now ? written - now : now - written, minute);
  ASSERT_EQ(P().FindFirstFileWriteTime(dir / u"*.ini", written), 0u);
  EXPECT_EQ(P().FindFirstFileWriteTime(dir / u"*.none", written), kErrFileNotFound);
  EXPECT_EQ(written, 0u);

  std::uint32_t attributes = 0;
  ASSERT_EQ(P().GetFileAttributes(dir.path(), attributes), 0u);
  EXPECT_NE(attributes & kAttrDirectory, 0u);
  EXPECT_TRUE(P().DirectoryExists(dir.path()));
  EXPECT_EQ(P().GetFileAttributes(dir / u"missing", attributes), kErrFileNotFound);
  EXPECT_EQ(attributes, kInvalidAttributes);

  const String sub = dir / u"sub";
  EXPECT_EQ(P().CreateDirectory(sub), 0u);
  EXPECT_EQ(P().CreateDirectory(sub), kErrAlreadyExists);
  EXPECT_EQ(P().RemoveDirectory(sub), 0u);
  EXPECT_EQ(P().CreateDirectory(dir / u"a\\b"), kErrPathNotFound);
}

TEST(Win32SeamFiles, DriveAndVolumeOfTheSystemDrive) {
  EXPECT_EQ(P().GetDriveType(u"C:\\"), DriveType::Fixed);
  std::uint32_t flags = 0;
  String fsName;
  ASSERT_EQ(P().GetVolumeInformation(u"C:\\", flags, fsName), 0u);
  EXPECT_FALSE(fsName.empty());
  EXPECT_EQ(P().GetDriveType(u"Q:\\nothing\\"), DriveType::NoRootDir);
}

// A share of the test prefix: QV_TEST_UNC_ROOT names a \\SERVER\SHARE whose
// folder is writable.
TEST(Win32SeamUnc, FilesThroughAShareAndAProgramStartedFromIt) {
  const std::string root = UncRootOrEmpty();
  if (root.empty()) GTEST_SKIP() << "QV_TEST_UNC_ROOT is not set (scripts/wine-run.sh sets it)";
  ScratchFolder dir(FromUtf8(root));
  const String path = dir / u"through-share.txt";
  ASSERT_EQ(P().WriteWholeFile(path, B("via unc")), 0u);
  Bytes contents;
  ASSERT_EQ(P().ReadWholeFile(path, contents), 0u);
  EXPECT_EQ(contents, B("via unc"));
  EXPECT_TRUE(P().DirectoryExists(FromUtf8(root)));
  String full;
  ASSERT_EQ(P().GetFullPathName(path, full), 0u);
  EXPECT_TRUE(EqualsNoCaseAscii(full, path)) << ToUtf8(full);

  // A copy of this program started from the share reports its own name in
  // the plain \\SERVER\SHARE form.
  const String copy = dir / u"qvchild.exe";
  ASSERT_TRUE(CopyFileW(Wide(P().ModuleFileName(0)), Wide(copy), FALSE));
  const String report = dir / u"report.txt";
  EXPECT_EQ(RunChild(copy, "Win32SeamChild.ReportModuleFileName", u"QV_TEST_REPORT", report), 0u);
  ASSERT_EQ(P().ReadWholeFile(report, contents), 0u);
  const String reported(reinterpret_cast<const char16_t*>(contents.data()), contents.size() / 2);
  EXPECT_TRUE(EqualsNoCaseAscii(reported, copy)) << ToUtf8(reported);
}

// Runs only in the copy started by the test above.
TEST(Win32SeamChild, ReportModuleFileName) {
  String report;
  if (!P().GetEnvironmentVariable(u"QV_TEST_REPORT", report)) GTEST_SKIP() << "runs as a started copy only";
  const String self = P().ModuleFileName(0);
  Bytes bytes(reinterpret_cast<const std::uint8_t*>(self.data()),
              reinterpret_cast<const std::uint8_t*>(self.data()) + self.size() * 2);
  ASSERT_EQ(P().WriteWholeFile(report, bytes), 0u);
}

// Runs only in the copy started by the process test: waits to be ended.
TEST(Win32SeamChild, WaitToBeTerminated) {
  String seconds;
  if (!P().GetEnvironmentVariable(u"QV_TEST_LINGER", seconds)) GTEST_SKIP() << "runs as a started copy only";
  P().Sleep(30000);
}

// -------------------------------------------------------------- network

TEST(Win32SeamNetwork, DosDevicesUniversalNamesAndShares) {
  std::vector<String> targets;
  ASSERT_EQ(P().QueryDosDevice(u"C:", targets), 0u);
  ASSERT_FALSE(targets.empty());
  EXPECT_FALSE(targets[0].empty());
  EXPECT_NE(P().QueryDosDevice(u"Q:", targets), 0u);
  EXPECT_TRUE(targets.empty());

  // A local drive has no universal name.
  String universal;
  EXPECT_NE(P().GetUniversalName(u"C:\\windows\\", universal), 0u);
  EXPECT_TRUE(universal.empty());

  // The share functions load the network library by name; whatever the
  // machine answers, a failure is a code and the batch is consistent.
  std::uint32_t resume = 0;
  std::vector<ShareEntry> batch;
  std::uint32_t rc = P().NetShareEnum(resume, batch);
  if (rc != 0 && rc != kErrMoreData) {
    EXPECT_TRUE(batch.empty()) << rc;
  }
  String local;
  EXPECT_NE(P().NetShareGetInfo(u"", u"QV-NO-SUCH-SHARE", local), 0u);
  EXPECT_TRUE(local.empty());
}

// ------------------------------------------------------------------ shell

TEST(Win32SeamShell, KnownFoldersAgreeWithTheirCsidl) {
  // CSIDL 38 is the program-files folder of the calling process: the 32-bit
  // one in the shipping 32-bit programs, which is why it stands beside
  // FOLDERID_ProgramFilesX86. A 64-bit process gets the native folder from
  // it and the 32-bit folder from CSIDL 42.
  const int programFilesX86Csidl = sizeof(void*) == 4 ? kCsidlProgramFilesX86 : 42;
  struct Case {
    KnownFolder folder;
    int csidl;
  };
  for (const Case& c : {Case{KnownFolder::ProgramData, kCsidlCommonAppData},
                        Case{KnownFolder::RoamingAppData, kCsidlAppData},
                        Case{KnownFolder::ProgramFilesX86, programFilesX86Csidl},
                        Case{KnownFolder::CommonPrograms, kCsidlCommonPrograms},
                        Case{KnownFolder::Programs, kCsidlPrograms}}) {
    SCOPED_TRACE(c.csidl);
    String known, byCsidl;
    EXPECT_EQ(P().GetKnownFolderPath(c.folder, known), 0u);
    EXPECT_EQ(P().GetFolderPathByCsidl(c.csidl, byCsidl), 0u);
    EXPECT_FALSE(known.empty());
    EXPECT_TRUE(EqualsNoCaseAscii(known, byCsidl)) << ToUtf8(known) << " / " << ToUtf8(byCsidl);
    EXPECT_EQ(known[1], u':') << ToUtf8(known);
  }
  String programFiles;
  EXPECT_EQ(P().GetFolderPathByCsidl(kCsidlProgramFilesX86, programFiles), 0u);
  EXPECT_EQ(programFiles.substr(1, 2), u":\\") << ToUtf8(programFiles);
}

TEST(Win32SeamShell, ShellLinkRoundTrip) {
  ScratchFolder dir;
  const String program = P().ModuleFileName(0);
  ShellLink link;
  link.target = program;
  link.arguments = u"/q -n \"quoted arg\"";
  link.workingDirectory = dir.path() + u"\\";
  link.description = u"Norva Application Data folder";
  link.iconPath = program;
  link.iconIndex = 2;
  const String linkPath = dir / u"Norva Application Data folder.lnk";
  ASSERT_EQ(P().CreateShellLink(linkPath, link), 0u);
  EXPECT_TRUE(P().FileExists(linkPath));
  ShellLink read;
  ASSERT_EQ(P().ReadShellLink(linkPath, read), 0u);
  EXPECT_TRUE(EqualsNoCaseAscii(read.target, link.target)) << ToUtf8(read.target);
  EXPECT_EQ(read.arguments, link.arguments);
  EXPECT_TRUE(EqualsNoCaseAscii(read.workingDirectory, link.workingDirectory)) << ToUtf8(read.workingDirectory);
  EXPECT_EQ(read.description, link.description);
  EXPECT_TRUE(EqualsNoCaseAscii(read.iconPath, link.iconPath)) << ToUtf8(read.iconPath);
  EXPECT_EQ(read.iconIndex, 2);

  EXPECT_NE(P().ReadShellLink(dir / u"missing.lnk", read), 0u);
  EXPECT_NE(P().CreateShellLink(dir / u"no\\such\\folder\\x.lnk", link), 0u);
}

// --------------------------------------------------------------- security

TEST(Win32SeamSecurity, DaclsAreReadAndWritten) {
  ScratchFolder dir;
  const String path = dir / u"secured.txt";
  ASSERT_EQ(P().WriteWholeFile(path, B("x")), 0u);
  Dacl dacl;
  EXPECT_EQ(P().GetFileDacl(path, dacl), 0u);
  for (const Ace& ace : dacl.entries) EXPECT_EQ(ace.sid.substr(0, 2), u"S-");

  // Wine does not keep a written DACL, so only the calls are checked here.
  Dacl wanted;
  wanted.present = true;
  wanted.entries = {
      {kAceDenied, 0, 0x40000000u, u"S-1-5-7"},
      {kAceAllowed, kAceObjectInherit | kAceContainerInherit, 0x001200A9u, u"S-1-5-32-545"},
      {kAceAllowed, 0, 0x001F01FFu, u"S-1-5-32-544"},
  };
  EXPECT_EQ(P().SetFileDacl(dir.path(), wanted), 0u);
  EXPECT_EQ(P().SetFileDacl(path, Dacl{}), 0u);
  EXPECT_EQ(P().SetFileDacl(path, Dacl{true, {}}), 0u);

  Dacl bad = wanted;
  bad.entries[1].sid = u"not a sid";
  EXPECT_NE(P().SetFileDacl(path, bad), 0u);
  bad = wanted;
  bad.entries[0].type = 7;
  EXPECT_EQ(P().SetFileDacl(path, bad), kErrInvalidParameter);
  EXPECT_NE(P().GetFileDacl(dir / u"missing.txt", dacl), 0u);
}

TEST(Win32SeamSecurity, AccountsTokenAndMembership) {
  AccountName users;
  ASSERT_EQ(P().LookupAccountSid(u"S-1-5-32-545", users), 0u);
  EXPECT_FALSE(users.name.empty());
  EXPECT_FALSE(users.domain.empty());
  EXPECT_EQ(users.sidType, 4u);  // an alias: a built-in group
  EXPECT_NE(P().LookupAccountSid(u"S-x", users), 0u);

  String user, sid;
  ASSERT_EQ(P().GetUserName(user), 0u);
  ASSERT_FALSE(user.empty());
  ASSERT_EQ(P().LookupAccountName(user, sid), 0u);
  EXPECT_EQ(sid.substr(0, 6), u"S-1-5-") << ToUtf8(sid);
  EXPECT_NE(P().LookupAccountName(u"qv no such account 1234", sid), 0u);

  bool elevated = false, member = false;
  EXPECT_EQ(P().GetTokenElevation(elevated), 0u);
  EXPECT_EQ(P().CheckAdministratorsMembership(member), 0u);
}

// ---------------------------------------------------------------- machine

TEST(Win32SeamMachine, NamesVersionsAndText) {
  String name, physical;
  ASSERT_EQ(P().GetComputerName(name), 0u);
  EXPECT_FALSE(name.empty());
  ASSERT_EQ(P().GetPhysicalComputerName(physical), 0u);
  EXPECT_TRUE(EqualsNoCaseAscii(name, physical));

  const OsVersion v = P().GetVersion();
  EXPECT_GE(v.major, 5u);
  bool atLeast = false;
  ASSERT_EQ(P().VerifyVersion(5, 0, 0, atLeast), 0u);
  EXPECT_TRUE(atLeast);
  ASSERT_EQ(P().VerifyVersion(99, 0, 0, atLeast), 0u);
  EXPECT_FALSE(atLeast);

  String wow64;
  ASSERT_EQ(P().GetSystemWow64Directory(wow64), 0u);  // this test program is 64-bit
  EXPECT_TRUE(EndsWithNoCaseAscii(wow64, u"\\syswow64")) << ToUtf8(wow64);

  EXPECT_EQ(P().AnsiToWide("plain ASCII"), u"plain ASCII");
  EXPECT_EQ(P().WideToAnsi(u"plain ASCII"), "plain ASCII");
  EXPECT_EQ(P().AnsiToWide(""), u"");
  if (GetACP() == 1252) {
    EXPECT_EQ(P().AnsiToWide("caf\xE9 \x80"), u"caf\u00E9 \u20AC");
    EXPECT_EQ(P().WideToAnsi(u"caf\u00E9 \u20AC"), "caf\xE9 \x80");
  }

  const String message = P().FormatSystemMessage(kErrFileNotFound);
  EXPECT_FALSE(message.empty());
  EXPECT_NE(message.back(), u'\n');
  EXPECT_NE(message.back(), u'\r');
  EXPECT_EQ(P().FormatSystemMessage(0x7FFFFFF0u), u"");
}

TEST(Win32SeamMachine, EnvironmentAndSettingBroadcast) {
  const String name = u"QV_WIN32_TEST_VARIABLE";
  String value = u"stale";
  EXPECT_FALSE(P().GetEnvironmentVariable(name, value));
  EXPECT_EQ(value, u"");
  ASSERT_TRUE(P().SetEnvironmentVariable(name, String(300, u'v')));
  ASSERT_TRUE(P().GetEnvironmentVariable(name, value));
  EXPECT_EQ(value, String(300, u'v'));
  // The block holds the same variables as the search by name finds (names
  // such as "=C:" included), the new one among them.
  std::vector<std::pair<String, String>> block;
  ASSERT_TRUE(P().GetEnvironmentStrings(block));
  bool listed = false;
  for (const auto& [blockName, blockValue] : block) {
    SCOPED_TRACE(ToUtf8(blockName));
    EXPECT_FALSE(blockName.empty());
    String byName;
    EXPECT_TRUE(P().GetEnvironmentVariable(blockName, byName));
    EXPECT_EQ(byName, blockValue);
    listed = listed || (blockName == name && blockValue == String(300, u'v'));
  }
  EXPECT_TRUE(listed);
  ASSERT_TRUE(P().SetEnvironmentVariable(name, std::nullopt));
  EXPECT_FALSE(P().GetEnvironmentVariable(name, value));

  EXPECT_EQ(P().BroadcastSettingChange(u"Environment", 4000), 0u);
}

TEST(Win32SeamMachine, ClockAgreesWithItself) {
  const LocalTime before = P().GetLocalTime();
  const LocalTime converted = P().FileTimeToLocalTime(P().GetSystemTimeAsFileTime());
  const LocalTime after = P().GetLocalTime();
  EXPECT_GE(converted.year, 2020);
  // Unless the minute turned during the test, all three agree to the minute.
  if (before.minute == after.minute) {
    EXPECT_EQ(converted.day, before.day);
    EXPECT_EQ(converted.hour, before.hour);
    EXPECT_EQ(converted.minute, before.minute);
  }
  // 1601-01-01 00:00 UTC is the epoch of file times.
  const LocalTime epoch = P().FileTimeToLocalTime(116444736000000000ull);  // 1970-01-01 UTC
  EXPECT_TRUE(epoch.year == 1970 || epoch.year == 1969);
}

// --------------------------------------------------------------- processes

TEST(Win32SeamProcess, StartWaitExitCodeAndTerminate) {
  Handle process = 0;
  ASSERT_EQ(P().CreateProcess(u"cmd.exe /c exit 3", u"", SW_HIDE, process), 0u);
  EXPECT_EQ(P().WaitForProcess(process, 20000), kWaitObject0);
  std::uint32_t code = 0;
  EXPECT_EQ(P().GetExitCodeProcess(process, code), 0u);
  EXPECT_EQ(code, 3u);
  P().CloseHandle(process);

  EXPECT_EQ(P().CreateProcess(u"qv-no-such-program.exe", u"", SW_HIDE, process), kErrFileNotFound);
  EXPECT_EQ(process, 0u);
  EXPECT_NE(P().CreateProcess(u"cmd.exe /c exit 0", u"Q:\\no\\such\\folder", SW_HIDE, process), 0u);

  // A copy of this program that waits: the wait times out, then the
  // process is ended with the given exit code.
  ASSERT_TRUE(P().SetEnvironmentVariable(u"QV_TEST_LINGER", u"1"));
  std::uint32_t rc = P().CreateProcess(u"\"" + P().ModuleFileName(0) + u"\" --gtest_filter=Win32SeamChild.WaitToBeTerminated",
                                       u"", SW_HIDE, process);
  P().SetEnvironmentVariable(u"QV_TEST_LINGER", std::nullopt);
  ASSERT_EQ(rc, 0u);
  EXPECT_EQ(P().WaitForProcess(process, 300), kWaitTimeout);

  // The snapshot holds this process and the copy, with this process as the
  // copy's parent.
  std::vector<ProcessEntry> processes;
  ASSERT_EQ(P().ProcessSnapshot(processes), 0u);
  const std::uint32_t self = P().CurrentProcessId(), child = GetProcessId(reinterpret_cast<HANDLE>(process));
  EXPECT_EQ(self, GetCurrentProcessId());
  int seen = 0;
  for (const ProcessEntry& e : processes) {
    if (e.pid != self && e.pid != child) continue;
    ++seen;
    EXPECT_TRUE(EqualsNoCaseAscii(e.exeName, u"qv_win32_tests.exe")) << ToUtf8(e.exeName);
    if (e.pid == child) {
      EXPECT_EQ(e.parentPid, self);
    }
  }
  EXPECT_EQ(seen, 2);

  EXPECT_EQ(P().GetExitCodeProcess(process, code), 0u);
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(P().TerminateProcess(process, 120), 0u);
  EXPECT_EQ(P().WaitForProcess(process, 10000), kWaitObject0);
  EXPECT_EQ(P().GetExitCodeProcess(process, code), 0u);
  EXPECT_EQ(code, 120u);
  P().CloseHandle(process);
}

TEST(Win32SeamProcess, LibrariesExportsStringsAndErrorMode) {
  std::uint32_t error = 99;
  const Handle kernel = P().LoadLibrary(u"kernel32.dll", error);
  ASSERT_NE(kernel, 0u);
  EXPECT_EQ(error, 0u);
  EXPECT_NE(P().GetProcAddress(kernel, "GetTickCount"), nullptr);
  EXPECT_EQ(P().GetProcAddress(kernel, "QvNoSuchExport"), nullptr);
  EXPECT_TRUE(P().ModuleFileName(kernel).find(u'\\') != String::npos);
  P().FreeLibrary(kernel);

  const std::uint32_t previous = P().SetErrorMode(kSemFailCriticalErrors | kSemNoOpenFileErrorBox);
  EXPECT_EQ(P().LoadLibrary(u"qv-no-such-library.dll", error), 0u);
  EXPECT_EQ(error, kErrModNotFound);
  EXPECT_EQ(P().SetErrorMode(previous), kSemFailCriticalErrors | kSemNoOpenFileErrorBox);

  // Strings of this program's own table (win32_platform_test.rc), whole
  // even beyond 2048 characters; a missing one is empty.
  EXPECT_EQ(P().LoadString(0, 64990), u"Short text with a tab\tand an umlaut \u00FC");
  EXPECT_EQ(P().LoadString(P().CurrentModule(), 64990), P().LoadString(0, 64990));
  String longText;
  for (int i = 0; i < 500; ++i) longText += Format(u"%.4d:", i);
  EXPECT_EQ(P().LoadString(0, 64991), longText);
  EXPECT_EQ(P().LoadString(0, 64989), u"");
  EXPECT_EQ(P().LoadString(0, 12345), u"");
}

// --------------------------------------------------------- windows, dialogs

TEST(Win32SeamWindows, MessageBoxEndedFromAnotherThread) {
  const String title = Format(u"QV seam box %u", static_cast<unsigned>(GetCurrentProcessId()));
  std::atomic<bool> ended{false};
  std::thread closer([&] {
    for (int i = 0; i < 200 && !ended; ++i) {
      P().Sleep(50);
      Handle box = P().FindWindow(u"", title);
      if (box != 0 && P().EndDialog(box, kIdNo)) ended = true;
    }
  });
  const int result = P().MessageBox(u"Closed by the test.", title, kMbYesNo | kMbIconQuestion);
  ended = true;
  closer.join();
  EXPECT_EQ(result, kIdNo);
  EXPECT_EQ(P().FindWindow(u"", title), 0u);
  EXPECT_EQ(P().FindWindow(u"QvNoSuchWindowClass", u""), 0u);
}

TEST(Win32SeamWindows, DialogFormFollowsKindButtonsAndCountdown) {
  constexpr std::uint16_t Yes = 1, No = 2, Ok = 4, Cancel = 8, Abort = 16, Retry = 32, Ignore = 64, Help = 1024;
  struct Case {
    std::uint8_t kind;
    std::uint16_t buttons;
    int seconds;
    std::uint32_t style;  // buttons and icon
    int countdownResult;
  };
  const Case cases[] = {
      {1, Ok, 0, MB_OK | MB_ICONERROR, 0},
      {1, Ok, -2, MB_OK | MB_ICONERROR, kIdOk},  // red bar under the only button
      {2, Ok, 3, MB_OK | MB_ICONINFORMATION, kIdOk},
      {3, Yes | No, 2, MB_YESNO | MB_ICONQUESTION, kIdYes},
      {3, Yes | No, -2, MB_YESNO | MB_ICONQUESTION, kIdNo},
      {0, Ok | Cancel, 5, MB_OKCANCEL | MB_ICONWARNING, kIdOk},
      {0, Ok | Cancel, -5, MB_OKCANCEL | MB_ICONWARNING, kIdCancel},
      {3, Yes | No | Cancel, -1, MB_YESNOCANCEL | MB_ICONQUESTION, kIdNo},
      {3, Ok | Yes, 1, MB_YESNO | MB_ICONQUESTION, kIdOk},  // OK lies left of Yes
      {9, Abort | Retry | Ignore, -1, MB_ABORTRETRYIGNORE, kIdAbort},
      {9, Abort | Retry | Ignore, 1, MB_ABORTRETRYIGNORE, 0},  // no button carries a green bar
      {1, Retry | Cancel, 4, MB_RETRYCANCEL | MB_ICONERROR, 0},
      {1, Ok | Help, -1, MB_OK | MB_HELP | MB_ICONERROR, 0},  // OK is not the only button
      {1, 0, 0, MB_OK | MB_ICONERROR, 0},
      {1, static_cast<std::uint16_t>(Ok | 0x0100), -1, MB_OK | MB_ICONERROR, kIdOk},  // unknown bits ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << " seconds " << c.seconds);
    DialogRequest request;
    request.kind = c.kind;
    request.buttons = c.buttons;
    request.seconds = c.seconds;
    request.message = u"First line\rsecond line\r\nthird";
    const win32::MessageBoxForm form = win32::PlanDialog(request);
    EXPECT_EQ(form.style & (MB_TYPEMASK | MB_ICONMASK | MB_HELP), c.style);
    EXPECT_EQ(form.countdownResult, c.countdownResult);
    EXPECT_EQ(form.countdownMs, c.countdownResult ? static_cast<std::uint32_t>(std::abs(c.seconds)) * 1000 : 0u);
    EXPECT_EQ(form.text, u"First line\nsecond line\nthird");
  }
  DialogRequest withDetail;
  withDetail.message = u"Failed.";
  withDetail.detail = u"Because\rof this.";
  EXPECT_EQ(win32::PlanDialog(withDetail).text, u"Failed.\n\nBecause\nof this.");
}

TEST(Win32SeamWindows, DialogCountdownClosesWithTheCarryingButton) {
  struct Case {
    std::uint16_t buttons;
    int seconds;
    int expected;
  };
  for (const Case& c : {Case{1 | 2, 1, kIdYes}, Case{4, -1, kIdOk}}) {
    SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << " seconds " << c.seconds);
    DialogRequest request;
    request.title = u"  qv_win32_tests: Confirm";
    request.message = u"This dialog closes itself.";
    request.kind = 3;
    request.buttons = c.buttons;
    request.seconds = c.seconds;
    const DWORD start = GetTickCount();
    EXPECT_EQ(P().ShowDialog(request), c.expected);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 5000u);
  }
}

TEST(Win32SeamWindows, DialogWithoutCarryingButtonWaitsForTheUser) {
  DialogRequest request;
  request.title = u"  qv_win32_tests: Retry";
  request.message = u"Only a button closes this one.";
  request.buttons = 32 | 8;  // Retry, Cancel: a green bar has no button
  request.seconds = 1;
  std::atomic<bool> done{false};
  int closedAt = 0;
  std::thread user([&] {
    P().Sleep(1600);  // past the countdown: the dialog must still be open
    for (int i = 0; i < 100 && !done; ++i, P().Sleep(50)) {
      Handle box = P().FindWindow(u"", request.title);
      if (box != 0 && P().EndDialog(box, kIdRetry)) {
        closedAt = 1;
        break;
      }
    }
  });
  const int result = P().ShowDialog(request);
  done = true;
  user.join();
  EXPECT_EQ(result, kIdRetry);
  EXPECT_EQ(closedAt, 1);
}

namespace {
struct CopyDataSeen {
  ULONG_PTR word = 0;
  Bytes bytes;
};
CopyDataSeen g_seen;

LRESULT CALLBACK CopyDataWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COPYDATA) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    g_seen.word = copy->dwData;
    const auto* data = static_cast<const std::uint8_t*>(copy->lpData);
    g_seen.bytes.assign(data, data + copy->cbData);
    return 1234;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}
}  // namespace

TEST(Win32SeamWindows, CopyDataReachesTheWindowFoundByClass) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = CopyDataWindow;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvSeamCopyDataTest";
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"copy data target", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  const Handle found = P().FindWindow(u"QvSeamCopyDataTest", u"");
  EXPECT_EQ(found, reinterpret_cast<Handle>(window));
  const Bytes data = B("05/14:03:07.042 QV9REG trace line");
  EXPECT_EQ(P().SendCopyData(found, 128, data), 1234u);
  EXPECT_EQ(g_seen.word, 128u);
  EXPECT_EQ(g_seen.bytes, data);
  EXPECT_EQ(P().SendCopyData(found, 0, Bytes{}), 1234u);
  EXPECT_TRUE(g_seen.bytes.empty());
  DestroyWindow(window);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

// ------------------------------------------------- event log, shared memory

TEST(Win32SeamEventLog, EntriesAreReportedOrRefusedCleanly) {
  const Handle source = P().RegisterEventSource(u"QV9REG test");
  if (source == 0) GTEST_SKIP() << "no event log service: error " << GetLastError();
  String user, sid;
  P().GetUserName(user);
  P().LookupAccountName(user, sid);
  const std::vector<String> strings = {u"one", u"two", u"", u"four"};
  const std::uint32_t withSid = P().ReportEvent(source, kEventError, 0, 0xC0000004u, sid, strings);
  EXPECT_TRUE(withSid == 0 || withSid == kErrInvalidParameter) << withSid;
  EXPECT_EQ(P().ReportEvent(source, kEventInformation, 0, 0x40000001u, u"", strings), 0u);
  EXPECT_EQ(P().ReportEvent(source, kEventWarning, 0, 0x80000003u, u"S-not-a-sid", strings), 1337u);
  P().DeregisterEventSource(source);
}

TEST(Win32SeamSharedMemory, TwoMappingsOfOneNameShareTheBlock) {
  const String name = Format(u"QvSeamTest%u", static_cast<unsigned>(GetCurrentProcessId()));
  Handle first = 0, second = 0;
  bool existed = true;
  ASSERT_EQ(P().CreateSharedMemory(name, 12, first, existed), 0u);
  EXPECT_FALSE(existed);
  ASSERT_EQ(P().CreateSharedMemory(name, 12, second, existed), 0u);
  EXPECT_TRUE(existed);
  auto* a = static_cast<std::uint8_t*>(P().MapSharedMemory(first, 12));
  auto* b = static_cast<std::uint8_t*>(P().MapSharedMemory(second, 12));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  std::memcpy(a, "TarvexFG\x01\x02\x03\x04", 12);
  EXPECT_EQ(std::memcmp(b, "TarvexFG\x01\x02\x03\x04", 12), 0);
  P().UnmapSharedMemory(a);
  P().UnmapSharedMemory(b);
  P().CloseHandle(first);
  P().CloseHandle(second);

  // Once every handle is closed the name is free again.
  ASSERT_EQ(P().CreateSharedMemory(name, 12, first, existed), 0u);
  EXPECT_FALSE(existed);
  P().CloseHandle(first);
}

TEST(Win32SeamFiles, TempPathIsAnExistingFolderWithDelimiter) {
  String temp;
  ASSERT_EQ(P().GetTempPath(temp), 0u);
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  EXPECT_TRUE(P().DirectoryExists(WithoutTrailingBackslash(temp)));
}
