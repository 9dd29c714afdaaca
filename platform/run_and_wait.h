// Starting another program and waiting for it with a time limit, so that a
// caller learns its exit code without ever hanging.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace qv {

// The command-line buffer: at most kCommandLineChars - 1 characters of a
// command line are passed to the program.
inline constexpr std::size_t kCommandLineChars = 8192;

// Results besides the program's own exit code.
inline constexpr std::int32_t kRunNotStarted = -1;        // start failed, limit positive
inline constexpr std::int32_t kRunTerminated = -120;      // limit passed, terminated, ended
inline constexpr std::int32_t kRunStillRunning = -121;    // terminated, still running 6 s later
inline constexpr std::int32_t kRunWaitFailedAfterEnd = -122;  // the wait failed after termination

// Starts commandLine (no inheritance, the caller's environment, the window
// shown with showMode) in workingFolder, or in the caller's current folder
// when workingFolder holds nothing but blanks and control characters, and
// waits for it in one-second steps for up to `seconds` seconds. Results:
//   the program's exit code  it ended within the limit;
//   0                        not waited for (limit 0 or negative), or the
//                            wait failed while time remained;
//   -120                     terminated (exit code -120) after the limit;
//   -121                     terminated and still not ended 6 s later;
//   -122                     the wait failed after the termination;
//   -1                       the start failed and the limit is positive;
//   the platform's error     the start failed and the limit is 0 or less.
// Both process handles are always closed.
std::int32_t RunAndWait(StringView commandLine, StringView workingFolder, std::int32_t seconds,
                        std::uint16_t showMode);

}  // namespace qv
