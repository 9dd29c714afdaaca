#include "platform/local_path.h"

#include "platform/pos.h"
#include "platform/seam.h"

namespace qv {

using namespace platform;

namespace {

thread_local ComputerNameCache* t_computerNameCache = nullptr;

// GetFullPathNameW, then the universal name when the drive is a mapped
// network drive; otherwise the full path unchanged.
String FullPathWithUncExpansion(const String& path) {
  Platform& os = Current();
  String full;
  if (os.GetFullPathName(path, full) != kOk || full.empty()) full = path;
  if (full.size() >= 2 && full[1] == u':') {
    const String root = full.substr(0, 2) + u"\\";
    if (os.GetDriveType(root) == DriveType::Remote) {
      String universal;
      if (os.GetUniversalName(full, universal) == kOk && !universal.empty()) return universal;
    }
  }
  return full;
}

}  // namespace

ComputerNameCache::ComputerNameCache() : outer_(t_computerNameCache) { t_computerNameCache = this; }

ComputerNameCache::~ComputerNameCache() { t_computerNameCache = outer_; }

String LocalComputerName() {
  ComputerNameCache* cache = t_computerNameCache;
  if (cache && cache->known_) return cache->name_;
  String computer;
  if (Current().GetComputerName(computer) != kOk) computer.clear();
  if (cache) {
    cache->name_ = computer;
    cache->known_ = true;
  }
  return computer;
}

std::int32_t GetLocalPath(StringView pathIn, String& localPath) {
  localPath.clear();
  Platform& os = Current();
  const String computer = LocalComputerName();

  String path(pathIn);
  if (path.size() >= 2 && path[1] == u':') {
    std::vector<String> targets;
    if (os.QueryDosDevice(path.substr(0, 2), targets) == kOk && !targets.empty() &&
        targets[0].compare(0, 4, u"\\??\\") == 0 && targets[0].size() >= 4) {
      // A substituted drive: its target stands for the drive letter. The
      // target is taken as it is, even when it is itself a network drive.
      String result = WithTrailingBackslash(StringView(targets[0]).substr(4));
      if (path.size() > 3) result += path.substr(3, 256);
      localPath = WithTrailingBackslash(result);
      return 0;
    }
    const String expanded = Upper(FullPathWithUncExpansion(path));
    if (EqualsNoCase(expanded, path)) {
      localPath = WithTrailingBackslash(expanded);
      return 0;
    }
    path = expanded;
  }

  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    const String rest = path.substr(2, 256);
    const int slash = CharPos(u'\\', rest, true, true, 1);
    if (slash == 0) return -1;
    const String server = rest.substr(0, slash - 1);
    if (EqualsNoCase(server, computer)) {
      String shareLocal;
      if (GetShareLocalPath(path, shareLocal) == 0) {
        localPath = WithTrailingBackslash(shareLocal);
        return 0;
      }
    }
  }
  return -1;
}

std::int32_t GetShareLocalPath(StringView uncPath, String& localPath) {
  localPath.clear();
  const String path(uncPath);
  if (path.size() < 2 || path[0] != u'\\' || path[1] != u'\\') return 53;
  const int first = CharPos(u'\\', path, true, true, 3);
  if (first == 0) return -1;
  const String server = path.substr(0, first - 1);
  const int second = CharPos(u'\\', path, true, true, first + 1);
  String share, remainder;
  if (second != 0) {
    share = path.substr(first, second - first - 1);
    remainder = path.substr(second, 256);
  } else {
    share = path.substr(first);
  }
  String shareRoot;
  const std::uint32_t status = Current().NetShareGetInfo(server, share, shareRoot);
  if (status == kApiUnavailable) return -1;
  if (status != kOk) return static_cast<std::int32_t>(status);
  localPath = WithTrailingBackslash(shareRoot) + remainder;
  return 0;
}

}  // namespace qv
