// Environment, machine identity and version, text conversion, system
// messages and the clock.
#include <memory>
#include <string_view>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using VerifyVersionInfoFn = BOOL(WINAPI*)(OSVERSIONINFOEXW*, DWORD, DWORDLONG);
using VerSetConditionMaskFn = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
using GetSystemWow64DirectoryFn = UINT(WINAPI*)(LPWSTR, UINT);

LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.dayOfWeek = st.wDayOfWeek;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

}  // namespace

// ---------------------------------------------------------------- environment

bool Win32Platform::GetEnvironmentVariable(const String& name, String& value) {
  value.clear();
  std::vector<wchar_t> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    ::SetLastError(0);
    DWORD n = ::GetEnvironmentVariableW(W(name), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;  // 0 without that error: set but empty
    if (n < buffer.size()) {
      value = FromW(buffer.data(), n);
      return true;
    }
    buffer.resize(n);  // n is the size needed, terminator included
  }
  return false;
}

bool Win32Platform::GetEnvironmentStrings(std::vector<std::pair<String, String>>& variables) {
  variables.clear();
  struct FreeBlock {
    void operator()(wchar_t* block) const { ::FreeEnvironmentStringsW(block); }
  };
  const std::unique_ptr<wchar_t, FreeBlock> block(::GetEnvironmentStringsW());
  if (!block) return false;
  // "name=value" strings one after the other, an empty one last. A name may
  // start with "=" (the current folder of each drive: "=C:=C:\WORK").
  for (const wchar_t* at = block.get(); *at != 0;) {
    const std::wstring_view entry(at);
    const std::size_t equals = entry.find(L'=', 1);
    if (equals != std::wstring_view::npos)
      variables.emplace_back(FromW(at, equals), FromW(at + equals + 1, entry.size() - equals - 1));
    at += entry.size() + 1;
  }
  return true;
}

bool Win32Platform::SetEnvironmentVariable(const String& name, const std::optional<String>& value) {
  return ::SetEnvironmentVariableW(W(name), value ? W(*value) : nullptr) != FALSE;
}

std::uint32_t Win32Platform::BroadcastSettingChange(const String& area, std::uint32_t timeoutMs) {
  DWORD_PTR result = 0;
  ::SetLastError(0);
  if (::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(W(area)),
                            SMTO_ABORTIFHUNG, timeoutMs, &result))
    return kOk;
  return LastErrorOr(ERROR_TIMEOUT);
}

// ---------------------------------------------------------------- machine

std::uint32_t Win32Platform::GetComputerName(String& name) {
  name.clear();
  wchar_t buffer[256] = {};
  DWORD size = 256;
  if (!::GetComputerNameW(buffer, &size)) return LastErrorOr(kErrInsufficientBuffer);
  name = FromW(buffer, size);
  return kOk;
}

std::uint32_t Win32Platform::GetPhysicalComputerName(String& name) {
  name.clear();
  wchar_t buffer[256] = {};
  DWORD size = 256;
  if (!::GetComputerNameExW(ComputerNamePhysicalNetBIOS, buffer, &size)) return LastErrorOr(kErrInsufficientBuffer);
  name = FromW(buffer, size);
  return kOk;
}

OsVersion Win32Platform::GetVersion() {
  // RtlGetVersion tells the real version; GetVersionExW reports 6.2 on
  // later systems to programs without a compatibility manifest.
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  bool known = false;
  if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
    if (auto rtlGetVersion = ProcAs<RtlGetVersionFn>(::GetProcAddress(ntdll, "RtlGetVersion")))
      known = rtlGetVersion(&info) == 0;
  }
  if (!known) {
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = sizeof info;
    known = ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
  }
  OsVersion v;
  if (known) {
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    v.build = info.dwBuildNumber;
    v.servicePackMajor = info.wServicePackMajor;
  }
  return v;
}

