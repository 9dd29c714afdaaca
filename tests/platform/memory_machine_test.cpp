// Tests of the in-memory Windows machine behind the platform seam.
#include "platform/memory/memory_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace qv::platform {
namespace {

std::string Utf8(const String& s) { return ToUtf8(s); }

// A small network: this computer THISPC shares C:\DATA as DATA; server SRV
// publishes NORVA; M: is mapped to \\SRV\NORVA, N: to this computer's own
// DATA share; S: is a SUBST of D:\WORK.
class MachineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m.SetComputerName(u"THISPC");
    ASSERT_TRUE(m.AddDrive(u'D'));
    ASSERT_TRUE(m.AddDrive(u'F', DriveType::Removable, kFatFlags, u"FAT32"));
    ASSERT_TRUE(m.AddShare(u"DATA", u"C:\\DATA"));
    m.AddRemoteShare(u"SRV", u"NORVA");
    ASSERT_TRUE(m.MapDrive(u'M', u"\\\\SRV\\NORVA"));
    ASSERT_TRUE(m.MapDrive(u'N', u"\\\\thispc\\data"));
    ASSERT_TRUE(m.Subst(u'S', u"D:\\WORK"));
    ASSERT_TRUE(m.WriteTextFile(u"C:\\DATA\\X.TXT", "local"));
    ASSERT_TRUE(m.WriteTextFile(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", "remote"));
    ASSERT_TRUE(m.WriteTextFile(u"D:\\WORK\\A\\B.TXT", "subst"));
  }

  std::string Read(const String& path, std::uint32_t& error) {
    Bytes bytes;
    error = m.ReadWholeFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
  }

  MemoryMachine m;
};

// ------------------------------------------------------------------ paths

TEST_F(MachineFixture, PathsReachStorageThroughDrivesSharesMappingsAndSubst) {
  struct Case {
    const char16_t* path;
    std::uint32_t error;
    const char* content;
  } cases[] = {
      {u"c:\\data\\x.txt", kOk, "local"},
      {u"\\\\thispc\\Data\\X.TXT", kOk, "local"},    // own share, other letter case
      {u"\\\\ThisPc\\DATA\\x.txt", kOk, "local"},
      {u"N:\\X.TXT", kOk, "local"},                  // mapped to this computer's share
      {u"M:\\TARVEX\\QTCFG.INI", kOk, "remote"},
      {u"\\\\srv\\norva\\tarvex\\qtcfg.ini", kOk, "remote"},
      {u"S:\\A\\B.TXT", kOk, "subst"},
      {u"C:\\DATA\\..\\DATA\\.\\X.TXT", kOk, "local"},
      {u"C:/DATA/X.TXT", kOk, "local"},
      {u"C:\\DATA\\NOPE.TXT", kErrFileNotFound, ""},
      {u"C:\\NOPE\\X.TXT", kErrPathNotFound, ""},
      {u"Q:\\X.TXT", kErrPathNotFound, ""},
      {u"\\\\NOSRV\\S\\X", kErrBadNetPath, ""},
      {u"\\\\SRV\\NOSHARE\\X", kErrBadNetName, ""},
      {u"\\\\THISPC\\NOSHARE\\X", kErrBadNetName, ""},
      {u"C:\\DATA\\X.TXT\\Y", kErrPathNotFound, ""},  // a file used as a folder
  };
  for (const Case& c : cases) {
    std::uint32_t error = 0;
    EXPECT_EQ(Read(c.path, error), c.content) << Utf8(c.path);
    EXPECT_EQ(error, c.error) << Utf8(c.path);
  }
  // A remote share is storage of its own: nothing of it shows on C:.
  EXPECT_FALSE(m.Exists(u"C:\\TARVEX"));
}

TEST_F(MachineFixture, FullPathNames) {
  m.SetCurrentDirectory(u"C:\\DATA");
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"x.txt", u"C:\\DATA\\x.txt"},
      {u"..\\a", u"C:\\a"},
      {u"..\\..\\..\\a", u"C:\\a"},
      {u"C:\\a\\.\\b\\..\\c\\", u"C:\\a\\c\\"},
      {u"C:\\a\\.", u"C:\\a"},
      {u"\\foo", u"C:\\foo"},
      {u"c:", u"C:\\DATA"},
      {u"D:x", u"D:\\x"},
      {u"C:/a//b", u"C:\\a\\b"},
      {u"\\\\srv\\share\\..\\x", u"\\\\srv\\share\\x"},
      {u"\\\\srv\\share\\", u"\\\\srv\\share\\"},
      {u"\\\\srv\\share", u"\\\\srv\\share"},
      {u"\\\\srv\\share\\a\\\\b\\..", u"\\\\srv\\share\\a"},
      {u"\\\\srv", u"\\\\srv"},
      {u"C:\\", u"C:\\"},
      {u"C:\\..", u"C:\\"},
      {u"C:\\a\\b\\..\\..\\..\\", u"C:\\"},
      {u"C:\\a\\\\b\\", u"C:\\a\\b\\"},
  };
  for (const Case& c : cases) {
    String full;
    EXPECT_EQ(m.GetFullPathName(c.in, full), kOk) << Utf8(c.in);
    EXPECT_EQ(full, c.out) << Utf8(c.in);
  }
  String full;
  EXPECT_EQ(m.GetFullPathName(u"", full), kErrInvalidName);
  EXPECT_EQ(m.GetFullPathName(String(u"C:\\a\0b", 6), full), kErrInvalidName);
}

TEST_F(MachineFixture, UniversalNamesAndDosDevices) {
  struct Case {
    const char16_t* path;
    std::uint32_t error;
    const char16_t* universal;
  } cases[] = {
      {u"M:\\", kOk, u"\\\\SRV\\NORVA\\"},
      {u"M:\\TARVEX", kOk, u"\\\\SRV\\NORVA\\TARVEX"},
      {u"n:\\sub\\", kOk, u"\\\\thispc\\data\\sub\\"},
      {u"C:\\DATA\\", kErrNotConnected, u""},
      {u"S:\\A", kErrNotConnected, u""},
      {u"Q:\\", kErrNotConnected, u""},
      {u"\\\\SRV\\NORVA\\", kErrNotConnected, u""},
  };
  for (const Case& c : cases) {
    String u = u"stale";
    EXPECT_EQ(m.GetUniversalName(c.path, u), c.error) << Utf8(c.path);
    EXPECT_EQ(u, c.universal) << Utf8(c.path);
  }
  m.SetUniversalNameRootBackslash(false);
  String u;
  ASSERT_EQ(m.GetUniversalName(u"M:\\", u), kOk);
  EXPECT_EQ(u, u"\\\\SRV\\NORVA");

  std::vector<String> targets;
  ASSERT_EQ(m.QueryDosDevice(u"S:", targets), kOk);
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0], u"\\??\\D:\\WORK");
  ASSERT_EQ(m.QueryDosDevice(u"c:", targets), kOk);
  EXPECT_EQ(targets[0].rfind(u"\\Device\\HarddiskVolume", 0), 0u);
  ASSERT_EQ(m.QueryDosDevice(u"M:", targets), kOk);
  EXPECT_EQ(targets[0].rfind(u"\\Device\\LanmanRedirector\\;M:", 0), 0u) << Utf8(targets[0]);
  EXPECT_TRUE(targets[0].ends_with(u"\\SRV\\NORVA")) << Utf8(targets[0]);
  EXPECT_EQ(m.QueryDosDevice(u"Q:", targets), kErrFileNotFound);
  EXPECT_TRUE(targets.empty());
}

