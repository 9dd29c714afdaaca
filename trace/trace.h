// Tracing: one line per call to a weekly-rotating trace file, the external
// trace library or the trace monitor window. Each module (program or DLL)
// that links the support library has its own trace state.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace qv {

// Host switches, set before InitTrace (neither deliverable sets them).
void SetFileTraceRequested(bool requested);
void SetExternalTraceName(StringView name);

// Names the trace, reads the program's flag word and picks the destination.
// Both arguments may be empty. The names, folder and destinations are set
// by the first call only; every call reads the flags from the registry
// again (and looks up the monitor window again when not tracing to a file).
void InitTrace(StringView name, StringView folder);

// Composes and delivers one line. Callers test a flag before calling.
// A failed file write is not reported; if recording it in the registry
// fails as well, that RegistryError reaches the caller.
void WriteTrace(StringView text);

template <typename... A>
void WriteTraceFmt(StringView fmt, const A&... args) {
  WriteTrace(Format(fmt, args...));
}

// The program's flag word and its four caller flags (bits 0 to 3).
std::uint32_t TraceFlags();
bool TraceFlag1();
bool TraceFlag2();
bool TraceFlag4();
bool TraceFlag8();

// Longest text of one delivered line (the file adds CR LF), and the
// monitor's copy buffer in characters, terminating NUL included.
inline constexpr std::size_t kTraceLineMax = 2048;
inline constexpr std::size_t kTraceMonitorBuffer = 2049;
// Window class of the trace monitor, and the data words of its lines.
inline constexpr char16_t kTraceMonitorClass[] = u"TTraceForm";
inline constexpr std::uintptr_t kTraceLineNormal = 1;
inline constexpr std::uintptr_t kTraceLineHighlighted = 129;

// The external trace library "QV9TRACE.DLL": three exports with the C
// calling convention, taking NUL-terminated UTF-16 text.
extern "C" {
using InitQvTraceFn = void (*)(const char16_t* traceName);
using GetDestinationFn = void (*)(char16_t* buffer256);
using PostQvTraceFn = std::uint8_t (*)(std::int32_t zero, const char16_t* line);
}

// Back to the state of a freshly loaded module (tests only).
void ResetTraceForTests();

// File writes this process repeated because the first attempt collided with
// another writer or failed (the load figures of the trace file).
std::uint64_t TraceWriteRetries();
// File lines this process gave up after every attempt failed (each left its
// "Trace Error"): the lines a trace file lacks by design, not by accident.
std::uint64_t TraceLinesDropped();

}  // namespace qv
