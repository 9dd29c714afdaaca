// Named shared memory backed by the paging file.
#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

std::uint32_t Win32Platform::CreateSharedMemory(const String& name, std::uint32_t size, Handle& mapping,
                                                bool& alreadyExisted) {
  mapping = 0;
  alreadyExisted = false;
  HANDLE h = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, WOrNull(name));
  if (!h) return LastErrorOr(kErrInvalidParameter);
  alreadyExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
  mapping = ToHandle(h);
  return kOk;
}

void* Win32Platform::MapSharedMemory(Handle mapping, std::uint32_t size) {
  return ::MapViewOfFile(ToHANDLE(mapping), FILE_MAP_WRITE, 0, 0, size);
}

void Win32Platform::UnmapSharedMemory(void* view) {
  if (view) ::UnmapViewOfFile(view);
}

}  // namespace qv::platform::win32
