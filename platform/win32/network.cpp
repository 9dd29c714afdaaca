// Network names: DOS devices, universal names and the share functions of
// the network library, which is loaded by name so that the programs start
// on machines where it is absent.

#include <vector>

#include "platform/win32/win32_platform.h"

#include <lm.h>
#include <winnetwk.h>

namespace qv::platform::win32 {

namespace {
using NetShareGetInfoFn = NET_API_STATUS(WINAPI*)(LMSTR, LMSTR, DWORD, LPBYTE*);
using NetShareEnumFn = NET_API_STATUS(WINAPI*)(LMSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID);

std::vector<wchar_t> Writable(const String& s) {
  std::vector<wchar_t> v(s.begin(), s.end());
  v.push_back(L'\0');
  return v;
}
}  // namespace

std::uint32_t Win32Platform::QueryDosDevice(const String& deviceName, std::vector<String>& targets) {
  targets.clear();
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    DWORD n = ::QueryDosDeviceW(WOrNull(deviceName), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n != 0) {
      // A list of NUL-terminated strings closed by an empty one.
      std::size_t i = 0;
      while (i < n && buffer[i] != L'\0') {
        std::size_t start = i;
        while (i < n && buffer[i] != L'\0') ++i;
        targets.push_back(FromW(buffer.data() + start, i - start));
        ++i;
      }
      return kOk;
    }
    DWORD e = ::GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 1u << 20) return e != 0 ? e : kErrFileNotFound;
    buffer.resize(buffer.size() * 4);
  }
}

std::uint32_t Win32Platform::GetUniversalName(const String& path, String& universalName) {
  universalName.clear();
  // UNIVERSAL_NAME_INFOW holds a pointer into the same buffer.
  std::vector<std::uint8_t> buffer(2048);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD rc = ::WNetGetUniversalNameW(W(path), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    if (rc == NO_ERROR) {
      auto* info = reinterpret_cast<UNIVERSAL_NAME_INFOW*>(buffer.data());
      universalName = PlainPath(FromW(info->lpUniversalName));
      return kOk;
    }
    if (rc != ERROR_MORE_DATA || size <= buffer.size()) return rc;
    buffer.resize(size);
  }
  return kErrMoreData;
}

std::uint32_t Win32Platform::NetShareGetInfo(const String& server, const String& share, String& localPath) {
  localPath.clear();
  HMODULE lib = ::LoadLibraryW(L"NETAPI32.DLL");
  if (!lib) return kApiUnavailable;
  auto getInfo = ProcAs<NetShareGetInfoFn>(::GetProcAddress(lib, "NetShareGetInfo"));
  auto bufferFree = ProcAs<NetApiBufferFreeFn>(::GetProcAddress(lib, "NetApiBufferFree"));
  std::uint32_t rc = kApiUnavailable;
  if (getInfo && bufferFree) {
    std::vector<wchar_t> serverName = Writable(server);
    std::vector<wchar_t> shareName = Writable(share);
    LPBYTE buffer = nullptr;
    rc = getInfo(server.empty() ? nullptr : serverName.data(), shareName.data(), 2, &buffer);
    if (rc == NERR_Success && buffer)
      localPath = PlainPath(FromW(reinterpret_cast<SHARE_INFO_2*>(buffer)->shi2_path));
    if (buffer) bufferFree(buffer);
  }
  ::FreeLibrary(lib);
  return rc;
}

std::uint32_t Win32Platform::NetShareEnum(std::uint32_t& resumeHandle, std::vector<ShareEntry>& batch) {
  batch.clear();
  // Loaded for each enumeration and deliberately kept: the share list is
  // asked for rarely and the library stays useful for the process.
  HMODULE lib = ::LoadLibraryW(L"NetAPI32.dll");
  if (!lib) return kApiUnavailable;
  auto shareEnum = ProcAs<NetShareEnumFn>(::GetProcAddress(lib, "NetShareEnum"));
  auto bufferFree = ProcAs<NetApiBufferFreeFn>(::GetProcAddress(lib, "NetApiBufferFree"));
  if (!shareEnum || !bufferFree) return kApiUnavailable;

  LPBYTE buffer = nullptr;
  DWORD entriesRead = 0, totalEntries = 0;
  DWORD resume = resumeHandle;
  NET_API_STATUS rc = shareEnum(nullptr, 502, &buffer, MAX_PREFERRED_LENGTH, &entriesRead, &totalEntries, &resume);
  if ((rc == NERR_Success || rc == ERROR_MORE_DATA) && buffer) {
    const auto* records = reinterpret_cast<const SHARE_INFO_502*>(buffer);
    for (DWORD i = 0; i < entriesRead; ++i) {
      ShareEntry e;
      e.name = FromW(records[i].shi502_netname);
      e.type = records[i].shi502_type;
      e.path = PlainPath(FromW(records[i].shi502_path));
      batch.push_back(std::move(e));
    }
  }
  if (buffer) bufferFree(buffer);
  resumeHandle = resume;
  return rc;
}

}  // namespace qv::platform::win32
