#include <gtest/gtest.h>

#include "platform/pos.h"

using namespace qv;

TEST(CharPos, Cases) {
  struct Case {
    char16_t ch;
    const char16_t* text;
    bool caseSensitive, forward;
    int start, want;
  };
  const Case cases[] = {
      {u'\\', u"SRV\\NORVA", true, true, 1, 4},
      {u'\\', u"SRVNORVA", true, true, 1, 0},
      {u'x', u"", true, true, 1, 0},
      {u'a', u"abc", true, true, 0, 0},           // start 0
      {u'a', u"abc", true, true, -3, 0},          // negative start
      {u'c', u"abc", true, true, 4, 0},           // start beyond the length
      {u'c', u"abc", true, true, 3, 3},
      {u' ', u"a b c", true, false, 5, 4},        // backward from the last character
      {u' ', u"a b c", true, false, 3, 2},
      {u'a', u"bcd", true, false, 3, 0},
      {u'N', u"srv\\norva", true, true, 1, 0},    // case-sensitive
      {u'N', u"srv\\norva", false, true, 1, 5},
      {u'\u00E9', u"CAF\u00C9", false, true, 1, 4},  // locale-aware upper case
  };
  for (const Case& c : cases)
    EXPECT_EQ(CharPos(c.ch, c.text, c.caseSensitive, c.forward, c.start), c.want) << ToUtf8(c.text) << " " << c.start;
}

TEST(TextPos, Cases) {
  struct Case {
    const char16_t* sub;
    const char16_t* text;
    bool caseSensitive;
    int start, want;
  };
  const Case cases[] = {
      {u"NORVA", u"\\\\SRV\\NORVA\\X", true, 1, 7},
      {u"norva", u"\\\\SRV\\NORVA\\X", true, 1, 0},
      {u"norva", u"\\\\SRV\\NORVA\\X", false, 1, 7},
      {u"a", u"abca", true, 2, 4},
      {u"", u"abc", true, 1, 0},
      {u"a", u"", true, 1, 0},
      {u"abc", u"ab", true, 1, 0},
      {u"b", u"abc", true, 4, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TextPos(c.sub, c.text, c.caseSensitive, true, c.start), c.want) << ToUtf8(c.sub);
  EXPECT_EQ(TextPos(u"a", u"abc", true, false, 3), 0);  // no backward substring search
}
