// TFileBase: the list of command-file lines ("$keyword token token ...").
//
// Every line is kept twice: as the text last given to the list and as the
// token list parsed from it, so that callers ask for "token n of the i-th
// line whose keyword is K" without parsing anything themselves. The main
// configuration file, fax and e-mail command files and job files are all
// read and edited through this class.
//
// Line format, as the parser splits it:
//   - blanks are space and tab;
//   - a blank line, or one whose first non-blank text is ";" or "/*", is a
//     comment line with exactly one token: " " when the line is blank or
//     comments are discarded, else the text from the first non-blank on;
//   - otherwise token 0 (the keyword) runs to the first blank, taken as is;
//   - after it: ";" starts a trailing comment (one token, or dropped when
//     comments are discarded); "/*" starts an inline comment that runs
//     through the next "*/" (searched from the "/*" itself, so "/*/" is
//     already closed) or to the end of the line; a double quote not preceded
//     by MacroChar1 starts a quoted token that keeps its quotes, in which ""
//     is a literal quote and a quote preceded by MacroChar1 does not close
//     the token (a missing closing quote is appended); anything else runs
//     to the next blank.
//
// Keyword lookup (GetToken) keeps a one-entry cache so that reading
// instances 1, 2, 3 ... of one keyword resumes after the previous match
// instead of rescanning, and repeating a request does no scan at all.
//
// Decisions of this implementation:
//   - Cache validity. Besides Delete, Clear and SetToken on token 0, every
//     operation that can move lines or change a line's keyword ends the
//     cache's validity: Insert, PutText, Exchange, PutObject and the loads.
//     Add, AddStrings and AddBase append after every existing line and keep
//     it, as do Pack and SetToken on tokens other than 0. A cached line
//     index therefore never points at a line that moved.
//   - Unbalanced blocks in Pack. An "$else" or "$endif" met while the
//     running indentation is below 4 keeps its whole keyword, starts in
//     column 0, and leaves the running indentation at 0: a stray "$endif"
//     does not push the following blocks to the left of column 0.
//   - Token lists. A line always has a token list (possibly empty, which
//     plays the part of "no list": Pack then gives an empty text, GetToken
//     skips the line). SetToken with parmno 0 on an empty list appends.
//   - Index errors. Operations given an index outside the list do nothing
//     and report it (false, an empty text or an empty token list); nothing
//     throws.
//   - Text encodings. Loading: a byte-order mark (EF BB BF for UTF-8, FF FE
//     for UTF-16 LE) always decides and is dropped; without one the
//     caller's encoding applies, and without that the system ANSI code
//     page. Lines end at CR LF, LF or CR; a final line break does not start
//     an empty line. Invalid UTF-8 and a stray last byte of UTF-16 become
//     U+FFFD. Saving: each line followed by CR LF, with the byte-order mark
//     for UTF-8 and UTF-16 LE, none for ANSI. A failure of the system's
//     ANSI conversion (the platform then answers with empty text) is
//     reported as an error, never taken as an empty file: a load leaves the
//     list and a save leaves the file as they were.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/seam.h"
#include "platform/text.h"

namespace qv {

enum class TextEncoding { Ansi, Utf8, Utf16LE };

// ERROR_NO_UNICODE_TRANSLATION: the system's code-page conversion failed.
using platform::kErrNoUnicodeTranslation;

using TokenList = std::vector<String>;

class TFileBase {
 public:
  TFileBase() = default;
  ~TFileBase() = default;
  TFileBase(const TFileBase&) = delete;
  TFileBase& operator=(const TFileBase&) = delete;

  // ---- process-wide macro characters (defaults '@' and '`'). Only the
  // first one matters to the parser: it escapes a double quote inside a
  // quoted token. Changing them affects lines parsed afterwards.
  static char16_t MacroChar1();
  static char16_t MacroChar2();
  static void SetMacroChar1(char16_t c);
  static void SetMacroChar2(char16_t c);

  // ---- list interface (0-based line indexes)
  int Count() const { return static_cast<int>(lines_.size()); }
  // Parses S into a new line appended at the end; returns its index.
  int Add(StringView s);
  // Parses S into a new line at index (0..Count()); false when out of range.
  bool Insert(int index, StringView s);
  // The line's text; empty when index is out of range.
  const String& Text(int index) const;
  // Parses S into a new line replacing the one at index; false when out of range.
  bool PutText(int index, StringView s);
  // The line's token list (the "object" of the line); empty when out of range.
  const TokenList& GetSL(int index) const;
  // Makes tokens the line's token list (text and comment flag unchanged).
  bool PutObject(int index, TokenList tokens);
  // Removes the line; does nothing when index is out of range.
  void Delete(int index);
  bool Exchange(int index1, int index2);
  // Removes every line and the include list, empties IncludeFileName.
  void Clear();
  void AddStrings(const std::vector<String>& strings);
  // Appends copies of every line of other (text, comment flag and tokens,
  // without parsing again). other may be this list.
  void AddBase(const TFileBase& other);
  // The line's comment flag; false when out of range.
  bool IsComment(int index) const;

