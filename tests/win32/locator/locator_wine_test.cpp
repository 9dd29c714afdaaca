// QV9REG.DLL through the real Win32 API, bound exactly as a suite program
// binds it: LoadLibraryW("QV9REG.DLL") and GetProcAddress by the exports'
// names. The application-data area is the share \\QVLOCSRV\NORVA of the
// test prefix, staged here; each case points NorvaConnectIniPath at its own
// connection file in the temporary folder, so nothing machine-wide changes.
//
// Run with --dialog-child, the program is the child of the dialog case: one
// failing QVGETNAD with the dialog allowed, which must not return.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "locator/qv9reg.h"

extern "C" int qv9reg_header_is_c(void);

namespace {

constexpr wchar_t kGuard = 0xBEEF;
constexpr wchar_t kFill = L'#';
constexpr std::size_t kGuardChars = 32;
constexpr wchar_t kTitle[] = L"Velmora Configuration Error";
const std::wstring kRoot = L"\\\\QVLOCSRV\\NORVA\\";

struct Library {
  HMODULE module = nullptr;
  QVGETNAD_FN nad = nullptr;
  QVGETINI_FN ini = nullptr;
  QVGETCFG_FN cfg = nullptr;
  QVGETERM_FN term = nullptr;
  QVREGVER_FN ver = nullptr;
};

template <typename F>
F Bind(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const Library& Lib() {
  static const Library lib = [] {
    Library l;
    l.module = LoadLibraryW(L"QV9REG.DLL");
    if (!l.module) return l;
    l.nad = Bind<QVGETNAD_FN>(l.module, "QVGETNAD");
    l.ini = Bind<QVGETINI_FN>(l.module, "QVGETINI");
    l.cfg = Bind<QVGETCFG_FN>(l.module, "QVGETCFG");
    l.term = Bind<QVGETERM_FN>(l.module, "QVGETERM");
    l.ver = Bind<QVREGVER_FN>(l.module, "QVREGVER");
    return l;
  }();
  return lib;
}

// The library's own message text, from its string-table resource.
std::wstring LibText(UINT id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(Lib().module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 && text ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

// A caller's buffer of the documented size with guard characters behind it.
class Buffer {
 public:
  explicit Buffer(std::size_t chars, const std::wstring& initial = L"")
      : chars_(chars), data_(chars + kGuardChars, kGuard) {
    std::fill_n(data_.begin(), chars, kFill);
    std::copy(initial.begin(), initial.end(), data_.begin());
    data_[initial.size()] = 0;
    initial_ = data_;
  }
  QVCHAR* p() { return data_.data(); }
  std::wstring str() const {
    const auto end = std::find(data_.begin(), data_.begin() + chars_, L'\0');
    return end == data_.begin() + chars_ ? std::wstring(L"<unterminated>") : std::wstring(data_.begin(), end);
  }
  bool GuardIntact() const {
    return std::all_of(data_.begin() + chars_, data_.end(), [](wchar_t c) { return c == kGuard; });
  }
  bool Untouched() const { return data_ == initial_; }

 private:
  std::size_t chars_;
  std::vector<wchar_t> data_;
  std::vector<wchar_t> initial_;
};

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

void MakeFolders(const std::wstring& folder) {
  // Every prefix that ends at a backslash, past the drive or the share root.
  const std::size_t start = folder.rfind(L"\\\\", 0) == 0 ? folder.find(L'\\', folder.find(L'\\', 2) + 1) + 1 : 3;
  for (std::size_t at = folder.find(L'\\', start); at != std::wstring::npos; at = folder.find(L'\\', at + 1))
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
}

void WriteText(const std::wstring& path, const std::string& text) {
  MakeFolders(path.substr(0, path.find_last_of(L'\\')));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path) << " error " << GetLastError();
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void Pointer(const std::wstring& tarvex, const std::wstring& expected, const std::wstring& configName) {
  std::string text = "[QTCONFIG]\r\n";
  if (!expected.empty()) text += "ExpectedUNCpath=" + Narrow(expected) + "\r\n";
  if (!configName.empty()) text += "ConfigurationFile=" + Narrow(configName) + "\r\n";
  WriteText(tarvex + L"QTCFG.INI", text);
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, path);
  return std::wstring(path, n) + L"qv9reg-wine-test\\";
}

// Writes a connection file for this case and points NorvaConnectIniPath at
// it; an empty UNC name writes the section without the key.
std::wstring Connect(const std::wstring& caseName, const std::wstring& uncName) {
  const std::wstring path = TempFolder() + caseName + L"\\NORVACONNECT.INI";
  WriteText(path, "[NorvaAppdataShare]\r\n" + (uncName.empty() ? std::string() : "UNCname=" + Narrow(uncName) + "\r\n"));
  SetEnvironmentVariableW(L"NorvaConnectIniPath", path.c_str());
  return path;
}

struct NadBuffers {
  Buffer tarvex{QV9REG_PATH_CHARS}, netBin{QV9REG_PATH_CHARS}, root{QV9REG_PATH_CHARS};
  Buffer connectIni{QV9REG_PATH_CHARS}, configFile{QV9REG_PATH_CHARS};
  Buffer message{QV9REG_MESSAGE_CHARS, L"old text"};
  int Call(unsigned char noDialog = 1) {
    return Lib().nad(tarvex.p(), netBin.p(), root.p(), connectIni.p(), configFile.p(), message.p(), noDialog,
                     Lib().module);
  }
  bool GuardsIntact() const {
    return tarvex.GuardIntact() && netBin.GuardIntact() && root.GuardIntact() && connectIni.GuardIntact() &&
           configFile.GuardIntact() && message.GuardIntact();
  }
};

class LocatorWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Pointer(kRoot + L"TARVEX\\", L"\\\\qvlocsrv\\norva", L"TARVEX.CFG");
    WriteText(kRoot + L"TARVEX\\TARVEX.CFG", "$request_dir x\r\n");
    MakeFolders(kRoot + L"NETBIN");
    DeleteFileW((kRoot + L"QVLINK.INI").c_str());
    const std::wstring cases = kRoot + L"CASES\\";
    Pointer(cases + L"MISMATCH\\TARVEX\\", L"\\\\ELSEWHERE\\NORVA", L"TARVEX.CFG");
    Pointer(cases + L"LONGMSG\\TARVEX\\", L"\\\\ELSEWHERE\\" + std::wstring(3000, L'N'), L"TARVEX.CFG");
    Pointer(cases + L"NOEXPECTED\\TARVEX\\", L"", L"TARVEX.CFG");
    Pointer(cases + L"NONAME\\TARVEX\\", cases + L"NONAME", L"");
    Pointer(cases + L"NOCFG\\TARVEX\\", cases + L"NOCFG", L"MISSING.CFG");
    DeleteFileW((cases + L"NOCFG\\TARVEX\\MISSING.CFG").c_str());
    MakeFolders(cases + L"EMPTY");
    Pointer(kRoot + L"SERVER\\", L"\\\\QVLOCSRV\\NORVA", L"");
    WriteText(TempFolder() + L"VELMORA.INI", "[VelmoraServer]\r\nDirectory=\\\\QVLOCSRV\\NORVA\\SERVER\r\n");
  }
  void SetUp() override {
    ASSERT_NE(Lib().module, nullptr) << "QV9REG.DLL not loaded, error " << GetLastError();
    SetEnvironmentVariableW(L"VelmoraIniPath", nullptr);
  }
};

// ------------------------------------------------------------ the error dialog

// The child: one failure with the dialog allowed. Returning at all is wrong.
int RunDialogChild() {
  const std::wstring missing = TempFolder() + L"nowhere\\NORVACONNECT.INI";
  SetEnvironmentVariableW(L"NorvaConnectIniPath", missing.c_str());
  if (!Lib().nad) return 3;
  NadBuffers b;
  b.Call(0);
  return 2;
}

struct BoxSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindChildBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (pid == search->pid && std::wcscmp(title, kTitle) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

TEST_F(LocatorWine, FailureWithDialogClosesByItselfAndEndsTheProcessWithExitCode1) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --dialog-child";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &child));
  CloseHandle(child.hThread);

  // The box appears (this program never closes it) ...
  BoxSearch search{child.dwProcessId, nullptr};
  for (int i = 0; i < 150 && !search.found; ++i) {
    if (WaitForSingleObject(child.hProcess, 100) == WAIT_OBJECT_0) break;
    EnumWindows(FindChildBox, reinterpret_cast<LPARAM>(&search));
  }
  EXPECT_NE(search.found, nullptr) << "no dialog titled \"Velmora Configuration Error\"";
  if (search.found) {
    wchar_t text[4096] = {};
    GetDlgItemTextW(search.found, 0xFFFF, text, 4096);  // the message box's text control
    const std::wstring shown(text);
    EXPECT_NE(shown.find(LibText(943)), std::wstring::npos);
    EXPECT_NE(shown.find(L"(This dialog will close after 20 seconds; or when you click OK)"), std::wstring::npos);
  }
  // ... and the child ends by itself once it has closed.
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0) << "the dialog did not close by itself";
  DWORD exitCode = 0;
  GetExitCodeProcess(child.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 1u);
  CloseHandle(child.hProcess);
}

