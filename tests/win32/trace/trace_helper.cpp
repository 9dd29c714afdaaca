// A helper program for the trace tests under Wine.
//
//   qv_trace_helper append FOLDER NAME COUNT
//       traces to a file in FOLDER under NAME from two threads, COUNT lines
//       each, about a millisecond apart; every line names its process,
//       thread and number and carries a padding whose length follows from
//       the number; exit code 0
//   qv_trace_helper lines TEXT...
//       InitTrace under its own module name, then one line per TEXT when
//       trace flag 4 is set (as the connect program traces its steps)
//   qv_trace_helper ancestry
//       exit code: FindAncestorProcess over the four service programs
//   qv_trace_helper spawn COMMAND...
//       runs COMMAND (the rest of the command line) and returns its exit code
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <thread>

#include "platform/sysinfo.h"
#include "trace/trace.h"

namespace {

qv::String Q(const wchar_t* text) {
  qv::String out;
  for (; *text; ++text) out += static_cast<char16_t>(*text);
  return out;
}

int Append(const qv::String& folder, const qv::String& name, int count) {
  qv::SetFileTraceRequested(true);
  qv::InitTrace(name, folder);
  const unsigned pid = ::GetCurrentProcessId();
  auto writer = [&](int thread) {
    for (int i = 0; i < count; ++i) {
      const qv::String padding(static_cast<std::size_t>((i * 37 + thread * 11) % 300), u'x');
      qv::WriteTraceFmt(u"P%u T%d L%d %s END", pid, thread, i, padding);
      // A program does some work between two trace lines.
      ::Sleep(1);
    }
  };
  std::thread second(writer, 2);
  writer(1);
  second.join();
  return 0;
}

// The command line after the first two words (program and "spawn").
std::wstring RestOfCommandLine() {
  const wchar_t* p = ::GetCommandLineW();
  for (int word = 0; word < 2; ++word) {
    while (*p == L' ' || *p == L'\t') ++p;
    bool quoted = false;
    while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
      if (*p == L'"') quoted = !quoted;
      ++p;
    }
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

int Spawn() {
  std::wstring command = RestOfCommandLine();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return 200;
  ::WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 201;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return static_cast<int>(code);
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 100;
  const std::wstring mode = argv[1];
  if (mode == L"append" && argc == 5) return Append(Q(argv[2]), Q(argv[3]), _wtoi(argv[4]));
  if (mode == L"lines") {
    qv::InitTrace(u"", u"");
    for (int i = 2; i < argc && qv::TraceFlag4(); ++i) qv::WriteTrace(Q(argv[i]));
    return 0;
  }
  if (mode == L"ancestry")
    return qv::FindAncestorProcess({u"QVESERVICE.exe", u"QVXSERVICE.exe", u"QVOMASERVICE.exe", u"QVGATEWAY.exe"});
  if (mode == L"spawn") return Spawn();
  return 100;
}
