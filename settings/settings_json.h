// The settings record as one JSON object, for administrators and their
// scripts (qvsettings.exe prints it).
//
// Member names are the record's field names. Strings are JSON strings,
// flags true/false, numbers and bit sets numbers; lists are arrays in list
// order (name=value lists as "name=value" strings); DisplayBoxes,
// ColorFrames and TraceIndexes are arrays of {"text", "tag"} objects;
// MsmqPriorities is an object of four 16-number arrays; MacroTable is 32
// strings; FileEncodings is an object of file kind to encoding name;
// ConfigFileTime is the 64-bit file time as a number. The service identity
// of the process follows under RunsAsService, TraceBaseName, ServiceNode and
// ServiceDisplayName.
#pragma once

#include <string>

#include "settings/suite_settings.h"

namespace qv {

// UTF-8 JSON text, two-space indentation, one member per line.
std::string SettingsToJson(const SuiteSettings& settings);

}  // namespace qv
