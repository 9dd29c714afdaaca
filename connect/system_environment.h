// The machine environment variables TarvexDir, TarvexLocal and TarvexDrive.
#pragma once

#include "platform/text.h"

namespace qv::connect {

inline constexpr char16_t kEnvironmentKey[] = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Sets the machine-wide variables from the loaded settings. Never fails the
// run: failures are shown (to an elevated process only) and the run goes on.
void UpdateSystemEnvironment();

// True when TarvexDir equals value afterwards (letter case of A-Z ignored).
bool SetTarvexDir(StringView value, bool checkOnly);
// True when TarvexLocal equals value and TarvexDrive its first two
// characters afterwards; an empty value removes both.
bool SetTarvexLocal(StringView value, bool checkOnly);
// Tells all top-level windows that the environment has changed.
void BroadcastEnvironmentChange();

}  // namespace qv::connect
