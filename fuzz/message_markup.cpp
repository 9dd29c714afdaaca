// The timed message box's markup: "<br>" (any case) breaks a line,
// everything from the not sign on is cut, other tags are removed; a lone
// "<" stays with everything after it.
#include "fuzz/targets.h"
#include "platform/timed_message.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

extern "C" int Fuzz_message_markup(const std::uint8_t* data, std::size_t size) {
  String input;
  for (std::size_t i = 0; i + 1 < size; i += 2) input.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  if (size % 2) input.push_back(data[size - 1]);  // a last odd byte as one Latin-1 character

  const String shown = PrepareMessageText(input);
  FuzzCheck(shown.find(u'\u00AC') == String::npos, "nothing from the not sign on is shown");
  FuzzCheck(shown.size() <= input.size(), "preparing never lengthens the text");
  const std::size_t open = shown.find(u'<');
  FuzzCheck(open == String::npos || shown.find(u'>', open + 1) == String::npos, "no tag is left");
  // Text without markup is shown as it is.
  if (input.find_first_of(u"<>\u00AC") == String::npos) FuzzCheck(shown == input, "plain text is unchanged");
  // The prepared text has no markup left to prepare, unless a lone "<" stays.
  if (open == String::npos) FuzzCheck(PrepareMessageText(shown) == shown, "preparing twice changes nothing");
  return 0;
}
