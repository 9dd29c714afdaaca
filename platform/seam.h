// The platform seam: every operating-system operation of the system passes
// through one table of virtual functions, qv::platform::Platform.
//
// Two implementations exist:
//   - Win32Platform (platform/win32/): the real Win32 API, W functions only.
//     The Windows builds use it by default.
//   - MemoryMachine (platform/memory/): an in-memory Windows machine with
//     files, shares, drives, registry, processes, windows and a clock, plus
//     failure injection and operation counts. Tests and the native build use it.
//
// Rules for code above the seam:
//   - never include <windows.h>; use the types and constants below;
//   - every operation returns its Win32 error code (0 = success) or states
//     its result; there is no thread-global "last error";
//   - paths come back in plain drive or \\SERVER\SHARE form, never \\?\.
//
// Operations that the system loads "by name" from a library (NetShareGetInfo
// from NETAPI32.DLL, SHGetFolderPathW from SHFolder.dll, ...) do that load
// inside the real implementation at each call, as the callers expect; when
// the library or export is missing they return kApiUnavailable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace qv::platform {

// ---------------------------------------------------------------- constants
// Win32 error codes that the system looks at.
inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kErrFileNotFound = 2;
inline constexpr std::uint32_t kErrPathNotFound = 3;
inline constexpr std::uint32_t kErrAccessDenied = 5;
inline constexpr std::uint32_t kErrInvalidHandle = 6;
inline constexpr std::uint32_t kErrNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrSharingViolation = 32;
inline constexpr std::uint32_t kErrNotSupported = 50;
inline constexpr std::uint32_t kErrBadNetPath = 53;
inline constexpr std::uint32_t kErrFileExists = 80;
inline constexpr std::uint32_t kErrInvalidParameter = 87;
inline constexpr std::uint32_t kErrInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrFileTooLarge = 223;
inline constexpr std::uint32_t kErrInvalidName = 123;
inline constexpr std::uint32_t kErrModNotFound = 126;
inline constexpr std::uint32_t kErrProcNotFound = 127;
inline constexpr std::uint32_t kErrAlreadyExists = 183;
inline constexpr std::uint32_t kErrMoreData = 234;
inline constexpr std::uint32_t kErrNoMoreItems = 259;
inline constexpr std::uint32_t kErrNoUnicodeTranslation = 1113;
inline constexpr std::uint32_t kErrNoneMapped = 1332;
inline constexpr std::uint32_t kErrNotConnected = 2250;
inline constexpr std::uint32_t kErrNetNameNotFound = 2310;  // NERR_NetNameNotFound
// Returned by operations whose library or export could not be loaded.
inline constexpr std::uint32_t kApiUnavailable = 0xFFFFFFFFu;

// Opaque handles. 0 is "none".
using Handle = std::uintptr_t;
using FileTime = std::uint64_t;  // UTC, 100 ns ticks since 1601-01-01

// Registry roots, with the predefined handle values (messages show them).
enum class RootKey : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  PerformanceData = 0x80000004u,
  CurrentConfig = 0x80000005u,
  DynData = 0x80000006u,
};

enum class RegType : std::uint32_t {
  None = 0,
  Sz = 1,
  ExpandSz = 2,
  Binary = 3,
  Dword = 4,
  MultiSz = 7,
  Qword = 11,
};

inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// File access, sharing and creation, with the Win32 values.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kShareRead = 1;
inline constexpr std::uint32_t kShareWrite = 2;
inline constexpr std::uint32_t kShareDelete = 4;
enum class Disposition : std::uint32_t {
  CreateNew = 1,
  CreateAlways = 2,
  OpenExisting = 3,
  OpenAlways = 4,
  TruncateExisting = 5,
};

inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrNormal = 0x80;

enum class DriveType : std::uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};
inline constexpr std::uint32_t kFsPersistentAcls = 0x8;

// Share types of NetShareEnum / NetShareGetInfo.
inline constexpr std::uint32_t kShareTypeDisk = 0;
inline constexpr std::uint32_t kShareTypeSpecial = 0x80000000u;

