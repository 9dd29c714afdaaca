#include "platform/text.h"

#include <algorithm>

namespace qv {

String FromUtf8(std::string_view s) {
  String out;
  out.reserve(s.size());
  std::size_t i = 0;
  const std::size_t n = s.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < n) {
    unsigned c = byte(i);
    std::uint32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= n || (byte(i + k) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    const bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // Not a well-formed sequence: one replacement per byte, as Windows does.
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string ToUtf8(StringView s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {
// Windows-1252 0x80..0x9F; 0 marks the five unassigned positions, which
// MultiByteToWideChar maps to the same-valued control characters.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

String FromCp1252(std::string_view bytes) {
  String out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b <= 0x9F)
      out.push_back(kCp1252High[b - 0x80]);
    else
      out.push_back(b);
  }
  return out;
}

std::string ToCp1252(StringView text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

String AsciiUpper(StringView s) {
  String r(s);
  for (auto& c : r) c = AsciiUpper(c);
  return r;
}

String AsciiLower(StringView s) {
  String r(s);
  for (auto& c : r) c = AsciiLower(c);
  return r;
}

bool EqualsNoCaseAscii(StringView a, StringView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool StartsWithNoCaseAscii(StringView s, StringView prefix) {
  return s.size() >= prefix.size() && EqualsNoCaseAscii(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCaseAscii(StringView s, StringView suffix) {
  return s.size() >= suffix.size() && EqualsNoCaseAscii(s.substr(s.size() - suffix.size()), suffix);
}

char16_t UpperChar(char16_t c) {
  if (c < 0x80) return AsciiUpper(c);
  // Latin-1: à..þ except ÷; ÿ -> Ÿ. ß has no single upper case.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c == 0xB5) return 0x39C;
  // Latin Extended-A pairs (even upper, odd lower), with the two odd-based runs.
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c == 0x131 ? u'I' : (c == 0x17F ? u'S' : c);
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  }
  // Greek
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
  // Cyrillic
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0x460 && c <= 0x4FF && c != 0x482 && !(c >= 0x483 && c <= 0x489)) {
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c == 0x4CF) return 0x4C0;
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  }
  return c;
}

char16_t LowerChar(char16_t c) {
  if (c < 0x80) return AsciiLower(c);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x130) return u'i';
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? c : static_cast<char16_t>(c + 1);
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 0x25);
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 0x3F);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0x460 && c <= 0x4FF && c != 0x482 && !(c >= 0x483 && c <= 0x489)) {
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    return (c & 1) ? c : static_cast<char16_t>(c + 1);
  }
  return c;
}

String Upper(StringView s) {
  String r(s);
  for (auto& c : r) c = FoldNoCase(c);  // UpperChar, ASCII the short way
  return r;
}

String Lower(StringView s) {
  String r(s);
  for (auto& c : r) c = LowerChar(c);
  return r;
}


bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

String Trim(StringView s) { return TrimLeft(TrimRight(s)); }

String TrimLeft(StringView s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] <= u' ') ++i;
  return String(s.substr(i));
}

String TrimRight(StringView s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] <= u' ') --n;
  return String(s.substr(0, n));
}

bool HasTrailingBackslash(StringView path) { return !path.empty() && path.back() == u'\\'; }

String WithTrailingBackslash(StringView path) {
  String r(path);
  if (!HasTrailingBackslash(r)) r.push_back(u'\\');
  return r;
}

String WithoutTrailingBackslash(StringView path) {
  String r(path);
  while (HasTrailingBackslash(r)) r.pop_back();
  return r;
}

bool ParseInt64(StringView s, std::int64_t& out, bool allowHex) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
    neg = s[i] == u'-';
    ++i;
  }
  bool hex = false;
  if (!allowHex) {
  } else if (i < s.size() && s[i] == u'$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  std::uint64_t v = 0;
  const std::uint64_t limit = neg ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    unsigned d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    const std::uint64_t base = hex ? 16 : 10;
    if (v > (limit - d) / base) return false;
    v = v * base + d;
  }
  out = neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}

String ToString(std::int64_t v) {
  std::string s = std::to_string(v);
  return String(s.begin(), s.end());
}

