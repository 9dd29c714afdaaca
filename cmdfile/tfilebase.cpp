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

bool StartsComment(StringView s, std::size_t i) {
  return s[i] == u';' || (s[i] == u'/' && i + 1 < s.size() && s[i + 1] == u'*');
}

constexpr StringView kImageLocn = u"$image_locn";
constexpr StringView kScriptLocn = u"$script_locn";
constexpr StringView kImageType = u"$image_type";
constexpr StringView kType = u"$type";

// The keyword a lookup searches for: two old keyword names stand for the
// current ones. Both old names have 11 characters, which settles nearly
// every keyword without comparing.
inline StringView LookupKey(StringView keyword) {
  if (keyword.size() != kImageLocn.size()) return keyword;
  if (EqualsNoCase(keyword, kImageLocn)) return kScriptLocn;
  if (EqualsNoCase(keyword, kImageType)) return kType;
  return keyword;
}

// Exact equality (the generic character loop of char16_t views costs
// several instructions a character).
bool SameText(StringView a, StringView b) { return a.size() == b.size() && SameChars(a.data(), b.data(), a.size()); }

String DecodeUtf16(const std::uint8_t* p, std::size_t n, bool bigEndian) {
  String out;
  out.reserve(n / 2 + 1);
  for (std::size_t i = 0; i + 1 < n; i += 2)
    out.push_back(bigEndian ? static_cast<char16_t>((p[i] << 8) | p[i + 1])
                            : static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
  if (n % 2 != 0) out.push_back(u'\uFFFD');  // a stray last byte cannot be a character
  return out;
}

}  // namespace

// ------------------------------------------------------------ token and value forms
String UnquoteToken(StringView token) {
  if (token.empty() || token[0] != u'"') return String(token);
  String out;
  out.reserve(token.size());
  // The text between quotes goes in whole runs; a doubled quote adds one.
  std::size_t from = 1;
  for (;;) {
    const std::size_t quote = token.find(u'"', from);
    if (quote == StringView::npos) {
      out.append(token.substr(from));
      break;
    }
    out.append(token.substr(from, quote - from));
    if (quote + 1 >= token.size() || token[quote + 1] != u'"') break;
    out.push_back(u'"');
    from = quote + 2;
  }
  return out;
}

String QuoteToken(StringView text) {
  String out;
  out.reserve(text.size() + 2);
  out.push_back(u'"');
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'"') out.push_back(u'"');
  }
  out.push_back(u'"');
  return out;
}

String ValueAfterKeyword(StringView text, std::size_t maxChars, CommentCut cut) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  while (i < text.size() && !IsBlank(text[i])) ++i;  // the keyword
  String value = Trim(text.substr(i, maxChars));
  std::size_t at = String::npos;
  if (cut == CommentCut::FirstBlankSemicolon) {
    for (std::size_t p = 0; p + 1 < value.size(); ++p) {
      if (IsBlank(value[p]) && value[p + 1] == u';') {
        at = p;
        break;
      }
    }
  } else {
    at = value.find(u" ;");
    if (at == String::npos) at = value.find(u"\t;");
  }
  if (at != String::npos) value.resize(at);
  return Trim(value);
}

std::uint32_t EncodeText(StringView text, TextEncoding encoding, Bytes& out, std::size_t* replaced) {
  out.clear();
  if (replaced) *replaced = 0;
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
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
      const bool big = encoding == TextEncoding::Utf16BE;
      out.resize(2 + 2 * text.size());
      out[0] = big ? 0xFE : 0xFF;
      out[1] = big ? 0xFF : 0xFE;
      std::size_t at = 2;
      for (char16_t c : text) {
        const auto lo = static_cast<std::uint8_t>(c & 0xFF);
        const auto hi = static_cast<std::uint8_t>(c >> 8);
        out[at++] = big ? hi : lo;
        out[at++] = big ? lo : hi;
      }
      break;
    }
    case TextEncoding::Ascii: {
      // A character outside 7 bits cannot be written; it becomes "?" and
      // is counted, so the caller can tell that the file differs.
      out.reserve(text.size());
      std::size_t lost = 0;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
          out.push_back(static_cast<std::uint8_t>(c));
          continue;
        }
        // A surrogate pair is one character and one "?".
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
        out.push_back('?');
        ++lost;
      }
      if (replaced) *replaced = lost;
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

