// Event log sources and entries on the local machine.
#include <vector>

#include "platform/win32/win32_platform.h"

#include <sddl.h>

namespace qv::platform::win32 {

Handle Win32Platform::RegisterEventSource(const String& sourceName) {
  return ToHandle(::RegisterEventSourceW(nullptr, W(sourceName)));
}

std::uint32_t Win32Platform::ReportEvent(Handle source, std::uint16_t type, std::uint16_t category,
                                         std::uint32_t eventId, const String& userSid,
                                         const std::vector<String>& strings) {
  PSID sid = nullptr;
  if (!userSid.empty() && !::ConvertStringSidToSidW(W(userSid), &sid)) return LastErrorOr(ERROR_INVALID_SID);
  std::vector<LPCWSTR> texts;
  texts.reserve(strings.size());
  for (const String& s : strings) texts.push_back(W(s));
  BOOL ok = ::ReportEventW(ToHANDLE(source), type, category, eventId, sid, static_cast<WORD>(texts.size()), 0,
                           texts.empty() ? nullptr : texts.data(), nullptr);
  std::uint32_t rc = ok ? kOk : LastErrorOr(kErrInvalidParameter);
  if (sid) ::LocalFree(sid);
  return rc;
}

void Win32Platform::DeregisterEventSource(Handle source) {
  if (source != 0) ::DeregisterEventSource(ToHANDLE(source));
}

}  // namespace qv::platform::win32