// Known folders. Each has a CSIDL for the older query.
enum class KnownFolder {
  ProgramData,      // CSIDL_COMMON_APPDATA 35
  ProgramFilesX86,  // CSIDL 38 (in a 32-bit process on 64-bit Windows: Program Files (x86))
  RoamingAppData,   // CSIDL_APPDATA 26
  CommonPrograms,   // CSIDL_COMMON_PROGRAMS 23
  Programs,         // CSIDL_PROGRAMS 2
};
inline constexpr int kCsidlPrograms = 2;
inline constexpr int kCsidlCommonPrograms = 23;
inline constexpr int kCsidlAppData = 26;
inline constexpr int kCsidlCommonAppData = 35;
// CSIDL_PROGRAM_FILES. The shipping programs are 32-bit, where 38 answers
// the 32-bit program-files folder on 64-bit Windows too.
inline constexpr int kCsidlProgramFilesX86 = 38;

// Message boxes and dialog results.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbSystemModal = 0x1000;
inline constexpr std::uint32_t kMbTaskModal = 0x2000;
inline constexpr std::uint32_t kMbSetForeground = 0x10000;
inline constexpr std::uint32_t kMbTopmost = 0x40000;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Process waits.
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

// Event log entry types.
inline constexpr std::uint16_t kEventError = 1;
inline constexpr std::uint16_t kEventWarning = 2;
inline constexpr std::uint16_t kEventInformation = 4;

// SetErrorMode flags.
inline constexpr std::uint32_t kSemFailCriticalErrors = 0x0001;
inline constexpr std::uint32_t kSemNoOpenFileErrorBox = 0x8000;

// ------------------------------------------------------------------ records
struct LocalTime {
  int year = 1601, month = 1, dayOfWeek = 1, day = 1;  // dayOfWeek 0 = Sunday
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

struct OsVersion {
  std::uint32_t major = 10, minor = 0, build = 19045, servicePackMajor = 0;
};

struct RegValue {
  RegType type = RegType::None;
  Bytes data;  // as stored, including a string's terminating NUL
};

struct ShareEntry {  // a level-502 share record, as the callers use it
  String name;
  std::uint32_t type = kShareTypeDisk;
  String path;
};

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::uint32_t parentPid = 0;
  String exeName;  // file name without folder
};

// One access-control entry. Security identifiers travel in their string
// form ("S-1-5-32-545"); only DACLs are read and written.
inline constexpr std::uint8_t kAceAllowed = 0;
inline constexpr std::uint8_t kAceDenied = 1;
inline constexpr std::uint8_t kAceObjectInherit = 0x1;
inline constexpr std::uint8_t kAceContainerInherit = 0x2;
inline constexpr std::uint8_t kAceInheritOnly = 0x8;
inline constexpr std::uint8_t kAceInherited = 0x10;
struct Ace {
  std::uint8_t type = kAceAllowed;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  String sid;
  bool operator==(const Ace&) const = default;
};
struct Dacl {
  bool present = false;  // false: no DACL (everyone has full access)
  std::vector<Ace> entries;
};

struct AccountName {
  String name;
  String domain;
  std::uint32_t sidType = 0;  // SID_NAME_USE
};

struct ShellLink {
  String target;
  String arguments;
  String workingDirectory;
  String description;
  String iconPath;
  int iconIndex = 0;
  int showCommand = 1;       // SW_SHOWNORMAL
  std::uint16_t hotKey = 0;  // none
  bool operator==(const ShellLink&) const = default;
};

// A request to show the connect program's own message dialog.
struct DialogRequest {
  String title;
  String message;
  String detail;
  std::uint8_t kind = 1;       // 0 warning, 1 error, 2 information, 3 confirmation, else none
  std::uint16_t buttons = 0;   // bit set: 0 Yes, 1 No, 2 OK, 3 Cancel, 4 Abort, 5 Retry, 6 Ignore, 10 Help
  int seconds = 0;             // countdown; 0 none, > 0 green bar, < 0 red bar
  int width = 500;             // outer width in 96-dpi units
};

