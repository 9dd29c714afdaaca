// The process-wide Win32 platform and the path form shared by all areas.
#include "platform/default_platform.h"
#include "platform/win32/win32_platform.h"

namespace qv::platform {

Platform& DefaultPlatform() {
  // Never destroyed: code that runs during process shutdown (trace writers,
  // static destructors of other modules) may still reach the platform.
  static win32::Win32Platform* const platform = new win32::Win32Platform();
  return *platform;
}

namespace win32 {

namespace {
bool IsDriveStart(StringView s) {
  return s.size() >= 2 && s[1] == u':' && ((s[0] >= u'A' && s[0] <= u'Z') || (s[0] >= u'a' && s[0] <= u'z'));
}
}  // namespace

String PlainPath(const String& path) {
  StringView s(path);
  // Win32 ("\\?\") and NT ("\??\") namespace prefixes.
  if (s.size() >= 4 && (s.substr(0, 4) == u"\\\\?\\" || s.substr(0, 4) == u"\\??\\")) {
    StringView rest = s.substr(4);
    if (StartsWithNoCaseAscii(rest, u"UNC\\")) return u"\\\\" + String(rest.substr(4));
    if (IsDriveStart(rest)) return String(rest);
    return path;  // volume GUID paths and other device names have no plain form
  }
  // Wine reports a program or library started from \\SERVER\SHARE as
  // "UNC\SERVER\SHARE\...".
  if (s.size() > 4 && StartsWithNoCaseAscii(s, u"UNC\\") && s[4] != u'\\') return u"\\\\" + String(s.substr(4));
  return path;
}

void Win32Platform::CloseHandle(Handle handle) {
  if (handle != 0) ::CloseHandle(ToHANDLE(handle));
}

}  // namespace win32
}  // namespace qv::platform
