// Files, folders and volumes.
#include <vector>

#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

std::uint32_t Win32Platform::GetFileAttributes(const String& path, std::uint32_t& attributes) {
  DWORD a = ::GetFileAttributesW(W(path));
  attributes = a;
  return a == INVALID_FILE_ATTRIBUTES ? LastErrorOr(kErrFileNotFound) : kOk;
}

std::uint32_t Win32Platform::CreateDirectory(const String& path) {
  return ::CreateDirectoryW(W(path), nullptr) ? kOk : LastErrorOr(kErrPathNotFound);
}

std::uint32_t Win32Platform::RemoveDirectory(const String& path) {
  return ::RemoveDirectoryW(W(path)) ? kOk : LastErrorOr(kErrPathNotFound);
}

std::uint32_t Win32Platform::OpenFile(const String& path, std::uint32_t access, std::uint32_t share,
                                      Disposition disposition, Handle& file) {
  file = 0;
  HANDLE h = ::CreateFileW(W(path), access, share, nullptr, static_cast<DWORD>(disposition), FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrorOr(kErrFileNotFound);
  file = ToHandle(h);
  return kOk;  // OpenAlways/CreateAlways leave ERROR_ALREADY_EXISTS behind on success: not a failure
}

std::uint32_t Win32Platform::ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t& read) {
  DWORD got = 0;
  BOOL ok = ::ReadFile(ToHANDLE(file), buffer, size, &got, nullptr);
  read = got;
  return ok ? kOk : LastErrorOr(kErrInvalidHandle);
}

std::uint32_t Win32Platform::WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t& written) {
  DWORD put = 0;
  BOOL ok = ::WriteFile(ToHANDLE(file), data, size, &put, nullptr);
  written = put;
  return ok ? kOk : LastErrorOr(kErrInvalidHandle);
}

std::uint32_t Win32Platform::SeekToEnd(Handle file, std::uint64_t& newPosition) {
  LARGE_INTEGER zero{}, pos{};
  if (!::SetFilePointerEx(ToHANDLE(file), zero, &pos, FILE_END)) return LastErrorOr(kErrInvalidHandle);
  newPosition = static_cast<std::uint64_t>(pos.QuadPart);
  return kOk;
}

std::uint32_t Win32Platform::GetFileSize(Handle file, std::uint64_t& size) {
  LARGE_INTEGER s{};
  if (!::GetFileSizeEx(ToHANDLE(file), &s)) return LastErrorOr(kErrInvalidHandle);
  size = static_cast<std::uint64_t>(s.QuadPart);
  return kOk;
}

std::uint32_t Win32Platform::GetFileWriteTimeOf(Handle file, FileTime& lastWrite) {
  lastWrite = 0;
  FILETIME written{};
  if (!::GetFileTime(ToHANDLE(file), nullptr, nullptr, &written)) return LastErrorOr(kErrInvalidHandle);
  lastWrite = ToFileTime(written);
  return kOk;
}

std::uint32_t Win32Platform::DeleteFile(const String& path) {
  return ::DeleteFileW(W(path)) ? kOk : LastErrorOr(kErrFileNotFound);
}

std::uint32_t Win32Platform::ReplaceFileWith(const String& from, const String& to) {
  return ::MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? kOk
             : LastErrorOr(kErrFileNotFound);
}

std::uint32_t Win32Platform::GetTempFileName(const String& folder, const String& prefix, String& path,
                                             std::uint32_t unique) {
  path.clear();
  wchar_t buffer[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(W(folder), W(prefix), unique, buffer) == 0) return LastErrorOr(kErrPathNotFound);
  path = PlainPath(FromW(buffer));
  return kOk;
}

std::uint32_t Win32Platform::GetTempPath(String& path) {
  path.clear();
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) return LastErrorOr(kErrInsufficientBuffer);
  path = PlainPath(FromW(buffer, n));
  return kOk;
}

std::uint32_t Win32Platform::GetFullPathName(const String& path, String& full) {
  full.clear();
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD n = ::GetFullPathNameW(W(path), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return LastErrorOr(kErrInvalidName);
    if (n < buffer.size()) {
      full = PlainPath(FromW(buffer.data(), n));
      return kOk;
    }
    buffer.resize(n + 1);  // n is the size needed, terminator included
  }
}

std::uint32_t Win32Platform::FindFirstFileWriteTime(const String& pattern, FileTime& lastWrite) {
  lastWrite = 0;
  WIN32_FIND_DATAW data{};
  HANDLE h = ::FindFirstFileW(W(pattern), &data);
  if (h == INVALID_HANDLE_VALUE) return LastErrorOr(kErrFileNotFound);
  ::FindClose(h);
  lastWrite = ToFileTime(data.ftLastWriteTime);
  return kOk;
}

DriveType Win32Platform::GetDriveType(const String& rootPath) {
  UINT t = ::GetDriveTypeW(WOrNull(rootPath));
  return t <= DRIVE_RAMDISK ? static_cast<DriveType>(t) : DriveType::Unknown;
}

std::uint32_t Win32Platform::GetVolumeInformation(const String& rootPath, std::uint32_t& fileSystemFlags,
                                                  String& fileSystemName, String* volumeName,
                                                  std::uint32_t* serialNumber) {
  fileSystemFlags = 0;
  fileSystemName.clear();
  if (volumeName) volumeName->clear();
  if (serialNumber) *serialNumber = 0;
  DWORD flags = 0;
  DWORD serial = 0;
  wchar_t fsName[MAX_PATH + 1] = {};
  wchar_t label[MAX_PATH + 1] = {};
  if (!::GetVolumeInformationW(WOrNull(rootPath), label, MAX_PATH + 1, &serial, nullptr, &flags, fsName, MAX_PATH + 1))
    return LastErrorOr(kErrPathNotFound);
  fileSystemFlags = flags;
  fileSystemName = FromW(fsName);
  if (volumeName) *volumeName = FromW(label);
  if (serialNumber) *serialNumber = serial;
  return kOk;
}

}  // namespace qv::platform::win32
