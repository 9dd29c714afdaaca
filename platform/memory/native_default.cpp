// The native build has no Windows: its default platform is one in-memory
// machine for the whole process. Windows builds take the real Win32
// platform as default and link the in-memory machine only into tests.
#ifndef _WIN32

#include "platform/default_platform.h"
#include "platform/memory/memory_machine.h"

namespace qv::platform {

Platform& DefaultPlatform() {
  static MemoryMachine machine;
  return machine;
}

}  // namespace qv::platform

#endif
