#include "connect/build_identity.h"

namespace qv::connect {

namespace {
BuildIdentity g_build;
}

void StoreBuildIdentity() {
  g_build.lastModified = u"Last Modified: February 28, 2025 22:31";
  g_build.buildMonth = 2;
  g_build.buildYear = 2025;
  g_build.version = u"9.1.0.379";
  g_build.versionDigits = u"910379";
  g_build.major = 9;
  g_build.minor = 1;
  g_build.release = 0;
  g_build.build = 379;
  g_build.timeStamp = 45924.4847070602;  // 24 September 2025, 11:37:58
}

const BuildIdentity& ProgramBuild() { return g_build; }

}  // namespace qv::connect
