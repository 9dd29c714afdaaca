#include "platform/run_and_wait.h"

#include <algorithm>

#include "platform/handles.h"
#include "platform/seam.h"

namespace qv {

using namespace platform;

namespace {

constexpr std::uint32_t kWaitStepMs = 1000;
// Once terminated, the program gets this many further one-second waits to end.
constexpr std::int32_t kWaitsAfterTermination = 6;

bool HasVisibleCharacter(StringView text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > u' ' && c != u'\x7F'; });
}

}  // namespace

std::int32_t RunAndWait(StringView commandLine, StringView workingFolder, std::int32_t seconds,
                        std::uint16_t showMode) {
  Platform& os = Current();
  // The program may write into its command line, so it gets a copy of fixed size.
  const String line(commandLine.substr(0, std::min(commandLine.size(), kCommandLineChars - 1)));
  const String folder = HasVisibleCharacter(workingFolder) ? String(workingFolder) : String();

  // Closed on every way out, a failed start included.
  UniqueProcess process(os);
  if (const std::uint32_t error = os.CreateProcess(line, folder, showMode, process.put()); error != kOk)
    return seconds > 0 ? kRunNotStarted : static_cast<std::int32_t>(error);
  if (seconds <= 0) return 0;

  std::int32_t result = 0;
  std::int32_t remaining = seconds;
  bool terminated = false;
  for (;;) {
    const std::uint32_t wait = os.WaitForProcess(process.get(), kWaitStepMs);
    if (wait == kWaitObject0) {
      if (!terminated) {
        std::uint32_t exitCode = 0;
        result = os.GetExitCodeProcess(process.get(), exitCode) == kOk ? static_cast<std::int32_t>(exitCode) : 0;
      }
      break;
    }
    if (wait != kWaitTimeout) {
      result = remaining > 0 ? 0 : kRunWaitFailedAfterEnd;
      break;
    }
    --remaining;
    if (remaining == 0) {
      result = kRunTerminated;
      terminated = true;
      os.TerminateProcess(process.get(), static_cast<std::uint32_t>(kRunTerminated));
    } else if (remaining <= -kWaitsAfterTermination) {
      result = kRunStillRunning;
      break;
    }
  }
  return result;
}

}  // namespace qv