// Thrown by MemoryMachine::ExitProcess so that a test can observe the end
// of the "process" with its exit code. The real platform never returns.
struct ProcessExit {
  std::uint32_t exitCode;
};

// ------------------------------------------------------------- the seam
class Platform {
 public:
  virtual ~Platform() = default;

  // ---- files and folders
  virtual std::uint32_t GetFileAttributes(const String& path, std::uint32_t& attributes) = 0;
  virtual std::uint32_t CreateDirectory(const String& path) = 0;
  virtual std::uint32_t RemoveDirectory(const String& path) = 0;
  virtual std::uint32_t OpenFile(const String& path, std::uint32_t access, std::uint32_t share,
                                 Disposition disposition, Handle& file) = 0;
  virtual std::uint32_t ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t& read) = 0;
  virtual std::uint32_t WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t& written) = 0;
  virtual std::uint32_t SeekToEnd(Handle file, std::uint64_t& newPosition) = 0;
  virtual std::uint32_t GetFileSize(Handle file, std::uint64_t& size) = 0;
  // GetFileTime: the open file's last-write time (UTC). The open already
  // brought it, so on a file server it costs no round trip of its own.
  virtual std::uint32_t GetFileWriteTimeOf(Handle file, FileTime& lastWrite) = 0;
  virtual std::uint32_t DeleteFile(const String& path) = 0;
  // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
  virtual std::uint32_t ReplaceFileWith(const String& from, const String& to) = 0;
  // GetTempFileNameW(folder, prefix, unique): with unique 0 a new file of a
  // unique name is created; with any other number the name prefix + hex
  // number + ".tmp" is only formed in the existing folder (nothing is created,
  // nothing tested for writing).
  virtual std::uint32_t GetTempFileName(const String& folder, const String& prefix, String& path,
                                        std::uint32_t unique = 0) = 0;
  // GetTempPathW: the system's temporary folder, ending with a backslash.
  virtual std::uint32_t GetTempPath(String& path) = 0;
  virtual std::uint32_t GetFullPathName(const String& path, String& full) = 0;
  // Last-write time of the first match of FindFirstFileW (any attributes).
  virtual std::uint32_t FindFirstFileWriteTime(const String& pattern, FileTime& lastWrite) = 0;
  virtual DriveType GetDriveType(const String& rootPath) = 0;
  // volumeName and serialNumber, when given, receive the volume's label and serial number.
  virtual std::uint32_t GetVolumeInformation(const String& rootPath, std::uint32_t& fileSystemFlags,
                                             String& fileSystemName, String* volumeName = nullptr,
                                             std::uint32_t* serialNumber = nullptr) = 0;

  // ---- handles (files, processes, libraries use their own release calls)
  virtual void CloseHandle(Handle handle) = 0;

  // ---- network names and shares
  virtual std::uint32_t QueryDosDevice(const String& deviceName, std::vector<String>& targets) = 0;
  virtual std::uint32_t GetUniversalName(const String& path, String& universalName) = 0;  // WNetGetUniversalNameW
  // NetShareGetInfo level 2 from NETAPI32.DLL; server with its leading "\\".
  virtual std::uint32_t NetShareGetInfo(const String& server, const String& share, String& localPath) = 0;
  // NetShareEnum level 502 on this machine from NetAPI32.dll: one call, one
  // batch. Returns 0 (done) or kErrMoreData with resume updated.
  virtual std::uint32_t NetShareEnum(std::uint32_t& resumeHandle, std::vector<ShareEntry>& batch) = 0;

  // ---- registry (keys are opened and closed by the caller)
  virtual std::uint32_t RegOpenKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) = 0;
  virtual std::uint32_t RegCreateKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) = 0;
  // wantData false: only the type and data size are asked for (data.size()).
  virtual std::uint32_t RegQueryValue(Handle key, const String& valueName, RegValue& value, bool wantData) = 0;
  virtual std::uint32_t RegSetValue(Handle key, const String& valueName, RegType type, const Bytes& data) = 0;
  virtual std::uint32_t RegDeleteValue(Handle key, const String& valueName) = 0;
  virtual void RegCloseKey(Handle key) = 0;

  // ---- environment
  virtual bool GetEnvironmentVariable(const String& name, String& value) = 0;
  // GetEnvironmentStringsW: every variable of the process as (name, value),
  // in the block's order; false (and none) when the block cannot be had.
  virtual bool GetEnvironmentStrings(std::vector<std::pair<String, String>>& variables) = 0;
  virtual bool SetEnvironmentVariable(const String& name, const std::optional<String>& value) = 0;
  // SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, area, SMTO_ABORTIFHUNG, timeout)
  virtual std::uint32_t BroadcastSettingChange(const String& area, std::uint32_t timeoutMs) = 0;

  // ---- shell
  virtual std::uint32_t GetFolderPathByCsidl(int csidl, String& path) = 0;  // SHFolder.dll
  virtual std::uint32_t GetKnownFolderPath(KnownFolder folder, String& path) = 0;
  virtual std::uint32_t CreateShellLink(const String& linkPath, const ShellLink& link) = 0;  // HRESULT
  virtual std::uint32_t ReadShellLink(const String& linkPath, ShellLink& link) = 0;         // HRESULT

  // ---- security and accounts
  virtual std::uint32_t GetFileDacl(const String& path, Dacl& dacl) = 0;
  virtual std::uint32_t SetFileDacl(const String& path, const Dacl& dacl) = 0;
  // systemName: the machine whose account database answers (empty: this one).
  virtual std::uint32_t LookupAccountSid(const String& sid, AccountName& account,
                                         const String& systemName = String()) = 0;
  virtual std::uint32_t LookupAccountName(const String& name, String& sid, const String& systemName = String()) = 0;
  virtual std::uint32_t GetUserName(String& name) = 0;
  virtual std::uint32_t GetTokenElevation(bool& elevated) = 0;
  virtual std::uint32_t CheckAdministratorsMembership(bool& member) = 0;

  // ---- machine
  virtual std::uint32_t GetComputerName(String& name) = 0;              // GetComputerNameW
  virtual std::uint32_t GetPhysicalComputerName(String& name) = 0;      // ComputerNamePhysicalNetBIOS
  virtual OsVersion GetVersion() = 0;
  // VerifyVersionInfoW(major, minor, sp, >=); kApiUnavailable when missing.
  virtual std::uint32_t VerifyVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t spMajor,
                                      bool& atLeast) = 0;
  // GetSystemWow64DirectoryW from kernel32.dll; kApiUnavailable when missing.
  virtual std::uint32_t GetSystemWow64Directory(String& path) = 0;
  virtual String AnsiToWide(std::string_view bytes) = 0;     // CP_ACP
  virtual std::string WideToAnsi(StringView text) = 0;       // CP_ACP
  // CP_ACP without best-fit characters: usedDefault is set when a character
  // has no form in the code page and was replaced by the default character.
  virtual std::string WideToAnsiExact(StringView text, bool& usedDefault) = 0;
  virtual String FormatSystemMessage(std::uint32_t code) = 0;  // FormatMessageW, trailing CR LF removed

  // ---- processes, modules, strings
  virtual std::uint32_t CurrentProcessId() = 0;
  virtual std::uint32_t ProcessSnapshot(std::vector<ProcessEntry>& processes) = 0;
  // Module 0 is the program file; CurrentModule() is the module that holds this code.
  virtual Handle CurrentModule() = 0;
  virtual bool CurrentModuleIsLibrary() = 0;
  virtual String ModuleFileName(Handle module) = 0;
  virtual Handle LoadLibrary(const String& name, std::uint32_t& error) = 0;
  virtual void* GetProcAddress(Handle module, const char* name) = 0;
  virtual void FreeLibrary(Handle module) = 0;
  // LoadStringW(module, id); module 0 = the program file. Empty when missing.
  virtual String LoadString(Handle module, std::uint32_t id) = 0;
  virtual std::uint32_t SetErrorMode(std::uint32_t mode) = 0;  // returns the previous mode
  [[noreturn]] virtual void ExitProcess(std::uint32_t exitCode) = 0;
  // TerminateProcess(GetCurrentProcess(), exitCode): the process ends at once,
  // no library's shutdown code runs.
  [[noreturn]] virtual void TerminateCurrentProcess(std::uint32_t exitCode) = 0;
  virtual std::uint32_t CreateProcess(const String& commandLine, const String& workingDirectory,
                                      std::uint16_t showMode, Handle& process) = 0;
  virtual std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs) = 0;  // kWait*
  virtual std::uint32_t GetExitCodeProcess(Handle process, std::uint32_t& exitCode) = 0;
  virtual std::uint32_t TerminateProcess(Handle process, std::uint32_t exitCode) = 0;

  // ---- clock
  virtual LocalTime GetLocalTime() = 0;
  virtual FileTime GetSystemTimeAsFileTime() = 0;
  virtual LocalTime FileTimeToLocalTime(FileTime utc) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // ---- windows and dialogs
  virtual int MessageBox(const String& text, const String& caption, std::uint32_t style) = 0;
  // Either name may be empty for "any".
  virtual Handle FindWindow(const String& className, const String& title) = 0;
  // FindWindowW(NULL, title): a top-level window of exactly this title, any
  // class; an empty title finds only a window without a title.
  virtual Handle FindWindowByTitle(const String& title) = 0;
  virtual bool EndDialog(Handle window, int result) = 0;
  // SendMessageW(window, WM_COPYDATA, 0, {dwData, bytes}); the receiver's answer.
  virtual std::uintptr_t SendCopyData(Handle window, std::uintptr_t dataWord, const Bytes& data) = 0;
  // The connect program's message dialog; returns its result code.
  virtual int ShowDialog(const DialogRequest& request) = 0;

  // ---- event log
  virtual Handle RegisterEventSource(const String& sourceName) = 0;
  virtual std::uint32_t ReportEvent(Handle source, std::uint16_t type, std::uint16_t category,
                                    std::uint32_t eventId, const String& userSid,
                                    const std::vector<String>& strings) = 0;
  virtual void DeregisterEventSource(Handle source) = 0;

  // ---- named shared memory (paging-file backed)
  virtual std::uint32_t CreateSharedMemory(const String& name, std::uint32_t size, Handle& mapping,
                                           bool& alreadyExisted) = 0;
  virtual void* MapSharedMemory(Handle mapping, std::uint32_t size) = 0;
  virtual void UnmapSharedMemory(void* view) = 0;

  // ---- helpers built on the operations above (not virtual)
  bool FileExists(const String& path);       // exists and is not a folder
  bool DirectoryExists(const String& path);  // exists and is a folder
  // Reads a whole file: one open (read access, others may read and write), reads, close.
  // A file longer than maxBytes gives kErrFileTooLarge, one that cannot be held
  // kErrNotEnoughMemory; either way contents is left empty.
  std::uint32_t ReadWholeFile(const String& path, Bytes& contents, std::uint64_t maxBytes = UINT64_MAX);
  // Reads an open file from its current position to its end, in one read
  // when its size does not change meanwhile: the read asks for one byte more
  // than the size, so a short answer shows the end without a second read (on
  // a file server each read is a round trip). The same limits and results as
  // ReadWholeFile; the handle stays open.
  std::uint32_t ReadOpenFile(Handle file, Bytes& contents, std::uint64_t maxBytes = UINT64_MAX);
  // Creates or truncates a file and writes it whole.
  std::uint32_t WriteWholeFile(const String& path, const Bytes& contents);
};

// The platform in use by this process. Windows builds start with the real
// Win32 platform, the native build with a process-wide in-memory machine.
Platform& Current();
// Replaces the platform in use; returns the previous one. nullptr restores the default.
Platform* SetCurrent(Platform* platform);

// Sets a platform for the lifetime of a scope (tests).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& p) : previous_(SetCurrent(&p)) {}
  ~ScopedPlatform() { SetCurrent(previous_); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

// Well-known names of the roots as messages show them; other values as "0x%.8x".
String RootKeyName(RootKey root);

}  // namespace qv::platform
