// Processes, modules, string resources and error modes.

#include <vector>

#include "platform/win32/win32_platform.h"

#include <tlhelp32.h>

namespace qv::platform::win32 {

namespace {
HMODULE ToHMODULE(Handle module) { return reinterpret_cast<HMODULE>(module); }
HMODULE ProgramOr(Handle module) { return module != 0 ? ToHMODULE(module) : ::GetModuleHandleW(nullptr); }

String FileNamePart(const String& path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == String::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::uint32_t Win32Platform::CurrentProcessId() { return ::GetCurrentProcessId(); }

std::uint32_t Win32Platform::ProcessSnapshot(std::vector<ProcessEntry>& processes) {
  processes.clear();
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return LastErrorOr(kErrNotEnoughMemory);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::uint32_t rc = kOk;
  if (::Process32FirstW(snapshot, &entry)) {
    do {
      entry.szExeFile[MAX_PATH - 1] = L'\0';
      processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID, FileNamePart(FromW(entry.szExeFile))});
      entry.dwSize = sizeof entry;
    } while (::Process32NextW(snapshot, &entry));
  }
  DWORD e = ::GetLastError();
  if (e != ERROR_NO_MORE_FILES && e != 0) rc = e;
  ::CloseHandle(snapshot);
  return rc;
}

Handle Win32Platform::CurrentModule() {
  // The module that holds this very function: the program, or the library
  // this code was linked into.
  HMODULE module = nullptr;
  static const int anchor = 0;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
    return reinterpret_cast<Handle>(::GetModuleHandleW(nullptr));
  return reinterpret_cast<Handle>(module);
}

bool Win32Platform::CurrentModuleIsLibrary() {
  return CurrentModule() != reinterpret_cast<Handle>(::GetModuleHandleW(nullptr));
}

String Win32Platform::ModuleFileName(Handle module) {
  HMODULE h = ProgramOr(module);
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  while (buffer.size() <= 65536) {
    DWORD n = ::GetModuleFileNameW(h, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return String();
    if (n < buffer.size()) return PlainPath(FromW(buffer.data(), n));
    buffer.resize(buffer.size() * 2);  // truncated
  }
  return String();
}

Handle Win32Platform::LoadLibrary(const String& name, std::uint32_t& error) {
  HMODULE h = ::LoadLibraryW(W(name));
  error = h ? kOk : LastErrorOr(kErrModNotFound);
  return reinterpret_cast<Handle>(h);
}

void* Win32Platform::GetProcAddress(Handle module, const char* name) {
  if (module == 0 || !name) return nullptr;
  return reinterpret_cast<void*>(ProcAs<void (*)()>(::GetProcAddress(ToHMODULE(module), name)));
}

void Win32Platform::FreeLibrary(Handle module) {
  if (module != 0) ::FreeLibrary(ToHMODULE(module));
}

String Win32Platform::LoadString(Handle module, std::uint32_t id) {
  HMODULE h = ProgramOr(module);
  // With a zero size LoadStringW hands out a read-only pointer to the
  // resource text and its full length (the text is not NUL-terminated).
  const wchar_t* text = nullptr;
  int n = ::LoadStringW(h, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n > 0 && text) return FromW(text, static_cast<std::size_t>(n));
  wchar_t buffer[2048] = {};
  n = ::LoadStringW(h, id, buffer, 2048);
  return n > 0 ? FromW(buffer, static_cast<std::size_t>(n)) : String();
}

std::uint32_t Win32Platform::SetErrorMode(std::uint32_t mode) { return ::SetErrorMode(mode); }

void Win32Platform::ExitProcess(std::uint32_t exitCode) { ::ExitProcess(exitCode); }

void Win32Platform::TerminateCurrentProcess(std::uint32_t exitCode) {
  ::TerminateProcess(::GetCurrentProcess(), exitCode);
  ::ExitProcess(exitCode);  // only if the termination was refused
}

std::uint32_t Win32Platform::CreateProcess(const String& commandLine, const String& workingDirectory,
                                           std::uint16_t showMode, Handle& process) {
  process = 0;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showMode;
  // CreateProcessW may write into the command line.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, WOrNull(workingDirectory),
                        &startup, &info))
    return LastErrorOr(kErrFileNotFound);
  ::CloseHandle(info.hThread);
  process = ToHandle(info.hProcess);
  return kOk;
}

std::uint32_t Win32Platform::WaitForProcess(Handle process, std::uint32_t timeoutMs) {
  DWORD r = ::WaitForSingleObject(ToHANDLE(process), timeoutMs);
  switch (r) {
    case WAIT_OBJECT_0: return kWaitObject0;
    case WAIT_TIMEOUT: return kWaitTimeout;
    default: return kWaitFailed;
  }
}

std::uint32_t Win32Platform::GetExitCodeProcess(Handle process, std::uint32_t& exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(ToHANDLE(process), &code)) return LastErrorOr(kErrInvalidHandle);
  exitCode = code;
  return kOk;
}

std::uint32_t Win32Platform::TerminateProcess(Handle process, std::uint32_t exitCode) {
  return ::TerminateProcess(ToHANDLE(process), exitCode) ? kOk : LastErrorOr(kErrAccessDenied);
}

}  // namespace qv::platform::win32
