// Operator alerts through the real Win32 API: RunAndWait on real children,
// QV9REG.DLL loaded by name raising the EVENTLOG alert when QVGETNAD fails
// with diagnostics on, and the engine's flush request.
//
// The MAILPOST.exe stand-in (beside this program) records every run in the
// file named by QV_MAILPOST_LOG; QV_MAILPOST_EXIT, QV_MAILPOST_SECONDS and
// QV_MAILPOST_HANG tell it how to end.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "locator/qv9reg.h"
#include "platform/default_platform.h"
#include "platform/seam.h"
#include "platform/run_and_wait.h"
#include "trace/trace_files.h"

namespace {

using Clock = std::chrono::steady_clock;

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, path);
  return std::wstring(path, n);
}

std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

void Env(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

void SenderBehaves(const wchar_t* exitCode, const wchar_t* seconds, const wchar_t* hang) {
  Env(L"QV_MAILPOST_EXIT", exitCode);
  Env(L"QV_MAILPOST_SECONDS", seconds);
  Env(L"QV_MAILPOST_HANG", hang);
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The records of the stand-in's log: one entry per run, its lines decoded.
std::wstring Decode(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n : 0);
  std::wstring out;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'{' && i + 1 < wide.size() && wide[i + 1] == L'{') {
      out += L'{';
      ++i;
    } else if (wide.compare(i, 3, L"{U+") == 0 && i + 7 < wide.size() && wide[i + 7] == L'}') {
      out += static_cast<wchar_t>(std::wcstoul(wide.substr(i + 3, 4).c_str(), nullptr, 16));
      i += 7;
    } else {
      out += wide[i];
    }
  }
  return out;
}

struct SenderRun {
  std::wstring commandLine;
  std::vector<std::wstring> elements;
};

std::vector<SenderRun> ReadLog(const std::wstring& path) {
  std::vector<SenderRun> runs;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return runs;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::wstring line = Decode(bytes.substr(start, end - start));
    start = end + 2;
    if (line == L"== MAILPOST run") runs.emplace_back();
    else if (runs.empty()) continue;
    else if (line.rfind(L"command line: ", 0) == 0) runs.back().commandLine = line.substr(14);
    else if (line.rfind(L"element ", 0) == 0) runs.back().elements.push_back(line.substr(line.find(L": ") + 2));
  }
  return runs;
}

std::wstring Quoted(const std::wstring& text) {
  std::wstring q = L"\"";
  for (wchar_t c : text) {
    q += c;
    if (c == L'"') q += L'"';
  }
  return q + L"\"";
}

class SenderLog : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = TempFolder() + L"qv-mailpost-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log_.c_str());
    Env(L"QV_MAILPOST_LOG", log_.c_str());
    SenderBehaves(nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    DeleteFileW(log_.c_str());
    Env(L"QV_MAILPOST_LOG", nullptr);
    SenderBehaves(nullptr, nullptr, nullptr);
  }
  std::wstring log_;
};

// ---------------------------------------------------------------- RunAndWait

using RunAndWaitWine = SenderLog;

TEST_F(RunAndWaitWine, ARealChildEndingWithCode3AfterTwoSeconds) {
  SenderBehaves(L"3", L"2", nullptr);
  const std::wstring line = L"\"" + ProgramFolder() + L"MAILPOST.exe\" AUTO \"SUBJECT=a \"\"b\"\"\"";
  const auto start = Clock::now();
  EXPECT_EQ(qv::RunAndWait(U(line), U(TempFolder()), 60, 0), 3);
  // It waited for the child's two seconds, and returned when the child
  // ended, not at the limit (a wide bound: a process start under an emulator
  // takes seconds).
  const double took = Seconds(start);
  EXPECT_GE(took, 1.5);
  EXPECT_LT(took, 45.0);
  const auto runs = ReadLog(log_);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].commandLine, line);
  EXPECT_EQ(runs[0].elements, (std::vector<std::wstring>{ProgramFolder() + L"MAILPOST.exe", L"AUTO", L"SUBJECT=a \"b\""}));
}

TEST_F(RunAndWaitWine, AChildThatNeverEndsIsTerminatedAfterTheLimit) {
  SenderBehaves(nullptr, nullptr, L"1");
  const auto start = Clock::now();
  EXPECT_EQ(qv::RunAndWait(U(L"\"" + ProgramFolder() + L"MAILPOST.exe\" AUTO"), u"", 15, 0), qv::kRunTerminated);
  EXPECT_GE(Seconds(start), 14.5);
  EXPECT_EQ(ReadLog(log_).size(), 1u);
}

