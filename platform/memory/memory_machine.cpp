// The in-memory machine: set-up, counts and failure injection, environment,
// special folders, accounts, machine facts, processes and modules, the
// clock, windows and dialogs, the event log and shared memory. Files and
// network names live in memory_fs.cpp, the registry in memory_registry.cpp.
#include "platform/memory/memory_machine.h"

#include <algorithm>
#include <chrono>

#include "platform/civil_date.h"
#include "platform/memory/memory_internal.h"

namespace qv::platform {

using namespace memory_detail;

namespace {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
constexpr FileTime kTicksPerDay = 864000000000ull;
constexpr std::int64_t kDays1601To1970 = 134774;

String FileNameOf(StringView path) {
  std::size_t k = path.find_last_of(u"\\/");
  return String(k == StringView::npos ? path : path.substr(k + 1));
}

String FolderOf(StringView path) {
  std::size_t k = path.find_last_of(u"\\/");
  return k == StringView::npos ? String() : String(path.substr(0, k + 1));
}

bool SubjectMatches(const String& filter, StringView subject) {
  const String s = Upper(subject);
  const String f = Upper(filter);
  if (!f.empty() && f.back() == u'*') return s.compare(0, f.size() - 1, f, 0, f.size() - 1) == 0;
  return s == f;
}

// The executable of a command line: its first token, unquoted.
String ExecutableOf(StringView commandLine) {
  std::size_t i = 0;
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  if (i < commandLine.size() && commandLine[i] == u'"') {
    std::size_t j = commandLine.find(u'"', i + 1);
    return String(commandLine.substr(i + 1, (j == StringView::npos ? commandLine.size() : j) - i - 1));
  }
  std::size_t j = i;
  while (j < commandLine.size() && !IsBlank(commandLine[j])) ++j;
  return String(commandLine.substr(i, j - i));
}

// The key of a program: its file name upper-cased, without ".EXE".
String ProgramKey(StringView exe) {
  String key = Upper(FileNameOf(exe));
  if (key.size() > 4 && key.compare(key.size() - 4, 4, u".EXE") == 0) key.resize(key.size() - 4);
  return key;
}

struct SystemMessage {
  std::uint32_t code;
  const char16_t* text;
};
constexpr SystemMessage kSystemMessages[] = {
    {0, u"The operation completed successfully."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough memory resources are available to process this command."},
    {17, u"The system cannot move the file to a different disk drive."},
    {19, u"The media is write protected."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {50, u"The request is not supported."},
    {53, u"The network path was not found."},
    {67, u"The network name cannot be found."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {112, u"There is not enough space on the disk."},
    {120, u"This function is not supported on this system."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {127, u"The specified procedure could not be found."},
    {144, u"The directory is not a subdirectory of the root directory."},
    {145, u"The directory is not empty."},
    {161, u"The specified path is invalid."},
    {183, u"Cannot create a file when that file already exists."},
    {203, u"The system could not find the environment option that was entered."},
    {223, u"The file size exceeds the limit allowed and cannot be saved."},
    {234, u"More data is available."},
    {259, u"No more data is available."},
    {267, u"The directory name is invalid."},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion."},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page."},
    {1332, u"No mapping between account names and security IDs was done."},
    {1337, u"The security ID structure is invalid."},
    {2250, u"This network connection does not exist."},
};

}  // namespace

// ------------------------------------------------------------------ construction

MemoryMachine::MemoryMachine() {
  uiThread_ = std::this_thread::get_id();
  utc_ = MakeFileTime(2024, 1, 15, 8, 0, 0);
  AddDrive(u'C', DriveType::Fixed, kNtfsFlags, u"NTFS");

  knownFolders_ = {
      {KnownFolder::ProgramData, u"C:\\ProgramData"},
      {KnownFolder::ProgramFilesX86, u"C:\\Program Files (x86)"},
      {KnownFolder::RoamingAppData, u"C:\\Users\\Admin\\AppData\\Roaming"},
      {KnownFolder::CommonPrograms, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {KnownFolder::Programs, u"C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
  };
  for (const auto& [id, path] : knownFolders_) MakeDirectories(path);
  for (const char16_t* folder : {u"C:\\Windows\\System32", u"C:\\Windows\\SysWOW64",
                                 u"C:\\Users\\Admin\\AppData\\Local\\Temp"})
    MakeDirectories(folder);
  MakeDirectories(FolderOf(programPath_));

  const String env = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  SetRegString(RootKey::LocalMachine, env, u"Path", u"%SystemRoot%\\system32;%SystemRoot%", RegType::ExpandSz);
  SetRegString(RootKey::LocalMachine, env, u"windir", u"%SystemRoot%", RegType::ExpandSz);
  SetRegString(RootKey::LocalMachine, env, u"TEMP", u"%SystemRoot%\\TEMP", RegType::ExpandSz);
  const String shellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  SetRegString(RootKey::LocalMachine, shellFolders, u"Common Programs", knownFolders_[KnownFolder::CommonPrograms]);
  SetRegString(RootKey::LocalMachine, shellFolders, u"Common AppData", knownFolders_[KnownFolder::ProgramData]);
  SetRegString(RootKey::CurrentUser, shellFolders, u"Programs", knownFolders_[KnownFolder::Programs]);
  SetRegString(RootKey::CurrentUser, shellFolders, u"AppData", knownFolders_[KnownFolder::RoamingAppData]);
  SetRegString(RootKey::CurrentUser, u"Environment", u"TEMP", u"%USERPROFILE%\\AppData\\Local\\Temp",
               RegType::ExpandSz);
  CreateRegKeyDirect(RootKey::ClassesRoot, u"");
  CreateRegKeyDirect(RootKey::Users, u"");
  CreateRegKeyDirect(RootKey::CurrentConfig, u"");

  for (const auto& [name, value] : std::initializer_list<std::pair<String, String>>{
           {u"SystemRoot", u"C:\\Windows"},
           {u"windir", u"C:\\Windows"},
           {u"TEMP", u"C:\\Users\\Admin\\AppData\\Local\\Temp"},
           {u"TMP", u"C:\\Users\\Admin\\AppData\\Local\\Temp"}})
    environment_[Upper(name)] = {name, value};

  accounts_ = {
      {u"S-1-5-32-544", u"Administrators", u"BUILTIN", 4},
      {u"S-1-5-32-545", u"Users", u"BUILTIN", 4},
      {u"S-1-5-32-547", u"Power Users", u"BUILTIN", 4},
      {u"S-1-5-18", u"SYSTEM", u"NT AUTHORITY", 5},
      {u"S-1-5-11", u"Authenticated Users", u"NT AUTHORITY", 5},
      {u"S-1-1-0", u"Everyone", u"", 5},
  };

  processTable_ = {{4, 0, u"System"}, {1000, 4, u"explorer.exe"}, {4242, 1000, u"PROGRAM.EXE"}};
}

MemoryMachine::~MemoryMachine() = default;

// ------------------------------------------------------------------ counts and injection

std::optional<std::uint32_t> MemoryMachine::Enter(const char* op, std::initializer_list<StringView> subjects) {
  ++total_;
  const std::string_view name(op);
  auto counted = counts_.find(name);
  if (counted == counts_.end()) counted = counts_.emplace(name, Counter()).first;
  Bump(counted->second);
  if (subjects.size() != 0) {
    auto bySubject = subjectCounts_.find(name);
    if (bySubject == subjectCounts_.end()) bySubject = subjectCounts_.emplace(name, SubjectCounts()).first;
    for (StringView s : subjects) {
      auto it = bySubject->second.find(s);
      if (it == bySubject->second.end()) it = bySubject->second.emplace(Upper(s), Counter()).first;
      Bump(it->second);
    }
  }
  for (Injection& inj : injections_) {
    if (inj.spent || inj.op != op) continue;
    if (inj.filter) {
      bool any = false;
      for (StringView s : subjects) any = any || SubjectMatches(*inj.filter, s);
      if (!any) continue;
    }
    ++inj.seen;
    if (inj.nth != 0 && inj.seen != inj.nth) continue;
    if (inj.nth != 0) inj.spent = true;
    if (inj.error == kFaultThrows) throw std::runtime_error(std::string("Fault injected into ") + op + ".");
    return inj.error;
  }
  return std::nullopt;
}

void MemoryMachine::InjectFailure(const std::string& op, std::uint32_t nthCall, std::uint32_t error,
                                  std::optional<String> subjectFilter) {
  std::lock_guard lk(mu_);
  Injection inj;
  inj.op = op;
  inj.nth = nthCall;
  inj.error = error;
  inj.filter = std::move(subjectFilter);
  injections_.push_back(std::move(inj));
}

void MemoryMachine::ClearFailures() {
  std::lock_guard lk(mu_);
  injections_.clear();
}

std::uint64_t MemoryMachine::Count(const std::string& op) const {
  std::lock_guard lk(mu_);
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : Read(it->second);
}

std::uint64_t MemoryMachine::Count(const std::string& op, const String& subject) const {
  std::lock_guard lk(mu_);
  auto bySubject = subjectCounts_.find(op);
  if (bySubject == subjectCounts_.end()) return 0;
  auto it = bySubject->second.find(subject);
  return it == bySubject->second.end() ? 0 : Read(it->second);
}

std::map<std::string, std::uint64_t> MemoryMachine::Counts() const {
  std::lock_guard lk(mu_);
  std::map<std::string, std::uint64_t> counts;
  for (const auto& entry : counts_)
    if (Read(entry.second) != 0) counts.emplace_hint(counts.end(), entry.first, Read(entry.second));
  return counts;
}

std::uint64_t MemoryMachine::TotalCount() const {
  std::lock_guard lk(mu_);
  return total_;
}

std::uint64_t MemoryMachine::NetworkCount() const {
  std::lock_guard lk(mu_);
  return network_;
}

std::vector<MemoryMachine::NetworkOperation> MemoryMachine::NetworkOperations() const {
  std::lock_guard lk(mu_);
  return networkOps_;
}

void MemoryMachine::SetNetworkLatencyMicros(std::uint64_t micros) {
  std::lock_guard lk(mu_);
  networkLatencyMicros_ = micros;
}

std::uint64_t MemoryMachine::SimulatedNetworkMicros() const {
  std::lock_guard lk(mu_);
  return simulatedNetworkMicros_;
}

void MemoryMachine::ResetCounts() {
  std::lock_guard lk(mu_);
  // The counters stay and read 0 from the next epoch on: a machine reset
  // between runs (the fuzz targets reset theirs for every input) then counts
  // again without copying a name.
  ++countEpoch_;
  total_ = 0;
  network_ = 0;
  simulatedNetworkMicros_ = 0;
  networkOps_.clear();
  tempFilesCreated_ = 0;
}

std::uint64_t MemoryMachine::TempFilesCreated() const {
  std::lock_guard lk(mu_);
  return tempFilesCreated_;
}

// ------------------------------------------------------------------ handles

void MemoryMachine::CloseHandle(Handle handle) {
  std::lock_guard lk(mu_);
  if (Enter("CloseHandle")) return;
  files_.erase(handle);
  processes_.erase(handle);
  mappings_.erase(handle);
}

// ------------------------------------------------------------------ environment

bool MemoryMachine::GetEnvironmentVariable(const String& name, String& value) {
  std::lock_guard lk(mu_);
  value.clear();
  if (Enter("GetEnvironmentVariableW", {name})) return false;
  auto it = environment_.find(name);
  if (it == environment_.end()) return false;
  value = it->second.second;
  return true;
}

bool MemoryMachine::GetEnvironmentStrings(std::vector<std::pair<String, String>>& variables) {
  std::lock_guard lk(mu_);
  variables.clear();
  if (Enter("GetEnvironmentStringsW")) return false;
  variables.reserve(environment_.size());
  for (const auto& entry : environment_) variables.push_back(entry.second);
  return true;
}

// GetTempPathW's order: TMP, TEMP, USERPROFILE, then the Windows folder.
std::uint32_t MemoryMachine::GetTempPath(String& path) {
  std::lock_guard lk(mu_);
  path.clear();
  if (auto e = Enter("GetTempPathW")) return *e;
  for (const char16_t* name : {u"TMP", u"TEMP", u"USERPROFILE"}) {
    auto it = environment_.find(name);
    if (it != environment_.end() && !it->second.second.empty()) {
      path = WithTrailingBackslash(it->second.second);
      return kOk;
    }
  }
  path = u"C:\\Windows\\";
  return kOk;
}

bool MemoryMachine::SetEnvironmentVariable(const String& name, const std::optional<String>& value) {
  std::lock_guard lk(mu_);
  if (Enter("SetEnvironmentVariableW", {name})) return false;
  if (name.empty() || name.find(u'=') != String::npos) return false;
  if (!value) return environment_.erase(Upper(name)) == 1;
  environment_[Upper(name)] = {name, *value};
  return true;
}

std::uint32_t MemoryMachine::BroadcastSettingChange(const String& area, std::uint32_t timeoutMs) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("SendMessageTimeoutW", {area})) return *e;
  broadcasts_.push_back(area);
  return kOk;
}

std::vector<String> MemoryMachine::Broadcasts() const {
  std::lock_guard lk(mu_);
  return broadcasts_;
}

// ------------------------------------------------------------------ shell folders

namespace {
std::optional<KnownFolder> KnownFolderOfCsidl(int csidl) {
  switch (csidl) {
    case kCsidlCommonAppData: return KnownFolder::ProgramData;
    case kCsidlProgramFilesX86: return KnownFolder::ProgramFilesX86;
    case kCsidlAppData: return KnownFolder::RoamingAppData;
    case kCsidlCommonPrograms: return KnownFolder::CommonPrograms;
    case kCsidlPrograms: return KnownFolder::Programs;
    default: return std::nullopt;
  }
}
}  // namespace

std::uint32_t MemoryMachine::GetFolderPathByCsidl(int csidl, String& path) {
  std::lock_guard lk(mu_);
  path.clear();
  if (auto e = Enter("SHGetFolderPathW", {ToString(csidl)})) return *e;
  if (!shFolderAvailable_) return kApiUnavailable;
  if (auto it = csidlFolders_.find(csidl); it != csidlFolders_.end()) {
    path = it->second;
    return kOk;
  }
  if (bitness_ != ProcessBitness::Unmodelled &&
      (csidl == kCsidlProgramFilesX86 || csidl == kCsidlProgramFilesX86Always)) {
    // CSIDL 38 is the calling process's own program-files folder; CSIDL 42
    // the 32-bit one, which on 32-bit Windows is the only one.
    const bool x86 = is64Bit_ && (csidl == kCsidlProgramFilesX86Always || bitness_ == ProcessBitness::Wow64);
    auto it = knownFolders_.find(KnownFolder::ProgramFilesX86);
    path = x86 && it != knownFolders_.end() ? it->second : String(u"C:\\Program Files");
    return kOk;
  }
  if (auto kf = KnownFolderOfCsidl(csidl)) {
    if (auto it = knownFolders_.find(*kf); it != knownFolders_.end()) {
      path = it->second;
      return kOk;
    }
  }
  return kHrInvalidArg;
}

std::uint32_t MemoryMachine::GetKnownFolderPath(KnownFolder folder, String& path) {
  std::lock_guard lk(mu_);
  path.clear();
  if (auto e = Enter("SHGetKnownFolderPath")) return *e;
  auto it = knownFolders_.find(folder);
  if (it == knownFolders_.end() || it->second.empty()) return HresultFromWin32(kErrFileNotFound);
  path = it->second;
  return kOk;
}

void MemoryMachine::SetKnownFolder(KnownFolder folder, const String& path) {
  std::lock_guard lk(mu_);
  knownFolders_[folder] = path;
}

void MemoryMachine::SetCsidlFolder(int csidl, const String& path) {
  std::lock_guard lk(mu_);
  csidlFolders_[csidl] = path;
}

void MemoryMachine::SetShFolderAvailable(bool available) {
  std::lock_guard lk(mu_);
  shFolderAvailable_ = available;
}

// ------------------------------------------------------------------ accounts

std::uint32_t MemoryMachine::LookupAccountSid(const String& sid, AccountName& account, const String& systemName) {
  std::lock_guard lk(mu_);
  account = AccountName{};
  if (auto e = Enter("LookupAccountSidW", {sid, systemName})) return *e;
  if (sid.size() < 5 || Upper(sid.substr(0, 4)) != u"S-1-") return kErrInvalidSid;
  if (Upper(sid) == Upper(userSid_)) {
    account = AccountName{userName_, computerName_, 1};
    return kOk;
  }
  for (const Account& a : accounts_) {
    if (Upper(a.sid) == Upper(sid)) {
      account = AccountName{a.name, a.domain, a.sidType};
      return kOk;
    }
  }
  return kErrNoneMapped;
}

std::uint32_t MemoryMachine::LookupAccountName(const String& name, String& sid, const String& systemName) {
  std::lock_guard lk(mu_);
  sid.clear();
  if (auto e = Enter("LookupAccountNameW", {name, systemName})) return *e;
  String domain, account = name;
  if (std::size_t k = name.find(u'\\'); k != String::npos) {
    domain = name.substr(0, k);
    account = name.substr(k + 1);
  }
  const bool anyDomain = domain.empty();
  if (Upper(account) == Upper(userName_) && (anyDomain || Upper(domain) == Upper(computerName_))) {
    sid = userSid_;
    return kOk;
  }
  for (const Account& a : accounts_) {
    if (Upper(a.name) == Upper(account) && (anyDomain || Upper(a.domain) == Upper(domain))) {
      sid = a.sid;
      return kOk;
    }
  }
  return kErrNoneMapped;
}

std::uint32_t MemoryMachine::GetUserName(String& name) {
  std::lock_guard lk(mu_);
  name.clear();
  if (auto e = Enter("GetUserNameW")) return *e;
  name = userName_;
  return kOk;
}

std::uint32_t MemoryMachine::GetTokenElevation(bool& elevated) {
  std::lock_guard lk(mu_);
  elevated = false;
  if (auto e = Enter("OpenProcessToken")) return *e;
  elevated = elevated_;
  return kOk;
}

std::uint32_t MemoryMachine::CheckAdministratorsMembership(bool& member) {
  std::lock_guard lk(mu_);
  member = false;
  if (auto e = Enter("CheckTokenMembership")) return *e;
  member = adminMember_;
  return kOk;
}

void MemoryMachine::SetUserName(const String& name) {
  std::lock_guard lk(mu_);
  userName_ = name;
}

void MemoryMachine::SetUserSid(const String& sid) {
  std::lock_guard lk(mu_);
  userSid_ = sid;
}

void MemoryMachine::SetAccount(const String& sid, const String& name, const String& domain, std::uint32_t sidType) {
  std::lock_guard lk(mu_);
  for (Account& a : accounts_) {
    if (Upper(a.sid) == Upper(sid)) {
      a = Account{sid, name, domain, sidType};
      return;
    }
  }
  accounts_.push_back(Account{sid, name, domain, sidType});
}

void MemoryMachine::SetTokenElevation(bool elevated) {
  std::lock_guard lk(mu_);
  elevated_ = elevated;
}

void MemoryMachine::SetAdministratorsMember(bool member) {
  std::lock_guard lk(mu_);
  adminMember_ = member;
}

// ------------------------------------------------------------------ machine

std::uint32_t MemoryMachine::GetComputerName(String& name) {
  std::lock_guard lk(mu_);
  name.clear();
  if (auto e = Enter("GetComputerNameW")) return *e;
  name = computerName_;
  return kOk;
}

std::uint32_t MemoryMachine::GetPhysicalComputerName(String& name) {
  std::lock_guard lk(mu_);
  name.clear();
  if (auto e = Enter("GetComputerNameExW")) return *e;
  name = physicalName_ ? *physicalName_ : computerName_;
  return kOk;
}

OsVersion MemoryMachine::GetVersion() {
  std::lock_guard lk(mu_);
  if (Enter("GetVersionExW")) return OsVersion{0, 0, 0, 0};
  return version_;
}

std::uint32_t MemoryMachine::VerifyVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t spMajor,
                                           bool& atLeast) {
  std::lock_guard lk(mu_);
  atLeast = false;
  if (auto e = Enter("VerifyVersionInfoW")) return *e;
  if (!verifyVersionAvailable_) return kApiUnavailable;
  if (version_.major != major)
    atLeast = version_.major > major;
  else if (version_.minor != minor)
    atLeast = version_.minor > minor;
  else
    atLeast = version_.servicePackMajor >= spMajor;
  return kOk;
}

std::uint32_t MemoryMachine::GetSystemWow64Directory(String& path) {
  std::lock_guard lk(mu_);
  path.clear();
  if (auto e = Enter("GetSystemWow64DirectoryW")) return *e;
  if (!wow64ExportAvailable_) return kApiUnavailable;
  if (!is64Bit_) return kErrCallNotImplemented;
  path = u"C:\\Windows\\SysWOW64";
  return kOk;
}

String MemoryMachine::AnsiToWide(std::string_view bytes) {
  std::lock_guard lk(mu_);
  if (Enter("MultiByteToWideChar")) return String();
  return FromCp1252(bytes);
}

std::string MemoryMachine::WideToAnsi(StringView text) {
  std::lock_guard lk(mu_);
  if (Enter("WideCharToMultiByte")) return std::string();
  return ToCp1252(text);
}

std::string MemoryMachine::WideToAnsiExact(StringView text, bool& usedDefault) {
  std::lock_guard lk(mu_);
  usedDefault = false;
  if (Enter("WideCharToMultiByte")) return std::string();
  std::string out = ToCp1252(text);
  for (std::size_t i = 0; i < text.size() && i < out.size(); ++i)
    if (out[i] == '?' && text[i] != u'?') usedDefault = true;
  return out;
}

String MemoryMachine::FormatSystemMessage(std::uint32_t code) {
  std::lock_guard lk(mu_);
  if (Enter("FormatMessageW")) return String();
  for (const SystemMessage& m : kSystemMessages)
    if (m.code == code) return m.text;
  return Format(u"System error %u.", code);
}

void MemoryMachine::SetComputerName(const String& name) {
  std::lock_guard lk(mu_);
  computerName_ = name;
}

void MemoryMachine::SetPhysicalComputerName(std::optional<String> name) {
  std::lock_guard lk(mu_);
  physicalName_ = std::move(name);
}

void MemoryMachine::SetOsVersion(const OsVersion& version) {
  std::lock_guard lk(mu_);
  version_ = version;
}

void MemoryMachine::SetVerifyVersionAvailable(bool available) {
  std::lock_guard lk(mu_);
  verifyVersionAvailable_ = available;
}

void MemoryMachine::SetWindows64Bit(bool is64) {
  std::lock_guard lk(mu_);
  is64Bit_ = is64;
}

void MemoryMachine::SetWow64ExportAvailable(bool available) {
  std::lock_guard lk(mu_);
  wow64ExportAvailable_ = available;
}

void MemoryMachine::SetProcessBitness(ProcessBitness bitness) {
  std::lock_guard lk(mu_);
  bitness_ = bitness;
  if (bitness != ProcessBitness::Unmodelled) MakeDirectoriesLocked(u"C:\\Program Files");
}

MemoryMachine::ProcessBitness MemoryMachine::GetProcessBitness() const {
  std::lock_guard lk(mu_);
  return bitness_;
}

bool MemoryMachine::IsWow64Process() const {
  std::lock_guard lk(mu_);
  return is64Bit_ && bitness_ == ProcessBitness::Wow64;
}

// ------------------------------------------------------------------ processes

std::uint32_t MemoryMachine::CurrentProcessId() {
  std::lock_guard lk(mu_);
  if (Enter("GetCurrentProcessId")) return 0;
  return currentPid_;
}

std::uint32_t MemoryMachine::ProcessSnapshot(std::vector<ProcessEntry>& processes) {
  std::lock_guard lk(mu_);
  processes.clear();
  if (auto e = Enter("CreateToolhelp32Snapshot")) return *e;
  const std::int64_t now = static_cast<std::int64_t>(NowMs());
  for (const ProcessEntry& p : processTable_) {
    auto it = started_by_pid_.find(p.pid);
    if (it != started_by_pid_.end() && it->second->endMs >= 0 && it->second->endMs <= now) continue;
    processes.push_back(p);
  }
  return kOk;
}

void MemoryMachine::AddProcess(std::uint32_t pid, std::uint32_t parentPid, const String& exeName) {
  std::lock_guard lk(mu_);
  for (ProcessEntry& p : processTable_) {
    if (p.pid == pid) {
      p = ProcessEntry{pid, parentPid, exeName};
      return;
    }
  }
  processTable_.push_back(ProcessEntry{pid, parentPid, exeName});
}

void MemoryMachine::ClearProcesses() {
  std::lock_guard lk(mu_);
  processTable_.clear();
}

void MemoryMachine::SetCurrentProcess(std::uint32_t pid) {
  std::lock_guard lk(mu_);
  currentPid_ = pid;
}

MemoryMachine::ProcessRecord* MemoryMachine::ProcessOf(Handle h) {
  auto it = processes_.find(h);
  return it == processes_.end() ? nullptr : it->second.get();
}

std::uint32_t MemoryMachine::CreateProcess(const String& commandLine, const String& workingDirectory,
                                           std::uint16_t showMode, Handle& process) {
  std::lock_guard lk(mu_);
  process = 0;
  StartedProcess attempt{commandLine, workingDirectory, showMode, 0, 0};
  auto fail = [&](std::uint32_t error) {
    attempt.error = error;
    started_.push_back(attempt);
    return error;
  };
  if (auto e = Enter("CreateProcessW", {commandLine})) return fail(*e);
  if (!workingDirectory.empty() && !IsDirectory(workingDirectory)) return fail(kErrDirectory);
  const String key = ProgramKey(ExecutableOf(commandLine));
  auto b = behaviours_.find(key);
  if (key.empty() || b == behaviours_.end()) return fail(kErrFileNotFound);
  if (b->second.startError) return fail(b->second.startError);

  auto rec = std::make_shared<ProcessRecord>();
  rec->pid = nextPid_++;
  rec->startMs = NowMs();
  rec->endMs = b->second.runsForMs < 0 ? -1 : static_cast<std::int64_t>(NowMs()) + b->second.runsForMs;
  rec->exitCode = b->second.exitCode;
  rec->ignoresTerminate = b->second.ignoresTerminate;
  attempt.pid = rec->pid;
  started_.push_back(attempt);
  processTable_.push_back(ProcessEntry{rec->pid, currentPid_, FileNameOf(ExecutableOf(commandLine))});
  started_by_pid_[rec->pid] = rec;
  process = NewHandle();
  processes_[process] = rec;
  return kOk;
}

std::uint32_t MemoryMachine::WaitForProcess(Handle process, std::uint32_t timeoutMs) {
  std::lock_guard lk(mu_);
  if (Enter("WaitForSingleObject")) return kWaitFailed;
  ProcessRecord* p = ProcessOf(process);
  if (!p) return kWaitFailed;
  const std::int64_t now = static_cast<std::int64_t>(NowMs());
  if (p->endMs >= 0 && p->endMs <= now) return kWaitObject0;
  if (p->endMs < 0) {
    // A program that never ends: an infinite wait would hang the caller for good.
    if (timeoutMs == kInfinite) return kWaitFailed;
    AdvanceLocked(timeoutMs);
    return kWaitTimeout;
  }
  const std::uint64_t remaining = static_cast<std::uint64_t>(p->endMs - now);
  if (timeoutMs == kInfinite || remaining <= timeoutMs) {
    AdvanceLocked(remaining);
    return kWaitObject0;
  }
  AdvanceLocked(timeoutMs);
  return kWaitTimeout;
}

std::uint32_t MemoryMachine::GetExitCodeProcess(Handle process, std::uint32_t& exitCode) {
  std::lock_guard lk(mu_);
  exitCode = 0;
  if (auto e = Enter("GetExitCodeProcess")) return *e;
  ProcessRecord* p = ProcessOf(process);
  if (!p) return kErrInvalidHandle;
  const bool ended = p->endMs >= 0 && p->endMs <= static_cast<std::int64_t>(NowMs());
  exitCode = ended ? p->exitCode : kStillActive;
  return kOk;
}

std::uint32_t MemoryMachine::TerminateProcess(Handle process, std::uint32_t exitCode) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("TerminateProcess")) return *e;
  ProcessRecord* p = ProcessOf(process);
  if (!p) return kErrInvalidHandle;
  const std::int64_t now = static_cast<std::int64_t>(NowMs());
  if (p->endMs >= 0 && p->endMs <= now) return kErrAccessDenied;
  if (p->ignoresTerminate) return kOk;
  p->endMs = now;
  p->exitCode = exitCode;
  return kOk;
}

void MemoryMachine::SetProgramBehaviour(const String& exeName, const ProgramBehaviour& behaviour) {
  std::lock_guard lk(mu_);
  behaviours_[ProgramKey(exeName)] = behaviour;
}

std::vector<MemoryMachine::StartedProcess> MemoryMachine::StartedProcesses() const {
  std::lock_guard lk(mu_);
  return started_;
}

std::size_t MemoryMachine::OpenProcessHandleCount() const {
  std::lock_guard lk(mu_);
  return processes_.size();
}

// ------------------------------------------------------------------ modules

Handle MemoryMachine::CurrentModule() {
  std::lock_guard lk(mu_);
  if (Enter("GetModuleHandleExW")) return 0;
  return currentModule_;
}

bool MemoryMachine::CurrentModuleIsLibrary() {
  std::lock_guard lk(mu_);
  if (Enter("CurrentModuleIsLibrary")) return false;
  return currentModuleIsLibrary_;
}

String MemoryMachine::ModuleFileName(Handle module) {
  std::lock_guard lk(mu_);
  if (Enter("GetModuleFileNameW")) return String();
  if (module == 0) return programPath_;
  auto it = libraries_.find(module);
  if (it == libraries_.end()) return String();
  const String& name = it->second->name;
  return name.find(u'\\') != String::npos ? name : FolderOf(programPath_) + name;
}

Handle MemoryMachine::LoadLibrary(const String& name, std::uint32_t& error) {
  std::lock_guard lk(mu_);
  error = kOk;
  if (auto e = Enter("LoadLibraryW", {name})) {
    error = *e;
    return 0;
  }
  String request = Trim(name);
  String file = FileNameOf(request);
  if (file.find(u'.') == String::npos) {
    file += u".DLL";
    request += u".DLL";
  }
  const bool requestHasFolder = request.find(u'\\') != String::npos || request.find(u'/') != String::npos;
  for (auto& [handle, lib] : libraries_) {
    const bool libHasFolder = lib->name.find(u'\\') != String::npos;
    bool match;
    if (requestHasFolder)
      match = libHasFolder ? Upper(lib->name) == Upper(request) : Upper(lib->name) == Upper(file);
    else
      match = Upper(FileNameOf(lib->name)) == Upper(file);
    if (match) {
      ++lib->refCount;
      return handle;
    }
  }
  error = kErrModNotFound;
  return 0;
}

void* MemoryMachine::GetProcAddress(Handle module, const char* name) {
  std::lock_guard lk(mu_);
  // Ordinals (values below 0x10000) are not exported by registered libraries.
  const bool byName = name != nullptr && reinterpret_cast<std::uintptr_t>(name) >= 0x10000;
  if (Enter("GetProcAddress", {byName ? FromUtf8(name) : String()})) return nullptr;
  if (!byName) return nullptr;
  auto it = libraries_.find(module);
  if (it == libraries_.end() || (it->second->refCount == 0 && !it->second->resident)) return nullptr;
  auto e = it->second->exports.find(name);
  return e == it->second->exports.end() ? nullptr : e->second;
}

void MemoryMachine::FreeLibrary(Handle module) {
  std::lock_guard lk(mu_);
  if (Enter("FreeLibrary")) return;
  auto it = libraries_.find(module);
  if (it != libraries_.end() && it->second->refCount > 0) --it->second->refCount;
}

String MemoryMachine::LoadString(Handle module, std::uint32_t id) {
  std::lock_guard lk(mu_);
  if (Enter("LoadStringW")) return String();
  const std::map<std::uint32_t, String>* table = nullptr;
  if (module == 0) {
    table = &programStrings_;
  } else if (auto it = libraries_.find(module);
             it != libraries_.end() && (it->second->refCount > 0 || it->second->resident)) {
    table = &it->second->strings;
  }
  if (!table) return String();
  auto s = table->find(id & 0xFFFFu);  // string identifiers are 16 bits: higher bits are not looked at
  return s == table->end() ? String() : s->second;
}

std::uint32_t MemoryMachine::SetErrorMode(std::uint32_t mode) {
  std::lock_guard lk(mu_);
  if (Enter("SetErrorMode")) return 0;
  const std::uint32_t previous = errorMode_;
  errorMode_ = mode;
  errorModes_.push_back(mode);
  return previous;
}

void MemoryMachine::ExitProcess(std::uint32_t exitCode) {
  {
    std::lock_guard lk(mu_);
    Enter("ExitProcess");
    exitCode_ = exitCode;
  }
  throw ProcessExit{exitCode};
}

void MemoryMachine::TerminateCurrentProcess(std::uint32_t exitCode) {
  {
    std::lock_guard lk(mu_);
    Enter("TerminateProcess");
    exitCode_ = exitCode;
  }
  throw ProcessExit{exitCode};
}

Handle MemoryMachine::RegisterLibrary(const String& name, std::map<std::string, void*> exports,
                                      std::map<std::uint32_t, String> strings) {
  std::lock_guard lk(mu_);
  auto lib = std::make_unique<Library>();
  lib->name = name;
  lib->exports = std::move(exports);
  lib->strings = std::move(strings);
  const Handle h = NewHandle();
  libraries_[h] = std::move(lib);
  return h;
}

void MemoryMachine::SetProgramStrings(std::map<std::uint32_t, String> strings) {
  std::lock_guard lk(mu_);
  programStrings_ = std::move(strings);
}

void MemoryMachine::SetProgramPath(const String& path) {
  std::lock_guard lk(mu_);
  programPath_ = path;
}

void MemoryMachine::SetCurrentModule(Handle module, bool isLibrary) {
  std::lock_guard lk(mu_);
  currentModule_ = module;
  currentModuleIsLibrary_ = isLibrary;
  if (auto it = libraries_.find(module); it != libraries_.end()) it->second->resident = true;
}

std::uint32_t MemoryMachine::LibraryRefCount(const String& name) const {
  std::lock_guard lk(mu_);
  for (const auto& [h, lib] : libraries_)
    if (Upper(lib->name) == Upper(name)) return lib->refCount;
  return 0;
}

std::uint32_t MemoryMachine::ErrorMode() const {
  std::lock_guard lk(mu_);
  return errorMode_;
}

std::vector<std::uint32_t> MemoryMachine::ErrorModeHistory() const {
  std::lock_guard lk(mu_);
  return errorModes_;
}

std::optional<std::uint32_t> MemoryMachine::ExitCode() const {
  std::lock_guard lk(mu_);
  return exitCode_;
}

// ------------------------------------------------------------------ clock

FileTime MemoryMachine::MakeFileTime(int year, int month, int day, int hour, int minute, int second,
                                     int milliseconds) {
  const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                            kDays1601To1970;
  const std::int64_t ms = ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + milliseconds;
  return static_cast<FileTime>(days) * kTicksPerDay + static_cast<FileTime>(ms) * kTicksPerMs;
}

LocalTime MemoryMachine::SplitFileTime(FileTime time) {
  LocalTime t;
  const std::int64_t days = static_cast<std::int64_t>(time / kTicksPerDay) - kDays1601To1970;
  std::uint64_t ms = (time % kTicksPerDay) / kTicksPerMs;
  const CivilDate date = CivilFromDays(days);
  t.year = date.year;
  t.month = date.month;
  t.day = date.day;
  t.dayOfWeek = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  t.milliseconds = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
  return t;
}

LocalTime MemoryMachine::GetLocalTime() {
  std::lock_guard lk(mu_);
  Enter("GetLocalTime");
  const std::int64_t local = static_cast<std::int64_t>(utc_) + offsetMinutes_ * 60 * 10000000;
  return SplitFileTime(static_cast<FileTime>(std::max<std::int64_t>(local, 0)));
}

FileTime MemoryMachine::GetSystemTimeAsFileTime() {
  std::lock_guard lk(mu_);
  Enter("GetSystemTimeAsFileTime");
  return utc_;
}

LocalTime MemoryMachine::FileTimeToLocalTime(FileTime utc) {
  std::lock_guard lk(mu_);
  if (Enter("FileTimeToLocalFileTime")) return LocalTime{};
  const std::int64_t local = static_cast<std::int64_t>(utc) + offsetMinutes_ * 60 * 10000000;
  return SplitFileTime(static_cast<FileTime>(std::max<std::int64_t>(local, 0)));
}

void MemoryMachine::Sleep(std::uint32_t milliseconds) {
  std::unique_lock lk(mu_);
  Enter("Sleep");
  // A worker thread (such as a message box's closing thread) must not run
  // ahead of a box that the test expects to stay open: wait for it to open.
  if (std::this_thread::get_id() != uiThread_ && WaitBoxPending())
    cv_.wait_for(lk, std::chrono::milliseconds(safetyTimeoutMs_), [&] { return !WaitBoxPending(); });
  AdvanceLocked(milliseconds);
  lk.unlock();
  std::this_thread::yield();
}

void MemoryMachine::SetUtc(FileTime utc) {
  std::lock_guard lk(mu_);
  utc_ = utc;
}

void MemoryMachine::SetLocalTime(int year, int month, int day, int hour, int minute, int second,
                                 int milliseconds) {
  std::lock_guard lk(mu_);
  const std::int64_t local = static_cast<std::int64_t>(MakeFileTime(year, month, day, hour, minute, second, milliseconds));
  utc_ = static_cast<FileTime>(local - offsetMinutes_ * 60 * 10000000);
}

void MemoryMachine::SetTimeZoneOffsetMinutes(int minutes) {
  std::lock_guard lk(mu_);
  offsetMinutes_ = minutes;
}

void MemoryMachine::Advance(std::uint64_t milliseconds) {
  std::lock_guard lk(mu_);
  AdvanceLocked(milliseconds);
}

// ------------------------------------------------------------------ windows and dialogs

bool MemoryMachine::WaitBoxPending() const { return !boxScript_.empty() && boxScript_.front().waitForEndDialog; }

int MemoryMachine::DefaultButton(std::uint32_t style) const {
  if (boxDefault_) return *boxDefault_;
  static const std::vector<int> kButtons[] = {
      {kIdOk}, {kIdOk, kIdCancel}, {kIdAbort, kIdRetry, kIdIgnore}, {kIdYes, kIdNo, kIdCancel},
      {kIdYes, kIdNo}, {kIdRetry, kIdCancel}, {kIdCancel, 10, 11}};
  const std::size_t set = style & 0xF;
  const std::vector<int>& buttons = set < std::size(kButtons) ? kButtons[set] : kButtons[0];
  const std::size_t def = (style >> 8) & 0xF;
  return def < buttons.size() ? buttons[def] : buttons[0];
}

int MemoryMachine::MessageBox(const String& text, const String& caption, std::uint32_t style) {
  std::unique_lock lk(mu_);
  if (Enter("MessageBoxW", {caption})) return 0;
  MessageBoxRecord rec{text, caption, style, 0, 0, false, false};
  BoxScript script;
  const bool scripted = !boxScript_.empty();
  if (scripted) {
    script = boxScript_.front();
    boxScript_.erase(boxScript_.begin());
  }
  if (!scripted || !script.waitForEndDialog) {
    rec.result = scripted ? script.answer : DefaultButton(style);
    boxes_.push_back(rec);
    return rec.result;
  }
  auto window = std::make_shared<Window>();
  window->handle = NewHandle();
  window->className = u"#32770";
  window->title = caption;
  window->messageBox = true;
  window->boxIndex = boxes_.size();
  rec.window = window->handle;
  boxes_.push_back(rec);
  windows_.push_back(window);
  cv_.notify_all();
  const bool ended =
      cv_.wait_for(lk, std::chrono::milliseconds(safetyTimeoutMs_), [&] { return window->ended; });
  MessageBoxRecord& stored = boxes_[window->boxIndex];
  stored.endedByEndDialog = ended;
  stored.safetyTimeout = !ended;
  stored.result = ended ? window->result : DefaultButton(style);
  window->ended = true;
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  cv_.notify_all();
  return stored.result;
}

Handle MemoryMachine::FindWindow(const String& className, const String& title) {
  std::lock_guard lk(mu_);
  if (Enter("FindWindowW", {title})) return 0;
  for (const auto& w : windows_) {
    if (w->ended) continue;
    if (!className.empty() && Upper(className) != Upper(w->className)) continue;
    if (!title.empty() && Upper(title) != Upper(w->title)) continue;
    return w->handle;
  }
  return 0;
}

Handle MemoryMachine::FindWindowByTitle(const String& title) {
  std::lock_guard lk(mu_);
  if (Enter("FindWindowW", {title})) return 0;
  for (const auto& w : windows_)
    if (!w->ended && Upper(title) == Upper(w->title)) return w->handle;
  return 0;
}

bool MemoryMachine::EndDialog(Handle window, int result) {
  std::lock_guard lk(mu_);
  if (Enter("EndDialog")) return false;
  for (const auto& w : windows_) {
    if (w->handle != window || w->ended) continue;
    endDialogs_.emplace_back(window, result);
    if (w->messageBox) {
      w->ended = true;
      w->result = result;
      cv_.notify_all();
    }
    return true;
  }
  return false;
}

std::uintptr_t MemoryMachine::SendCopyData(Handle window, std::uintptr_t dataWord, const Bytes& data) {
  std::lock_guard lk(mu_);
  if (Enter("SendMessageW")) return 0;
  for (const auto& w : windows_) {
    if (w->handle == window && !w->ended) {
      copyData_.push_back(CopyDataRecord{window, dataWord, data});
      return copyDataAnswer_;
    }
  }
  return 0;
}

int MemoryMachine::ShowDialog(const DialogRequest& request) {
  std::lock_guard lk(mu_);
  if (Enter("ShowDialog", {request.title})) return -1;
  dialogs_.push_back(request);
  if (dialogScript_.empty()) return dialogDefault_;
  const int answer = dialogScript_.front();
  dialogScript_.erase(dialogScript_.begin());
  return answer;
}

void MemoryMachine::ScriptMessageBox(int answer) {
  std::lock_guard lk(mu_);
  boxScript_.push_back(BoxScript{answer, false});
}

void MemoryMachine::ScriptMessageBoxWaitForEndDialog() {
  std::lock_guard lk(mu_);
  boxScript_.push_back(BoxScript{0, true});
}

void MemoryMachine::SetMessageBoxDefault(std::optional<int> answer) {
  std::lock_guard lk(mu_);
  boxDefault_ = answer;
}

void MemoryMachine::SetSafetyTimeoutMs(std::uint32_t ms) {
  std::lock_guard lk(mu_);
  safetyTimeoutMs_ = ms;
}

void MemoryMachine::SetUiThread(std::thread::id id) {
  std::lock_guard lk(mu_);
  uiThread_ = id;
}

std::vector<MemoryMachine::MessageBoxRecord> MemoryMachine::MessageBoxes() const {
  std::lock_guard lk(mu_);
  return boxes_;
}

void MemoryMachine::ScriptDialog(int answer) {
  std::lock_guard lk(mu_);
  dialogScript_.push_back(answer);
}

void MemoryMachine::SetDialogDefault(int answer) {
  std::lock_guard lk(mu_);
  dialogDefault_ = answer;
}

std::vector<DialogRequest> MemoryMachine::Dialogs() const {
  std::lock_guard lk(mu_);
  return dialogs_;
}

Handle MemoryMachine::AddWindow(const String& className, const String& title) {
  std::lock_guard lk(mu_);
  auto w = std::make_shared<Window>();
  w->handle = NewHandle();
  w->className = className;
  w->title = title;
  windows_.push_back(w);
  return w->handle;
}

void MemoryMachine::RemoveWindow(Handle window) {
  std::lock_guard lk(mu_);
  for (auto it = windows_.begin(); it != windows_.end(); ++it) {
    if ((*it)->handle != window || (*it)->messageBox) continue;
    windows_.erase(it);
    return;
  }
}

void MemoryMachine::SetCopyDataAnswer(std::uintptr_t answer) {
  std::lock_guard lk(mu_);
  copyDataAnswer_ = answer;
}

std::vector<MemoryMachine::CopyDataRecord> MemoryMachine::CopyDataSent() const {
  std::lock_guard lk(mu_);
  return copyData_;
}

std::vector<std::pair<Handle, int>> MemoryMachine::EndDialogCalls() const {
  std::lock_guard lk(mu_);
  return endDialogs_;
}

// ------------------------------------------------------------------ event log

Handle MemoryMachine::RegisterEventSource(const String& sourceName) {
  std::lock_guard lk(mu_);
  if (Enter("RegisterEventSourceW", {sourceName})) return 0;
  const Handle h = NewHandle();
  eventSources_[h] = sourceName;
  return h;
}

std::uint32_t MemoryMachine::ReportEvent(Handle source, std::uint16_t type, std::uint16_t category,
                                         std::uint32_t eventId, const String& userSid,
                                         const std::vector<String>& strings) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("ReportEventW", {userSid})) return *e;
  auto it = eventSources_.find(source);
  if (it == eventSources_.end()) return kErrInvalidHandle;
  events_.push_back(EventRecord{it->second, type, category, eventId, userSid, strings});
  return kOk;
}

