// Tracing with the real Win32 API (under Wine): two processes appending to
// one trace file, the monitor program receiving lines by WM_COPYDATA, the
// QV9TRACE.DLL double, and process ancestry across real processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/sysinfo.h"
#include "settings/service_identity.h"
#include "trace/trace.h"

namespace {

const wchar_t kTraceKey[] = L"Software\\Norva\\QTTRACE";
const wchar_t kExternalKey[] = L"Software\\Norva\\QVTRC";
constexpr DWORD kHangGuardMs = 120000;  // only against a hung child, never a measure

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

// An empty scratch folder below the temporary folder (files of an earlier
// run are removed).
std::wstring ScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"qvtrace_" + name + L"\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  return folder;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "(no CR LF)");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

HANDLE Start(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return nullptr;
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

// Runs a program to its end; its exit code, or -1.
int RunToEnd(const std::wstring& commandLine) {
  HANDLE process = Start(commandLine);
  if (!process) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process, kHangGuardMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return static_cast<int>(code);
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Sets trace registry values under HKEY_LOCAL_MACHINE for one test and
// removes them (and the keys it created) afterwards.
class MachineTraceValues {
 public:
  ~MachineTraceValues() {
    for (const auto& [key, name] : values_) {
      HKEY h = nullptr;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        ::RegDeleteValueW(h, name.c_str());
        ::RegCloseKey(h);
      }
    }
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, it->c_str());
  }
  bool Set(const std::wstring& key, const std::wstring& name, DWORD value) {
    HKEY h = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, &disposition) !=
        ERROR_SUCCESS)
      return false;
    if (disposition == REG_CREATED_NEW_KEY) created_.push_back(key);
    values_.emplace_back(key, name);
    const LONG rc = ::RegSetValueExW(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(h);
    return rc == ERROR_SUCCESS;
  }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> values_;
  std::vector<std::wstring> created_;
};

class TraceWin32 : public ::testing::Test {
 protected:
  TraceWin32() { qv::ResetTraceForTests(); }
  ~TraceWin32() override { qv::ResetTraceForTests(); }
};

}  // namespace

TEST_F(TraceWin32, TwoProcessesWithTwoThreadsEachLoseNoLine) {
  const std::wstring folder = ScratchFolder(L"shared");
  const std::wstring helper = Quoted(ProgramFolder() + L"qv_trace_helper.exe");
  constexpr int kLines = 80;
  const std::wstring args = L" append " + Quoted(folder.substr(0, folder.size() - 1)) + L" QVSHARED " +
                            std::to_wstring(kLines);
  HANDLE first = Start(helper + args);
  HANDLE second = Start(helper + args);
  ASSERT_TRUE(first && second);
  for (HANDLE h : {first, second}) {
    EXPECT_EQ(::WaitForSingleObject(h, kHangGuardMs), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(h, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(h);
  }

  // Normally one file; two when the run crossed midnight.
  std::vector<std::string> lines;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder + L"QVSHARED.FT?").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    const std::string bytes = ReadFileBytes(folder + found.cFileName);
    ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    for (const std::string& line : SplitLines(bytes.substr(3))) lines.push_back(line);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);

  const std::regex shape(R"(\d\d/\d\d:\d\d:\d\d\.\d\d\d QVSHARED P(\d+) T([12]) L(\d+) (x*) END)");
  std::set<std::string> seen;
  std::set<std::string> processes;
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const int thread = std::stoi(m[2]);
    const int number = std::stoi(m[3]);
    EXPECT_EQ(m[4].length(), (number * 37 + thread * 11) % 300) << line;  // the line arrived whole
    EXPECT_TRUE(seen.insert(std::string(m[1]) + "/" + std::string(m[2]) + "/" + std::string(m[3])).second) << line;
    processes.insert(m[1]);
  }
  ASSERT_EQ(processes.size(), 2u);
  std::string missing;
  for (const std::string& pid : processes)
    for (int thread = 1; thread <= 2; ++thread)
      for (int number = 0; number < kLines; ++number) {
        const std::string key = pid + "/" + std::to_string(thread) + "/" + std::to_string(number);
        if (!seen.count(key)) missing += " " + key;
      }
  EXPECT_EQ(missing, "") << "lines lost";
}

