#include "platform/pos.h"

namespace qv {

int CharPos(char16_t ch, StringView text, bool caseSensitive, bool forward, int start) {
  const int length = static_cast<int>(text.size());
  if (length == 0 || start <= 0 || start > length) return 0;
  const char16_t want = caseSensitive ? ch : UpperChar(ch);
  auto at = [&](int pos) { return caseSensitive ? text[pos - 1] : UpperChar(text[pos - 1]); };
  if (forward) {
    for (int pos = start; pos <= length; ++pos)
      if (at(pos) == want) return pos;
  } else {
    for (int pos = start; pos >= 1; --pos)
      if (at(pos) == want) return pos;
  }
  return 0;
}

int TextPos(StringView sub, StringView text, bool caseSensitive, bool forward, int start) {
  if (!forward || sub.empty() || text.empty()) return 0;
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  std::size_t found;
  if (caseSensitive) {
    found = text.find(sub, start - 1);
  } else {
    const String upperText = Upper(text);
    found = upperText.find(Upper(sub), start - 1);
  }
  return found == StringView::npos ? 0 : static_cast<int>(found) + 1;
}

}  // namespace qv
