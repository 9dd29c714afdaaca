// Texts for administrators about operator alerts (qvalert.exe).
#pragma once

#include <cstdint>

#include "events/alert.h"

namespace qv {

// What a result of RaiseAlert means. `before` is the state read just before
// the alert was raised; it tells the alert's own codes (-1, -2, -3) from
// the same numbers coming from the sender's run.
String AlertResultMeaning(std::int32_t result, const AlertState& before, bool anyRun);

// Why an alert of the category would or would not go out now, changing
// nothing: on or off, the machine-wide and per-user times, the interval
// and the time left, the recipients after the fallback, the trace kinds
// and the files they would attach today, and the exact command lines.
String ExplainAlert(StringView category, std::int64_t detail, StringView node, StringView subject,
                    StringView body);

}  // namespace qv
