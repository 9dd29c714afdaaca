// Decides whether the running program is one of the suite's service
// programs and sets the names it traces and displays under.

#include "settings/service_identity.h"

#include <vector>

#include "platform/registry.h"
#include "platform/sysinfo.h"

namespace qv {

namespace {

struct Identity {
  bool runsAsService = false;
  String traceBaseName;
  String serviceNode;
  String serviceDisplayName;
};

Identity& State() {
  static Identity identity;
  return identity;
}

// The service programs in the order the ancestry test numbers them.
const std::vector<String>& ServicePrograms() {
  static const std::vector<String> programs = {
      u"QVESERVICE.exe",
      u"QVXSERVICE.exe",
      u"QVOMASERVICE.exe",
      u"QVGATEWAY.exe",
  };
  return programs;
}

constexpr int kEngine = 1;
constexpr int kExternalConnector = 2;
constexpr int kOmaService = 3;
constexpr int kGateway = 4;

constexpr StringView kGatewayKey = u"Software\\Norva\\Velmora SMTP Gateway";

// A service that runs once per node: its node comes from the last word of
// the service's command line.
void SetNodeService(Identity& id, StringView serviceName, StringView displayStem) {
  id.serviceNode = GetServiceNodeName(serviceName);
  id.traceBaseName = String(displayStem);
  if (!id.serviceNode.empty()) id.traceBaseName += u"_" + id.serviceNode;
  id.serviceDisplayName = String(displayStem) + u" (node " + id.serviceNode + u")";
}

}  // namespace

bool DetectServiceIdentity() {
  Identity& id = State();
  String forced;
  if (platform::Current().GetEnvironmentVariable(u"QV_FORCE_SERVICE", forced) && !forced.empty()) {
    id.runsAsService = true;
    id.serviceNode = u"M3";
    id.traceBaseName = u"VELMORA_M3";
    id.serviceDisplayName = u"VELMORA (node M3)";
    return true;
  }

  const int position = FindAncestorProcess(ServicePrograms());
  if (position == 0) return false;
  id.runsAsService = true;
  switch (position) {
    case kEngine:
      SetNodeService(id, u"QVESERVICE", u"VELMORA");
      break;
    case kExternalConnector:
      SetNodeService(id, u"QVXSERVICE", u"QTEXTERN");
      break;
    case kOmaService:
      id.traceBaseName = u"QVOMASERVICE_" + GetMachineName();
      break;
    case kGateway: {
      const String node = ReadRegString(RootKey::LocalMachine, kGatewayKey, u"GWNODENAME", u"");
      id.traceBaseName = node.empty() ? String(u"QVGATEWAY") : node;
      id.serviceDisplayName = u"QVGATEWAY";
      if (!node.empty()) id.serviceDisplayName += u" (node " + node + u")";
      break;
    }
    default:
      break;
  }
  return true;
}

bool RunsAsService() { return State().runsAsService; }
const String& TraceBaseName() { return State().traceBaseName; }
const String& ServiceNode() { return State().serviceNode; }
const String& ServiceDisplayName() { return State().serviceDisplayName; }

void ResetServiceIdentityForTests() { State() = Identity{}; }

}  // namespace qv
