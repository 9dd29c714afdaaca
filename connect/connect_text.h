// Message texts and trace lines of the connect phases.
#pragma once

#include <cstdint>

#include "platform/text.h"
#include "trace/trace.h"

namespace qv::connect {

// Message `id` of the program's string table: the program file's own
// resource where it has one, otherwise the table built into the program.
String ConnectMessage(std::uint32_t id);

// Trace lines of the connect run, written only when the program's trace
// flag 4 is set.
template <typename... A>
void ConnectTrace(StringView fmt, const A&... args) {
  if (TraceFlag4()) WriteTraceFmt(fmt, args...);
}

}  // namespace qv::connect