TEST_F(TraceWin32, MonitorReceivesLinesWithTheirDataWords) {
  const std::wstring log = ScratchFolder(L"monitor") + L"received.txt";
  ASSERT_EQ(::FindWindowW(L"TTraceForm", nullptr), nullptr) << "another trace monitor is running";
  HANDLE monitor = Start(Quoted(ProgramFolder() + L"tracemonitor.exe") + L" " + Quoted(L"/log:" + log));
  ASSERT_TRUE(monitor);
  HWND window = nullptr;
  for (int i = 0; i < 600 && !window; ++i) {  // wait for the window to open
    window = ::FindWindowW(L"TTraceForm", nullptr);
    if (!window) ::Sleep(50);
  }
  ASSERT_NE(window, nullptr);

  {
    MachineTraceValues values;
    ASSERT_TRUE(values.Set(kTraceKey, L"QVMONTEST", 4));
    qv::InitTrace(u"QvMonTest", u"");
    EXPECT_TRUE(qv::TraceFlag4());
    qv::WriteTrace(u"plain line");
    qv::WriteTrace(u">>step line");
    qv::WriteTrace(u"Grüße");
    ASSERT_TRUE(values.Set(kTraceKey, L"QVMONTEST", 132));
    qv::InitTrace(u"QvMonTest", u"");
    qv::WriteTrace(u"all highlighted");
    qv::WriteTrace(qv::String(3000, u'y'));
  }

  EXPECT_EQ(RunToEnd(Quoted(ProgramFolder() + L"tracemonitor.exe") + L" /close"), 0);
  EXPECT_EQ(::WaitForSingleObject(monitor, kHangGuardMs), WAIT_OBJECT_0);
  ::CloseHandle(monitor);

  std::vector<std::string> received;
  for (const std::string& line : SplitLines(ReadFileBytes(log)))
    if (line.find(" QVMONTEST ") != std::string::npos) received.push_back(line);  // lines of this test only
  const std::vector<std::string> expected = {
      "1 QVMONTEST plain line",
      "129 QVMONTEST >>step line",
      "1 QVMONTEST Gr\xC3\xBC\xC3\x9F" "e",
      "129 QVMONTEST all highlighted",
      "129 QVMONTEST " + std::string(2048 - 10, 'y'),
  };
  EXPECT_EQ(received, expected);
}

TEST_F(TraceWin32, ExternalLibraryDoubleReceivesCallsAndPostingStopsAfterARefusal) {
  HMODULE library = ::LoadLibraryW(L"QV9TRACE.DLL");
  ASSERT_NE(library, nullptr);
  using ResetFn = void (*)(int);
  using CountFn = int (*)();
  using CallFn = int (*)(int, char16_t*, int);
  auto reset = reinterpret_cast<ResetFn>(reinterpret_cast<void*>(::GetProcAddress(library, "QV9TRACE_DoubleReset")));
  auto count = reinterpret_cast<CountFn>(reinterpret_cast<void*>(::GetProcAddress(library, "QV9TRACE_DoubleCallCount")));
  auto call = reinterpret_cast<CallFn>(reinterpret_cast<void*>(::GetProcAddress(library, "QV9TRACE_DoubleCall")));
  ASSERT_TRUE(reset && count && call);
  reset(2);

  {
    MachineTraceValues values;
    ASSERT_TRUE(values.Set(kTraceKey, L"QVEXTPROG", 4));
    ASSERT_TRUE(values.Set(kExternalKey, L"QVEXTTEST", 1));
    qv::SetExternalTraceName(u"QVEXTTEST");
    qv::InitTrace(u"QvExtProg", u"");
    qv::WriteTrace(u"one");
    qv::WriteTrace(u"two");
    qv::WriteTrace(u"three");
  }

  std::vector<std::string> calls;
  for (int i = 0; i < count(); ++i) {
    char16_t buffer[4096] = {};
    ASSERT_GE(call(i, buffer, 4096), 0);
    calls.push_back(qv::ToUtf8(buffer));
  }
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], "InitQVTRACE QVEXTTEST");
  EXPECT_EQ(calls[1], "GetDestination");
  const std::regex post(R"(PostQVTRACE 0 \d\d:\d\d:\d\d\.\d\d\d  QVEXTPROG (one|two))");
  EXPECT_TRUE(std::regex_match(calls[2], post)) << calls[2];
  EXPECT_TRUE(std::regex_match(calls[3], post)) << calls[3];
  EXPECT_NE(calls[3].find("two"), std::string::npos);
  ::FreeLibrary(library);
}

TEST_F(TraceWin32, FindAncestorProcessFindsARealParentUnderAnotherName) {
  const std::wstring folder = ScratchFolder(L"ancestry");
  const std::wstring helper = ProgramFolder() + L"qv_trace_helper.exe";
  const std::wstring connector = folder + L"QVXSERVICE.exe";
  const std::wstring gateway = folder + L"QVGATEWAY.exe";
  ASSERT_TRUE(::CopyFileW(helper.c_str(), connector.c_str(), FALSE));
  ASSERT_TRUE(::CopyFileW(helper.c_str(), gateway.c_str(), FALSE));

  struct Case {
    const char* what;
    std::wstring commandLine;
    int expected;
  } cases[] = {
      {"started by this test", Quoted(helper) + L" ancestry", 0},
      {"started by the connector", Quoted(connector) + L" spawn " + Quoted(helper) + L" ancestry", 2},
      {"started by the connector through cmd.exe", Quoted(connector) + L" spawn cmd.exe /c " + helper + L" ancestry",
       2},
      {"the gateway itself, started by the connector", Quoted(connector) + L" spawn " + Quoted(gateway) + L" ancestry",
       4},
  };
  for (const Case& c : cases) EXPECT_EQ(RunToEnd(c.commandLine), c.expected) << c.what;

  qv::ResetAncestorCacheForTests();
  EXPECT_EQ(qv::FindAncestorProcess({u"QV_TRACE_WIN32_TESTS.EXE"}), 1);  // its own name, any letter case
  qv::ResetAncestorCacheForTests();
}