// ------------------------------------------------------------ macro characters
char16_t TFileBase::MacroChar1() { return g_macroChar1.load(std::memory_order_relaxed); }
char16_t TFileBase::MacroChar2() { return g_macroChar2.load(std::memory_order_relaxed); }
void TFileBase::SetMacroChar1(char16_t c) { g_macroChar1.store(c, std::memory_order_relaxed); }
void TFileBase::SetMacroChar2(char16_t c) { g_macroChar2.store(c, std::memory_order_relaxed); }

// ---------------------------------------------------------------------- parsing
TFileBase::Entry TFileBase::Parse(StringView s) const {
  Entry e;
  e.text = String(s);
  TokenList& tokens = e.tokens.emplace();
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n && IsBlank(s[i])) ++i;

  // Blank and comment lines hold one token.
  if (i == n || StartsComment(s, i)) {
    e.comment = true;
    if (i == n || fdiscardcomments)
      tokens.emplace_back(u" ");
    else
      tokens.emplace_back(s.substr(i));
    return e;
  }

  // The keyword: up to the next blank, no special characters.
  std::size_t j = i;
  while (j < n && !IsBlank(s[j])) ++j;
  tokens.emplace_back(s.substr(i, j - i));
  i = j;

  const char16_t macro = MacroChar1();
  for (;;) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i == n) break;
    const char16_t c = s[i];

    if (c == u';') {  // trailing comment
      if (!fdiscardcomments) tokens.emplace_back(s.substr(i));
      break;
    }

    if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {  // inline comment, kept either way
      const std::size_t close = s.find(u"*/", i);  // "/*/" counts as closed
      if (close == StringView::npos) {
        tokens.emplace_back(s.substr(i));
        break;
      }
      tokens.emplace_back(s.substr(i, close + 2 - i));
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
      tokens.push_back(std::move(token));
      i = j;  // a non-blank character right after the quote starts a new token
      continue;
    }

    j = i;  // plain token
    while (j < n && !IsBlank(s[j])) ++j;
    tokens.emplace_back(s.substr(i, j - i));
    i = j;
  }
  return e;
}

// --------------------------------------------------------------- list interface
int TFileBase::Add(StringView s) {
  Changed();
  FList.push_back(Parse(s));
  return Count() - 1;
}

bool TFileBase::Insert(int index, StringView s) {
  if (index < 0 || index > Count()) return false;
  FList.insert(FList.begin() + index, Parse(s));
  Changed();
  InvalidateLookup();
  return true;
}

const String& TFileBase::Text(int index) const { return Valid(index) ? FList[index].text : kEmptyText; }

bool TFileBase::PutText(int index, StringView s) {
  if (!Valid(index)) return false;
  FList[index] = Parse(s);
  Changed();
  InvalidateLookup();
  return true;
}

bool TFileBase::HasTokenList(int index) const { return Valid(index) && FList[index].tokens.has_value(); }

bool TFileBase::PutObject(int index, TokenList tokens) {
  if (!Valid(index)) return false;
  FList[index].tokens = std::move(tokens);
  Changed();
  InvalidateLookup();
  return true;
}

bool TFileBase::PutObject(int index, std::nullopt_t) {
  if (!Valid(index)) return false;
  FList[index].tokens.reset();
  Changed();
  InvalidateLookup();
  return true;
}

void TFileBase::Delete(int index) {
  if (!Valid(index)) return;
  FList.erase(FList.begin() + index);
  Changed();
  InvalidateLookup();
}

bool TFileBase::Exchange(int index1, int index2) {
  if (!Valid(index1) || !Valid(index2)) return false;
  std::swap(FList[index1], FList[index2]);
  Changed();
  InvalidateLookup();
  return true;
}

void TFileBase::Clear() {
  FList.clear();
  Changed();
  InvalidateLookup();
  Fincfile.reset();
  Fincfilename.clear();
}

void TFileBase::AddStrings(const std::vector<String>& strings) {
  Changed();
  FList.reserve(FList.size() + strings.size());
  for (const String& s : strings) Add(s);
}

void TFileBase::AddBase(const TFileBase& other) {
  // Index-based with a fixed count, so that appending a list to itself
  // copies each line once and never reads a moved element.
  const std::size_t n = other.FList.size();
  Changed();
  FList.reserve(FList.size() + n);
  for (std::size_t i = 0; i < n; ++i) FList.push_back(other.FList[i]);
}

bool TFileBase::IsComment(int index) const { return Valid(index) && FList[index].comment; }


// -------------------------------------------------------------- keyword lookup
String TFileBase::GetToken(StringView keyword, int inst, int tokennumber) {
  const String* token = FindToken(keyword, inst, tokennumber);
  return token ? *token : String();
}

