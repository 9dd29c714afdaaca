// 1-based position search in text, 0 for "not found".
#pragma once

#include "platform/text.h"

namespace qv {

// Position of `ch` in `text`, starting at `start` and walking forward or
// backward. Case-insensitive search compares locale-aware upper case.
int CharPos(char16_t ch, StringView text, bool caseSensitive, bool forward, int start);

// Position of the first occurrence of `sub` in `text` at or after `start`.
// Only forward searches exist; `forward` = false answers 0.
int TextPos(StringView sub, StringView text, bool caseSensitive, bool forward, int start);

}  // namespace qv