void MemoryMachine::DeregisterEventSource(Handle source) {
  std::lock_guard lk(mu_);
  if (Enter("DeregisterEventSource")) return;
  eventSources_.erase(source);
}

std::vector<MemoryMachine::EventRecord> MemoryMachine::Events() const {
  std::lock_guard lk(mu_);
  return events_;
}

std::size_t MemoryMachine::OpenEventSourceCount() const {
  std::lock_guard lk(mu_);
  return eventSources_.size();
}

// ------------------------------------------------------------------ shared memory

std::size_t MemoryMachine::OpenMappingCount() const {
  std::lock_guard lk(mu_);
  return mappings_.size();
}

std::size_t MemoryMachine::MappedViewCount() const {
  std::lock_guard lk(mu_);
  std::size_t count = 0;
  for (const auto& [view, entry] : views_) count += static_cast<std::size_t>(entry.second);
  return count;
}

std::uint32_t MemoryMachine::CreateSharedMemory(const String& name, std::uint32_t size, Handle& mapping,
                                                bool& alreadyExisted) {
  std::lock_guard lk(mu_);
  mapping = 0;
  alreadyExisted = false;
  if (auto e = Enter("CreateFileMappingW", {name})) return *e;
  std::shared_ptr<SharedBlock> block;
  if (!name.empty()) block = blocks_[Upper(name)].lock();
  if (block) {
    alreadyExisted = true;
  } else {
    if (size == 0) return kErrInvalidParameter;
    block = std::make_shared<SharedBlock>();
    block->name = name;
    block->memory.assign(size, 0);
    if (!name.empty()) blocks_[Upper(name)] = block;
  }
  mapping = NewHandle();
  mappings_[mapping] = block;
  return kOk;
}

