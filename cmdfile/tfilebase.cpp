#include "cmdfile/tfilebase.h"

#include <atomic>
#include <cstring>
#include <string>
#include <utility>

#include "platform/seam.h"

namespace qv {

namespace {

std::atomic<char16_t> g_macroChar1{u'@'};
std::atomic<char16_t> g_macroChar2{u'`'};

const String kEmptyText;
const TokenList kEmptyTokens;

bool StartsComment(StringView s, std::size_t i) {
  return s[i] == u';' || (s[i] == u'/' && i + 1 < s.size() && s[i + 1] == u'*');
}

// The keyword a lookup searches for: two old keyword names stand for the
// current ones.
StringView LookupKey(StringView keyword) {
  if (EqualsNoCase(keyword, u"$image_locn")) return u"$script_locn";
  if (EqualsNoCase(keyword, u"$image_type")) return u"$type";
  return keyword;
}

const String& TokenAt(const TokenList& tokens, int n) {
  if (n < 0 || n >= static_cast<int>(tokens.size())) return kEmptyText;
  return tokens[static_cast<std::size_t>(n)];
}

String DecodeUtf16LE(const std::uint8_t* p, std::size_t n) {
  String out;
  out.reserve(n / 2 + 1);
  for (std::size_t i = 0; i + 1 < n; i += 2) out.push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
  if (n % 2 != 0) out.push_back(u'\uFFFD');  // a stray last byte cannot be a character
  return out;
}

}  // namespace

// ------------------------------------------------------------ macro characters
char16_t TFileBase::MacroChar1() { return g_macroChar1.load(std::memory_order_relaxed); }
char16_t TFileBase::MacroChar2() { return g_macroChar2.load(std::memory_order_relaxed); }
void TFileBase::SetMacroChar1(char16_t c) { g_macroChar1.store(c, std::memory_order_relaxed); }
void TFileBase::SetMacroChar2(char16_t c) { g_macroChar2.store(c, std::memory_order_relaxed); }

// ---------------------------------------------------------------------- parsing
TFileBase::Entry TFileBase::Parse(StringView s) const {
  Entry e;
  e.text = String(s);
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n && IsBlank(s[i])) ++i;

  // Blank and comment lines hold one token.
  if (i == n || StartsComment(s, i)) {
    e.comment = true;
    if (i == n || discardcomments_)
      e.tokens.emplace_back(u" ");
    else
      e.tokens.emplace_back(s.substr(i));
    return e;
  }

  // The keyword: up to the next blank, no special characters.
  std::size_t j = i;
  while (j < n && !IsBlank(s[j])) ++j;
  e.tokens.emplace_back(s.substr(i, j - i));
  i = j;

  const char16_t macro = MacroChar1();
  for (;;) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i == n) break;
    const char16_t c = s[i];

    if (c == u';') {  // trailing comment
      if (!discardcomments_) e.tokens.emplace_back(s.substr(i));
      break;
    }

    if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {  // inline comment, kept either way
      const std::size_t close = s.find(u"*/", i);  // "/*/" counts as closed
      if (close == StringView::npos) {
        e.tokens.emplace_back(s.substr(i));
        break;
      }
      e.tokens.emplace_back(s.substr(i, close + 2 - i));
      i = close + 2;
      continue;
    }

    // i > 0 here: the keyword precedes every further token.
    if (c == u'"' && s[i - 1] != macro) {  // quoted token, quotes kept
      j = i + 1;
      bool closed = false;
      while (j < n) {
        if (s[j] != u'"') {
          ++j;
          continue;
        }
        if (j + 1 < n && s[j + 1] == u'"') {  // doubled quote: part of the token
          j += 2;
          continue;
        }
        if (j + 1 == n || s[j - 1] != macro) {  // last character, or an unescaped quote
          ++j;
          closed = true;
          break;
        }
        ++j;  // escaped by the macro character
      }
      String token(s.substr(i, j - i));
      if (!closed) token.push_back(u'"');
      e.tokens.push_back(std::move(token));
      i = j;  // a non-blank character right after the quote starts a new token
      continue;
    }

    j = i;  // plain token
    while (j < n && !IsBlank(s[j])) ++j;
    e.tokens.emplace_back(s.substr(i, j - i));
    i = j;
  }
  return e;
}

// --------------------------------------------------------------- list interface
int TFileBase::Add(StringView s) {
  lines_.push_back(Parse(s));
  return Count() - 1;
}

bool TFileBase::Insert(int index, StringView s) {
  if (index < 0 || index > Count()) return false;
  lines_.insert(lines_.begin() + index, Parse(s));
  InvalidateLookup();
  return true;
}

const String& TFileBase::Text(int index) const { return Valid(index) ? lines_[index].text : kEmptyText; }

bool TFileBase::PutText(int index, StringView s) {
  if (!Valid(index)) return false;
  lines_[index] = Parse(s);
  InvalidateLookup();
  return true;
}