std::uint32_t Win32Platform::VerifyVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t spMajor,
                                           bool& atLeast) {
  atLeast = false;
  struct Exports {
    VerifyVersionInfoFn verify = nullptr;
    VerSetConditionMaskFn mask = nullptr;
  };
  static const Exports exports = [] {
    Exports e;
    if (HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll")) {
      e.verify = ProcAs<VerifyVersionInfoFn>(::GetProcAddress(kernel, "VerifyVersionInfoW"));
      e.mask = ProcAs<VerSetConditionMaskFn>(::GetProcAddress(kernel, "VerSetConditionMask"));
    }
    return e;
  }();
  if (!exports.verify || !exports.mask) return kApiUnavailable;

  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = static_cast<WORD>(spMajor);
  ULONGLONG condition = 0;
  condition = exports.mask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
  condition = exports.mask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
  condition = exports.mask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  if (exports.verify(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, condition)) {
    atLeast = true;
    return kOk;
  }
  DWORD e = ::GetLastError();
  return e == ERROR_OLD_WIN_VERSION ? kOk : (e != 0 ? e : kErrInvalidParameter);
}

std::uint32_t Win32Platform::GetSystemWow64Directory(String& path) {
  path.clear();
  // kernel32 is in every process; the open-error box is kept away anyway,
  // as for every library looked up by name.
  UINT previous = ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
  ::SetErrorMode(previous | SEM_NOOPENFILEERRORBOX);
  HMODULE kernel = ::LoadLibraryW(L"kernel32.dll");
  ::SetErrorMode(previous);
  if (!kernel) return kApiUnavailable;
  auto getWow64Dir = ProcAs<GetSystemWow64DirectoryFn>(::GetProcAddress(kernel, "GetSystemWow64DirectoryW"));
  std::uint32_t rc = kApiUnavailable;
  if (getWow64Dir) {
    std::vector<wchar_t> buffer(260);
    for (int attempt = 0; attempt < 4; ++attempt) {
      ::SetLastError(0);
      UINT n = getWow64Dir(buffer.data(), static_cast<UINT>(buffer.size()));
      if (n == 0) {
        rc = LastErrorOr(ERROR_CALL_NOT_IMPLEMENTED);
        break;
      }
      if (n < buffer.size()) {
        path = PlainPath(FromW(buffer.data(), n));
        rc = kOk;
        break;
      }
      buffer.resize(n + 1);
    }
  }
  ::FreeLibrary(kernel);
  return rc;
}

String Win32Platform::AnsiToWide(std::string_view bytes) {
  if (bytes.empty()) return String();
  int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return String();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(n));
  n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), buffer.data(), n);
  return FromW(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string Win32Platform::WideToAnsi(StringView text) {
  if (text.empty()) return std::string();
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  int len = static_cast<int>(text.size());
  int n = ::WideCharToMultiByte(CP_ACP, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  n = ::WideCharToMultiByte(CP_ACP, 0, w, len, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return out;
}

std::string Win32Platform::WideToAnsiExact(StringView text, bool& usedDefault) {
  usedDefault = false;
  if (text.empty()) return std::string();
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  // UTF-8 as the ANSI code page has every character and takes neither the
  // flag nor the used-default question.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used = FALSE;
  int n = ::WideCharToMultiByte(CP_ACP, flags, w, len, nullptr, 0, nullptr, utf8 ? nullptr : &used);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  n = ::WideCharToMultiByte(CP_ACP, flags, w, len, out.data(), n, nullptr, utf8 ? nullptr : &used);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  usedDefault = used != FALSE;
  return out;
}

String Win32Platform::FormatSystemMessage(std::uint32_t code) {
  LPWSTR text = nullptr;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  String message = n != 0 && text ? FromW(text, n) : String();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n')) message.pop_back();
  return message;
}

// ---------------------------------------------------------------- clock

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return FromSystemTime(st);
}

FileTime Win32Platform::GetSystemTimeAsFileTime() {
  FILETIME ft{};
  ::GetSystemTimeAsFileTime(&ft);
  return ToFileTime(ft);
}

LocalTime Win32Platform::FileTimeToLocalTime(FileTime utc) {
  // Converted with the daylight-saving rule of the date itself, not of today.
  FILETIME ft = ToFILETIME(utc);
  SYSTEMTIME universal{}, local{};
  if (!::FileTimeToSystemTime(&ft, &universal)) return LocalTime{};
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return FromSystemTime(universal);
  return FromSystemTime(local);
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace qv::platform::win32
