// The platform a process uses until a test sets another one. Defined by the
// real Win32 implementation in Windows builds and by the in-memory machine
// in the native build.
#pragma once

namespace qv::platform {
class Platform;
Platform& DefaultPlatform();
}  // namespace qv::platform
