// Whether the running program is one of the suite's service programs, and
// under which node and names it runs.
#pragma once

#include "platform/text.h"

namespace qv {

// True when the program runs as one of the suite's services (or is forced
// to by QV_FORCE_SERVICE); on false nothing changes.
bool DetectServiceIdentity();

bool RunsAsService();                 // never cleared once set
const String& TraceBaseName();        // empty until set
const String& ServiceNode();
const String& ServiceDisplayName();

// Back to the process-start state (tests only).
void ResetServiceIdentityForTests();

}  // namespace qv