void* MemoryMachine::MapSharedMemory(Handle mapping, std::uint32_t size) {
  std::lock_guard lk(mu_);
  if (Enter("MapViewOfFile")) return nullptr;
  auto it = mappings_.find(mapping);
  if (it == mappings_.end() || size > it->second->memory.size()) return nullptr;
  void* view = it->second->memory.data();
  auto& v = views_[view];
  v.first = it->second;
  ++v.second;
  return view;
}

void MemoryMachine::UnmapSharedMemory(void* view) {
  std::lock_guard lk(mu_);
  if (Enter("UnmapViewOfFile")) return;
  auto it = views_.find(view);
  if (it == views_.end()) return;
  if (--it->second.second == 0) views_.erase(it);
}

std::uint8_t* MemoryMachine::HoldSharedMemory(const String& name, std::uint32_t size) {
  std::lock_guard lk(mu_);
  std::shared_ptr<SharedBlock> block = blocks_[Upper(name)].lock();
  if (!block) {
    block = std::make_shared<SharedBlock>();
    block->name = name;
    block->memory.assign(std::max<std::uint32_t>(size, 1), 0);
    blocks_[Upper(name)] = block;
  }
  heldBlocks_.push_back(block);
  return block->memory.data();
}

}  // namespace qv::platform
