// Entries in the suite's "Velmora" event log, one source per program.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/text.h"

namespace qv {

inline constexpr std::int16_t kEventKindSuccess = 0;
inline constexpr std::int16_t kEventKindError = 1;
inline constexpr std::int16_t kEventKindWarning = 2;
inline constexpr std::int16_t kEventKindInformation = 4;
inline constexpr std::int16_t kEventKindRegister = -1;  // registers the log and its sources instead

// Writes one entry (never fails towards the caller). Kind -1 registers the
// suite's log and event sources under HKEY_LOCAL_MACHINE instead.
void WriteEvent(StringView text, std::int16_t kind, std::int32_t code, StringView sourceName);

// The operator alert that an entry of this kind from this source calls for:
// error entries (every kind but 0, 2 and 4) "EVENTLOG", warnings
// "EVENTWARN", none for success and information entries or for the source
// LINKPROBE (any letter case).
struct EventAlert {
  String category;
  String subject;
  String body;
};
std::optional<EventAlert> EventAlertFor(StringView text, std::int16_t kind, StringView sourceName);

}  // namespace qv