TEST_F(MachineFixture, DriveTypesAndVolumes) {
  struct Case {
    const char16_t* root;
    DriveType type;
  } cases[] = {
      {u"C:\\", DriveType::Fixed},          {u"c:", DriveType::Fixed},
      {u"F:\\", DriveType::Removable},      {u"M:\\", DriveType::Remote},
      {u"N:\\", DriveType::Remote},         {u"S:\\", DriveType::Fixed},
      {u"\\\\SRV\\NORVA\\", DriveType::Remote}, {u"\\\\thispc\\data\\", DriveType::Remote},
      {u"\\\\NOSRV\\X\\", DriveType::NoRootDir}, {u"Q:\\", DriveType::NoRootDir},
      {u"C:\\DATA\\", DriveType::NoRootDir},
  };
  for (const Case& c : cases) EXPECT_EQ(m.GetDriveType(c.root), c.type) << Utf8(c.root);

  std::uint32_t flags = 0;
  String fs;
  ASSERT_EQ(m.GetVolumeInformation(u"C:\\", flags, fs), kOk);
  EXPECT_EQ(fs, u"NTFS");
  EXPECT_NE(flags & kFsPersistentAcls, 0u);
  ASSERT_EQ(m.GetVolumeInformation(u"F:\\", flags, fs), kOk);
  EXPECT_EQ(fs, u"FAT32");
  EXPECT_EQ(flags & kFsPersistentAcls, 0u);
  EXPECT_EQ(m.GetVolumeInformation(u"\\\\SRV\\NORVA\\", flags, fs), kOk);
  EXPECT_EQ(m.GetVolumeInformation(u"M:\\", flags, fs), kOk);
  EXPECT_EQ(m.GetVolumeInformation(u"C:", flags, fs), kErrInvalidName);
  EXPECT_EQ(m.GetVolumeInformation(u"C:\\DATA\\", flags, fs), kErrDirNotRoot);
  EXPECT_EQ(m.GetVolumeInformation(u"Q:\\", flags, fs), kErrPathNotFound);
  EXPECT_EQ(m.GetVolumeInformation(u"\\\\NOSRV\\X\\", flags, fs), kErrBadNetPath);
}

// ------------------------------------------------------------------ files

TEST_F(MachineFixture, SharingFollowsWin32Rules) {
  const std::uint32_t R = kGenericRead, W = kGenericWrite, RW = kGenericRead | kGenericWrite;
  const std::uint32_t sR = kShareRead, sW = kShareWrite, sRW = kShareRead | kShareWrite;
  struct Case {
    std::uint32_t access1, share1, access2, share2, expected;
  } cases[] = {
      {R, sRW, R, sRW, kOk},
      {R, sR, R, sR, kOk},
      {W, sR, W, sRW, kErrSharingViolation},   // first does not share writing
      {W, sR, R, sRW, kOk},                    // ... but shares reading
      {R, sR, W, sRW, kErrSharingViolation},   // a reader that denies writers
      {RW, sRW, R, sR, kErrSharingViolation},  // second would deny the first's write
      {RW, sRW, RW, sRW, kOk},
      {R, 0, R, sRW, kErrSharingViolation},
      {0, 0, RW, sRW, kOk},                    // an attribute-only open holds no access
      {W, sW, W, sW, kOk},
  };
  for (const Case& c : cases) {
    Handle a = 0, b = 0;
    ASSERT_EQ(m.OpenFile(u"C:\\DATA\\X.TXT", c.access1, c.share1, Disposition::OpenExisting, a), kOk);
    EXPECT_EQ(m.OpenFile(u"c:\\data\\x.txt", c.access2, c.share2, Disposition::OpenExisting, b), c.expected)
        << c.access1 << "/" << c.share1 << " then " << c.access2 << "/" << c.share2;
    EXPECT_EQ(b == 0, c.expected != kOk);
    m.CloseHandle(a);
    if (b) m.CloseHandle(b);
  }
  EXPECT_EQ(m.OpenFileCount(), 0u);
}

TEST_F(MachineFixture, DeleteAndReplaceRespectOpenFiles) {
  Handle h = 0;
  ASSERT_EQ(m.OpenFile(u"C:\\DATA\\X.TXT", kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting, h),
            kOk);
  EXPECT_EQ(m.DeleteFile(u"C:\\DATA\\X.TXT"), kErrSharingViolation);
  ASSERT_TRUE(m.WriteTextFile(u"C:\\DATA\\NEW.TXT", "new"));
  EXPECT_EQ(m.ReplaceFileWith(u"C:\\DATA\\NEW.TXT", u"C:\\DATA\\X.TXT"), kErrAccessDenied);
  m.CloseHandle(h);

  EXPECT_EQ(m.ReplaceFileWith(u"C:\\DATA\\NEW.TXT", u"C:\\DATA\\X.TXT"), kOk);
  EXPECT_EQ(m.ReadTextFile(u"C:\\DATA\\X.TXT"), "new");
  EXPECT_FALSE(m.Exists(u"C:\\DATA\\NEW.TXT"));
  EXPECT_EQ(m.ReplaceFileWith(u"C:\\DATA\\NEW.TXT", u"C:\\DATA\\X.TXT"), kErrFileNotFound);
  EXPECT_EQ(m.ReplaceFileWith(u"C:\\DATA\\X.TXT", u"C:\\NOPE\\X.TXT"), kErrPathNotFound);
  EXPECT_EQ(m.ReplaceFileWith(u"C:\\DATA\\X.TXT", u"D:\\X.TXT"), kErrNotSameDevice);

  ASSERT_EQ(m.OpenFile(u"C:\\DATA\\X.TXT", kGenericRead, kShareRead | kShareDelete, Disposition::OpenExisting, h),
            kOk);
  EXPECT_EQ(m.DeleteFile(u"C:\\DATA\\X.TXT"), kOk);
  m.CloseHandle(h);
  EXPECT_EQ(m.DeleteFile(u"C:\\DATA\\X.TXT"), kErrFileNotFound);
  EXPECT_EQ(m.DeleteFile(u"C:\\DATA"), kErrAccessDenied);
}

