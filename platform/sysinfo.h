// Questions about the machine and the process that recur across the suite.
// None of them raises: failures are false, 0 or an empty string.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/seam.h"

namespace qv {

bool WindowsVersionAtLeast(std::uint16_t major, std::uint16_t minor, std::uint16_t servicePackMajor);
bool IsUserAdmin();
bool IsWindows64Bit();
String GetMachineName();
// 1-based index of the first name matched by the process itself or its
// nearest ancestor, 0 for none. Computed on the first call, then reused.
int FindAncestorProcess(const std::vector<String>& names);
String GetServiceNodeName(StringView serviceName);
platform::FileTime GetFileWriteTime(StringView path);
// Days since 1899-12-30 with the time as fraction (UTC); 0 when no file.
double GetFileWriteDateTime(StringView path);

// Forgets the cached ancestry answer (tests only).
void ResetAncestorCacheForTests();

}  // namespace qv
