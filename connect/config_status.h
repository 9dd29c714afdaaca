// The configuration status that the final report consults: the settings
// record's LastLoadError, 0 until the configuration has been loaded and
// negative after a failed load.
#pragma once

#include <optional>

namespace qv::connect {

int ConfigurationStatus();

// Tests only: answer this status instead (nullopt: the real one).
void SetConfigurationStatusForTests(std::optional<int> status);

}  // namespace qv::connect
