// Text handling shared by every layer above and below the platform seam.
//
// The core keeps all text as UTF-16 in qv::String (std::u16string): the
// library's exports take 16-bit characters, Windows' wchar_t is 16 bits while
// glibc's is 32, so char16_t is the one representation that means the same
// thing in every build. Conversions to and from wchar_t happen only below the
// seam, in the Win32 implementation.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

using String = std::u16string;
using StringView = std::u16string_view;
using Bytes = std::vector<std::uint8_t>;

// UTF-8 <-> UTF-16. Invalid input is replaced by U+FFFD, never rejected.
String FromUtf8(std::string_view utf8);
std::string ToUtf8(StringView text);

// Windows-1252, the ANSI code page of the systems the suite ships to. The
// platform seam offers the machine's real ANSI conversion; these are the
// fixed-table fallback used by the in-memory machine and the native build.
String FromCp1252(std::string_view bytes);
std::string ToCp1252(StringView text);  // unmappable characters become '?'

// Letter case. "Ascii" variants touch only A..Z / a..z, which is how the
// system compares paths and names. The plain variants are locale-aware
// (Latin-1, Latin Extended-A, Greek and Cyrillic), standing in for
// CharUpperW/CharLowerW with the same result on every build.
char16_t AsciiUpper(char16_t c);
char16_t AsciiLower(char16_t c);
String AsciiUpper(StringView s);
String AsciiLower(StringView s);
bool EqualsNoCaseAscii(StringView a, StringView b);
bool StartsWithNoCaseAscii(StringView s, StringView prefix);
bool EndsWithNoCaseAscii(StringView s, StringView suffix);

char16_t UpperChar(char16_t c);
char16_t LowerChar(char16_t c);
String Upper(StringView s);
String Lower(StringView s);
// Hash and equality of texts by EqualsNoCase, for maps keyed without regard
// to letter case (transparent: a String map can be searched by a view).
// ASCII, nearly every keyword and name, takes the short way.
// Whether n characters at a and b are the same, four at a time: keywords
// and names are short, and a library call would cost more than the work.
inline bool SameChars(const char16_t* a, const char16_t* b, std::size_t n) {
  for (; n >= 4; a += 4, b += 4, n -= 4) {
    std::uint64_t x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    if (x != y) return false;
  }
  for (; n > 0; --n)
    if (*a++ != *b++) return false;
  return true;
}
inline char16_t FoldNoCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  return UpperChar(c);
}
struct NoCaseHash {
  using is_transparent = void;
  std::size_t operator()(StringView s) const {
    // FNV-1a over the upper-case form, two characters a step.
    constexpr std::uint64_t kPrime = 1099511628211ull;
    std::uint64_t h = 14695981039346656037ull;
    std::size_t i = 0;
    for (; i + 1 < s.size(); i += 2)
      h = (h ^ (FoldNoCase(s[i]) | static_cast<std::uint64_t>(FoldNoCase(s[i + 1])) << 16)) * kPrime;
    if (i < s.size()) h = (h ^ FoldNoCase(s[i])) * kPrime;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(StringView a, StringView b) const {
    if (a.size() != b.size()) return false;
    // The same spelling, the usual case, without folding a character.
    if (SameChars(a.data(), b.data(), a.size())) return true;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i] && FoldNoCase(a[i]) != FoldNoCase(b[i])) return false;
    return true;
  }
};
inline bool EqualsNoCase(StringView a, StringView b) { return NoCaseEqual()(a, b); }  // locale-aware
// The order of the upper-case forms (Upper(a) < Upper(b)) without forming
// them: for ordered maps keyed without regard to letter case (transparent).
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(StringView a, StringView b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] == b[i]) continue;
      const char16_t x = FoldNoCase(a[i]), y = FoldNoCase(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

// Blanks are space and tab; Trim also drops other control characters as
// the suite's trim does (every character <= U+0020).
bool IsBlank(char16_t c);
String Trim(StringView s);
String TrimLeft(StringView s);
String TrimRight(StringView s);

// Path helpers: a folder path ends with a backslash.
String WithTrailingBackslash(StringView path);
String WithoutTrailingBackslash(StringView path);
bool HasTrailingBackslash(StringView path);

// Integer conversion. ParseInt64 accepts optional leading blanks, a sign and
// decimal digits, and with allowHex also "$1F" and "0x1F"; false for
// anything else, including overflow.
bool ParseInt64(StringView s, std::int64_t& out, bool allowHex = false);
String ToString(std::int64_t v);

// One argument of Format: a string, a signed or an unsigned number.
class FmtArg {
 public:
  enum class Kind { Str, Int, UInt };
  FmtArg(const String& s) : kind_(Kind::Str), str_(s) {}
  FmtArg(StringView s) : kind_(Kind::Str), str_(s) {}
  FmtArg(const char16_t* s) : kind_(Kind::Str), str_(s ? s : u"") {}
  FmtArg(int v) : kind_(Kind::Int), i_(v) {}
  FmtArg(long v) : kind_(Kind::Int), i_(v) {}
  FmtArg(long long v) : kind_(Kind::Int), i_(v) {}
  FmtArg(unsigned v) : kind_(Kind::UInt), u_(v) {}
  FmtArg(unsigned long v) : kind_(Kind::UInt), u_(v) {}
  FmtArg(unsigned long long v) : kind_(Kind::UInt), u_(v) {}
  Kind kind() const { return kind_; }
  const String& str() const { return str_; }
  std::int64_t i() const { return kind_ == Kind::UInt ? static_cast<std::int64_t>(u_) : i_; }
  std::uint64_t u() const { return kind_ == Kind::Int ? static_cast<std::uint64_t>(i_) : u_; }

 private:
  Kind kind_;
  String str_;
  std::int64_t i_ = 0;
  std::uint64_t u_ = 0;
};

// printf-style formatting of the system's message texts, identical on every
// build (wide printf's "%s" means different things in mingw and glibc, so
// the C library is not used). Supports %s %d %i %u %x %X %c %% with the
// flags '-' and '0', a width and a precision ("%.2d", "%.3d", "0x%.8x").
// A conversion without an argument, or of the wrong kind, is rendered as
// well as it can be and never reads past the argument list.
String FormatV(StringView fmt, const std::vector<FmtArg>& args);

template <typename... A>
String Format(StringView fmt, const A&... args) {
  return FormatV(fmt, std::vector<FmtArg>{FmtArg(args)...});
}

// Convenience for tests and literals.
inline String U(std::string_view utf8) { return FromUtf8(utf8); }

}  // namespace qv
