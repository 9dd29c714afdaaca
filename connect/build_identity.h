// The build identity of NORVACONNECT.exe, stored in process-wide variables
// at start-up.
#pragma once

#include "platform/text.h"

namespace qv::connect {

struct BuildIdentity {
  String lastModified;   // "Last Modified: ..."
  int buildMonth = 0;
  int buildYear = 0;
  String version;        // "9.1.0.379"
  String versionDigits;  // "910379"
  int major = 0, minor = 0, release = 0, build = 0;
  double timeStamp = 0;  // days since 1899-12-30, time of day as the fraction
};

// Stores the constants of this build; the first step of the program.
void StoreBuildIdentity();
// What StoreBuildIdentity stored (all empty before it ran).
const BuildIdentity& ProgramBuild();

}  // namespace qv::connect
