// The real Win32 implementation of the platform seam (W functions only).
// Private to platform/win32/ and its tests: everything above the seam sees
// only qv::platform::Platform.
#pragma once

#include <windows.h>

#include <string>

#include "platform/seam.h"

namespace qv::platform::win32 {

// ------------------------------------------------------------ conversions
// wchar_t is 16 bits on Windows, so qv::String and std::wstring hold the
// same code units.
inline const wchar_t* W(const String& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline const wchar_t* WOrNull(const String& s) { return s.empty() ? nullptr : W(s); }
inline String FromW(const wchar_t* s) { return s ? String(reinterpret_cast<const char16_t*>(s)) : String(); }
inline String FromW(const wchar_t* s, std::size_t n) {
  return s ? String(reinterpret_cast<const char16_t*>(s), n) : String();
}

// Paths handed back to the callers are in plain drive or \\SERVER\SHARE form.
// Rewrites "\\?\X:\...", "\??\X:\..." to "X:\...", "\\?\UNC\S\..." and
// "\??\UNC\S\..." to "\\S\...", and Wine's "UNC\S\..." (how it reports the
// module name of a program started from a share) to "\\S\...". Other text is
// returned unchanged.
String PlainPath(const String& path);

inline Handle ToHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }
inline HANDLE ToHANDLE(Handle h) { return reinterpret_cast<HANDLE>(h); }

inline FileTime ToFileTime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME ToFILETIME(FileTime t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

// Exports found with GetProcAddress are converted through void(*)(), the
// one function type that casts cleanly to every other.
template <typename F>
F ProcAs(FARPROC p) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

// The last error, never 0: a call that failed without setting one still
// reports a failure.
inline std::uint32_t LastErrorOr(std::uint32_t fallback) {
  DWORD e = ::GetLastError();
  return e != 0 ? e : fallback;
}

// ---------------------------------------------------------------- platform
class Win32Platform final : public Platform {
 public:
  // files and folders (files.cpp)
  std::uint32_t GetFileAttributes(const String& path, std::uint32_t& attributes) override;
  std::uint32_t CreateDirectory(const String& path) override;
  std::uint32_t RemoveDirectory(const String& path) override;
  std::uint32_t OpenFile(const String& path, std::uint32_t access, std::uint32_t share, Disposition disposition,
                         Handle& file) override;
  std::uint32_t ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t& read) override;
  std::uint32_t WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t& written) override;
  std::uint32_t SeekToEnd(Handle file, std::uint64_t& newPosition) override;
  std::uint32_t GetFileSize(Handle file, std::uint64_t& size) override;
  std::uint32_t GetFileWriteTimeOf(Handle file, FileTime& lastWrite) override;
  std::uint32_t DeleteFile(const String& path) override;
  std::uint32_t ReplaceFileWith(const String& from, const String& to) override;
  std::uint32_t GetTempFileName(const String& folder, const String& prefix, String& path,
                                std::uint32_t unique = 0) override;
  std::uint32_t GetTempPath(String& path) override;
  std::uint32_t GetFullPathName(const String& path, String& full) override;
  std::uint32_t FindFirstFileWriteTime(const String& pattern, FileTime& lastWrite) override;
  DriveType GetDriveType(const String& rootPath) override;
  std::uint32_t GetVolumeInformation(const String& rootPath, std::uint32_t& fileSystemFlags,
                                     String& fileSystemName, String* volumeName = nullptr,
                                     std::uint32_t* serialNumber = nullptr) override;
  void CloseHandle(Handle handle) override;

  // network names and shares (network.cpp)
  std::uint32_t QueryDosDevice(const String& deviceName, std::vector<String>& targets) override;
  std::uint32_t GetUniversalName(const String& path, String& universalName) override;
  std::uint32_t NetShareGetInfo(const String& server, const String& share, String& localPath) override;
  std::uint32_t NetShareEnum(std::uint32_t& resumeHandle, std::vector<ShareEntry>& batch) override;