TEST_F(MachineFixture, DispositionsCreateOpenAndTruncate) {
  struct Case {
    bool exists;
    Disposition disposition;
    std::uint32_t expected;
    const char* contentAfter;  // nullptr: no file afterwards
  } cases[] = {
      {true, Disposition::CreateNew, kErrFileExists, "old"},
      {false, Disposition::CreateNew, kOk, ""},
      {true, Disposition::CreateAlways, kOk, ""},
      {false, Disposition::CreateAlways, kOk, ""},
      {true, Disposition::OpenExisting, kOk, "old"},
      {false, Disposition::OpenExisting, kErrFileNotFound, nullptr},
      {true, Disposition::OpenAlways, kOk, "old"},
      {false, Disposition::OpenAlways, kOk, ""},
      {true, Disposition::TruncateExisting, kOk, ""},
      {false, Disposition::TruncateExisting, kErrFileNotFound, nullptr},
  };
  const String path = u"C:\\DATA\\D.TXT";
  for (const Case& c : cases) {
    m.RemovePath(path);
    if (c.exists) {
      ASSERT_TRUE(m.WriteTextFile(path, "old"));
    }
    Handle h = 0;
    EXPECT_EQ(m.OpenFile(path, kGenericWrite, 0, c.disposition, h), c.expected) << int(c.disposition);
    if (h) m.CloseHandle(h);
    auto content = m.ReadTextFile(path);
    if (c.contentAfter) {
      EXPECT_EQ(content, c.contentAfter) << int(c.disposition);
    } else {
      EXPECT_FALSE(content.has_value()) << int(c.disposition);
    }
    // Whatever the disposition, a missing folder is a missing path.
    EXPECT_EQ(m.OpenFile(u"C:\\NOPE\\D.TXT", kGenericWrite, 0, c.disposition, h), kErrPathNotFound);
  }

  Handle h = 0;
  EXPECT_EQ(m.OpenFile(u"C:\\DATA", kGenericRead, kShareRead, Disposition::OpenExisting, h), kErrAccessDenied);
  ASSERT_TRUE(m.WriteTextFile(path, "ro"));
  ASSERT_TRUE(m.SetReadOnly(path, true));
  EXPECT_EQ(m.OpenFile(path, kGenericWrite, 0, Disposition::OpenExisting, h), kErrAccessDenied);
  EXPECT_EQ(m.OpenFile(path, kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
  m.CloseHandle(h);
  std::uint32_t attributes = 0;
  ASSERT_EQ(m.GetFileAttributes(path, attributes), kOk);
  EXPECT_NE(attributes & kAttrReadOnly, 0u);
  ASSERT_EQ(m.GetFileAttributes(u"C:\\DATA", attributes), kOk);
  EXPECT_NE(attributes & kAttrDirectory, 0u);
  EXPECT_EQ(m.GetFileAttributes(u"C:\\NOPE", attributes), kErrFileNotFound);
  EXPECT_EQ(attributes, kInvalidAttributes);
}

TEST_F(MachineFixture, ReadWriteSeekAndWriteTimes) {
  m.SetLocalTime(2024, 3, 5, 14, 3, 7, 42);
  const FileTime t0 = m.GetSystemTimeAsFileTime();
  Handle h = 0;
  ASSERT_EQ(m.OpenFile(u"C:\\DATA\\LOG.FT3", kGenericRead | kGenericWrite, kShareRead, Disposition::CreateAlways, h),
            kOk);
  std::uint32_t n = 0;
  ASSERT_EQ(m.WriteFile(h, "abc", 3, n), kOk);
  EXPECT_EQ(n, 3u);
  std::uint64_t pos = 0, size = 0;
  ASSERT_EQ(m.SeekToEnd(h, pos), kOk);
  EXPECT_EQ(pos, 3u);
  ASSERT_EQ(m.WriteFile(h, "de", 2, n), kOk);
  ASSERT_EQ(m.GetFileSize(h, size), kOk);
  EXPECT_EQ(size, 5u);
  char buf[8] = {};
  ASSERT_EQ(m.ReadFile(h, buf, sizeof buf, n), kOk);
  EXPECT_EQ(n, 0u);  // the position is at the end
  m.CloseHandle(h);
  EXPECT_EQ(m.ReadTextFile(u"C:\\DATA\\LOG.FT3"), "abcde");
  EXPECT_EQ(m.LastWriteTime(u"C:\\DATA\\LOG.FT3"), t0);

  m.Advance(60000);
  ASSERT_EQ(m.OpenFile(u"C:\\DATA\\LOG.FT3", kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
  EXPECT_EQ(m.WriteFile(h, "x", 1, n), kErrAccessDenied);
  ASSERT_EQ(m.ReadFile(h, buf, 2, n), kOk);
  EXPECT_EQ(std::string(buf, n), "ab");
  m.CloseHandle(h);
  EXPECT_EQ(m.LastWriteTime(u"C:\\DATA\\LOG.FT3"), t0);  // reading does not touch the time
  EXPECT_EQ(m.ReadFile(h, buf, 2, n), kErrInvalidHandle);

  FileTime found = 0;
  ASSERT_EQ(m.FindFirstFileWriteTime(u"c:\\data\\log.ft3", found), kOk);
  EXPECT_EQ(found, t0);
  ASSERT_TRUE(m.SetLastWriteTime(u"C:\\DATA\\X.TXT", 1234));
  EXPECT_EQ(m.FindFirstFileWriteTime(u"C:\\DATA\\*.FT?", found), kOk);
  EXPECT_EQ(found, t0);
  EXPECT_EQ(m.FindFirstFileWriteTime(u"C:\\DATA\\X*", found), kOk);
  EXPECT_EQ(found, 1234u);
  EXPECT_EQ(m.FindFirstFileWriteTime(u"C:\\DATA\\*.ZZ", found), kErrFileNotFound);
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(m.FindFirstFileWriteTime(u"C:\\NOPE\\*", found), kErrPathNotFound);
}

TEST_F(MachineFixture, FoldersAndTempFiles) {
  EXPECT_EQ(m.CreateDirectory(u"C:\\DATA\\SUB"), kOk);
  EXPECT_EQ(m.CreateDirectory(u"c:\\data\\sub"), kErrAlreadyExists);
  EXPECT_EQ(m.CreateDirectory(u"C:\\NOPE\\SUB"), kErrPathNotFound);
  EXPECT_EQ(m.CreateDirectory(u"\\\\SRV\\NORVA\\NETBIN"), kOk);
  EXPECT_TRUE(m.IsDirectory(u"M:\\NETBIN"));

  String a, b;
  ASSERT_EQ(m.GetTempFileName(u"C:\\DATA\\SUB", u"QVTMP", a), kOk);
  ASSERT_EQ(m.GetTempFileName(u"C:\\DATA\\SUB\\", u"QVTMP", b), kOk);
  EXPECT_NE(a, b);
  for (const String& p : {a, b}) {
    EXPECT_EQ(p.rfind(u"C:\\DATA\\SUB\\QVT", 0), 0u) << Utf8(p);
    EXPECT_TRUE(p.ends_with(u".tmp")) << Utf8(p);
    EXPECT_EQ(m.ReadTextFile(p), "");
  }
  EXPECT_EQ(m.GetTempFileName(u"C:\\NOPE", u"X", a), kErrDirectory);
  EXPECT_TRUE(a.empty());

  EXPECT_EQ(m.RemoveDirectory(u"C:\\DATA\\SUB"), kErrDirNotEmpty);
  EXPECT_EQ(m.RemoveDirectory(u"C:\\DATA\\X.TXT"), kErrDirectory);
  ASSERT_TRUE(m.RemovePath(u"C:\\DATA\\SUB"));
  EXPECT_EQ(m.RemoveDirectory(u"C:\\DATA\\SUB"), kErrFileNotFound);
}

TEST_F(MachineFixture, DaclsAndShellLinksAreStoredWithTheFiles) {
  Dacl dacl;
  ASSERT_EQ(m.GetFileDacl(u"C:\\DATA", dacl), kOk);
  EXPECT_TRUE(dacl.present);
  EXPECT_FALSE(dacl.entries.empty());
  Dacl mine;
  mine.present = true;
  mine.entries = {Ace{kAceDenied, 0, 0x10000, u"S-1-5-32-547"},
                  Ace{kAceAllowed, kAceObjectInherit | kAceContainerInherit, 0x1F01FF, u"S-1-5-32-545"}};
  ASSERT_EQ(m.SetFileDacl(u"\\\\THISPC\\DATA", mine), kOk);
  ASSERT_EQ(m.GetFileDacl(u"C:\\DATA\\", dacl), kOk);
  EXPECT_TRUE(dacl.present);
  EXPECT_EQ(dacl.entries, mine.entries);
  EXPECT_EQ(m.GetFileDacl(u"C:\\NOPE", dacl), kErrFileNotFound);
  EXPECT_EQ(m.SetFileDacl(u"F:\\", mine), kErrNotSupported);  // FAT keeps no ACLs

  ShellLink link{u"\\\\SRV\\NORVA\\TARVEX\\", u"/x", u"\\\\SRV\\NORVA\\", u"Norva \"data\"\r\nline 2", u"C:\\I.ICO", 3};
  const String lnk = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora\\Norva.lnk";
  EXPECT_EQ(m.CreateShellLink(lnk, link), HresultFromWin32(kErrPathNotFound));
  EXPECT_EQ(m.CreateShellLink(lnk, link), 0x80070003u);
  ASSERT_TRUE(m.MakeDirectories(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora"));
  ASSERT_EQ(m.CreateShellLink(lnk, link), kOk);
  EXPECT_TRUE(m.Exists(lnk));
  ShellLink back;
  ASSERT_EQ(m.ReadShellLink(lnk, back), kOk);
  EXPECT_EQ(back, link);
  EXPECT_EQ(m.ReadShellLink(u"C:\\DATA\\X.TXT", back), kHrFail);
  EXPECT_EQ(m.ReadShellLink(u"C:\\DATA\\NONE.lnk", back), HresultFromWin32(kErrFileNotFound));
}

TEST_F(MachineFixture, ConcurrentAppendsWithDenyWriteRetriesLoseNothing) {
  constexpr int kThreads = 4, kLines = 50;
  std::atomic<int> failures{0};
  auto writer = [&](char tag) {
    for (int i = 0; i < kLines; ++i) {
      bool done = false;
      for (int attempt = 0; attempt < 10000 && !done; ++attempt) {
        Handle h = 0;
        std::uint32_t rc = m.OpenFile(u"C:\\DATA\\T.FT1", kGenericRead | kGenericWrite, kShareRead,
                                      Disposition::OpenAlways, h);
        if (rc == kErrSharingViolation) {
          std::this_thread::yield();
          continue;
        }
        std::uint64_t end = 0;
        std::uint32_t n = 0;
        if (rc != kOk || m.SeekToEnd(h, end) != kOk || m.WriteFile(h, &tag, 1, n) != kOk) ++failures;
        m.CloseHandle(h);
        done = true;
      }
      if (!done) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, static_cast<char>('a' + t));
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  auto text = m.ReadTextFile(u"C:\\DATA\\T.FT1");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), static_cast<std::size_t>(kThreads * kLines));
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(std::count(text->begin(), text->end(), static_cast<char>('a' + t)), kLines);
}

// ------------------------------------------------------------------ shares

TEST_F(MachineFixture, NetShareGetInfoAnswersForThisComputer) {
  String path;
  EXPECT_EQ(m.NetShareGetInfo(u"\\\\thispc", u"data", path), kOk);
  EXPECT_EQ(path, u"C:\\DATA");
  EXPECT_EQ(m.NetShareGetInfo(u"\\\\THISPC", u"NOPE", path), kErrNetNameNotFound);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(m.NetShareGetInfo(u"\\\\NOSRV", u"DATA", path), kErrBadNetPath);
  m.SetNetShareGetInfoStatus(kErrAccessDenied);
  EXPECT_EQ(m.NetShareGetInfo(u"\\\\THISPC", u"DATA", path), kErrAccessDenied);
  m.SetNetShareGetInfoStatus(0);
  m.SetNetApiAvailable(false);
  EXPECT_EQ(m.NetShareGetInfo(u"\\\\THISPC", u"DATA", path), kApiUnavailable);
  std::uint32_t resume = 0;
  std::vector<ShareEntry> batch;
  EXPECT_EQ(m.NetShareEnum(resume, batch), kApiUnavailable);
}

TEST_F(MachineFixture, NetShareEnumComesInBatchesWithResume) {
  ASSERT_TRUE(m.AddShare(u"NORVA", u"C:\\NORVA"));
  ASSERT_TRUE(m.AddShare(u"PRINT", u"C:\\SPOOL", 1));
  for (std::uint32_t batchSize : {0u, 1u, 2u, 3u, 100u}) {
    m.SetNetShareEnumBatchSize(batchSize);
    std::uint32_t resume = 0, rc = 0;
    int calls = 0;
    std::vector<ShareEntry> all, batch;
    do {
      rc = m.NetShareEnum(resume, batch);
      ASSERT_TRUE(rc == kOk || rc == kErrMoreData) << rc;
      if (batchSize) {
        EXPECT_LE(batch.size(), batchSize);
      }
      all.insert(all.end(), batch.begin(), batch.end());
      ASSERT_LT(++calls, 50);
    } while (rc == kErrMoreData);
    // ADMIN$, C$, D$, IPC$, then DATA, NORVA, PRINT (F: is removable).
    ASSERT_EQ(all.size(), 7u) << batchSize;
    EXPECT_EQ(calls, batchSize == 0 ? 1 : int((7 + batchSize - 1) / batchSize)) << batchSize;
    std::vector<String> disk;
    for (const ShareEntry& e : all) {
      if (e.name.find(u'$') != String::npos) {
        EXPECT_NE(e.type & kShareTypeSpecial, 0u) << Utf8(e.name);
      }
      if (e.type == kShareTypeDisk) disk.push_back(e.name + u"=" + e.path);
    }
    EXPECT_EQ(disk, (std::vector<String>{u"DATA=C:\\DATA", u"NORVA=C:\\NORVA"}));
  }
  m.SetNetShareEnumStatus(kErrAccessDenied);
  std::uint32_t resume = 0;
  std::vector<ShareEntry> batch;
  EXPECT_EQ(m.NetShareEnum(resume, batch), kErrAccessDenied);
}

// ------------------------------------------------------------------ registry

TEST(MemoryRegistry, ValuesKeepTheirKindsAndNamesIgnoreCase) {
  MemoryMachine m;
  const String key = u"\\Software\\Norva\\Test";
  struct Case {
    const char16_t* name;
    RegType type;
    Bytes data;
  } cases[] = {
      {u"Sz", RegType::Sz, {'a', 0, 0, 0}},
      {u"Expand", RegType::ExpandSz, {'%', 0, 'X', 0, '%', 0, 0, 0}},
      {u"Bin", RegType::Binary, {1, 2, 3}},
      {u"Dword", RegType::Dword, {4, 0, 0, 0}},
      {u"Multi", RegType::MultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {u"Qword", RegType::Qword, {1, 0, 0, 0, 2, 0, 0, 0}},
      {u"", RegType::Sz, {'d', 0, 0, 0}},  // the default value
  };
  Handle k = 0;
  EXPECT_EQ(m.RegOpenKey(RootKey::CurrentUser, key, kKeyRead, k), kErrFileNotFound);
  ASSERT_EQ(m.RegCreateKey(RootKey::CurrentUser, key, kKeyAllAccess, k), kOk);
  for (const Case& c : cases) ASSERT_EQ(m.RegSetValue(k, c.name, c.type, c.data), kOk);
  m.RegCloseKey(k);

  ASSERT_EQ(m.RegOpenKey(RootKey::CurrentUser, u"SOFTWARE\\norva\\TEST", kKeyRead, k), kOk);
  for (const Case& c : cases) {
    RegValue v;
    ASSERT_EQ(m.RegQueryValue(k, Upper(c.name), v, true), kOk) << Utf8(c.name);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.data, c.data);
    ASSERT_EQ(m.RegQueryValue(k, c.name, v, false), kOk);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.data.size(), c.data.size());
  }
  RegValue v;
  EXPECT_EQ(m.RegQueryValue(k, u"missing", v, true), kErrFileNotFound);
  EXPECT_EQ(m.RegSetValue(k, u"x", RegType::Sz, {0, 0}), kErrAccessDenied);  // opened for reading
  m.RegCloseKey(k);
  EXPECT_EQ(m.RegQueryValue(k, u"Sz", v, true), kErrInvalidHandle);
  EXPECT_EQ(m.OpenKeyCount(), 0u);
  EXPECT_FALSE(m.KeyExists(RootKey::LocalMachine, key));  // roots are separate

  ASSERT_EQ(m.RegOpenKey(RootKey::CurrentUser, key, kKeyWrite, k), kOk);
  EXPECT_EQ(m.RegDeleteValue(k, u"DWORD"), kOk);
  EXPECT_EQ(m.RegDeleteValue(k, u"DWORD"), kErrFileNotFound);
  m.RegCloseKey(k);
  EXPECT_FALSE(m.GetRegValue(RootKey::CurrentUser, key, u"Dword").has_value());
  EXPECT_EQ(m.GetRegString(RootKey::CurrentUser, key, u"sz"), u"a");
}

TEST(MemoryRegistry, DeniedSubtreeRefusesWriteOpensAndCreation) {
  MemoryMachine m;
  m.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"CONNECT", u"1");
  m.DenyRegistryWrite(RootKey::LocalMachine, u"\\SOFTWARE\\NORVA");
  struct Case {
    const char16_t* key;
    std::uint32_t access;
    bool create;
    std::uint32_t expected;
  } cases[] = {
      {u"Software\\Norva\\QTTRACE", kKeyRead, false, kOk},
      {u"Software\\Norva\\QTTRACE", kKeyWrite, false, kErrAccessDenied},
      {u"software\\norva", kKeyAllAccess, false, kErrAccessDenied},
      {u"Software\\Norva\\QTTRACE", kKeyRead, true, kOk},  // exists, read access
      {u"Software\\Norva\\QTTRACE", kKeyAllAccess, true, kErrAccessDenied},
      {u"Software\\Norva\\New", kKeyRead, true, kErrAccessDenied},
      {u"Software\\Norvax", kKeyAllAccess, true, kOk},  // a sibling, not below the prefix
      {u"Software\\Other", kKeyAllAccess, true, kOk},
  };
  for (const Case& c : cases) {
    Handle k = 0;
    const std::uint32_t rc = c.create ? m.RegCreateKey(RootKey::LocalMachine, c.key, c.access, k)
                                      : m.RegOpenKey(RootKey::LocalMachine, c.key, c.access, k);
    EXPECT_EQ(rc, c.expected) << Utf8(c.key) << " create=" << c.create;
    if (k) m.RegCloseKey(k);
  }
  EXPECT_FALSE(m.KeyExists(RootKey::LocalMachine, u"Software\\Norva\\New"));
  Handle k = 0;
  EXPECT_EQ(m.RegCreateKey(RootKey::CurrentUser, u"Software\\Norva\\QTTRACE", kKeyAllAccess, k), kOk);
  m.RegCloseKey(k);
}

// ------------------------------------------------------------------ injection and counts

TEST_F(MachineFixture, InjectedFailuresHitTheNthMatchingCall) {
  m.InjectFailure("CreateFileW", 2, kErrSharingViolation);
  std::vector<std::uint32_t> results;
  for (int i = 0; i < 4; ++i) {
    Handle h = 0;
    results.push_back(m.OpenFile(u"C:\\DATA\\X.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, h));
    if (h) m.CloseHandle(h);
  }
  EXPECT_EQ(results, (std::vector<std::uint32_t>{kOk, kErrSharingViolation, kOk, kOk}));

  m.ClearFailures();
  m.InjectFailure("GetFileAttributesW", 0, kErrAccessDenied, String(u"m:\\tarvex\\*"));
  std::uint32_t attributes = 0;
  EXPECT_EQ(m.GetFileAttributes(u"M:\\TARVEX\\QTCFG.INI", attributes), kErrAccessDenied);
  EXPECT_EQ(m.GetFileAttributes(u"M:\\TARVEX\\QTCFG.INI", attributes), kErrAccessDenied);
  EXPECT_EQ(m.GetFileAttributes(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", attributes), kOk);
  EXPECT_EQ(m.GetFileAttributes(u"C:\\DATA\\X.TXT", attributes), kOk);

  // The second call on one path fails; calls on other paths do not count.
  m.ClearFailures();
  m.InjectFailure("ReadFile", 2, kErrNotEnoughMemory, String(u"C:\\DATA\\X.TXT"));
  Bytes bytes;
  EXPECT_EQ(m.ReadWholeFile(u"C:\\DATA\\X.TXT", bytes), kOk);  // open, one read
  EXPECT_EQ(m.ReadWholeFile(u"S:\\A\\B.TXT", bytes), kOk);
  EXPECT_EQ(m.ReadWholeFile(u"C:\\DATA\\X.TXT", bytes), kErrNotEnoughMemory);  // its second read fails
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(m.ReadWholeFile(u"C:\\DATA\\X.TXT", bytes), kOk);
  EXPECT_EQ(m.OpenFileCount(), 0u);

  // Operations without an error result fail in their documented form.
  m.ClearFailures();
  int fn = 0;
  const Handle lib = m.RegisterLibrary(u"QV9REG.DLL", {{"QVREGVER", &fn}});
  std::uint32_t error = 0;
  ASSERT_EQ(m.LoadLibrary(u"QV9REG.DLL", error), lib);
  m.InjectFailure("GetProcAddress", 1, 0);
  EXPECT_EQ(m.GetProcAddress(lib, "QVREGVER"), nullptr);
  EXPECT_EQ(m.GetProcAddress(lib, "QVREGVER"), &fn);
  m.InjectFailure("GetComputerNameW", 0, kErrNotEnoughMemory);
  String name = u"x";
  EXPECT_EQ(m.GetComputerName(name), kErrNotEnoughMemory);
  EXPECT_TRUE(name.empty());

  // ReportEvent fails only for calls that carry a SID.
  m.InjectFailure("ReportEventW", 0, kErrInvalidParameter, String(u"S-*"));
  const Handle src = m.RegisterEventSource(u"QV9REG");
  EXPECT_EQ(m.ReportEvent(src, kEventError, 0, 0xC0000004, u"S-1-5-21-1", {u"a"}), kErrInvalidParameter);
  EXPECT_EQ(m.ReportEvent(src, kEventError, 0, 0xC0000004, u"", {u"a", u"b"}), kOk);
  m.DeregisterEventSource(src);
  auto events = m.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].source, u"QV9REG");
  EXPECT_EQ(events[0].eventId, 0xC0000004u);
  EXPECT_EQ(events[0].strings, (std::vector<String>{u"a", u"b"}));
  EXPECT_EQ(m.OpenEventSourceCount(), 0u);
}

TEST_F(MachineFixture, OperationsAreCountedByNameAndPath) {
  m.ResetCounts();
  Bytes bytes;
  ASSERT_EQ(m.ReadWholeFile(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", bytes), kOk);
  EXPECT_EQ(m.Count("CreateFileW"), 1u);
  EXPECT_EQ(m.Count("CreateFileW", u"\\\\srv\\norva\\tarvex\\qtcfg.ini"), 1u);
  EXPECT_EQ(m.Count("GetFileSizeEx"), 1u);  // sizes the one read
  EXPECT_EQ(m.Count("ReadFile"), 1u);       // the content and its end at once
  EXPECT_EQ(m.Count("CloseHandle"), 1u);
  EXPECT_EQ(m.TotalCount(), 4u);
  EXPECT_EQ(m.NetworkCount(), 2u);  // the open and the read

  std::uint32_t attributes = 0;
  m.GetFileAttributes(u"C:\\DATA\\X.TXT", attributes);
  EXPECT_EQ(m.NetworkCount(), 2u);  // a local path is no round trip
  m.GetFileAttributes(u"N:\\X.TXT", attributes);  // this computer's share, but through the redirector
  EXPECT_EQ(m.NetworkCount(), 3u);
  EXPECT_EQ(m.Count("GetFileAttributesW", u"n:\\x.txt"), 1u);
  EXPECT_EQ(m.Count("GetFileAttributesW", u"C:\\DATA"), 0u);

  m.ResetCounts();
  EXPECT_EQ(m.TotalCount(), 0u);
  EXPECT_EQ(m.Count("CreateFileW"), 0u);
  EXPECT_EQ(m.Count("GetFileAttributesW", u"N:\\X.TXT"), 0u);
  EXPECT_TRUE(m.Counts().empty());
  EXPECT_EQ(m.NetworkCount(), 0u);

  // After a reset the same calls count from 1 again, in any letter case.
  m.GetFileAttributes(u"n:\\X.txt", attributes);
  m.GetFileAttributes(u"N:\\x.TXT", attributes);
  EXPECT_EQ(m.Count("GetFileAttributesW", u"N:\\X.TXT"), 2u);
  EXPECT_EQ(m.Count("CreateFileW", u"\\\\srv\\norva\\tarvex\\qtcfg.ini"), 0u);
  EXPECT_EQ(m.Counts(), (std::map<std::string, std::uint64_t>{{"GetFileAttributesW", 2}}));
  EXPECT_EQ(m.TotalCount(), 2u);
}

// The round trips are recorded in order with their paths, the volume query
// of a share among them, and each costs the simulated latency in force when
// it is made; local operations cost nothing.
TEST_F(MachineFixture, NetworkOperationsAreRecordedInOrderWithTheirLatency) {
  m.ResetCounts();
  m.SetNetworkLatencyMicros(500);
  Bytes bytes;
  ASSERT_EQ(m.ReadWholeFile(u"\\\\srv\\norva\\tarvex\\qtcfg.ini", bytes), kOk);
  std::uint32_t flags = 0, attributes = 0;
  String fs;
  ASSERT_EQ(m.GetVolumeInformation(u"\\\\SRV\\NORVA\\", flags, fs), kOk);
  ASSERT_EQ(m.GetVolumeInformation(u"C:\\", flags, fs), kOk);
  m.GetFileAttributes(u"C:\\DATA\\X.TXT", attributes);
  m.SetNetworkLatencyMicros(30000);
  m.GetFileAttributes(u"M:\\NOTHERE.TXT", attributes);  // a failed query is a round trip too
  FileTime written = 0;
  ASSERT_EQ(m.FindFirstFileWriteTime(u"N:\\X.TXT", written), kOk);

  std::vector<std::string> trips;
  for (const MemoryMachine::NetworkOperation& op : m.NetworkOperations()) trips.push_back(op.op + " " + Utf8(op.path));
  const std::vector<std::string> expected = {
      "CreateFileW \\\\SRV\\NORVA\\TARVEX\\QTCFG.INI",
      "ReadFile \\\\SRV\\NORVA\\TARVEX\\QTCFG.INI",
      "GetVolumeInformationW \\\\SRV\\NORVA\\",
      "GetFileAttributesW M:\\NOTHERE.TXT",
      "FindFirstFileW N:\\X.TXT",
  };
  EXPECT_EQ(trips, expected);
  EXPECT_EQ(m.NetworkCount(), expected.size());
  EXPECT_EQ(m.SimulatedNetworkMicros(), 3u * 500 + 2u * 30000);

  m.ResetCounts();
  EXPECT_TRUE(m.NetworkOperations().empty());
  EXPECT_EQ(m.SimulatedNetworkMicros(), 0u);
}

// An open file is read to its end in one read when its size holds (the
// request is one byte larger, so the short answer shows the end); a file
// over the limit is refused and nothing is kept.
TEST_F(MachineFixture, AnOpenFileIsReadToItsEndInOneRead) {
  struct Case {
    const char* name;
    std::string content;
    std::uint64_t maxBytes;
    std::uint32_t error;
    std::uint64_t reads;
  } cases[] = {
      {"small", "[QTCONFIG]\r\n", UINT64_MAX, kOk, 1},
      {"empty", "", UINT64_MAX, kOk, 1},
      {"beyond a read chunk", std::string(200000, 'x'), UINT64_MAX, kOk, 1},
      {"over the limit", "0123456789", 9, kErrFileTooLarge, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(m.WriteTextFile(u"\\\\SRV\\NORVA\\F.TXT", c.content));
    Handle h = 0;
    ASSERT_EQ(m.OpenFile(u"\\\\SRV\\NORVA\\F.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
    m.ResetCounts();
    Bytes bytes{1, 2, 3};
    EXPECT_EQ(m.ReadOpenFile(h, bytes, c.maxBytes), c.error);
    EXPECT_EQ(m.Count("ReadFile"), c.reads);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.error == kOk ? c.content : "");
    m.CloseHandle(h);
  }
}

// An open file's last-write time is the one FindFirstFileW reports, and it
// comes with the open: no round trip of its own.
TEST_F(MachineFixture, LastWriteTimeOfAnOpenFile) {
  const FileTime t = MemoryMachine::MakeFileTime(2025, 3, 4, 5, 6, 7);
  ASSERT_TRUE(m.SetLastWriteTime(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", t));
  Handle h = 0;
  ASSERT_EQ(m.OpenFile(u"M:\\TARVEX\\QTCFG.INI", kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
  m.ResetCounts();
  FileTime fromHandle = 0, found = 0;
  EXPECT_EQ(m.GetFileWriteTimeOf(h, fromHandle), kOk);
  EXPECT_EQ(fromHandle, t);
  EXPECT_EQ(m.Count("GetFileTime", u"M:\\TARVEX\\QTCFG.INI"), 1u);
  EXPECT_EQ(m.NetworkCount(), 0u);
  ASSERT_EQ(m.FindFirstFileWriteTime(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", found), kOk);
  EXPECT_EQ(found, fromHandle);
  m.CloseHandle(h);
  EXPECT_EQ(m.GetFileWriteTimeOf(h, fromHandle), kErrInvalidHandle);
  EXPECT_EQ(fromHandle, 0u);
}

// ------------------------------------------------------------------ dialogs

TEST(MemoryDialogs, MessageBoxStaysOpenUntilAnotherThreadEndsIt) {
  MemoryMachine m;
  m.ScriptMessageBoxWaitForEndDialog();
  const FileTime start = m.GetSystemTimeAsFileTime();
  // The closing thread starts before the box is shown, as a timed box's does.
  std::thread closer([&] {
    for (int i = 0; i < 50; ++i) m.Sleep(100);
    const Handle w = m.FindWindow(u"", u"QV9REG error");
    if (w) m.EndDialog(w, kIdCancel);
  });
  // Give the closing thread a head start: it must still wait for the box.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const int result = m.MessageBox(u"text", u"QV9REG error", kMbOk | kMbIconError);
  closer.join();
  EXPECT_EQ(result, kIdCancel);
  auto boxes = m.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].endedByEndDialog);
  EXPECT_FALSE(boxes[0].safetyTimeout);
  EXPECT_EQ(boxes[0].caption, u"QV9REG error");
  EXPECT_EQ(m.GetSystemTimeAsFileTime() - start, 5000u * 10000u);  // the sleeps ran on the machine clock
  EXPECT_EQ(m.FindWindow(u"", u"QV9REG error"), 0u);                // gone once answered
}

TEST(MemoryDialogs, UnansweredBoxesAndDialogsTakeDefaults) {
  MemoryMachine m;
  struct Case {
    std::uint32_t style;
    int expected;
  } cases[] = {
      {kMbOk, kIdOk}, {kMbOkCancel, kIdOk}, {kMbYesNo, kIdYes}, {kMbYesNo | 0x100, kIdNo}, {0x3 | 0x200, kIdCancel},
  };
  for (const Case& c : cases) EXPECT_EQ(m.MessageBox(u"t", u"c", c.style), c.expected) << c.style;
  m.ScriptMessageBox(kIdNo);
  EXPECT_EQ(m.MessageBox(u"t", u"c", kMbYesNo), kIdNo);
  m.SetMessageBoxDefault(kIdAbort);
  EXPECT_EQ(m.MessageBox(u"t", u"c", kMbYesNo), kIdAbort);

  // A box scripted to wait that nobody ends returns after the safety timeout.
  m.SetSafetyTimeoutMs(50);
  m.ScriptMessageBoxWaitForEndDialog();
  EXPECT_EQ(m.MessageBox(u"t", u"c", kMbOk), kIdAbort);
  EXPECT_TRUE(m.MessageBoxes().back().safetyTimeout);

  DialogRequest request;
  request.title = u"Connect";
  request.seconds = -20;
  EXPECT_EQ(m.ShowDialog(request), kIdOk);
  m.ScriptDialog(kIdNo);
  m.SetDialogDefault(kIdCancel);
  EXPECT_EQ(m.ShowDialog(request), kIdNo);
  EXPECT_EQ(m.ShowDialog(request), kIdCancel);
  ASSERT_EQ(m.Dialogs().size(), 3u);
  EXPECT_EQ(m.Dialogs()[0].seconds, -20);
}

TEST(MemoryDialogs, WindowsAreFoundByClassOrTitleAndReceiveCopyData) {
  MemoryMachine m;
  const Handle trace = m.AddWindow(u"TTraceForm", u"Trace monitor");
  const Handle other = m.AddWindow(u"Other", u"Trace monitor");
  EXPECT_EQ(m.FindWindow(u"ttraceform", u""), trace);
  EXPECT_EQ(m.FindWindow(u"Other", u""), other);
  EXPECT_EQ(m.FindWindow(u"", u"Trace monitor"), trace);
  EXPECT_EQ(m.FindWindow(u"Nope", u""), 0u);
  m.SetCopyDataAnswer(7);
  EXPECT_EQ(m.SendCopyData(trace, 129, Bytes{'h', 0, 0, 0}), 7u);
  m.RemoveWindow(trace);
  EXPECT_EQ(m.SendCopyData(trace, 1, Bytes{}), 0u);
  auto sent = m.CopyDataSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].dataWord, 129u);
  EXPECT_EQ(sent[0].data.size(), 4u);
}

// ------------------------------------------------------------------ clock

TEST(MemoryClock, LocalTimeAndWeekdays) {
  MemoryMachine m;
  EXPECT_EQ(MemoryMachine::MakeFileTime(1601, 1, 1), 0u);
  EXPECT_EQ(MemoryMachine::MakeFileTime(1970, 1, 1), 116444736000000000ull);
  struct Case {
    int y, mo, d, dayOfWeek;
  } cases[] = {
      {1601, 1, 1, 1}, {1970, 1, 1, 4}, {2000, 2, 29, 2}, {2023, 12, 31, 0}, {2024, 1, 15, 1}, {2024, 3, 2, 6},
  };
  for (const Case& c : cases) {
    m.SetLocalTime(c.y, c.mo, c.d, 23, 59, 58, 999);
    const LocalTime t = m.GetLocalTime();
    EXPECT_EQ(t.year, c.y);
    EXPECT_EQ(t.month, c.mo);
    EXPECT_EQ(t.day, c.d);
    EXPECT_EQ(t.dayOfWeek, c.dayOfWeek) << c.y << "-" << c.mo << "-" << c.d;
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 58);
    EXPECT_EQ(t.milliseconds, 999);
  }

  // With an offset of +2 h, local midnight on the 5th is 22:00 UTC on the 4th.
  m.SetTimeZoneOffsetMinutes(120);
  m.SetLocalTime(2024, 3, 5, 0, 0, 0);
  EXPECT_EQ(m.GetSystemTimeAsFileTime(), MemoryMachine::MakeFileTime(2024, 3, 4, 22, 0, 0));
  const LocalTime local = m.FileTimeToLocalTime(MemoryMachine::MakeFileTime(2024, 3, 4, 23, 30, 0));
  EXPECT_EQ(local.day, 5);
  EXPECT_EQ(local.hour, 1);
  EXPECT_EQ(local.minute, 30);

  m.Sleep(1500);
  m.Advance(500);
  EXPECT_EQ(m.GetLocalTime().second, 2);
}

// ------------------------------------------------------------------ modules and processes

int ExportedFunction() { return 42; }

TEST(MemoryModules, LibrariesExportsAndStringTables) {
  MemoryMachine m;
  const Handle lib = m.RegisterLibrary(u"QV9REG.DLL", {{"QVGETCFG", reinterpret_cast<void*>(&ExportedFunction)}},
                                       {{903, u"Library message"}});
  m.SetProgramStrings({{64912, u"Program message"}});
  struct Case {
    const char16_t* request;
    bool found;
  } cases[] = {
      {u"qv9reg.dll", true}, {u"QV9REG", true}, {u"C:\\Any\\Folder\\QV9REG.DLL", true}, {u"QV9REGX.DLL", false},
  };
  for (const Case& c : cases) {
    std::uint32_t error = 1;
    const Handle h = m.LoadLibrary(c.request, error);
    EXPECT_EQ(h, c.found ? lib : 0u) << Utf8(c.request);
    EXPECT_EQ(error, c.found ? kOk : kErrModNotFound) << Utf8(c.request);
  }
  EXPECT_EQ(m.LibraryRefCount(u"QV9REG.DLL"), 3u);
  EXPECT_EQ(m.GetProcAddress(lib, "QVGETCFG"), reinterpret_cast<void*>(&ExportedFunction));
  EXPECT_EQ(m.GetProcAddress(lib, "qvgetcfg"), nullptr);  // export names keep their case
  EXPECT_EQ(m.LoadString(lib, 903), u"Library message");
  EXPECT_EQ(m.LoadString(lib, 904), u"");
  EXPECT_EQ(m.LoadString(0, 64912), u"Program message");
  EXPECT_EQ(m.ModuleFileName(0), u"C:\\Program Files (x86)\\NORVA\\PROGRAM.EXE");
  for (int i = 0; i < 3; ++i) m.FreeLibrary(lib);
  EXPECT_EQ(m.LibraryRefCount(u"QV9REG.DLL"), 0u);
  EXPECT_EQ(m.GetProcAddress(lib, "QVGETCFG"), nullptr);  // unloaded
  EXPECT_EQ(m.LoadString(lib, 903), u"");

  // A library that is the running module works without LoadLibrary.
  m.SetCurrentModule(lib, true);
  EXPECT_EQ(m.CurrentModule(), lib);
  EXPECT_TRUE(m.CurrentModuleIsLibrary());
  EXPECT_EQ(m.LoadString(m.CurrentModule(), 903), u"Library message");
  EXPECT_EQ(m.ModuleFileName(lib), u"C:\\Program Files (x86)\\NORVA\\QV9REG.DLL");

  EXPECT_EQ(m.SetErrorMode(kSemFailCriticalErrors | kSemNoOpenFileErrorBox), 0u);
  EXPECT_EQ(m.SetErrorMode(0), 0x8001u);
}

TEST(MemoryModules, ExitProcessThrowsItsCode) {
  MemoryMachine m;
  try {
    m.ExitProcess(3);
    FAIL() << "ExitProcess returned";
  } catch (const ProcessExit& e) {
    EXPECT_EQ(e.exitCode, 3u);
  }
  EXPECT_EQ(m.ExitCode(), 3u);
}

TEST(MemoryProcesses, ScriptedProgramsRunOnTheMachineClock) {
  MemoryMachine m;
  ASSERT_TRUE(m.MakeDirectories(u"C:\\WORK"));
  m.SetProgramBehaviour(u"MAILPOST.exe", {0, 2000, 3, false});
  m.SetProgramBehaviour(u"HANG.EXE", {0, -1, 0, false});
  m.SetProgramBehaviour(u"STUBBORN", {0, -1, 0, true});
  m.SetProgramBehaviour(u"BROKEN.EXE", {kErrAccessDenied, 0, 0, false});

  Handle p = 0;
  ASSERT_EQ(m.CreateProcess(u"\"C:\\Program Files\\MAILPOST.EXE\" /x", u"C:\\WORK", 0, p), kOk);
  std::uint32_t code = 0;
  ASSERT_EQ(m.GetExitCodeProcess(p, code), kOk);
  EXPECT_EQ(code, kStillActive);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitTimeout);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitObject0);
  ASSERT_EQ(m.GetExitCodeProcess(p, code), kOk);
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(m.TerminateProcess(p, 1), kErrAccessDenied);  // already ended
  m.CloseHandle(p);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitFailed);

  ASSERT_EQ(m.CreateProcess(u"hang.exe", u"", 0, p), kOk);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitTimeout);
  ASSERT_EQ(m.TerminateProcess(p, static_cast<std::uint32_t>(-120)), kOk);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitObject0);
  ASSERT_EQ(m.GetExitCodeProcess(p, code), kOk);
  EXPECT_EQ(code, static_cast<std::uint32_t>(-120));
  m.CloseHandle(p);

  ASSERT_EQ(m.CreateProcess(u"stubborn.exe arg", u"", 0, p), kOk);
  ASSERT_EQ(m.TerminateProcess(p, 1), kOk);
  EXPECT_EQ(m.WaitForProcess(p, 1000), kWaitTimeout);
  m.CloseHandle(p);

  EXPECT_EQ(m.CreateProcess(u"missing.exe", u"", 0, p), kErrFileNotFound);
  EXPECT_EQ(p, 0u);
  EXPECT_EQ(m.CreateProcess(u"broken.exe", u"", 0, p), kErrAccessDenied);
  EXPECT_EQ(m.CreateProcess(u"mailpost.exe", u"C:\\NOPE", 0, p), kErrDirectory);
  EXPECT_EQ(m.OpenProcessHandleCount(), 0u);

  auto started = m.StartedProcesses();
  ASSERT_EQ(started.size(), 6u);
  EXPECT_EQ(started[0].commandLine, u"\"C:\\Program Files\\MAILPOST.EXE\" /x");
  EXPECT_EQ(started[0].workingDirectory, u"C:\\WORK");
  EXPECT_NE(started[0].pid, 0u);
  EXPECT_EQ(started[3].error, kErrFileNotFound);

  // Ended programs leave the snapshot; running ones stay with their parent.
  std::vector<ProcessEntry> snapshot;
  ASSERT_EQ(m.ProcessSnapshot(snapshot), kOk);
  std::vector<String> names;
  for (const ProcessEntry& e : snapshot) names.push_back(e.exeName);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"MAILPOST.EXE"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"stubborn.exe"), 1);
  EXPECT_EQ(snapshot.back().parentPid, m.CurrentProcessId());
}

// ------------------------------------------------------------------ machine, accounts, shell, memory

TEST(MemoryMachineFacts, AccountsVersionsFoldersEnvironmentAndSharedMemory) {
  MemoryMachine m;
  AccountName account;
  ASSERT_EQ(m.LookupAccountSid(u"S-1-5-32-547", account), kOk);
  EXPECT_EQ(account.name, u"Power Users");
  EXPECT_EQ(account.domain, u"BUILTIN");
  m.SetAccount(u"S-1-5-32-545", u"Benutzer", u"VORDEFINIERT", 4);
  ASSERT_EQ(m.LookupAccountSid(u"S-1-5-32-545", account), kOk);
  EXPECT_EQ(account.name, u"Benutzer");
  EXPECT_EQ(m.LookupAccountSid(u"S-1-5-21-9-9-9-9", account), kErrNoneMapped);
  EXPECT_EQ(m.LookupAccountSid(u"garbage", account), kErrInvalidSid);
  String sid, user;
  ASSERT_EQ(m.GetUserName(user), kOk);
  ASSERT_EQ(m.LookupAccountName(user, sid), kOk);
  ASSERT_EQ(m.LookupAccountSid(sid, account), kOk);
  EXPECT_EQ(account.name, user);
  ASSERT_EQ(m.LookupAccountName(u"builtin\\administrators", sid), kOk);
  EXPECT_EQ(sid, u"S-1-5-32-544");

  bool atLeast = false;
  m.SetOsVersion(OsVersion{6, 1, 7601, 1});
  struct VersionCase {
    std::uint32_t major, minor, sp;
    bool expected;
  } versions[] = {{5, 2, 9, true}, {6, 0, 0, true}, {6, 1, 1, true}, {6, 1, 2, false}, {6, 2, 0, false}, {10, 0, 0, false}};
  for (const VersionCase& v : versions) {
    ASSERT_EQ(m.VerifyVersion(v.major, v.minor, v.sp, atLeast), kOk);
    EXPECT_EQ(atLeast, v.expected) << v.major << "." << v.minor << " sp" << v.sp;
  }
  m.SetVerifyVersionAvailable(false);
  EXPECT_EQ(m.VerifyVersion(5, 0, 0, atLeast), kApiUnavailable);

  String path;
  ASSERT_EQ(m.GetSystemWow64Directory(path), kOk);
  EXPECT_EQ(path, u"C:\\Windows\\SysWOW64");
  m.SetWindows64Bit(false);
  EXPECT_EQ(m.GetSystemWow64Directory(path), kErrCallNotImplemented);

  ASSERT_EQ(m.GetFolderPathByCsidl(kCsidlCommonAppData, path), kOk);
  EXPECT_EQ(path, u"C:\\ProgramData");
  m.SetKnownFolder(KnownFolder::ProgramData, u"D:\\PD");
  m.SetCsidlFolder(kCsidlAppData, u"E:\\AD");
  ASSERT_EQ(m.GetKnownFolderPath(KnownFolder::ProgramData, path), kOk);
  EXPECT_EQ(path, u"D:\\PD");
  ASSERT_EQ(m.GetFolderPathByCsidl(kCsidlAppData, path), kOk);
  EXPECT_EQ(path, u"E:\\AD");
  m.SetShFolderAvailable(false);
  EXPECT_EQ(m.GetFolderPathByCsidl(kCsidlAppData, path), kApiUnavailable);
  EXPECT_TRUE(path.empty());

  EXPECT_EQ(m.FormatSystemMessage(5), u"Access is denied.");
  EXPECT_EQ(m.FormatSystemMessage(32), u"The process cannot access the file because it is being used by another process.");
  EXPECT_EQ(m.FormatSystemMessage(99999), u"System error 99999.");
  EXPECT_EQ(m.AnsiToWide("\x80\xE9"), u"\u20AC\u00E9");
  EXPECT_EQ(m.WideToAnsi(u"\u20AC\u00E9"), "\x80\xE9");

  String value;
  ASSERT_TRUE(m.SetEnvironmentVariable(u"TarvexDir", String(u"\\\\SRV\\NORVA\\TARVEX\\")));
  ASSERT_TRUE(m.GetEnvironmentVariable(u"TARVEXDIR", value));
  EXPECT_EQ(value, u"\\\\SRV\\NORVA\\TARVEX\\");
  // The block lists every variable once, under the spelling it was set by.
  std::vector<std::pair<String, String>> block;
  ASSERT_TRUE(m.GetEnvironmentStrings(block));
  EXPECT_EQ(std::count(block.begin(), block.end(), std::pair<String, String>(u"TarvexDir", u"\\\\SRV\\NORVA\\TARVEX\\")), 1);
  ASSERT_TRUE(m.SetEnvironmentVariable(u"tarvexdir", std::nullopt));
  EXPECT_FALSE(m.GetEnvironmentVariable(u"TarvexDir", value));
  ASSERT_TRUE(m.GetEnvironmentStrings(block));
  for (const auto& [name, text] : block) EXPECT_NE(Upper(name), u"TARVEXDIR");
  EXPECT_EQ(m.BroadcastSettingChange(u"Environment", 4000), kOk);
  EXPECT_EQ(m.Broadcasts(), (std::vector<String>{u"Environment"}));

  Handle a = 0, b = 0;
  bool existed = true;
  ASSERT_EQ(m.CreateSharedMemory(u"TarvexFG", 12, a, existed), kOk);
  EXPECT_FALSE(existed);
  ASSERT_EQ(m.CreateSharedMemory(u"tarvexfg", 12, b, existed), kOk);
  EXPECT_TRUE(existed);
  auto* va = static_cast<std::uint8_t*>(m.MapSharedMemory(a, 12));
  auto* vb = static_cast<std::uint8_t*>(m.MapSharedMemory(b, 12));
  ASSERT_NE(va, nullptr);
  va[11] = 0x5A;
  EXPECT_EQ(vb[11], 0x5A);
  EXPECT_EQ(m.MapSharedMemory(a, 13), nullptr);
  m.UnmapSharedMemory(va);
  m.UnmapSharedMemory(vb);
  m.CloseHandle(a);
  m.CloseHandle(b);
  ASSERT_EQ(m.CreateSharedMemory(u"TarvexFG", 12, a, existed), kOk);
  EXPECT_FALSE(existed);  // the last reference went away with the last handle
  m.CloseHandle(a);
  std::uint8_t* held = m.HoldSharedMemory(u"TarvexFG", 12);
  held[0] = 1;
  ASSERT_EQ(m.CreateSharedMemory(u"TarvexFG", 12, a, existed), kOk);
  EXPECT_TRUE(existed);
  EXPECT_EQ(static_cast<std::uint8_t*>(m.MapSharedMemory(a, 0))[0], 1);
}

TEST(MemoryMachineTemp, TempPathFollowsTmpTempAndUserProfile) {
  MemoryMachine m;
  String path;
  ASSERT_EQ(m.GetTempPath(path), kOk);
  EXPECT_EQ(path, u"C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  m.SetEnvironmentVariable(u"TMP", String(u"D:\\T"));
  ASSERT_EQ(m.GetTempPath(path), kOk);
  EXPECT_EQ(path, u"D:\\T\\");
  m.SetEnvironmentVariable(u"TMP", std::nullopt);
  m.SetEnvironmentVariable(u"TEMP", std::nullopt);
  m.SetEnvironmentVariable(u"USERPROFILE", String(u"C:\\Users\\Ann"));
  ASSERT_EQ(m.GetTempPath(path), kOk);
  EXPECT_EQ(path, u"C:\\Users\\Ann\\");
  m.SetEnvironmentVariable(u"USERPROFILE", std::nullopt);
  ASSERT_EQ(m.GetTempPath(path), kOk);
  EXPECT_EQ(path, u"C:\\Windows\\");
  m.InjectFailure("GetTempPathW", 1, kErrAccessDenied);
  EXPECT_EQ(m.GetTempPath(path), kErrAccessDenied);
  EXPECT_EQ(path, u"");
}

}  // namespace
}  // namespace qv::platform