const String* TFileBase::FindToken(StringView keyword, int inst, int tokennumber) {
  const StringView key = LookupKey(keyword);
  const int count = Count();

  const bool sameKey = SameText(key, lastkeyword);
  // The same request again: no scan.
  if (nodeletions && lastentry >= 0 && lastentry < count && lastkwinst == inst && sameKey) {
    const TokenList& tokens = GetSL(lastentry);
    if (tokennumber < 0 || tokennumber >= static_cast<int>(tokens.size())) return nullptr;
    return &tokens[static_cast<std::size_t>(tokennumber)];
  }

  // A later instance of the keyword last found: go on after that line.
  int line = 0;
  int found = 0;
  if (nodeletions && sameKey && lastkwinst < inst) {
    line = lastentry + 1;
    found = lastkwinst;
  }
  nodeletions = true;
  if (findex) return IndexedToken(key, inst, tokennumber);

  const bool typeKey = EqualsNoCase(key, kType);
  const bool scriptKey = EqualsNoCase(key, kScriptLocn);
  const bool commentKey = key.size() == 1 && key[0] == u';';
  for (; line < count; ++line) {
    ++fexamined;
    const Entry& e = FList[line];
    if (!HasTokens(e)) continue;
    const TokenList& tokens = *e.tokens;
    const String& first = tokens.front();
    const bool match = EqualsNoCase(first, key) || (typeKey && EqualsNoCase(first, kImageType)) ||
                       (scriptKey && EqualsNoCase(first, kImageLocn)) || (commentKey && e.comment);
    if (!match || ++found != inst) continue;
    if (tokennumber < 0 || tokennumber >= static_cast<int>(tokens.size())) break;
    return CacheHit(key, inst, line, tokens[static_cast<std::size_t>(tokennumber)]);
  }
  return CacheMiss();
}

// ---------------------------------------------------------------- keyword index
// The lookup cache after a search: the match found (its keyword, instance
// and line), or nothing.
const String* TFileBase::CacheHit(StringView key, int inst, int line, const String& token) {
  lastkeyword.assign(key);  // reuses the buffer: no allocation per lookup
  lastkwinst = inst;
  lastentry = line;
  return &token;
}

const String* TFileBase::CacheMiss() {
  lastkeyword.clear();
  lastkwinst = 0;
  lastentry = -1;
  return nullptr;
}

void TFileBase::IndexKeywords() {
  auto index = std::make_unique<KeywordIndex>();
  const int count = Count();
  std::vector<int>* last = nullptr;
  StringView lastKey;
  std::vector<int>* comments = nullptr;
  for (int line = 0; line < count; ++line) {
    ++fexamined;
    const Entry& e = FList[static_cast<std::size_t>(line)];
    if (!HasTokens(e)) continue;
    // The keys a scan would match this line by: its keyword (an old name
    // under the current one) and ";" for a comment line.
    StringView key = e.tokens->front();
    if (key.size() == 11 && NoCaseEqual()(key, kImageType))
      key = kType;
    else if (key.size() == 11 && NoCaseEqual()(key, kImageLocn))
      key = kScriptLocn;
    // Neighbouring lines often share their keyword: the last bucket first.
    if (!last || !NoCaseEqual()(key, lastKey)) {
      last = &index->lines[key];
      if (last->empty()) last->reserve(8);  // most keywords have a few lines
      lastKey = key;
    }
    last->push_back(line);
    if (e.comment && !(key.size() == 1 && key[0] == u';')) {
      if (!comments) comments = &index->lines[StringView(u";")];
      comments->push_back(line);
    }
  }
  findex = std::move(index);
}

const std::vector<int>& TFileBase::KeywordLines(StringView keyword) {
  static const std::vector<int> kNone;
  if (!findex) IndexKeywords();
  const auto it = findex->lines.find(LookupKey(keyword));
  if (it == findex->lines.end()) return kNone;
  fexamined += it->second.size();
  return it->second;
}

// GetToken's search through the index: the inst-th line of the keyword is
// the one the scan (from the first line, or resumed after the cached match,
// which is the cached instance) would stop at. The cache is updated as the
// scan updates it.
const String* TFileBase::IndexedToken(StringView key, int inst, int tokennumber) {
  KeywordIndex& index = *findex;
  if (!index.lastValid || !SameText(key, index.lastKey)) {
    const auto it = index.lines.find(key);
    index.lastLines = it == index.lines.end() ? nullptr : &it->second;
    index.lastKey.assign(key);
    index.lastValid = true;
  }
  const std::vector<int>* lines = index.lastLines;
  if (lines && inst >= 1 && static_cast<std::size_t>(inst) <= lines->size()) {
    const int line = (*lines)[static_cast<std::size_t>(inst) - 1];
    ++fexamined;
    const TokenList& tokens = *FList[static_cast<std::size_t>(line)].tokens;
    if (tokennumber >= 0 && tokennumber < static_cast<int>(tokens.size())) {
      return CacheHit(key, inst, line, tokens[static_cast<std::size_t>(tokennumber)]);
    }
  }
  return CacheMiss();
}