// ------------------------------------------------------------ binding

TEST_F(LocatorWine, ExportsBindByTheirUndecoratedNames) {
  const Library& lib = Lib();
  EXPECT_NE(lib.nad, nullptr);
  EXPECT_NE(lib.ini, nullptr);
  EXPECT_NE(lib.cfg, nullptr);
  EXPECT_NE(lib.term, nullptr);
  ASSERT_NE(lib.ver, nullptr);
  EXPECT_EQ(lib.ver(3), 3);
  EXPECT_EQ(lib.ver(7), 3);
  EXPECT_EQ(qv9reg_header_is_c(), 1);
  EXPECT_EQ(LibText(990), kTitle);
}

// ------------------------------------------------------------ QVGETNAD

TEST_F(LocatorWine, NadLocatesTheShare) {
  const std::wstring connection = Connect(L"ok", L"\\\\QVLOCSRV\\NORVA");
  NadBuffers b;
  EXPECT_EQ(b.Call(), 0) << Narrow(b.message.str());
  EXPECT_EQ(b.tarvex.str(), kRoot + L"TARVEX\\");
  EXPECT_EQ(b.netBin.str(), kRoot + L"NETBIN\\");
  EXPECT_EQ(b.root.str(), kRoot);
  EXPECT_EQ(b.connectIni.str(), connection);
  EXPECT_EQ(b.configFile.str(), kRoot + L"TARVEX\\TARVEX.CFG");
  EXPECT_EQ(b.message.str(), L"");
  EXPECT_TRUE(b.GuardsIntact());

  NadBuffers guarded;
  guarded.tarvex = Buffer(QV9REG_PATH_CHARS, L"X:\\KEEP\\");
  EXPECT_EQ(guarded.Call(0), 0);
  EXPECT_TRUE(guarded.message.Untouched() && guarded.root.Untouched() && guarded.connectIni.Untouched());
}

