#include "platform/seam.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/default_platform.h"
#include "platform/handles.h"

namespace qv::platform {

namespace {
std::atomic<Platform*> g_current{nullptr};
}

Platform& Current() {
  Platform* p = g_current.load(std::memory_order_acquire);
  return p ? *p : DefaultPlatform();
}

Platform* SetCurrent(Platform* platform) { return g_current.exchange(platform, std::memory_order_acq_rel); }

bool Platform::FileExists(const String& path) {
  std::uint32_t attributes = kInvalidAttributes;
  return GetFileAttributes(path, attributes) == kOk && attributes != kInvalidAttributes &&
         (attributes & kAttrDirectory) == 0;
}

bool Platform::DirectoryExists(const String& path) {
  std::uint32_t attributes = kInvalidAttributes;
  return GetFileAttributes(path, attributes) == kOk && attributes != kInvalidAttributes &&
         (attributes & kAttrDirectory) != 0;
}

std::uint32_t Platform::ReadWholeFile(const String& path, Bytes& contents, std::uint64_t maxBytes) {
  contents.clear();
  UniqueFile file(*this);
  const std::uint32_t rc =
      OpenFile(path, kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting, file.put());
  if (rc != kOk) return rc;
  // Sized by the open file: one buffer of the file's size and one read,
  // instead of growing a buffer chunk by chunk until a read finds the end.
  return ReadOpenFile(file.get(), contents, maxBytes);
}

std::uint32_t Platform::ReadOpenFile(Handle file, Bytes& contents, std::uint64_t maxBytes) {
  contents.clear();
  constexpr std::uint32_t kChunk = 65536;
  constexpr std::uint32_t kMaxRequest = 0x40000000;
  std::uint64_t size = 0;
  // Without a size the file is read in chunks until a read finds its end.
  const bool sized = GetFileSize(file, size) == kOk;
  if (sized && size > maxBytes) return kErrFileTooLarge;
  std::uint32_t rc = kOk;
  try {
    std::uint64_t want = sized ? size + 1 : kChunk;
    for (;;) {
      const std::uint32_t request = static_cast<std::uint32_t>(std::min<std::uint64_t>(want, kMaxRequest));
      const std::size_t have = contents.size();
      contents.resize(have + request);
      std::uint32_t got = 0;
      rc = ReadFile(file, contents.data() + have, request, got);
      contents.resize(have + (rc == kOk ? got : 0));
      if (rc != kOk) break;
      if (contents.size() > maxBytes) {
        rc = kErrFileTooLarge;
        break;
      }
      // A read that gives less than it was asked for has reached the end.
      if (got < request) break;
      want = kChunk;  // the file grew since its size was taken
    }
  } catch (const std::bad_alloc&) {
    rc = kErrNotEnoughMemory;
  }
  if (rc != kOk) Bytes().swap(contents);
  return rc;
}

std::uint32_t Platform::WriteWholeFile(const String& path, const Bytes& contents) {
  UniqueFile file(*this);
  std::uint32_t rc = OpenFile(path, kGenericWrite, 0, Disposition::CreateAlways, file.put());
  if (rc != kOk) return rc;
  std::uint32_t written = 0;
  if (!contents.empty()) {
    rc = WriteFile(file.get(), contents.data(), static_cast<std::uint32_t>(contents.size()), written);
    if (rc == kOk && written != contents.size()) rc = kErrNotEnoughMemory;
  }
  return rc;
}

String RootKeyName(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return u"HKEY_CLASSES_ROOT";
    case RootKey::CurrentUser: return u"HKEY_CURRENT_USER";
    case RootKey::LocalMachine: return u"HKEY_LOCAL_MACHINE";
    case RootKey::Users: return u"HKEY_USERS";
    case RootKey::PerformanceData: return u"HKEY_PERFORMANCE_DATA";
    case RootKey::CurrentConfig: return u"HKEY_CURRENT_CONFIG";
    case RootKey::DynData: return u"HKEY_DYN_DATA";
  }
  return Format(u"0x%.8x", static_cast<unsigned>(root));
}

}  // namespace qv::platform
