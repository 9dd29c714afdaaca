// MemoryMachine: an in-memory Windows machine behind the platform seam.
//
// It keeps files and folders on drives and shares, a registry, the process
// environment, special folders, accounts, processes and modules, a clock,
// windows and dialogs, an event log and named shared memory, all in memory.
// Tests configure it through the methods below the Platform overrides, make
// any operation fail on demand and count the operations a piece of code
// performs. Every member is safe to call from several threads (one
// recursive lock guards the whole machine).
//
// Paths
//   Names compare without regard to letter case (qv::Upper). A path reaches
//   storage in one of these ways:
//     C:\X            a local drive (AddDrive);
//     \\THIS\NAME\X   a share of this computer (AddShare), any letter case
//                     of the computer name; resolves to the share's folder;
//     \\SRV\NAME\X    a share of another server (AddRemoteShare): storage
//                     of its own, reachable only by UNC or a mapped drive;
//     M:\X            a drive mapped to a share (MapDrive), GetDriveType
//                     Remote; GetUniversalName gives \\SRV\NAME\X;
//     S:\X            a substituted drive (Subst) that resolves into its
//                     target folder; QueryDosDevice("S:") gives "\??\target".
//   Relative paths, "." and ".." resolve against the current directory
//   (SetCurrentDirectory, default C:\). An unknown drive letter gives 3, an
//   unknown server 53, an unknown share of a known server 67.
//
// Sharing
//   Opens follow the Win32 sharing rules: an open fails with 32 when it asks
//   for read (write) access that an existing open does not share, or when it
//   does not share an access that an existing open holds. DeleteFile and
//   ReplaceFileWith fail with 32 while a file is open without kShareDelete.
//
// Operation names, subjects and failure forms
//   Every operation is counted under its Win32 name and, where it has one,
//   per subject (upper-cased): the path for file operations, and the texts
//   listed below for the others. InjectFailure(op, nth, error, filter) fails
//   the nth matching call of op counted from the injection (1-based; 0 fails
//   every matching call). A filter limits the injection to calls whose
//   subject equals it (case ignored); a filter ending in '*' matches every
//   subject that begins with the text before the '*'. A failed call is still
//   counted. Operations without an error result fail in the form given.
//
//   | Seam operation          | Name                     | Subject                | Failure form           |
//   |-------------------------|--------------------------|------------------------|------------------------|
//   | GetFileAttributes       | GetFileAttributesW       | path                   | error                  |
//   | CreateDirectory         | CreateDirectoryW         | path                   | error                  |
//   | RemoveDirectory         | RemoveDirectoryW         | path                   | error                  |
//   | OpenFile                | CreateFileW              | path                   | error, handle 0        |
//   | ReadFile                | ReadFile                 | path of the open file  | error                  |
//   | WriteFile               | WriteFile                | path of the open file  | error                  |
//   | SeekToEnd               | SetFilePointerEx         | path of the open file  | error                  |
//   | GetFileSize             | GetFileSizeEx            | path of the open file  | error                  |
//   | GetFileWriteTimeOf      | GetFileTime              | path of the open file  | error                  |
//   | DeleteFile              | DeleteFileW              | path                   | error                  |
//   | ReplaceFileWith         | MoveFileExW              | from path and to path  | error                  |
//   | GetTempFileName         | GetTempFileNameW         | folder                 | error                  |
//   | GetTempPath             | GetTempPathW             | -                      | error                  |
//   | GetFullPathName         | GetFullPathNameW         | path                   | error                  |
//   | FindFirstFileWriteTime  | FindFirstFileW           | pattern                | error                  |
//   | GetDriveType            | GetDriveTypeW            | root                   | DriveType::Unknown     |
//   | GetVolumeInformation    | GetVolumeInformationW    | root                   | error                  |
//   | CloseHandle             | CloseHandle              | -                      | the handle stays open  |
//   | QueryDosDevice          | QueryDosDeviceW          | device name            | error                  |
//   | GetUniversalName        | WNetGetUniversalNameW    | path                   | error                  |
//   | NetShareGetInfo         | NetShareGetInfo          | \\SERVER\SHARE         | error                  |
//   | NetShareEnum            | NetShareEnum             | -                      | error                  |
//   | RegOpenKey              | RegOpenKeyExW            | ROOTNAME\KEY           | error                  |
//   | RegCreateKey            | RegCreateKeyExW          | ROOTNAME\KEY           | error                  |
//   | RegQueryValue           | RegQueryValueExW         | ROOTNAME\KEY\VALUE     | error                  |
//   | RegSetValue             | RegSetValueExW           | ROOTNAME\KEY\VALUE     | error                  |
//   | RegDeleteValue          | RegDeleteValueW          | ROOTNAME\KEY\VALUE     | error                  |
//   | RegCloseKey             | RegCloseKey              | -                      | the key stays open     |
//   | GetEnvironmentVariable  | GetEnvironmentVariableW  | name                   | false                  |
//   | SetEnvironmentVariable  | SetEnvironmentVariableW  | name                   | false, nothing changed |
//   | GetEnvironmentStrings   | GetEnvironmentStringsW   | -                      | false, no variables    |
//   | BroadcastSettingChange  | SendMessageTimeoutW      | area                   | error, not recorded    |
//   | GetFolderPathByCsidl    | SHGetFolderPathW         | csidl number           | error (HRESULT)        |
//   | GetKnownFolderPath      | SHGetKnownFolderPath     | -                      | error (HRESULT)        |
//   | CreateShellLink         | IPersistFile::Save       | link path              | error (HRESULT)        |
//   | ReadShellLink           | IPersistFile::Load       | link path              | error (HRESULT)        |
//   | GetFileDacl             | GetFileSecurityW         | path                   | error                  |
//   | SetFileDacl             | SetFileSecurityW         | path                   | error                  |
//   | LookupAccountSid        | LookupAccountSidW        | sid, system name       | error                  |
//   | LookupAccountName       | LookupAccountNameW       | name, system name      | error                  |
//   | GetUserName             | GetUserNameW             | -                      | error                  |
//   | GetTokenElevation       | OpenProcessToken         | -                      | error                  |
//   | CheckAdministratorsMem. | CheckTokenMembership     | -                      | error                  |
//   | GetComputerName         | GetComputerNameW         | -                      | error                  |
//   | GetPhysicalComputerName | GetComputerNameExW       | -                      | error                  |
//   | GetVersion              | GetVersionExW            | -                      | all fields 0           |
//   | VerifyVersion           | VerifyVersionInfoW       | -                      | error                  |
//   | GetSystemWow64Directory | GetSystemWow64DirectoryW | -                      | error                  |
//   | AnsiToWide              | MultiByteToWideChar      | -                      | empty                  |
//   | WideToAnsi              | WideCharToMultiByte      | -                      | empty                  |
//   | FormatSystemMessage     | FormatMessageW           | -                      | empty                  |
//   | CurrentProcessId        | GetCurrentProcessId      | -                      | 0                      |
//   | ProcessSnapshot         | CreateToolhelp32Snapshot | -                      | error, empty list      |
//   | CurrentModule           | GetModuleHandleExW       | -                      | 0                      |
//   | CurrentModuleIsLibrary  | CurrentModuleIsLibrary   | -                      | false                  |
//   | ModuleFileName          | GetModuleFileNameW       | -                      | empty                  |
//   | LoadLibrary             | LoadLibraryW             | name                   | error, handle 0        |
//   | GetProcAddress          | GetProcAddress           | export name            | nullptr                |
//   | FreeLibrary             | FreeLibrary              | -                      | the module stays       |
//   | LoadString              | LoadStringW              | -                      | empty                  |
//   | SetErrorMode            | SetErrorMode             | -                      | mode unchanged, 0      |
//   | ExitProcess             | ExitProcess              | -                      | (cannot fail)          |
//   | TerminateCurrentProcess | TerminateProcess         | -                      | (cannot fail)          |
//   | CreateProcess           | CreateProcessW           | command line           | error, handle 0        |
//   | WaitForProcess          | WaitForSingleObject      | -                      | kWaitFailed            |
//   | GetExitCodeProcess      | GetExitCodeProcess       | -                      | error                  |
//   | TerminateProcess        | TerminateProcess         | -                      | error                  |
//   | GetLocalTime            | GetLocalTime             | -                      | (cannot fail)          |
//   | GetSystemTimeAsFileTime | GetSystemTimeAsFileTime  | -                      | (cannot fail)          |
//   | FileTimeToLocalTime     | FileTimeToLocalFileTime  | -                      | LocalTime{}            |
//   | Sleep                   | Sleep                    | -                      | (cannot fail)          |
//   | MessageBox              | MessageBoxW              | caption                | 0, not shown           |
//   | FindWindow              | FindWindowW              | title                  | 0                      |
//   | EndDialog               | EndDialog                | -                      | false                  |
//   | SendCopyData            | SendMessageW             | -                      | 0, not recorded        |
//   | ShowDialog              | ShowDialog               | title                  | -1, not shown          |
//   | RegisterEventSource     | RegisterEventSourceW     | source name            | 0                      |
//   | ReportEvent             | ReportEventW             | user sid               | error, not recorded    |
//   | DeregisterEventSource   | DeregisterEventSource    | -                      | the source stays open  |
//   | CreateSharedMemory      | CreateFileMappingW       | name                   | error, handle 0        |
//   | MapSharedMemory         | MapViewOfFile            | -                      | nullptr                |
//   | UnmapSharedMemory       | UnmapViewOfFile          | -                      | the view stays mapped  |
//
//   For ReportEventW the subject is the user SID, so
//   InjectFailure("ReportEventW", 0, 87, u"S-*") fails only the reports
//   that carry a SID. Injected HRESULTs are returned unchanged.
//
// Network round trips
//   NetworkCount() counts the path operations whose path reached storage
//   through a network name (a UNC path, also one of this computer's shares,
//   or a mapped drive), plus ReadFile and WriteFile calls on files opened
//   that way. An open of \\SERVER\SHARE\FILE is one round trip; the size
//   and times of an open file (GetFileSizeEx, GetFileTime) come with the
//   open's answer and are none. NetworkOperations() lists the round trips
//   in order; SetNetworkLatencyMicros gives each a simulated cost that
//   SimulatedNetworkMicros() adds up (nothing is slept).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/seam.h"