TEST_F(LocatorWine, NadFailuresReturnTheirCodeAndMessage) {
  struct Case {
    const wchar_t* name;
    std::wstring uncName;  // empty: no UNCname; nullptr-like "-" : no connection file
    int result;
  } cases[] = {
      {L"missing", L"-", -943},
      {L"nokey", L"", -944},
      {L"drive", L"C:\\DATA", -945},
      {L"empty", kRoot + L"CASES\\EMPTY", -946},
      {L"noexpected", kRoot + L"CASES\\NOEXPECTED", -947},
      {L"mismatch", kRoot + L"CASES\\MISMATCH", -948},
      {L"noname", kRoot + L"CASES\\NONAME", -949},
      {L"nocfg", kRoot + L"CASES\\NOCFG", -950},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    std::wstring connection;
    if (c.uncName == L"-") {
      connection = TempFolder() + L"missing\\NORVACONNECT.INI";
      SetEnvironmentVariableW(L"NorvaConnectIniPath", connection.c_str());
    } else {
      connection = Connect(c.name, c.uncName);
    }
    NadBuffers b;
    EXPECT_EQ(b.Call(), c.result);
    const std::wstring message = b.message.str();
    const std::wstring table = LibText(static_cast<UINT>(-c.result));
    ASSERT_FALSE(table.empty());
    if (c.result == -946) {
      EXPECT_EQ(message.substr(0, table.size() + 1), table + L"\r");
      EXPECT_GT(message.size(), table.size() + 1);  // the system's description
    } else if (c.result == -948) {
      EXPECT_EQ(message.substr(0, table.size()), table);
      EXPECT_NE(message.find(L"<B>\\\\ELSEWHERE\\NORVA\\</B>"), std::wstring::npos);
      EXPECT_NE(message.find(L"<B>" + kRoot + L"CASES\\MISMATCH\\</B>"), std::wstring::npos);
    } else {
      EXPECT_EQ(message, table);
    }
    EXPECT_EQ(b.connectIni.str(), connection);
    if (c.result == -950) {
      EXPECT_EQ(b.configFile.str(), kRoot + L"CASES\\NOCFG\\TARVEX\\MISSING.CFG");
    }
    EXPECT_TRUE(b.tarvex.Untouched() && b.netBin.Untouched() && b.root.Untouched());
    EXPECT_TRUE(b.GuardsIntact());
  }
}

TEST_F(LocatorWine, NadNeverWritesPastTheDocumentedBufferSizes) {
  Connect(L"longmsg", kRoot + L"CASES\\LONGMSG");
  NadBuffers mismatch;
  EXPECT_EQ(mismatch.Call(), -948);
  EXPECT_EQ(mismatch.message.str().size(), static_cast<std::size_t>(QV9REG_MESSAGE_CHARS - 1));
  EXPECT_TRUE(mismatch.GuardsIntact());

  const std::wstring longPath = L"C:\\" + std::wstring(400, L'P') + L"\\NORVACONNECT.INI";
  SetEnvironmentVariableW(L"NorvaConnectIniPath", longPath.c_str());
  NadBuffers missing;
  EXPECT_EQ(missing.Call(), -943);
  EXPECT_EQ(missing.connectIni.str(), longPath.substr(0, QV9REG_PATH_CHARS - 1));
  EXPECT_TRUE(missing.GuardsIntact());
}

