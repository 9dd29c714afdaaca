// Trace-file load: several processes with several threads each trace into
// one file at once; the program prints what arrived.
//
//   qv_trace_load [PROCESSES THREADS LINES [FOLDER]]    (default 4 2 5000)
//       starts PROCESSES copies of itself that each trace LINES lines from
//       each of THREADS threads into FOLDER\QVLOAD.FT<day> (default: a fresh
//       folder in %TEMP%), waits for them, reads the file and prints
//         lines written, lines found, lost, dropped (lost lines the writer
//         gave up after its ten attempts, each with its "Trace Error"),
//         duplicated, torn lines, retries used, seconds
//       Exit code 0 when no line is torn or duplicated and every lost line
//       is one the writer reported dropping, else 1.
//   qv_trace_load child FOLDER THREADS LINES
//       one of those processes; its exit code is 100000 times the lines
//       it gave up after ten failed attempts plus the write retries it
//       needed, -1 when it failed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "trace/trace.h"

namespace {

constexpr wchar_t kName[] = L"QVLOAD";

qv::String Q(const std::wstring& text) { return qv::String(text.begin(), text.end()); }

// The padding of a line: its length follows from the line's numbers, so a
// line cut short or run into another is recognised.
std::size_t PaddingOf(unsigned process, int thread, int line) {
  return static_cast<std::size_t>((line * 37 + thread * 11 + process * 5) % 200);
}

int Child(const std::wstring& folder, unsigned process, int threads, int lines) {
  qv::SetFileTraceRequested(true);
  qv::InitTrace(Q(kName), Q(folder));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([=] {
      for (int n = 0; n < lines; ++n) {
        qv::WriteTraceFmt(u"P%u T%d L%d %s END", process, t, n, qv::String(PaddingOf(process, t, n), u'x'));
        // A program does some work between two trace lines. Without any
        // pause, eight writers hold the file so often that one of them
        // can fail all ten attempts of a line (the writer's documented
        // limit of ten tries at 10 ms), which is not the load of the suite.
        ::Sleep(1);
      }
    });
  for (std::thread& w : workers) w.join();
  // Exit code: dropped lines * 100000 + retries (each capped).
  const std::uint64_t retries = std::min<std::uint64_t>(qv::TraceWriteRetries(), 99999);
  const std::uint64_t dropped = std::min<std::uint64_t>(qv::TraceLinesDropped(), 9999);
  return static_cast<int>(dropped * 100000 + retries);
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring FreshFolder() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"qvload-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// The one trace file the run wrote (QVLOAD.FT1 ... FT7, by weekday).
std::string ReadTraceFile(const std::wstring& folder, int& files) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder + L"\\QVLOAD.FT?").c_str(), &found);
  std::string text;
  files = 0;
  if (search == INVALID_HANDLE_VALUE) return text;
  do {
    ++files;
    HANDLE file = ::CreateFileW((folder + L"\\" + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    ::CloseHandle(file);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return text;
}

int Parent(int processes, int threads, int lines, std::wstring folder) {
  if (folder.empty()) folder = FreshFolder();
  const auto start = std::chrono::steady_clock::now();
  std::vector<HANDLE> running;
  for (int p = 0; p < processes; ++p) {
    std::wstring command = L"\"" + ProgramPath() + L"\" child \"" + folder + L"\" " + std::to_wstring(threads) + L" " +
                           std::to_wstring(lines);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      std::printf("cannot start process %d: error %lu\n", p, ::GetLastError());
      return 1;
    }
    ::CloseHandle(info.hThread);
    running.push_back(info.hProcess);
  }
  unsigned long retries = 0, dropped = 0;
  bool failed = false;
  for (HANDLE h : running) {
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(h, 15 * 60 * 1000) != WAIT_OBJECT_0 || !::GetExitCodeProcess(h, &code) ||
        code == static_cast<DWORD>(-1)) {
      failed = true;
    } else {
      retries += code % 100000;
      dropped += code / 100000;
    }
    ::CloseHandle(h);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  int files = 0;
  std::string text = ReadTraceFile(folder, files);
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::set<std::string> seen;
  long found = 0, torn = 0, duplicated = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    const bool complete = end != std::string::npos;
    if (!complete) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = complete ? end + 2 : end;
    // "DD/HH:MM:SS.mmm QVLOAD P<p> T<t> L<n> <padding> END"
    unsigned p = 0;
    int t = 0, n = 0, used = 0;
    const std::size_t body = line.find(" QVLOAD P");
    bool ok = complete && body == 15 &&
              std::sscanf(line.c_str() + body, " QVLOAD P%u T%d L%d%n", &p, &t, &n, &used) == 3 && used > 0;
    if (ok) {
      const std::string rest = line.substr(body + static_cast<std::size_t>(used));
      ok = rest == " " + std::string(PaddingOf(p, t, n), 'x') + " END" && t >= 0 && t < threads && n >= 0 && n < lines;
    }
    if (!ok) {
      if (++torn <= 5) std::printf("torn: %.160s\n", line.c_str());
      continue;
    }
    ++found;
    if (!seen.insert(line.substr(body)).second) ++duplicated;
  }
  const long written = static_cast<long>(processes) * threads * lines;
  const long lost = written - static_cast<long>(seen.size());
  std::printf("processes %d, threads %d, lines per thread %d, trace files %d\n", processes, threads, lines, files);
  std::printf("lines written %ld\nlines found %ld\nlost %ld\ndropped after ten attempts %lu\nduplicated %ld\n"
              "torn lines %ld\nretries used %lu\nseconds %.1f\n",
              written, found, lost, dropped, duplicated, torn, retries, seconds);
  const bool unaccounted = lost != static_cast<long>(dropped);
  if (unaccounted) std::printf("LOST WITHOUT TRACE: %ld lines\n", lost - static_cast<long>(dropped));
  return failed || unaccounted || duplicated != 0 || torn != 0 || files != 1 ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 5 && std::wstring(argv[1]) == L"child")
    return Child(argv[2], ::GetCurrentProcessId(), _wtoi(argv[3]), _wtoi(argv[4]));
  const int processes = argc > 3 ? _wtoi(argv[1]) : 4;
  const int threads = argc > 3 ? _wtoi(argv[2]) : 2;
  const int lines = argc > 3 ? _wtoi(argv[3]) : 5000;
  return Parent(processes, threads, lines, argc > 4 ? argv[4] : L"");
}