namespace qv::platform {

// File-system flags of an NTFS volume: case-sensitive search, case
// preserved, Unicode names, persistent ACLs, compression, quotas, sparse
// files, reparse points.
inline constexpr std::uint32_t kNtfsFlags = 0x000000FF;
inline constexpr std::uint32_t kFatFlags = 0x00000006;

// Registry view flags of RegOpenKeyExW / RegCreateKeyExW, and CSIDL 42
// (CSIDL_PROGRAM_FILESX86: the 32-bit program-files folder from any process).
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;
inline constexpr int kCsidlProgramFilesX86Always = 42;

// Win32 errors the machine reports beyond those of seam.h.
inline constexpr std::uint32_t kErrNotSameDevice = 17;
inline constexpr std::uint32_t kErrWriteProtect = 19;
inline constexpr std::uint32_t kErrBadNetName = 67;
inline constexpr std::uint32_t kErrCallNotImplemented = 120;
inline constexpr std::uint32_t kErrDirNotEmpty = 145;
inline constexpr std::uint32_t kErrDirNotRoot = 144;
inline constexpr std::uint32_t kErrBadPathname = 161;
inline constexpr std::uint32_t kErrEnvVarNotFound = 203;
inline constexpr std::uint32_t kErrDirectory = 267;
inline constexpr std::uint32_t kErrKeyDeleted = 1018;
inline constexpr std::uint32_t kErrInvalidSid = 1337;
inline constexpr std::uint32_t kStillActive = 259;
// HRESULTs of the shell operations.
inline constexpr std::uint32_t kHrFail = 0x80004005u;
inline constexpr std::uint32_t kHrInvalidArg = 0x80070057u;
inline constexpr std::uint32_t HresultFromWin32(std::uint32_t e) { return e == 0 ? 0 : (0x80070000u | (e & 0xFFFF)); }

class MemoryMachine final : public Platform {
 public:
  MemoryMachine();
  ~MemoryMachine() override;
  MemoryMachine(const MemoryMachine&) = delete;
  MemoryMachine& operator=(const MemoryMachine&) = delete;