  // ---- keyword lookup
  // Token tokennumber of the inst-th (from 1) line whose keyword is keyword
  // (letter case ignored; "$image_locn" and "$script_locn" are one keyword,
  // as are "$image_type" and "$type"; ";" counts comment lines). Empty when
  // there is no such line or token; LastIndex() then is -1, else the line.
  String GetToken(StringView keyword, int inst, int tokennumber);
  // GetToken with a leading double quote removed: the text up to the next
  // single quote (or the end), each doubled quote reduced to one.
  String GetSqToken(StringView keyword, int inst, int tokennumber);
  // Sets token parmno of line lineno (appends when parmno equals the token
  // count; ignores larger or negative parmno). The line's text is not
  // rebuilt; Pack does that.
  void SetToken(int lineno, int parmno, StringView newval);
  // Rebuilds every line's text from its tokens, honouring Indented and
  // MinKeySize.
  void Pack();

  // ---- properties
  bool Indented() const { return indented_; }
  void SetIndented(bool value);  // rebuilds the texts with Pack
  int LastIndex() const { return lastentry_; }
  int LastVardefIndex() const { return lastventry_; }
  // Lines examined by keyword lookups since the list was created: what a
  // lookup loop costs, independent of the machine's speed.
  std::uint64_t LookupLinesExamined() const { return examined_; }
  int MinKeySize() const { return minkey_; }
  void SetMinKeySize(int value);  // rebuilds the texts with Pack
  bool Discardcomments() const { return discardcomments_; }
  void SetDiscardcomments(bool value) { discardcomments_ = value; }  // for lines parsed afterwards
  const String& IncludeFileName() const { return incfilename_; }
  void SetIncludeFileName(StringView name) { incfilename_ = String(name); }

  // ---- loading and saving
  // Replaces the list's lines with the lines of text, each parsed by Add.
  void LoadFromString(StringView text);
  // Decodes bytes (see the encoding rules above) and replaces the lines
  // with them. 0 on success; kErrNoUnicodeTranslation when the system could
  // not convert ANSI text, and the list is left unchanged. used receives
  // the encoding.
  std::uint32_t LoadFromBytes(const Bytes& bytes, std::optional<TextEncoding> encoding = std::nullopt,
                              TextEncoding* used = nullptr);
  // Reads the file through the platform, then as LoadFromBytes. 0 on
  // success, else the Win32 error code and the list is left unchanged.
  std::uint32_t LoadFromFile(const String& path, std::optional<TextEncoding> encoding = std::nullopt,
                             TextEncoding* used = nullptr);
  // Every line's text followed by CR LF.
  String ToText() const;
  // The file image in the given encoding. 0 on success;
  // kErrNoUnicodeTranslation when the system could not convert to ANSI
  // (bytes is then empty).
  std::uint32_t SaveToBytes(TextEncoding encoding, Bytes& bytes) const;
  // Creates or truncates the file; 0 on success, else the Win32 error code.
  // A failed conversion writes nothing, so an existing file is kept.
  std::uint32_t SaveToFile(const String& path, TextEncoding encoding) const;

 protected:
  // Room for the include and variable-definition operations built on top.
  std::vector<String>* IncludeLines() { return incfile_.get(); }
  std::vector<String>& EnsureIncludeLines();
  void SetLastVardefIndex(int index) { lastventry_ = index; }

 private:
  struct Entry {
    String text;
    TokenList tokens;
    bool comment = false;
  };

  Entry Parse(StringView s) const;
  void InvalidateLookup() { nodeletions_ = false; }
  bool Valid(int index) const { return index >= 0 && index < Count(); }

  std::vector<Entry> lines_;
  String lastkeyword_;    // key of the last successful lookup (after aliasing)
  int lastkwinst_ = 0;    // its instance number
  int lastentry_ = -1;    // its line; -1 after a failed lookup
  int lastventry_ = -1;   // line used by the variable-definition operations
  bool nodeletions_ = true;  // the lookup cache is valid only while true
  std::unique_ptr<std::vector<String>> incfile_;  // include-file lines
  String incfilename_;
  bool indented_ = false;
  bool discardcomments_ = false;
  int minkey_ = 0;
  std::uint64_t examined_ = 0;
};

}  // namespace qv
