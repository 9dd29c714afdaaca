// Text handling: the formatting of the system's message texts and the
// conversions every layer relies on.
#include <gtest/gtest.h>

#include "platform/text.h"

using namespace qv;

TEST(Format, TheSystemsConversions) {
  struct Case {
    String got;
    const char16_t* want;
  };
  const Case cases[] = {
      {Format(u"Application path: %s", String(u"\\\\SRV\\NORVA")), u"Application path: \\\\SRV\\NORVA"},
      {Format(u"%.2d/%.2d:%.2d:%.2d.%.3d ", 3, 9, 5, 7, 42), u"03/09:05:07.042 "},
      {Format(u"%d %u", -20192, 4000000000u), u"-20192 4000000000"},
      {Format(u"%u", -1), u"4294967295"},                    // a 32-bit int shown unsigned
      {Format(u"0x%.8x", 0x80000001u), u"0x80000001"},       // a root key's handle value
      {Format(u"0x%.8x", 255), u"0x000000ff"},
      {Format(u"%5d|%-5d|%05d", 42, 42, -42), u"   42|42   |-0042"},
      {Format(u"100%% %s", u"done"), u"100% done"},
      {Format(u"%s and %s", u"one"), u"one and "},           // a missing argument reads nothing
      {Format(u"%d", String(u"12")), u"12"},                 // a string where a number is expected
      {Format(u"%q%s", u"x"), u"%qx"},                       // unknown conversions pass through
      {Format(u"tail %"), u"tail %"},
      {Format(u"%.3s", u"abcdef"), u"abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << ToUtf8(c.want);
}

TEST(Text, Utf8RoundTripsAndRejectsMalformedInput) {
  const String sample = u"caf\u00E9 \u00AC \u20AC \U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(sample)), sample);
  EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD");          // truncated sequence
  EXPECT_EQ(FromUtf8("a\xC0\xAF" "b"), u"a\uFFFD\uFFFD" u"b");  // overlong form is not a slash
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(Text, Cp1252BothWays) {
  EXPECT_EQ(FromCp1252("\x80\xAC\xE9\x9F"), u"\u20AC\u00AC\u00E9\u0178");
  EXPECT_EQ(ToCp1252(u"\u20AC\u00AC\u00E9\u0178\u4E2D"), "\x80\xAC\xE9\x9F?");
}

TEST(Text, CaseRules) {
  EXPECT_EQ(AsciiUpper(u"c:\\d\u00E9j\u00E0"), u"C:\\D\u00E9J\u00E0");  // only a..z
  EXPECT_EQ(Upper(u"c:\\d\u00E9j\u00E0 \u0444 \u03B1 \u0101"), u"C:\\D\u00C9J\u00C0 \u0424 \u0391 \u0100");
  EXPECT_EQ(Lower(u"\u00C9\u0424\u0391\u0100X"), u"\u00E9\u0444\u03B1\u0101x");
  EXPECT_TRUE(EqualsNoCaseAscii(u"\\\\srv\\Norva", u"\\\\SRV\\NORVA"));
  EXPECT_FALSE(EqualsNoCaseAscii(u"\u00E9", u"\u00C9"));
  EXPECT_TRUE(EqualsNoCase(u"\u00E9t\u00E9", u"\u00C9T\u00C9"));
}

// NoCaseLess orders as the upper-case forms do, so a map keyed by it keeps
// the order of one keyed by Upper() and finds any spelling.
TEST(Text, NoCaseLessOrdersAsTheUpperCaseForms) {
  const StringView texts[] = {u"",          u"a",          u"A",       u"ab",      u"aB",       u"b",
                              u"_",         u"Z",          u"z",       u"[",       u"\u00E9",   u"\u00C9",
                              u"\u00E9t",   u"\u00FF",     u"\u0178",  u"\u03C2",  u"\u03A3",   u"\u0444",
                              u"TARVEX.CFG", u"tarvex.cfg", u"tarvex",  u"NETBIN",  u"netbin\\x"};
  const NoCaseLess less;
  for (StringView a : texts)
    for (StringView b : texts)
      EXPECT_EQ(less(a, b), Upper(a) < Upper(b)) << "\"" << ToUtf8(a) << "\" < \""
                                                 << ToUtf8(b) << "\"";
}

TEST(Text, ParseInt64) {
  struct Case {
    const char16_t* text;
    bool ok;
    std::int64_t value;
    bool hex;
  };
  const Case cases[] = {
      {u"4", true, 4, false},          {u" -17", true, -17, false},
      {u"x4", false, 0, false},        {u"4x", false, 0, false},
      {u"", false, 0, false},          {u"-", false, 0, false},
      {u"9223372036854775807", true, INT64_MAX, false},
      {u"9223372036854775808", false, 0, false},
      {u"-9223372036854775808", true, INT64_MIN, false},
      {u"$1F", false, 0, false},       {u"$1F", true, 31, true},
      {u"0x10", true, 16, true},
  };
  for (const Case& c : cases) {
    std::int64_t v = 0;
    EXPECT_EQ(ParseInt64(c.text, v, c.hex), c.ok) << ToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << ToUtf8(c.text);
    }
  }
}

TEST(Text, TrimAndTrailingBackslash) {
  EXPECT_EQ(Trim(u" \t x y \r\n"), u"x y");
  EXPECT_EQ(WithTrailingBackslash(u"C:"), u"C:\\");
  EXPECT_EQ(WithTrailingBackslash(u"C:\\"), u"C:\\");
  EXPECT_EQ(WithTrailingBackslash(u""), u"\\");
  EXPECT_EQ(WithoutTrailingBackslash(u"\\\\SRV\\NORVA\\\\"), u"\\\\SRV\\NORVA");
}
