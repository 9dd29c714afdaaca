// How MAILPOST.exe reads its command line: elements are separated by
// blanks (any character up to U+0020) outside double quotes; a double
// quote starts or ends a quoted stretch, and inside one a doubled double
// quote stands for one double quote. Backslashes have no meaning.
// Header-only and free of Windows headers, so the unit tests parse with it
// exactly as the stand-in program does.
#pragma once

#include <string>
#include <vector>

namespace mailpost {

inline std::vector<std::u16string> ParseDoubling(std::u16string_view line) {
  std::vector<std::u16string> elements;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && line[i] <= u' ') ++i;
    if (i >= n) break;
    std::u16string element;
    bool quoted = false;
    while (i < n && (quoted || line[i] > u' ')) {
      const char16_t c = line[i];
      if (c == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          element.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      element.push_back(c);
      ++i;
    }
    elements.push_back(std::move(element));
  }
  return elements;
}

}  // namespace mailpost