TEST_F(RunAndWaitWine, AMissingProgramGivesMinusOneOrTheErrorCode) {
  const std::u16string missing = U(L"\"" + TempFolder() + L"no-such-folder\\MISSING.exe\" AUTO");
  EXPECT_EQ(qv::RunAndWait(missing, u"", 15, 0), qv::kRunNotStarted);
  const std::int32_t code = qv::RunAndWait(missing, u"", 0, 0);
  EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
  EXPECT_EQ(qv::RunAndWait(u"\"C:\\windows\\MISSING-PROGRAM.exe\"", u"", 0, 0), ERROR_FILE_NOT_FOUND);
}

// Whether a MAILPOST.exe stand-in is running now.
bool SenderRunning() {
  std::vector<qv::platform::ProcessEntry> processes;
  qv::platform::DefaultPlatform().ProcessSnapshot(processes);
  for (const auto& p : processes)
    if (lstrcmpiW(reinterpret_cast<const wchar_t*>(p.exeName.c_str()), L"MAILPOST.exe") == 0) return true;
  return false;
}

bool SenderEndsWithin(int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (!SenderRunning()) return true;
    Sleep(100);
  }
  return !SenderRunning();
}

// Limit 0 starts the child and returns without waiting for it. That is shown
// by the child itself, not by a clock: a process start under an emulator
// alone can take longer than the child's own run, so the child is asked to
// run for seconds and must still be there when RunAndWait has returned.
TEST_F(RunAndWaitWine, LimitZeroReturnsAtOnceAndTheChildRunsOn) {
  ASSERT_TRUE(SenderEndsWithin(30)) << "a sender of an earlier case is still running";
  SenderBehaves(L"0", L"5", nullptr);
  EXPECT_EQ(qv::RunAndWait(U(L"\"" + ProgramFolder() + L"MAILPOST.exe\" AUTO"), u"   ", 0, 0), 0);
  EXPECT_TRUE(SenderRunning());
  // It still runs and records itself.
  for (int i = 0; i < 300 && ReadLog(log_).empty(); ++i) Sleep(100);
  EXPECT_EQ(ReadLog(log_).size(), 1u);
  EXPECT_TRUE(SenderEndsWithin(30));  // let it end before the log goes
}

// ---------------------------------------------------------------- QV9REG raises EVENTLOG

const wchar_t kAlertDesk[] = L"Software\\Norva\\ALERTDESK";

void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
  RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

void SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
  RegSetValueExW(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(h);
}

std::wstring GetString(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return L"";
  return buffer;
}

struct Locator {
  HMODULE module = nullptr;
  QVGETNAD_FN nad = nullptr;
};

const Locator& Lib() {
  static const Locator lib = [] {
    Locator l;
    l.module = LoadLibraryW(L"QV9REG.DLL");
    if (l.module) l.nad = reinterpret_cast<QVGETNAD_FN>(reinterpret_cast<void (*)()>(GetProcAddress(l.module, "QVGETNAD")));
    return l;
  }();
  return lib;
}

class LibraryAlert : public SenderLog {
 protected:
  static void SetUpTestSuite() {
    // Diagnostics on before the library's first export call reads them.
    SetDword(HKEY_LOCAL_MACHINE, L"Software\\Norva\\QTTRACE", L"QV9REG", 4);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAlertDesk);
    RegDeleteTreeW(HKEY_CURRENT_USER, kAlertDesk);
    SetString(HKEY_LOCAL_MACHINE, std::wstring(kAlertDesk) + L"\\Triggers", L"EVENTLOG", L"1");
    SetString(HKEY_LOCAL_MACHINE, std::wstring(kAlertDesk) + L"\\TriggerRecipients", L"EVENTLOG", L"ops@example.test");
    // A connection record that does not exist: every QVGETNAD fails.
    const std::wstring missing = TempFolder() + L"qv-alert-wine\\missing\\NORVACONNECT.INI";
    SetEnvironmentVariableW(L"NorvaConnectIniPath", missing.c_str());
  }
  static void TearDownTestSuite() {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Norva\\QTTRACE", 0, KEY_WRITE, &h) == ERROR_SUCCESS) {
      RegDeleteValueW(h, L"QV9REG");
      RegCloseKey(h);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAlertDesk);
    RegDeleteTreeW(HKEY_CURRENT_USER, kAlertDesk);
    SetEnvironmentVariableW(L"NorvaConnectIniPath", nullptr);
  }
  // One failing QVGETNAD without a dialog; the message it returned.
  std::wstring FailingLocate() {
    std::vector<wchar_t> tarvex(QV9REG_PATH_CHARS), netBin(QV9REG_PATH_CHARS), root(QV9REG_PATH_CHARS),
        ini(QV9REG_PATH_CHARS), cfg(QV9REG_PATH_CHARS), message(QV9REG_MESSAGE_CHARS);
    const int rc = Lib().nad(tarvex.data(), netBin.data(), root.data(), ini.data(), cfg.data(), message.data(), 1,
                             nullptr);
    EXPECT_LT(rc, 0);
    return message.data();
  }
};

