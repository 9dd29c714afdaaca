// File and folder helpers on the platform seam.
#pragma once

#include <cstdint>

#include "platform/seam.h"

namespace qv {

// Creates a folder with all its missing parents. 0 when the folder exists
// afterwards, else the platform's error for the first folder that could
// not be created.
std::uint32_t ForceDirectories(StringView folder);

// The folder part of a path, up to and including its last backslash.
String ExtractFilePath(StringView path);

// Writes a file so that readers never see it half-written: the contents go
// to a temporary file in the same folder, which then replaces the target in
// one step. On failure the old file (if any) is left as it was and the
// temporary file is removed. 0 on success, else the platform's error.
std::uint32_t WriteFileReplacing(StringView path, const Bytes& contents);

}  // namespace qv
