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
// Both arguments may be empty. Only the first call does anything.
void InitTrace(StringView name, StringView folder);

// Composes and delivers one line. Callers test a flag before calling.
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

}  // namespace qv