String TFileBase::GetSqToken(StringView keyword, int inst, int tokennumber) {
  const String* token = FindToken(keyword, inst, tokennumber);
  return token ? UnquoteToken(*token) : String();
}

void TFileBase::SetToken(int lineno, int parmno, StringView newval) {
  if (!Valid(lineno) || parmno < 0 || !FList[lineno].tokens) return;  // a line without a token list stays as it is
  TokenList& tokens = *FList[lineno].tokens;
  const auto size = static_cast<int>(tokens.size());
  if (parmno < size)
    tokens[static_cast<std::size_t>(parmno)] = String(newval);
  else if (parmno == size)
    tokens.emplace_back(newval);
  else
    return;
  Changed();  // the index holds keywords and variable names and values
  if (parmno == 0) InvalidateLookup();
}

void TFileBase::Pack() {
  indent = 0;
  for (Entry& e : FList) {
    String text;
    if (HasTokens(e)) {
      const TokenList& tokens = *e.tokens;
      const String& first = tokens.front();
      const bool comment = first.starts_with(u";") || first.starts_with(u"/*");
      const bool indents = findented && !comment;

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
      for (std::size_t k = 1; k < tokens.size(); ++k) length += 1 + tokens[k].size();
      text.reserve(length + static_cast<std::size_t>(fminkey > 0 ? fminkey : 0));

      text.append(static_cast<std::size_t>(column), u' ');
      text.append(first);
      if (fminkey > 0 && first.size() < static_cast<std::size_t>(fminkey))
        text.append(static_cast<std::size_t>(fminkey) - first.size(), u' ');
      for (std::size_t k = 1; k < tokens.size(); ++k) {
        text.push_back(u' ');
        text.append(tokens[k]);
      }
    }
    e.text = std::move(text);
  }
}

void TFileBase::SetIndented(bool value) {
  findented = value;
  Pack();
}

void TFileBase::SetMinKeySize(int value) {
  fminkey = value;
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
  return LoadFromBytes(bytes.data(), bytes.size(), encoding, used);
}

std::uint32_t TFileBase::LoadFromBytes(const std::uint8_t* data, std::size_t size,
                                       std::optional<TextEncoding> encoding, TextEncoding* used) {
  const std::uint8_t* p = data;
  std::size_t n = size;
  TextEncoding chosen = encoding.value_or(TextEncoding::Ansi);
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    chosen = TextEncoding::Utf8;
    p += 3;
    n -= 3;
  } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    chosen = TextEncoding::Utf16LE;
    p += 2;
    n -= 2;
  } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    chosen = TextEncoding::Utf16BE;
    p += 2;
    n -= 2;
  }

  String text;
  const std::string_view raw(reinterpret_cast<const char*>(p), n);
  switch (chosen) {
    case TextEncoding::Utf8: text = FromUtf8(raw); break;
    case TextEncoding::Utf16LE: text = DecodeUtf16(p, n, false); break;
    case TextEncoding::Utf16BE: text = DecodeUtf16(p, n, true); break;
    case TextEncoding::Ascii:
      text.reserve(n);
      for (std::size_t i = 0; i < n; ++i) text.push_back(p[i] < 0x80 ? static_cast<char16_t>(p[i]) : u'?');
      break;
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
  for (const Entry& e : FList) length += e.text.size() + 2;
  String out;
  out.reserve(length);
  for (const Entry& e : FList) {
    out.append(e.text);
    out.append(u"\r\n");
  }
  return out;
}

std::uint32_t TFileBase::SaveToBytes(TextEncoding encoding, Bytes& out, std::size_t* replaced) const {
  return EncodeText(ToText(), encoding, out, replaced);
}

std::uint32_t TFileBase::SaveToFile(const String& path, TextEncoding encoding, std::size_t* replaced) const {
  Bytes bytes;
  const std::uint32_t rc = SaveToBytes(encoding, bytes, replaced);
  if (rc != platform::kOk) return rc;
  return platform::Current().WriteWholeFile(path, bytes);
}

}  // namespace qv