namespace {
String Digits(std::uint64_t v, unsigned base, bool upper) {
  const char* d = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  String r;
  do {
    r.push_back(static_cast<char16_t>(d[v % base]));
    v /= base;
  } while (v != 0);
  std::reverse(r.begin(), r.end());
  return r;
}
}  // namespace

String FormatV(StringView fmt, const std::vector<FmtArg>& args) {
  String out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    std::size_t start = i;
    ++i;
    if (i >= fmt.size()) {
      out.push_back(u'%');
      break;
    }
    if (fmt[i] == u'%') {
      out.push_back(u'%');
      continue;
    }
    bool left = false, zero = false;
    while (i < fmt.size() && (fmt[i] == u'-' || fmt[i] == u'0')) {
      if (fmt[i] == u'-') left = true;
      else zero = true;
      ++i;
    }
    int width = 0;
    while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') width = width * 10 + (fmt[i++] - u'0');
    int prec = -1;
    if (i < fmt.size() && fmt[i] == u'.') {
      ++i;
      prec = 0;
      while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') prec = prec * 10 + (fmt[i++] - u'0');
    }
    while (i < fmt.size() && (fmt[i] == u'l' || fmt[i] == u'h')) ++i;  // length modifiers are ignored
    if (i >= fmt.size()) {
      out.append(fmt.substr(start));
      break;
    }
    char16_t conv = fmt[i];
    String body;
    bool numeric = true;
    const FmtArg* a = next < args.size() ? &args[next] : nullptr;
    switch (conv) {
      case u's':
      case u'S':
        numeric = false;
        if (a) {
          ++next;
          if (a->kind() == FmtArg::Kind::Str)
            body = a->str();
          else if (a->kind() == FmtArg::Kind::Int)
            body = ToString(a->i());
          else
            body = Digits(a->u(), 10, false);
        }
        if (prec >= 0 && body.size() > static_cast<std::size_t>(prec)) body.resize(prec);
        break;
      case u'c':
        numeric = false;
        if (a) {
          ++next;
          if (a->kind() != FmtArg::Kind::Str) body.push_back(static_cast<char16_t>(a->u()));
          else if (!a->str().empty()) body.push_back(a->str()[0]);
        }
        break;
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X': {
        bool neg = false;
        std::uint64_t mag = 0;
        if (a) {
          ++next;
          if (a->kind() == FmtArg::Kind::Str) {
            std::int64_t parsed = 0;
            ParseInt64(a->str(), parsed);
            mag = static_cast<std::uint64_t>(parsed);
            if (conv == u'd' || conv == u'i') {
              neg = parsed < 0;
              mag = neg ? 0 - static_cast<std::uint64_t>(parsed) : static_cast<std::uint64_t>(parsed);
            }
          } else if (conv == u'd' || conv == u'i') {
            std::int64_t v = a->i();
            neg = v < 0;
            mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
          } else {
            // %u and %x show the 32-bit pattern of a 32-bit-sized value, as the
            // suite's 32-bit runtime does for a negative int.
            std::int64_t v = a->i();
            mag = (a->kind() == FmtArg::Kind::Int && v < 0 && v >= INT32_MIN) ? static_cast<std::uint32_t>(v)
                                                                             : a->u();
          }
        }
        unsigned base = (conv == u'x' || conv == u'X') ? 16 : 10;
        body = Digits(mag, base, conv == u'X');
        if (prec >= 0 && body.size() < static_cast<std::size_t>(prec)) body.insert(0, prec - body.size(), u'0');
        if (prec == 0 && mag == 0) body.clear();
        if (neg) body.insert(body.begin(), u'-');
        break;
      }
      default:
        // Unknown conversion: copy it through unchanged.
        out.append(fmt.substr(start, i - start + 1));
        continue;
    }
    if (static_cast<int>(body.size()) < width) {
      std::size_t pad = width - body.size();
      if (left) {
        body.append(pad, u' ');
      } else if (zero && numeric && prec < 0) {
        std::size_t at = (!body.empty() && body[0] == u'-') ? 1 : 0;
        body.insert(at, pad, u'0');
      } else {
        body.insert(0, pad, u' ');
      }
    }
    out += body;
  }
  return out;
}

}  // namespace qv