  // ================================================== Platform operations
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

  std::uint32_t QueryDosDevice(const String& deviceName, std::vector<String>& targets) override;
  std::uint32_t GetUniversalName(const String& path, String& universalName) override;
  std::uint32_t NetShareGetInfo(const String& server, const String& share, String& localPath) override;
  std::uint32_t NetShareEnum(std::uint32_t& resumeHandle, std::vector<ShareEntry>& batch) override;

  std::uint32_t RegOpenKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) override;
  std::uint32_t RegCreateKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) override;
  std::uint32_t RegQueryValue(Handle key, const String& valueName, RegValue& value, bool wantData) override;
  std::uint32_t RegSetValue(Handle key, const String& valueName, RegType type, const Bytes& data) override;
  std::uint32_t RegDeleteValue(Handle key, const String& valueName) override;
  void RegCloseKey(Handle key) override;

  bool GetEnvironmentVariable(const String& name, String& value) override;
  bool GetEnvironmentStrings(std::vector<std::pair<String, String>>& variables) override;
  bool SetEnvironmentVariable(const String& name, const std::optional<String>& value) override;
  std::uint32_t BroadcastSettingChange(const String& area, std::uint32_t timeoutMs) override;

  std::uint32_t GetFolderPathByCsidl(int csidl, String& path) override;
  std::uint32_t GetKnownFolderPath(KnownFolder folder, String& path) override;
  std::uint32_t CreateShellLink(const String& linkPath, const ShellLink& link) override;
  std::uint32_t ReadShellLink(const String& linkPath, ShellLink& link) override;

  std::uint32_t GetFileDacl(const String& path, Dacl& dacl) override;
  std::uint32_t SetFileDacl(const String& path, const Dacl& dacl) override;
  std::uint32_t LookupAccountSid(const String& sid, AccountName& account,
                                 const String& systemName = String()) override;
  std::uint32_t LookupAccountName(const String& name, String& sid, const String& systemName = String()) override;
  std::uint32_t GetUserName(String& name) override;
  std::uint32_t GetTokenElevation(bool& elevated) override;
  std::uint32_t CheckAdministratorsMembership(bool& member) override;

  std::uint32_t GetComputerName(String& name) override;
  std::uint32_t GetPhysicalComputerName(String& name) override;
  OsVersion GetVersion() override;
  std::uint32_t VerifyVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t spMajor, bool& atLeast) override;
  std::uint32_t GetSystemWow64Directory(String& path) override;
  String AnsiToWide(std::string_view bytes) override;
  std::string WideToAnsi(StringView text) override;
  std::string WideToAnsiExact(StringView text, bool& usedDefault) override;  // counted as WideCharToMultiByte
  String FormatSystemMessage(std::uint32_t code) override;

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
  // Counted as TerminateProcess; throws ProcessExit like ExitProcess.
  [[noreturn]] void TerminateCurrentProcess(std::uint32_t exitCode) override;
  std::uint32_t CreateProcess(const String& commandLine, const String& workingDirectory, std::uint16_t showMode,
                              Handle& process) override;
  std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs) override;
  std::uint32_t GetExitCodeProcess(Handle process, std::uint32_t& exitCode) override;
  std::uint32_t TerminateProcess(Handle process, std::uint32_t exitCode) override;

  LocalTime GetLocalTime() override;
  FileTime GetSystemTimeAsFileTime() override;
  LocalTime FileTimeToLocalTime(FileTime utc) override;
  void Sleep(std::uint32_t milliseconds) override;

  int MessageBox(const String& text, const String& caption, std::uint32_t style) override;
  Handle FindWindow(const String& className, const String& title) override;
  Handle FindWindowByTitle(const String& title) override;  // counted as FindWindowW
  bool EndDialog(Handle window, int result) override;
  std::uintptr_t SendCopyData(Handle window, std::uintptr_t dataWord, const Bytes& data) override;
  int ShowDialog(const DialogRequest& request) override;

  Handle RegisterEventSource(const String& sourceName) override;
  std::uint32_t ReportEvent(Handle source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                            const String& userSid, const std::vector<String>& strings) override;
  void DeregisterEventSource(Handle source) override;

  std::uint32_t CreateSharedMemory(const String& name, std::uint32_t size, Handle& mapping,
                                   bool& alreadyExisted) override;
  void* MapSharedMemory(Handle mapping, std::uint32_t size) override;
  void UnmapSharedMemory(void* view) override;

  // ================================================== failure injection, counts
  void InjectFailure(const std::string& op, std::uint32_t nthCall, std::uint32_t error,
                     std::optional<String> subjectFilter = std::nullopt);
  // As the error of InjectFailure: the call throws std::runtime_error instead
  // of failing (a fault inside the operation, for the boundary tests).
  static constexpr std::uint32_t kFaultThrows = 0xFFFFFFFDu;
  void ClearFailures();
  std::uint64_t Count(const std::string& op) const;
  std::uint64_t Count(const std::string& op, const String& subject) const;
  // Every operation served so far, by name.
  std::map<std::string, std::uint64_t> Counts() const;
  std::uint64_t TotalCount() const;
  std::uint64_t NetworkCount() const;
  // One network round trip: the operation's Win32 name and its path
  // (upper-cased; for ReadFile and WriteFile the path of the open file).
  struct NetworkOperation {
    std::string op;
    String path;
    bool operator==(const NetworkOperation&) const = default;
  };
  // The network round trips since the last ResetCounts, in order (the
  // first kMaxRecordedNetworkOperations of them; NetworkCount counts all).
  static constexpr std::size_t kMaxRecordedNetworkOperations = 100000;
  std::vector<NetworkOperation> NetworkOperations() const;
  // Every network round trip from now on costs this simulated latency. The
  // time is only added up (SimulatedNetworkMicros), never slept.
  void SetNetworkLatencyMicros(std::uint64_t micros);
  // The latencies of the round trips since the last ResetCounts.
  std::uint64_t SimulatedNetworkMicros() const;
  // Files GetTempFileName created (unique number 0) since the last
  // ResetCounts; a call that only forms a name creates none.
  std::uint64_t TempFilesCreated() const;
  void ResetCounts();

  // ================================================== machine set-up
  // The default machine: computer WORKSTATION; drive C: (fixed, NTFS) with
  // C:\Windows\System32, C:\Windows\SysWOW64, the special folders below and
  // the program's folder; no shares besides the special ones; user Admin.
  void SetComputerName(const String& name);
  // Unset: the physical name follows the computer name.
  void SetPhysicalComputerName(std::optional<String> name);
  void SetOsVersion(const OsVersion& version);
  void SetVerifyVersionAvailable(bool available);
  void SetWindows64Bit(bool is64);                 // false: GetSystemWow64Directory gives 120
  void SetWow64ExportAvailable(bool available);    // false: kApiUnavailable

  // Which kind of process the program under test is, as Windows tells them
  // apart on a 64-bit machine.
  //   Unmodelled  (the default) the registry has one view and CSIDL 38 is
  //               the "Program Files (x86)" folder, as the earlier tests
  //               of this machine expect;
  //   Native      a process of the machine's own bitness: one registry view
  //               (KEY_WOW64_32KEY reaches Software\WOW6432Node on 64-bit
  //               Windows), CSIDL 38 is C:\Program Files and CSIDL 42 the
  //               "Program Files (x86)" folder;
  //   Wow64       a 32-bit process on 64-bit Windows (the shipping
  //               binaries): HKEY_LOCAL_MACHINE\Software\X opened through
  //               RegOpenKeyExW/RegCreateKeyExW is Software\WOW6432Node\X
  //               unless KEY_WOW64_64KEY is asked for; CSIDL 38 and 42 are
  //               both the "Program Files (x86)" folder; IsWow64Process.
  // The test helpers (SetRegValue, GetRegValue, KeyExists ...) always act
  // on the 64-bit view: a test reaches the 32-bit view by spelling out
  // Software\WOW6432Node. Keys that Windows shares between the views
  // (parts of Software\Classes and a few others) are not modelled.
  enum class ProcessBitness { Unmodelled, Native, Wow64 };
  void SetProcessBitness(ProcessBitness bitness);
  ProcessBitness GetProcessBitness() const;
  // IsWow64Process of the current process: a Wow64 process on 64-bit Windows.
  bool IsWow64Process() const;

  // ================================================== drives, shares, files
  // Returns false when the letter is taken.
  bool AddDrive(char16_t letter, DriveType type = DriveType::Fixed, std::uint32_t fsFlags = kNtfsFlags,
                const String& fsName = u"NTFS");
  // Publishes a share of this computer; creates its folder when missing.
  // False when the name is taken.
  bool AddShare(const String& name, const String& localPath, std::uint32_t type = kShareTypeDisk);
  bool RemoveShare(const String& name);
  // The special shares ADMIN$, IPC$ and C$ (one per fixed drive) appear in
  // NetShareEnum unless switched off.
  void SetSpecialShares(bool on);
  // A share of another server, with storage of its own. pathOnServer is
  // what NetShareGetInfo reports for it.
  void AddRemoteShare(const String& server, const String& share, std::uint32_t fsFlags = kNtfsFlags,
                      const String& fsName = u"NTFS", const String& pathOnServer = u"");
  // uncRoot is \\SERVER\SHARE (of another server or of this computer).
  bool MapDrive(char16_t letter, const String& uncRoot);
  // target is a folder path such as D:\WORK.
  bool Subst(char16_t letter, const String& target);
  void RemoveDrive(char16_t letter);
  // The label of a local drive's volume (empty at first); false for a letter
  // that is not a local drive.
  bool SetVolumeLabel(char16_t letter, const String& label);
  // GetUniversalName of a mapped drive's root ("M:\") ends in a backslash
  // (\\SRV\SHARE\) unless switched off (\\SRV\SHARE).
  void SetUniversalNameRootBackslash(bool keep);
  void SetCurrentDirectory(const String& path);

  // Test helpers: act on the storage directly, create missing parent
  // folders, are neither counted nor subject to failure injection.
  bool MakeDirectories(const String& path);
  bool WriteTextFile(const String& path, std::string_view bytes);
  bool WriteBytes(const String& path, const Bytes& bytes);
  std::optional<std::string> ReadTextFile(const String& path);
  std::optional<Bytes> ReadBytes(const String& path);
  bool Exists(const String& path);
  bool IsDirectory(const String& path);
  bool RemovePath(const String& path);  // a file or a whole folder tree
  bool SetLastWriteTime(const String& path, FileTime time);
  std::optional<FileTime> LastWriteTime(const String& path);
  bool SetReadOnly(const String& path, bool readOnly);
  std::vector<String> ListFolder(const String& path);  // names in sorted order
  std::size_t OpenFileCount() const;                   // file handles not yet closed

  // NetShareGetInfo / NetShareEnum behaviour.
  void SetNetApiAvailable(bool available);
  void SetNetShareGetInfoStatus(std::uint32_t status);  // nonzero: every call returns it
  void SetNetShareEnumStatus(std::uint32_t status);     // nonzero: every call returns it
  void SetNetShareEnumBatchSize(std::uint32_t size);    // 0: all in one batch

  // ================================================== registry
  // Refuses write opens (kKeyWrite bits) and creation of keys at or below
  // keyPrefix with kErrAccessDenied.
  void DenyRegistryWrite(RootKey root, const String& keyPrefix);
  void AllowRegistryWrite();
  void SetRegValue(RootKey root, const String& key, const String& name, RegType type, const Bytes& data);
  void SetRegString(RootKey root, const String& key, const String& name, const String& text,
                    RegType type = RegType::Sz);
  void SetRegDword(RootKey root, const String& key, const String& name, std::uint32_t value);
  std::optional<RegValue> GetRegValue(RootKey root, const String& key, const String& name);
  std::optional<String> GetRegString(RootKey root, const String& key, const String& name);
  bool KeyExists(RootKey root, const String& key);
  void CreateRegKeyDirect(RootKey root, const String& key);
  bool DeleteRegKey(RootKey root, const String& key);  // with its subkeys
  std::size_t OpenKeyCount() const;

  // ================================================== environment, shell
  std::vector<String> Broadcasts() const;  // the areas of BroadcastSettingChange, in order
  void SetKnownFolder(KnownFolder folder, const String& path);
  // An explicit CSIDL path; unset CSIDLs of the known-folder pairs answer
  // with their known folder.
  void SetCsidlFolder(int csidl, const String& path);
  void SetShFolderAvailable(bool available);

  // ================================================== accounts, security
  void SetUserName(const String& name);
  void SetUserSid(const String& sid);
  // Adds or renames an account (e.g. a localized group name).
  void SetAccount(const String& sid, const String& name, const String& domain, std::uint32_t sidType);
  void SetTokenElevation(bool elevated);
  void SetAdministratorsMember(bool member);
  // The DACL that new files and folders receive.
  Dacl DefaultDacl(bool folder) const;

  // ================================================== processes, modules
  void AddProcess(std::uint32_t pid, std::uint32_t parentPid, const String& exeName);
  void ClearProcesses();
  void SetCurrentProcess(std::uint32_t pid);
  // A library LoadLibrary can find. A name without a folder matches any
  // request for that file name (with or without a folder); a name with a
  // folder matches a request for that full path or for its file name alone.
  // A request without an extension gets ".DLL". Returns the module handle.
  Handle RegisterLibrary(const String& name, std::map<std::string, void*> exports,
                         std::map<std::uint32_t, String> strings = {});
  void SetProgramStrings(std::map<std::uint32_t, String> strings);
  void SetProgramPath(const String& path);
  void SetCurrentModule(Handle module, bool isLibrary);
  std::uint32_t LibraryRefCount(const String& name) const;  // loads minus frees
  std::uint32_t ErrorMode() const;
  std::vector<std::uint32_t> ErrorModeHistory() const;
  std::optional<std::uint32_t> ExitCode() const;  // the code of the last ExitProcess or TerminateCurrentProcess

  struct ProgramBehaviour {
    std::uint32_t startError = 0;      // nonzero: CreateProcess fails with it
    std::int64_t runsForMs = 0;        // < 0: never ends by itself
    std::uint32_t exitCode = 0;
    bool ignoresTerminate = false;     // TerminateProcess succeeds but the program keeps running
  };
  // exeName without folder, matched ignoring case and an optional ".exe".
  // A program without a behaviour fails to start with kErrFileNotFound.
  void SetProgramBehaviour(const String& exeName, const ProgramBehaviour& behaviour);
  struct StartedProcess {
    String commandLine;
    String workingDirectory;
    std::uint16_t showMode = 0;
    std::uint32_t pid = 0;     // 0 when the start failed
    std::uint32_t error = 0;   // the start's error
  };
  // Every CreateProcess attempt, also those that failed.
  std::vector<StartedProcess> StartedProcesses() const;
  std::size_t OpenProcessHandleCount() const;

  // ================================================== clock
  // Default: Monday 2024-01-15 08:00:00.000 UTC, time-zone offset 0.
  void SetUtc(FileTime utc);
  void SetLocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int milliseconds = 0);
  void SetTimeZoneOffsetMinutes(int minutes);  // local = UTC + offset
  void Advance(std::uint64_t milliseconds);
  static FileTime MakeFileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                               int milliseconds = 0);
  static LocalTime SplitFileTime(FileTime time);

  // ================================================== windows and dialogs
  struct MessageBoxRecord {
    String text;
    String caption;
    std::uint32_t style = 0;
    Handle window = 0;
    int result = 0;
    bool endedByEndDialog = false;
    bool safetyTimeout = false;  // nobody called EndDialog in time
  };
  // Answers for the next MessageBox calls, in order. With none scripted a
  // box answers with its default button (MB_DEFBUTTON1..3 of its style) or
  // with SetMessageBoxDefault's answer.
  void ScriptMessageBox(int answer);
  // The next MessageBox stays open, findable by FindWindow (class "#32770",
  // its caption), until EndDialog ends it, or until the real-time safety
  // timeout passes (it then answers with its default). While such a box is
  // expected and not yet open, Sleep on any thread but the UI thread waits
  // for it to open, so a closing thread cannot run ahead of the box.
  void ScriptMessageBoxWaitForEndDialog();
  void SetMessageBoxDefault(std::optional<int> answer);
  void SetSafetyTimeoutMs(std::uint32_t ms);
  void SetUiThread(std::thread::id id);  // default: the thread that built the machine
  std::vector<MessageBoxRecord> MessageBoxes() const;

  // ShowDialog answers from this queue, then with the default (kIdOk).
  void ScriptDialog(int answer);
  void SetDialogDefault(int answer);
  std::vector<DialogRequest> Dialogs() const;

  Handle AddWindow(const String& className, const String& title);
  void RemoveWindow(Handle window);
  void SetCopyDataAnswer(std::uintptr_t answer);
  struct CopyDataRecord {
    Handle window = 0;
    std::uintptr_t dataWord = 0;
    Bytes data;
  };
  std::vector<CopyDataRecord> CopyDataSent() const;
  std::vector<std::pair<Handle, int>> EndDialogCalls() const;

  // ================================================== event log, shared memory
  struct EventRecord {
    String source;
    std::uint16_t type = 0;
    std::uint16_t category = 0;
    std::uint32_t eventId = 0;
    String userSid;
    std::vector<String> strings;
  };
  std::vector<EventRecord> Events() const;
  std::size_t OpenEventSourceCount() const;
  std::size_t OpenMappingCount() const;  // shared-memory handles not yet closed
  std::size_t MappedViewCount() const;   // maps of shared memory not yet unmapped
  // Holds a named block as another process would (so it exists before this
  // process creates it); returns its memory.
  std::uint8_t* HoldSharedMemory(const String& name, std::uint32_t size);

 private:
  struct Node;
  struct Volume;
  struct KeyNode;
  struct Location;
  struct SharedBlock;
  struct Library;
  struct ProcessRecord;
  struct Injection {
    std::string op;
    std::uint32_t nth = 0;
    std::uint32_t error = 0;
    std::optional<String> filter;
    std::uint32_t seen = 0;
    bool spent = false;
  };
  struct OpenFileRec;
  struct Drive;
  struct OwnShare;
  struct RemoteServer;
  struct Window;

  // Counts the call and returns the error of an injection that fires.
  std::optional<std::uint32_t> Enter(const char* op, std::initializer_list<StringView> subjects = {});
  // Counts a network round trip of `op` on `path`: its simulated latency
  // and its place in the sequence.
  void NoteNetwork(bool network, const char* op, StringView path);

  // paths
  std::uint32_t FullPath(const String& path, String& full) const;
  Location Locate(const String& path, int depth = 0) const;
  std::shared_ptr<Node> Lookup(const Location& loc, std::uint32_t& error) const;
  std::shared_ptr<Node> LookupParent(const Location& loc, std::uint32_t& error) const;
  std::shared_ptr<Node> NewNode(const String& name, bool folder);
  bool MakeDirectoriesLocked(const String& path);
  std::shared_ptr<Node> WriteFileDirect(const String& path, const Bytes& bytes);
  bool SharingConflict(const Node* node, std::uint32_t access, std::uint32_t share) const;
  bool OpenWithoutShareDelete(const Node* node) const;
  std::shared_ptr<Volume> MakeVolume(DriveType type, std::uint32_t fsFlags, const String& fsName);
  FileTime Now() const { return utc_; }

  // registry
  KeyNode* FindKey(RootKey root, const std::vector<String>& parts) const;
  KeyNode* CreateKeyPath(RootKey root, const std::vector<String>& parts);
  bool WriteDenied(RootKey root, const std::vector<String>& parts) const;
  static std::vector<String> SplitKey(const String& key);
  static String KeySubject(RootKey root, const String& key);

  // dialogs
  int DefaultButton(std::uint32_t style) const;
  bool WaitBoxPending() const;

  // processes
  ProcessRecord* ProcessOf(Handle h);
  std::uint64_t NowMs() const { return utc_ / 10000; }
  void AdvanceLocked(std::uint64_t ms) { utc_ += ms * 10000; }

  mutable std::recursive_mutex mu_;
  std::condition_variable_any cv_;
  Handle nextHandle_ = 0x1000;
  Handle NewHandle() { return nextHandle_ += 4; }

  // counts and injections
  std::vector<Injection> injections_;
  // Calls by operation, and by operation and upper-cased subject: counting
  // a call that has been counted before copies no name. A counter counts
  // from 0 again in each epoch (ResetCounts starts the next).
  struct Counter {
    std::uint64_t value = 0;
    std::uint64_t epoch = 0;
  };
  void Bump(Counter& c) const {
    if (c.epoch != countEpoch_) c = Counter{0, countEpoch_};
    ++c.value;
  }
  std::uint64_t Read(const Counter& c) const { return c.epoch == countEpoch_ ? c.value : 0; }
  std::map<std::string, Counter, std::less<>> counts_;
  using SubjectCounts = std::map<String, Counter, NoCaseLess>;
  std::map<std::string, SubjectCounts, std::less<>> subjectCounts_;
  std::uint64_t countEpoch_ = 0;
  std::uint64_t total_ = 0;
  std::uint64_t network_ = 0;
  std::uint64_t networkLatencyMicros_ = 0;
  std::uint64_t simulatedNetworkMicros_ = 0;
  std::vector<NetworkOperation> networkOps_;

  // machine
  String computerName_ = u"WORKSTATION";
  std::optional<String> physicalName_;
  OsVersion version_;
  bool verifyVersionAvailable_ = true;
  bool is64Bit_ = true;
  bool wow64ExportAvailable_ = true;
  ProcessBitness bitness_ = ProcessBitness::Unmodelled;
  // The key path a registry open of this process reaches (WOW64 redirection).
  std::vector<String> RegistryView(RootKey root, std::vector<String> parts, std::uint32_t access) const;

  // storage
  std::map<char16_t, std::unique_ptr<Drive>> drives_;
  std::vector<std::unique_ptr<OwnShare>> shares_;
  std::map<String, std::unique_ptr<RemoteServer>, NoCaseLess> servers_;  // upper name
  bool specialShares_ = true;
  bool universalRootBackslash_ = true;
  int nextVolumeNumber_ = 1;
  std::uint32_t nextVolumeSerial_ = 0x1A2B3C01;
  String currentDirectory_ = u"C:\\";
  std::map<Handle, std::unique_ptr<OpenFileRec>> files_;
  std::uint32_t tempCounter_ = 0;
  std::uint64_t tempFilesCreated_ = 0;
  bool netApiAvailable_ = true;
  std::uint32_t netShareGetInfoStatus_ = 0;
  std::uint32_t netShareEnumStatus_ = 0;
  std::uint32_t netShareEnumBatch_ = 0;

  // registry
  std::map<RootKey, std::unique_ptr<KeyNode>> registry_;
  struct KeyHandle {
    RootKey root;
    std::vector<String> parts;
    std::uint32_t access;
  };
  std::map<Handle, KeyHandle> keys_;
  std::vector<std::pair<RootKey, std::vector<String>>> denied_;

  // environment and shell
  std::map<String, std::pair<String, String>, NoCaseLess> environment_;  // upper name -> (name, value)
  std::vector<String> broadcasts_;
  std::map<KnownFolder, String> knownFolders_;
  std::map<int, String> csidlFolders_;
  bool shFolderAvailable_ = true;

  // accounts
  String userName_ = u"Admin";
  String userSid_ = u"S-1-5-21-1004336348-1177238915-682003330-1001";
  struct Account {
    String sid, name, domain;
    std::uint32_t sidType;
  };
  std::vector<Account> accounts_;
  bool elevated_ = true;
  bool adminMember_ = true;

  // processes and modules
  std::vector<ProcessEntry> processTable_;
  std::uint32_t currentPid_ = 4242;
  std::uint32_t nextPid_ = 5000;
  std::map<Handle, std::unique_ptr<Library>> libraries_;
  std::map<std::uint32_t, String> programStrings_;
  String programPath_ = u"C:\\Program Files (x86)\\NORVA\\PROGRAM.EXE";
  Handle currentModule_ = 0;
  bool currentModuleIsLibrary_ = false;
  std::uint32_t errorMode_ = 0;
  std::vector<std::uint32_t> errorModes_;
  std::optional<std::uint32_t> exitCode_;
  std::map<String, ProgramBehaviour> behaviours_;
  std::vector<StartedProcess> started_;
  std::map<Handle, std::shared_ptr<ProcessRecord>> processes_;  // open process handles
  std::map<std::uint32_t, std::shared_ptr<ProcessRecord>> started_by_pid_;

  // clock
  FileTime utc_ = 0;
  std::int64_t offsetMinutes_ = 0;

  // windows and dialogs
  struct BoxScript {
    int answer = 0;
    bool waitForEndDialog = false;
  };
  std::vector<BoxScript> boxScript_;  // front first
  std::optional<int> boxDefault_;
  std::uint32_t safetyTimeoutMs_ = 5000;
  std::thread::id uiThread_;
  std::vector<MessageBoxRecord> boxes_;
  std::vector<int> dialogScript_;
  int dialogDefault_ = kIdOk;
  std::vector<DialogRequest> dialogs_;
  std::vector<std::shared_ptr<Window>> windows_;
  std::uintptr_t copyDataAnswer_ = 1;
  std::vector<CopyDataRecord> copyData_;
  std::vector<std::pair<Handle, int>> endDialogs_;

  // event log
  std::map<Handle, String> eventSources_;
  std::vector<EventRecord> events_;

  // shared memory
  std::map<String, std::weak_ptr<SharedBlock>> blocks_;
  std::map<Handle, std::shared_ptr<SharedBlock>> mappings_;
  std::map<void*, std::pair<std::shared_ptr<SharedBlock>, int>> views_;  // block, map count
  std::vector<std::shared_ptr<SharedBlock>> heldBlocks_;
};

}  // namespace qv::platform
