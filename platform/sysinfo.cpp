// Questions about the machine and the process, each answered through the
// platform seam. Failures become false, 0 or an empty string.

#include "platform/sysinfo.h"

#include <mutex>
#include <set>

#include "platform/pos.h"
#include "platform/registry.h"

namespace qv {

namespace {

// The ancestry answer: computed on the first call, kept for the process.
struct AncestorCache {
  std::mutex lock;
  bool pending = true;
  int answer = 0;
};

AncestorCache& Ancestry() {
  static AncestorCache cache;
  return cache;
}

int ComputeAncestor(const std::vector<String>& names) {
  if (!WindowsVersionAtLeast(6, 0, 0)) return 0;
  platform::Platform& p = platform::Current();
  std::vector<platform::ProcessEntry> snapshot;
  if (p.ProcessSnapshot(snapshot) != platform::kOk) return 0;
  std::set<std::uint32_t> visited;
  std::uint32_t pid = p.CurrentProcessId();
  for (;;) {
    const platform::ProcessEntry* entry = nullptr;
    for (const platform::ProcessEntry& e : snapshot) {
      if (e.pid == pid) {
        entry = &e;
        break;
      }
    }
    if (!entry) return 0;
    // A parent identifier that leads back into the chain (a reused
    // identifier) ends the walk instead of looping for ever.
    if (!visited.insert(pid).second) return 0;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (EqualsNoCaseAscii(entry->exeName, names[i])) return static_cast<int>(i + 1);
    pid = entry->parentPid;
  }
}

constexpr std::uint64_t kTicksPerMs = 10000;
constexpr std::uint64_t kMsPerDay = 86400000;
// Days from 1601-01-01 (FILETIME's origin) to 1899-12-30 (the date-time origin).
constexpr std::int64_t kDaysTo1899 = 109205;

}  // namespace

bool WindowsVersionAtLeast(std::uint16_t major, std::uint16_t minor, std::uint16_t servicePackMajor) {
  bool atLeast = false;
  if (platform::Current().VerifyVersion(major, minor, servicePackMajor, atLeast) != platform::kOk) return false;
  return atLeast;
}

bool IsUserAdmin() {
  platform::Platform& p = platform::Current();
  const platform::OsVersion v = p.GetVersion();
  if (v.major < 6) return false;
  bool member = false;
  if (p.CheckAdministratorsMembership(member) != platform::kOk) return false;
  return member;
}

bool IsWindows64Bit() {
  String folder;
  return platform::Current().GetSystemWow64Directory(folder) == platform::kOk && !folder.empty();
}

String GetMachineName() {
  String name;
  if (platform::Current().GetPhysicalComputerName(name) != platform::kOk) return String();
  return name;
}

int FindAncestorProcess(const std::vector<String>& names) {
  AncestorCache& cache = Ancestry();
  std::lock_guard guard(cache.lock);
  if (cache.pending) {
    cache.answer = ComputeAncestor(names);
    cache.pending = false;
  }
  return cache.answer;
}

String GetServiceNodeName(StringView serviceName) {
  String key = u"SYSTEM\\CurrentControlSet\\services\\";
  key += serviceName;
  const String imagePath = Trim(ReadRegString(RootKey::LocalMachine, key, u"ImagePath", u""));
  if (imagePath.empty()) return String();
  const int blank = CharPos(u' ', imagePath, true, false, static_cast<int>(imagePath.size()));
  if (blank == 0) return String();
  return imagePath.substr(static_cast<std::size_t>(blank), 999);
}

platform::FileTime GetFileWriteTime(StringView path) {
  platform::FileTime time = 0;
  if (platform::Current().FindFirstFileWriteTime(String(path), time) != platform::kOk) return 0;
  return time;
}

double GetFileWriteDateTime(StringView path) {
  const platform::FileTime time = GetFileWriteTime(path);
  if (time == 0) return 0;
  const std::uint64_t ms = time / kTicksPerMs;
  const std::int64_t days = static_cast<std::int64_t>(ms / kMsPerDay) - kDaysTo1899;
  const double fraction = static_cast<double>(ms % kMsPerDay) / static_cast<double>(kMsPerDay);
  // Date-time values before the origin keep the time of day as a positive
  // fraction below the (negative) day number.
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

void ResetAncestorCacheForTests() {
  AncestorCache& cache = Ancestry();
  std::lock_guard guard(cache.lock);
  cache.pending = true;
  cache.answer = 0;
}

}  // namespace qv