const TokenList& TFileBase::GetSL(int index) const { return Valid(index) ? lines_[index].tokens : kEmptyTokens; }

bool TFileBase::PutObject(int index, TokenList tokens) {
  if (!Valid(index)) return false;
  lines_[index].tokens = std::move(tokens);
  InvalidateLookup();
  return true;
}

void TFileBase::Delete(int index) {
  if (!Valid(index)) return;
  lines_.erase(lines_.begin() + index);
  InvalidateLookup();
}

bool TFileBase::Exchange(int index1, int index2) {
  if (!Valid(index1) || !Valid(index2)) return false;
  std::swap(lines_[index1], lines_[index2]);
  InvalidateLookup();
  return true;
}

void TFileBase::Clear() {
  lines_.clear();
  InvalidateLookup();
  incfile_.reset();
  incfilename_.clear();
}

void TFileBase::AddStrings(const std::vector<String>& strings) {
  lines_.reserve(lines_.size() + strings.size());
  for (const String& s : strings) Add(s);
}

void TFileBase::AddBase(const TFileBase& other) {
  // Index-based with a fixed count, so that appending a list to itself
  // copies each line once and never reads a moved element.
  const std::size_t n = other.lines_.size();
  lines_.reserve(lines_.size() + n);
  for (std::size_t i = 0; i < n; ++i) lines_.push_back(other.lines_[i]);
}

bool TFileBase::IsComment(int index) const { return Valid(index) && lines_[index].comment; }

std::vector<String>& TFileBase::EnsureIncludeLines() {
  if (!incfile_) incfile_ = std::make_unique<std::vector<String>>();
  return *incfile_;
}

// -------------------------------------------------------------- keyword lookup
String TFileBase::GetToken(StringView keyword, int inst, int tokennumber) {
  const StringView key = LookupKey(keyword);
  const int count = Count();

  // The same request again: no scan.
  if (nodeletions_ && lastentry_ >= 0 && lastentry_ < count && lastkwinst_ == inst && key == lastkeyword_)
    return TokenAt(lines_[lastentry_].tokens, tokennumber);

  // A later instance of the keyword last found: go on after that line.
  int line = 0;
  int found = 0;
  if (nodeletions_ && key == lastkeyword_ && lastkwinst_ < inst) {
    line = lastentry_ + 1;
    found = lastkwinst_;
  }
  nodeletions_ = true;

  const bool typeKey = EqualsNoCase(key, u"$type");
  const bool scriptKey = EqualsNoCase(key, u"$script_locn");
  const bool commentKey = key == u";";
  for (; line < count; ++line) {
    ++examined_;
    const Entry& e = lines_[line];
    if (e.tokens.empty()) continue;
    const String& first = e.tokens.front();
    const bool match = EqualsNoCase(first, key) || (typeKey && EqualsNoCase(first, u"$image_type")) ||
                       (scriptKey && EqualsNoCase(first, u"$image_locn")) || (commentKey && e.comment);
    if (!match || ++found != inst) continue;
    if (tokennumber < 0 || tokennumber >= static_cast<int>(e.tokens.size())) break;
    lastkeyword_ = String(key);
    lastkwinst_ = inst;
    lastentry_ = line;
    return e.tokens[static_cast<std::size_t>(tokennumber)];
  }

  lastkeyword_.clear();
  lastkwinst_ = 0;
  lastentry_ = -1;
  return String();
}

String TFileBase::GetSqToken(StringView keyword, int inst, int tokennumber) {
  String token = GetToken(keyword, inst, tokennumber);
  if (token.empty() || token[0] != u'"') return token;
  String out;
  out.reserve(token.size());
  for (std::size_t i = 1; i < token.size(); ++i) {
    if (token[i] == u'"') {
      if (i + 1 < token.size() && token[i + 1] == u'"') {
        out.push_back(u'"');
        ++i;
        continue;
      }
      break;
    }
    out.push_back(token[i]);
  }
  return out;
}

void TFileBase::SetToken(int lineno, int parmno, StringView newval) {
  if (!Valid(lineno) || parmno < 0) return;
  TokenList& tokens = lines_[lineno].tokens;
  const auto size = static_cast<int>(tokens.size());
  if (parmno < size)
    tokens[static_cast<std::size_t>(parmno)] = String(newval);
  else if (parmno == size)
    tokens.emplace_back(newval);
  else
    return;
  if (parmno == 0) InvalidateLookup();
}

