#include "connect/config_status.h"

#include "settings/suite_settings.h"

namespace qv::connect {

namespace {
std::optional<int> g_override;
}

int ConfigurationStatus() {
  if (g_override) return *g_override;
  return GetLastLoadError();
}

void SetConfigurationStatusForTests(std::optional<int> status) { g_override = status; }

}  // namespace qv::connect
