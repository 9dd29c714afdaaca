// Recording the connection (NORVACONNECT.INI, its permissions, the
// configuration load, the Installers values) and the robustness of the whole
// connect run against a failure of any platform operation.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "connect/connect_context.h"
#include "connect/connect_driver.h"
#include "connect/dmfilesec.h"
#include "connect/message_dialog.h"
#include "connect/record_connection.h"
#include "platform/memory/memory_machine.h"
#include "platform/timed_message.h"
#include "resources/string_tables.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using namespace qv::connect;
using namespace qv::platform;

namespace {

const String kIni = u"C:\\ProgramData\\Norva\\NORVACONNECT.INI";
const std::string kIniText =
    "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n\r\n[DO_NOT_EDIT_OR_CHANGE_UNCname]\r\n\r\n"
    "Recreate_This_File_By_Running=\\\\servername\\NORVA\\NorvaConnect.exe\r\n";

void WaitForClosingThreads() {
  while (Tsimplethread::Running() > 0) std::this_thread::yield();
}

// A prepared \\SRV\NORVA share with a configuration file, the location
// library, and a connect context as the share checks leave it.
class Recording : public ::testing::Test {
 protected:
  Recording() : use_(m_) {
    testing_connect::InstallLocationLibrary(m_);
    testing_connect::StageSuiteShare(m_);
    ResetConnectContext();
    ConnectContext& c = Connect();
    c.ConnectPath = u"\\\\SRV\\NORVA\\";
    c.DataFolder = u"\\\\SRV\\NORVA\\TARVEX\\";
    c.NetbinFolder = u"\\\\SRV\\NORVA\\NETBIN\\";
  }
  ~Recording() override {
    WaitForClosingThreads();
    ResetSuiteSettingsForTests();
  }
  std::string IniContents() {
    Bytes bytes;
    if (m_.ReadWholeFile(kIni, bytes) != 0) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
  }
  std::optional<String> Installer(const char16_t* key) {
    return m_.GetRegString(RootKey::CurrentUser, u"Software\\Norva\\Installers\\" + String(key), u"UNCname");
  }
  MemoryMachine m_;
  ScopedPlatform use_;
};

}  // namespace

