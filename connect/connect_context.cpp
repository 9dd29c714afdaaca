#include "connect/connect_context.h"

#include "platform/seam.h"

namespace qv::connect {

namespace {
ConnectContext g_context;
}

ConnectContext& Connect() { return g_context; }

void ResetConnectContext() { g_context = ConnectContext{}; }

String RuntimeFaultText(std::uint32_t error) {
  String message = platform::Current().FormatSystemMessage(error);
  // A code the system has no text for still names the failure.
  if (Trim(message).empty()) message = Format(u"System error %u.", error);
  return RuntimeFaultText(message);
}

String RuntimeFaultText(StringView message) {
  return String(message) + u"\r\rThe connect operation failed.";
}

}  // namespace qv::connect