TEST_F(LibraryAlert, AFailingLocateStartsTheSenderOnceWithTheExactCommandLine) {
  ASSERT_TRUE(Lib().nad) << "QV9REG.DLL not loaded";
  const std::wstring message = FailingLocate();
  ASSERT_FALSE(message.empty());
  const auto runs = ReadLog(log_);
  ASSERT_EQ(runs.size(), 1u);
  // The settings were never read in the library: the bare name, found
  // beside this program.
  EXPECT_EQ(runs[0].commandLine, L"\"MAILPOST.exe\" AUTO \"SUBJECT=Event log error message written from QV9REG\" " +
                                     Quoted(L"BODY=Text:QV9REG " + message) + L" \"RECIP=ops@example.test\"");
  ASSERT_EQ(runs[0].elements.size(), 5u);
  EXPECT_EQ(runs[0].elements[3], L"BODY=Text:QV9REG " + message);

  // The per-user time of the alert is recorded.
  const std::wstring userTime = GetString(HKEY_CURRENT_USER, std::wstring(kAlertDesk) + L"\\Triggers", L"EVENTLOG");
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long nowTicks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  ASSERT_FALSE(userTime.empty());
  const unsigned long long recorded = std::wcstoull(userTime.c_str(), nullptr, 10);
  EXPECT_LE(recorded, nowTicks);
  EXPECT_GT(recorded, nowTicks - 600ull * 10000000ull);

  // A second failure within the interval sends nothing.
  FailingLocate();
  EXPECT_EQ(ReadLog(log_).size(), 1u);
}

TEST_F(LibraryAlert, WithTheMakersCopyTheAlertsOwnFailuresAreNotSentAgain) {
  ASSERT_TRUE(Lib().nad) << "QV9REG.DLL not loaded";
  // TriggerNorva 1 and interval 0: the alert collects trace files, which
  // reads the settings in the library, whose QVGETCFG fails on the same
  // broken record and writes another error entry.
  SetDword(HKEY_LOCAL_MACHINE, std::wstring(kAlertDesk) + L"\\TriggerNorva", L"EVENTLOG", 1);
  SetDword(HKEY_LOCAL_MACHINE, std::wstring(kAlertDesk) + L"\\TriggerIntervals", L"EVENTLOG", 0);
  // Once the settings were read the sender is looked for in the suite's
  // program folder.
  PWSTR programFiles = nullptr;
  ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_ProgramFilesX86, 0, nullptr, &programFiles), S_OK);
  const std::wstring folder = std::wstring(programFiles) + L"\\NORVA\\";
  CoTaskMemFree(programFiles);
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((ProgramFolder() + L"MAILPOST.exe").c_str(), (folder + L"MAILPOST.exe").c_str(), FALSE));

  const std::wstring message = FailingLocate();
  const auto runs = ReadLog(log_);
  DeleteFileW((folder + L"MAILPOST.exe").c_str());
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].elements.size(), 5u);
  EXPECT_EQ(runs[0].elements[0], folder + L"MAILPOST.exe");
  EXPECT_EQ(runs[0].elements[3], L"BODY=Text:QV9REG " + message);
  EXPECT_EQ(runs[0].elements[4], L"RECIP=to,ops@example.test,support@velmora.example");
}

// ---------------------------------------------------------------- flush request

TEST(EngineFlushWine, TheRequestReachesARunningEngineAndWaitsTwoSeconds) {
  EXPECT_EQ(qv::RequestEngineFlush(u"QVNOENGINE"), -1);

  const std::wstring node = L"WINE" + std::to_wstring(GetCurrentProcessId());
  std::wstring line = L"\"" + ProgramFolder() + L"qv_engine_standin.exe\" " + node + L" 1F2F3F5F 42 30";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  // Wait until the engine owns its block.
  bool ready = false;
  for (int i = 0; i < 200 && !ready; ++i) {
    if (HANDLE m = OpenFileMappingW(FILE_MAP_READ, FALSE, (L"TarvexFG" + node).c_str())) {
      if (auto* f = static_cast<const DWORD*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 12))) {
        ready = f[2] == 0x1F2F3F5Fu;
        UnmapViewOfFile(f);
      }
      CloseHandle(m);
    }
    if (!ready) Sleep(50);
  }
  ASSERT_TRUE(ready);
  const auto start = Clock::now();
  EXPECT_EQ(qv::RequestEngineFlush(U(node)), 42);
  EXPECT_GE(Seconds(start), 1.9);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the engine saw no request";
}

}  // namespace