void TFileBase::Pack() {
  int indent = 0;
  for (Entry& e : lines_) {
    String text;
    if (!e.tokens.empty()) {
      const String& first = e.tokens.front();
      const bool comment = first.starts_with(u";") || first.starts_with(u"/*");
      const bool indents = indented_ && !comment;

      int column = indents ? indent : 0;
      if (indents) {
        const String head = AsciiLower(StringView(first).substr(0, 6));
        if (head == u"$if" || head == u"$ifn" || head == u"$ife" || head == u"$ifne") {
          indent += 4;
        } else if (head == u"$else") {
          column = indent >= 4 ? indent - 4 : 0;  // at its $if's column; never into the keyword
        } else if (head == u"$endif") {
          column = indent >= 4 ? indent - 4 : 0;
          indent = column;
        }
      }

      std::size_t length = static_cast<std::size_t>(column) + first.size();
      for (std::size_t k = 1; k < e.tokens.size(); ++k) length += 1 + e.tokens[k].size();
      text.reserve(length + static_cast<std::size_t>(minkey_ > 0 ? minkey_ : 0));

      text.append(static_cast<std::size_t>(column), u' ');
      text.append(first);
      if (minkey_ > 0 && first.size() < static_cast<std::size_t>(minkey_))
        text.append(static_cast<std::size_t>(minkey_) - first.size(), u' ');
      for (std::size_t k = 1; k < e.tokens.size(); ++k) {
        text.push_back(u' ');
        text.append(e.tokens[k]);
      }
    }
    e.text = std::move(text);
  }
}

void TFileBase::SetIndented(bool value) {
  indented_ = value;
  Pack();
}

void TFileBase::SetMinKeySize(int value) {
  minkey_ = value;
  Pack();
}

// ------------------------------------------------------------ loading, saving
void TFileBase::LoadFromString(StringView text) {
  Clear();
  const std::size_t n = text.size();
  std::size_t start = 0;
  while (start < n) {
    std::size_t end = start;
    while (end < n && text[end] != u'\r' && text[end] != u'\n') ++end;
    Add(text.substr(start, end - start));
    if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
}

std::uint32_t TFileBase::LoadFromBytes(const Bytes& bytes, std::optional<TextEncoding> encoding,
                                       TextEncoding* used) {
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  TextEncoding chosen = encoding.value_or(TextEncoding::Ansi);
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    chosen = TextEncoding::Utf8;
    p += 3;
    n -= 3;
  } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    chosen = TextEncoding::Utf16LE;
    p += 2;
    n -= 2;
  }

  String text;
  const std::string_view raw(reinterpret_cast<const char*>(p), n);
  switch (chosen) {
    case TextEncoding::Utf8: text = FromUtf8(raw); break;
    case TextEncoding::Utf16LE: text = DecodeUtf16LE(p, n); break;
    case TextEncoding::Ansi:
      text = platform::Current().AnsiToWide(raw);
      // Every byte maps to a character, so no text from some bytes means
      // the conversion itself failed.
      if (text.empty() && n > 0) return kErrNoUnicodeTranslation;
      break;
  }
  LoadFromString(text);
  if (used) *used = chosen;
  return platform::kOk;
}

std::uint32_t TFileBase::LoadFromFile(const String& path, std::optional<TextEncoding> encoding, TextEncoding* used) {
  Bytes bytes;
  const std::uint32_t rc = platform::Current().ReadWholeFile(path, bytes);
  if (rc != platform::kOk) return rc;
  return LoadFromBytes(bytes, encoding, used);
}

String TFileBase::ToText() const {
  std::size_t length = 0;
  for (const Entry& e : lines_) length += e.text.size() + 2;
  String out;
  out.reserve(length);
  for (const Entry& e : lines_) {
    out.append(e.text);
    out.append(u"\r\n");
  }
  return out;
}

std::uint32_t TFileBase::SaveToBytes(TextEncoding encoding, Bytes& out) const {
  const String text = ToText();
  out.clear();
  switch (encoding) {
    case TextEncoding::Utf8: {
      const std::string utf8 = ToUtf8(text);
      out.resize(3 + utf8.size());
      out[0] = 0xEF;
      out[1] = 0xBB;
      out[2] = 0xBF;
      std::memcpy(out.data() + 3, utf8.data(), utf8.size());
      break;
    }
    case TextEncoding::Utf16LE: {
      out.resize(2 + 2 * text.size());
      out[0] = 0xFF;
      out[1] = 0xFE;
      std::size_t at = 2;
      for (char16_t c : text) {
        out[at++] = static_cast<std::uint8_t>(c & 0xFF);
        out[at++] = static_cast<std::uint8_t>(c >> 8);
      }
      break;
    }
    case TextEncoding::Ansi: {
      const std::string ansi = platform::Current().WideToAnsi(text);
      if (ansi.empty() && !text.empty()) return kErrNoUnicodeTranslation;
      out.assign(ansi.begin(), ansi.end());
      break;
    }
  }
  return platform::kOk;
}

std::uint32_t TFileBase::SaveToFile(const String& path, TextEncoding encoding) const {
  Bytes bytes;
  const std::uint32_t rc = SaveToBytes(encoding, bytes);
  if (rc != platform::kOk) return rc;
  return platform::Current().WriteWholeFile(path, bytes);
}

}  // namespace qv