// ------------------------------------------------------------ QVGETINI, QVGETCFG

TEST_F(LocatorWine, IniAndCfgFindTheSuiteIniAndTheServerFolder) {
  Connect(L"ok", L"\\\\QVLOCSRV\\NORVA\\");
  const std::wstring temp = TempFolder();
  const std::wstring env = temp + L"velmora.ini";
  SetEnvironmentVariableW(L"VelmoraIniPath", env.c_str());

  Buffer iniPath(QV9REG_PATH_CHARS), iniMessage(QV9REG_MESSAGE_CHARS, L"old");
  EXPECT_EQ(Lib().ini(iniPath.p(), L"", iniMessage.p(), 1, Lib().module), 0);
  EXPECT_EQ(iniPath.str(), temp + L"VELMORA.INI");
  EXPECT_EQ(iniMessage.str(), L"");
  Buffer kept(QV9REG_PATH_CHARS, L"Q:\\MINE.INI");
  EXPECT_EQ(Lib().ini(kept.p(), nullptr, iniMessage.p(), 1, Lib().module), 0);
  EXPECT_TRUE(kept.Untouched());

  Buffer configFile(QV9REG_PATH_CHARS), suiteIni(QV9REG_PATH_CHARS), tarvex(QV9REG_PATH_CHARS),
      server(QV9REG_PATH_CHARS), netBin(QV9REG_PATH_CHARS), root(QV9REG_PATH_CHARS),
      message(QV9REG_MESSAGE_CHARS, L"junk");
  unsigned char match = 7, reserved = 0xFF;
  EXPECT_EQ(Lib().cfg(configFile.p(), suiteIni.p(), tarvex.p(), server.p(), netBin.p(), root.p(), &match, &reserved,
                      message.p(), 1, Lib().module),
            0)
      << Narrow(message.str());
  EXPECT_EQ(configFile.str(), kRoot + L"TARVEX\\TARVEX.CFG");
  EXPECT_EQ(suiteIni.str(), temp + L"VELMORA.INI");
  EXPECT_EQ(tarvex.str(), kRoot + L"TARVEX\\");
  EXPECT_EQ(server.str(), kRoot + L"SERVER\\");
  EXPECT_EQ(netBin.str(), kRoot + L"NETBIN\\");
  EXPECT_EQ(root.str(), kRoot);
  EXPECT_EQ(match, 1);
  EXPECT_EQ(reserved, 0);
  EXPECT_EQ(message.str(), L"");
  for (const Buffer* b : {&configFile, &suiteIni, &tarvex, &server, &netBin, &root, &message})
    EXPECT_TRUE(b->GuardIntact());

  // A failure: the message, and the suite INI, server folder and match byte alone.
  Connect(L"nocfg", kRoot + L"CASES\\NOCFG");
  Buffer failedIni(QV9REG_PATH_CHARS), failedServer(QV9REG_PATH_CHARS, L"S:\\"),
      failedMessage(QV9REG_MESSAGE_CHARS);
  match = 7;
  reserved = 0xFF;
  EXPECT_EQ(Lib().cfg(configFile.p(), failedIni.p(), tarvex.p(), failedServer.p(), netBin.p(), root.p(), &match,
                      &reserved, failedMessage.p(), 1, Lib().module),
            -950);
  EXPECT_EQ(failedMessage.str(), LibText(950));
  EXPECT_TRUE(failedIni.Untouched() && failedServer.Untouched());
  EXPECT_EQ(match, 7);
  EXPECT_EQ(reserved, 0);
}

// ------------------------------------------------------------ QVGETERM

TEST_F(LocatorWine, TermReadsThisProgramsOwnStringTable) {
  struct Case {
    int number, size;
    const wchar_t* expected;
  } cases[] = {
      {20001, 256, L"Locator test text"}, {-20001, 256, L"Locator test text"}, {20001, 8, L"Locator"},
      {20001, 1, L""},                    {20002, 256, L""},
      {990, 256, L""},  // the library's table is not this program's
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    Buffer text(256);
    Lib().term(text.p(), c.number, c.size);
    EXPECT_EQ(text.str(), c.expected);
    EXPECT_TRUE(text.GuardIntact());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--dialog-child") == 0) return RunDialogChild();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