TEST_F(Recording, WritesTheRecordOpensItLoadsAndStoresTheInstallersValues) {
  ASSERT_FALSE(m_.KeyExists(RootKey::CurrentUser, u"Software\\Norva\\Installers"));
  TDMfilesec module;
  RecordConnection();
  EXPECT_EQ(Connect().ConnectError, u"");
  EXPECT_EQ(IniContents(), kIniText);
  EXPECT_EQ(Connect().NorvaDataDir, u"C:\\ProgramData\\Norva");
  EXPECT_EQ(GetLastLoadError(), 0);
  EXPECT_EQ(GetAppDataDir(), u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(Installer(u"Appdata"), u"\\\\SRV\\NORVA\\TARVEX\\");
  EXPECT_EQ(Installer(u"Netbin"), u"\\\\SRV\\NORVA\\NETBIN\\");
  EXPECT_EQ(Installer(u"SharePath"), u"\\\\SRV\\NORVA\\");
  // Users now have full control of the record.
  Dacl dacl;
  ASSERT_EQ(m_.GetFileDacl(kIni, dacl), 0u);
  bool usersFull = false;
  for (const Ace& ace : dacl.entries)
    if (ace.sid == kUsersSid && ace.type == kAceAllowed && ace.mask == kFileAllAccess) usersFull = true;
  EXPECT_TRUE(usersFull);

  // A second run writes the same six lines again.
  RecordConnection();
  EXPECT_EQ(Connect().ConnectError, u"");
  EXPECT_EQ(IniContents(), kIniText);
}

TEST_F(Recording, FailuresOfTheRecord) {
  struct Case {
    const char* what;
    std::function<void(MemoryMachine&)> stage;
    String error;
    std::string ini;  // what NORVACONNECT.INI holds afterwards
  };
  const Case cases[] = {
      {"the Norva folder cannot be created",
       [](MemoryMachine& m) { m.InjectFailure("CreateDirectoryW", 0, 5, u"C:\\ProgramData\\Norva"); },
       u"Unable to create \"Norva\" folder in \"All Users\\Application Data\" (error -5). The connect operation failed",
       "<missing>"},
      {"a read-only NORVACONNECT.INI stays as it was",
       [](MemoryMachine& m) {
         m.MakeDirectories(u"C:\\ProgramData\\Norva");
         m.WriteTextFile(kIni, "old record\r\n");
         m.SetReadOnly(kIni, true);
       },
       u"Access is denied.\r\rThe connect operation failed.", "old record\r\n"},
      {"a write that fails half-way leaves the old record whole",
       [](MemoryMachine& m) {
         m.MakeDirectories(u"C:\\ProgramData\\Norva");
         m.WriteTextFile(kIni, "old record\r\n");
         m.InjectFailure("WriteFile", 1, 112);
       },
       u"There is not enough space on the disk.\r\rThe connect operation failed.", "old record\r\n"},
      {"no common application-data folder",
       [](MemoryMachine& m) {
         m.SetKnownFolder(KnownFolder::ProgramData, u"");
         m.SetCsidlFolder(kCsidlCommonAppData, u"");
       },
       u"Unable to create \"Norva\" folder in \"All Users\\Application Data\" (error -5). The connect operation failed",
       "<missing>"},
      {"a share name outside the ANSI code page keeps the old record",
       [](MemoryMachine& m) {
         m.MakeDirectories(u"C:\\ProgramData\\Norva");
         m.WriteTextFile(kIni, "old record\r\n");
         Connect().ConnectPath = u"\\\\SRV\\NORVA\u0141\\";
       },
       u"The share name \\\\SRV\\NORVA\u0141\\ has characters that this machine's ANSI code page cannot hold; "
       u"C:\\ProgramData\\Norva\\NORVACONNECT.INI was not changed. The connect operation failed",
       "old record\r\n"},
      {"the permission step reports a write failure",
       [](MemoryMachine& m) { m.InjectFailure("SetFileSecurityW", 1, 5); }, u"Access is denied.", kIniText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine m;
    ScopedPlatform use(m);
    testing_connect::InstallLocationLibrary(m);
    testing_connect::StageSuiteShare(m);
    TDMfilesec module;
    Connect().ConnectPath = u"\\\\SRV\\NORVA\\";
    c.stage(m);
    RecordConnection();
    EXPECT_EQ(ToUtf8(Connect().ConnectError), ToUtf8(c.error));
    Bytes bytes;
    const std::string ini = m.ReadWholeFile(kIni, bytes) == 0 ? std::string(bytes.begin(), bytes.end()) : "<missing>";
    EXPECT_EQ(ini, c.ini);
    EXPECT_FALSE(m.KeyExists(RootKey::CurrentUser, u"Software\\Norva\\Installers\\SharePath"));
    // No temporary file is left beside the record.
    if (m.DirectoryExists(u"C:\\ProgramData\\Norva")) {
      FileTime ignored = 0;
      EXPECT_NE(m.FindFirstFileWriteTime(u"C:\\ProgramData\\Norva\\*.tmp", ignored), 0u);
    }
  }
}

TEST_F(Recording, AFailedReadOfThePermissionsLeavesTheFileAndTheRunGoesOn) {
  TDMfilesec module;
  m_.InjectFailure("GetFileSecurityW", 1, 5);
  RecordConnection();
  EXPECT_EQ(Connect().ConnectError, u"");
  EXPECT_EQ(IniContents(), kIniText);
  EXPECT_EQ(m_.Count("SetFileSecurityW"), 0u);
  EXPECT_EQ(Installer(u"SharePath"), u"\\\\SRV\\NORVA\\");
}

TEST_F(Recording, AFailedLoadEndsTheRunInTheReadersOwnDialog) {
  TDMfilesec module;
  m_.RemovePath(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG");
  std::optional<std::uint32_t> exitCode;
  try {
    RecordConnection();
  } catch (const ProcessExit& e) {
    exitCode = e.exitCode;
  }
  EXPECT_EQ(exitCode, 1u);
  const auto boxes = m_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, u"Velmora Configuration Error");
  EXPECT_EQ(IniContents(), kIniText);  // the record written before the load stays
}

TEST(RecordingTexts, LoadStatusTextsAndTheRecordLines) {
  EXPECT_EQ(ToUtf8(ConnectIniText(u"\\\\SRV\\NORVA\\")), kIniText);
  // Statuses -1 to -14 have texts of their own: 20200 minus the status.
  for (int status = -1; status >= -14; --status) {
    const String* text = resources::ConnectText(kLoadStatusTextBase - status);
    ASSERT_NE(text, nullptr) << status;
    EXPECT_NE(text->find(Format(u"status %d", status)), String::npos) << status;
  }
}

// A failure of any one platform operation, at any call, during a whole
// connect run: the run ends with exit code 0 or 1, never with a crash; a
// failed run shows exactly one failure report; NORVACONNECT.INI is either
// absent or exactly the six lines.
TEST(ConnectRunRobustness, AFailureOfAnyOperationEndsInOneReport) {
  auto stage = [](MemoryMachine& m) {
    testing_connect::InstallLocationLibrary(m);
    testing_connect::StageSuiteShare(m);
    m.MakeDirectories(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora");
    m.SetProgramPath(u"\\\\SRV\\NORVA\\NORVACONNECT.exe");
  };
  struct Result {
    std::optional<std::uint32_t> exitCode;
    std::vector<DialogRequest> dialogs;
    std::size_t boxes = 0;
    std::string ini;
    bool crashed = false;
  };
  auto run = [&](const std::function<void(MemoryMachine&)>& inject, std::map<std::string, std::uint64_t>* counts) {
    Result r;
    MemoryMachine m;
    ScopedPlatform use(m);
    stage(m);
    m.ResetCounts();
    inject(m);
    try {
      RunProgram({u"/q"});
    } catch (const ProcessExit& e) {
      r.exitCode = e.exitCode;
    } catch (...) {
      r.crashed = true;
    }
    WaitForClosingThreads();
    if (counts) *counts = m.Counts();
    m.ClearFailures();
    r.dialogs = m.Dialogs();
    r.boxes = m.MessageBoxes().size();
    Bytes bytes;
    r.ini = m.ReadWholeFile(kIni, bytes) == 0 ? std::string(bytes.begin(), bytes.end()) : "<missing>";
    ResetSuiteSettingsForTests();
    return r;
  };

  std::map<std::string, std::uint64_t> counts;
  const Result good = run([](MemoryMachine&) {}, &counts);
  ASSERT_EQ(good.exitCode, 0u);
  ASSERT_EQ(good.ini, kIniText);
  ASSERT_GT(counts.size(), 10u);

  // The dialog is the report itself, and closing handles cannot fail.
  const std::set<std::string> skipped = {"ShowDialog", "CloseHandle", "RegCloseKey", "FreeLibrary", "Sleep"};
  for (const auto& [op, calls] : counts) {
    if (skipped.count(op)) continue;
    for (std::uint64_t nth = 1; nth <= calls; ++nth) {
      SCOPED_TRACE(op + " call " + std::to_string(nth));
      const Result r = run([&, op = op](MemoryMachine& m) { m.InjectFailure(op, static_cast<std::uint32_t>(nth), 5); },
                           nullptr);
      ASSERT_FALSE(r.crashed);
      ASSERT_TRUE(r.exitCode.has_value());
      EXPECT_TRUE(r.ini == "<missing>" || r.ini == kIniText) << r.ini;
      if (*r.exitCode == 0) {
        ASSERT_FALSE(r.dialogs.empty());
        EXPECT_EQ(r.dialogs.back().kind, kDialogInformation);
        continue;
      }
      EXPECT_EQ(*r.exitCode, 1u);
      // One failure report: the final error dialog, or the reader's own
      // message box (the load's failure ends the process there).
      std::size_t errorReports = r.boxes;
      for (const DialogRequest& d : r.dialogs)
        if (d.kind == kDialogError && d.buttons == kDlgOk && d.seconds == -2) ++errorReports;
      EXPECT_EQ(errorReports, 1u);
    }
  }
}