  // registry (registry.cpp)
  std::uint32_t RegOpenKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) override;
  std::uint32_t RegCreateKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) override;
  std::uint32_t RegQueryValue(Handle key, const String& valueName, RegValue& value, bool wantData) override;
  std::uint32_t RegSetValue(Handle key, const String& valueName, RegType type, const Bytes& data) override;
  std::uint32_t RegDeleteValue(Handle key, const String& valueName) override;
  void RegCloseKey(Handle key) override;

  // environment (system.cpp)
  bool GetEnvironmentVariable(const String& name, String& value) override;
  bool GetEnvironmentStrings(std::vector<std::pair<String, String>>& variables) override;
  bool SetEnvironmentVariable(const String& name, const std::optional<String>& value) override;
  std::uint32_t BroadcastSettingChange(const String& area, std::uint32_t timeoutMs) override;

  // shell (shell.cpp)
  // Returns SHGetFolderPathW's HRESULT; the path is whatever the call left in
  // its buffer (callers do not consult the result).
  std::uint32_t GetFolderPathByCsidl(int csidl, String& path) override;
  std::uint32_t GetKnownFolderPath(KnownFolder folder, String& path) override;
  std::uint32_t CreateShellLink(const String& linkPath, const ShellLink& link) override;
  std::uint32_t ReadShellLink(const String& linkPath, ShellLink& link) override;

  // security and accounts (security.cpp)
  std::uint32_t GetFileDacl(const String& path, Dacl& dacl) override;
  std::uint32_t SetFileDacl(const String& path, const Dacl& dacl) override;
  std::uint32_t LookupAccountSid(const String& sid, AccountName& account,
                                 const String& systemName = String()) override;
  std::uint32_t LookupAccountName(const String& name, String& sid, const String& systemName = String()) override;
  std::uint32_t GetUserName(String& name) override;
  std::uint32_t GetTokenElevation(bool& elevated) override;
  std::uint32_t CheckAdministratorsMembership(bool& member) override;

  // machine (system.cpp)
  std::uint32_t GetComputerName(String& name) override;
  std::uint32_t GetPhysicalComputerName(String& name) override;
  OsVersion GetVersion() override;
  std::uint32_t VerifyVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t spMajor,
                              bool& atLeast) override;
  std::uint32_t GetSystemWow64Directory(String& path) override;
  String AnsiToWide(std::string_view bytes) override;
  std::string WideToAnsi(StringView text) override;
  std::string WideToAnsiExact(StringView text, bool& usedDefault) override;
  String FormatSystemMessage(std::uint32_t code) override;

  // processes, modules, strings (process.cpp)
  std::uint32_t CurrentProcessId() override;
  std::uint32_t ProcessSnapshot(std::vector<ProcessEntry>& processes) override;
  Handle CurrentModule() override;
  bool CurrentModuleIsLibrary() override;
  String ModuleFileName(Handle module) override;
  Handle LoadLibrary(const String& name, std::uint32_t& error) override;
  void* GetProcAddress(Handle module, const char* name) override;
  void FreeLibrary(Handle module) override;
  String LoadString(Handle module, std::uint32_t id) override;
  std::uint32_t SetErrorMode(std::uint32_t mode) override;
  [[noreturn]] void ExitProcess(std::uint32_t exitCode) override;
  [[noreturn]] void TerminateCurrentProcess(std::uint32_t exitCode) override;
  std::uint32_t CreateProcess(const String& commandLine, const String& workingDirectory, std::uint16_t showMode,
                              Handle& process) override;
  std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs) override;
  std::uint32_t GetExitCodeProcess(Handle process, std::uint32_t& exitCode) override;
  std::uint32_t TerminateProcess(Handle process, std::uint32_t exitCode) override;

  // clock (system.cpp)
  LocalTime GetLocalTime() override;
  FileTime GetSystemTimeAsFileTime() override;
  LocalTime FileTimeToLocalTime(FileTime utc) override;
  void Sleep(std::uint32_t milliseconds) override;

  // windows and dialogs (ui.cpp)
  int MessageBox(const String& text, const String& caption, std::uint32_t style) override;
  Handle FindWindow(const String& className, const String& title) override;
  Handle FindWindowByTitle(const String& title) override;
  bool EndDialog(Handle window, int result) override;
  std::uintptr_t SendCopyData(Handle window, std::uintptr_t dataWord, const Bytes& data) override;
  int ShowDialog(const DialogRequest& request) override;  // connect_dialog.cpp

  // event log (eventlog.cpp)
  Handle RegisterEventSource(const String& sourceName) override;
  std::uint32_t ReportEvent(Handle source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                            const String& userSid, const std::vector<String>& strings) override;
  void DeregisterEventSource(Handle source) override;

  // named shared memory (sharedmem.cpp)
  std::uint32_t CreateSharedMemory(const String& name, std::uint32_t size, Handle& mapping,
                                   bool& alreadyExisted) override;
  void* MapSharedMemory(Handle mapping, std::uint32_t size) override;
  void UnmapSharedMemory(void* view) override;
};

// The plain message-box form of the connect program's dialog, split out so
// that its choices can be checked without showing anything.
struct MessageBoxForm {
  std::uint32_t style = 0;   // MB_* buttons and icon
  String text;               // message, and the detail after an empty line
  int countdownResult = 0;   // result that the countdown closes with; 0: none
  std::uint32_t countdownMs = 0;
};
MessageBoxForm PlanDialog(const DialogRequest& request);
// Shows the request as that message box (ui.cpp).
int ShowDialogAsMessageBox(const DialogRequest& request);

}  // namespace qv::platform::win32
