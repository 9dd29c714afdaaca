// Collecting a day's trace files of the suite's server programs by node,
// for the attachments of an operator alert.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/seam.h"
#include "platform/text.h"

namespace qv {

// Selection bits: whose trace files to collect.
inline constexpr std::uint8_t kTraceEngineLive = 1;        // engine node + ".TR"
inline constexpr std::uint8_t kTraceEngineAndConnector = 2;  // ".FT", else VELMORA_ and QTEXTERN_ files
inline constexpr std::uint8_t kTraceEngine = 4;            // ".FT", else the VELMORA_ file
inline constexpr std::uint8_t kTraceGateway = 8;           // gateway log folder + node + ".GW"
inline constexpr std::uint8_t kTraceHkService = 16;
inline constexpr std::uint8_t kTraceQvMsg = 32;
inline constexpr std::uint8_t kTraceQtMerge = 64;
inline constexpr std::uint8_t kTraceQtCvrt = 128;

// The engine's flush block: "TarvexFG" + node, three 32-bit fields.
inline constexpr char16_t kEngineFlushBlock[] = u"TarvexFG";
inline constexpr std::uint32_t kEngineFlushBlockSize = 12;
inline constexpr std::uint32_t kEngineSignature1 = 0x1F2F3F5Fu;
inline constexpr std::uint32_t kEngineSignature2 = 0x1F2F3F4Fu;
inline constexpr std::uint32_t kEngineFlushWaitMs = 2000;

// A calendar date (the time of day of a LocalTime is ignored).
struct TraceDay {
  int year = 1601, month = 1, day = 1;
  bool operator==(const TraceDay&) const = default;
};
TraceDay DayOf(const platform::LocalTime& t);
// Today, in local time.
TraceDay Today();

// Whether the file counts as written on that day: its last write in local
// time, moved back two hours when it falls before 02:00 (a file written
// shortly after midnight belongs to the day before). A missing file never.
bool TraceFileWrittenOn(StringView path, const TraceDay& day);

// Asks a running engine of that node to write out its trace: sets the
// request field of its block and waits two seconds. The reply field, or
// -1 when no engine owns the block.
std::int32_t RequestEngineFlush(StringView node);

// The candidate names of one selection for a day, in collection order
// (each group of alternatives as one entry), for showing what a
// collection would examine. Nodes as CollectTraceFiles finds them.
struct TraceCandidates {
  std::uint8_t bit = 0;
  std::vector<String> paths;  // alternatives in order (bits 2 and 4), else one
};
std::vector<TraceCandidates> TraceFileCandidates(StringView node, std::uint8_t selection, const TraceDay& day);

// Appends the day's qualifying trace files of the selection to `list`, in
// the order of the selection bits (1 first). For the engine's live trace of
// today the engine is asked to flush first. Loads the settings (quietly)
// when they have not been read. 0, or -1 when the day is in the future or
// more than six days back (the list is then unchanged).
std::int32_t CollectTraceFiles(StringView node, std::vector<String>& list, std::uint8_t selection,
                               const TraceDay& day);
// The same without asking the engine to flush (changes nothing anywhere).
std::int32_t FindTraceFiles(StringView node, std::vector<String>& list, std::uint8_t selection, const TraceDay& day);

}  // namespace qv
