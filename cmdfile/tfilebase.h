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
// Keyword index (IndexKeywords): for a list that is read many times and not
// changed, such as the configuration file during a load, the lines can be
// indexed by keyword once. GetToken then goes straight to the inst-th line
// of its keyword and GetVardef to the last definition of its name, so every
// lookup costs in proportion to its keyword's own lines, not the file. The
// results, LastIndex, LastVardefIndex and the lookup cache are exactly those
// of the scans; only LookupLinesExamined shows the difference. Any operation
// that changes a line (Pack and the property setters aside, which rebuild
// texts only) drops the index, and lookups scan again.
//
// Includes, variable definitions and templates (the higher operations):
//   - ExpandInclude replaces the first "$include NAME" line by the lines of
//     file NAME, again and again until no named $include line is left, so
//     included text may include further files. A file that includes itself,
//     directly or through other files, fails with "Include file NAME
//     includes itself: A -> B -> NAME"; nesting deeper than
//     kMaxIncludeDepth (16) files fails with "Include files nested deeper
//     than 16 levels: A -> B -> ...". Files are compared by their full
//     path, letter case ignored. Lines expanded before a failure stay
//     expanded; the failing $include line stays in place.
//   - StripInclude / WriteInclude / RestoreInclude split the per-recipient
//     lines into the include list, save it, and put it back.
//   - GetVardef, GetEMail and GetRestOfLine are the one implementation of
//     the configuration reader's "variable" and "rest of line" values.
//   Failures of these operations are thrown as CmdFileError carrying the
//   message text; nothing else in this class throws.
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
//   - Token lists. Parsing always gives a line a token list with at least
//     one token. PutObject can take the list away (std::nullopt): such a
//     line has no token list, SetToken leaves it alone, Pack gives it an
//     empty text and GetToken skips it. An empty list is still a list:
//     SetToken with parmno 0 appends to it.
//   - Index errors. Operations given an index outside the list do nothing
//     and report it (false, an empty text or an empty token list); nothing
//     throws.
//   - GetVardef skips a $var_def line without a name and goes on, so a
//     later definition is still found (stopping there would hide every
//     definition below it); an empty varname never matches.
//   - Text encodings. Loading: a byte-order mark (EF BB BF for UTF-8, FF FE
//     for UTF-16 LE, FE FF for UTF-16 BE) always decides and is dropped;
//     without one the caller's encoding applies, and without that the
//     system ANSI code page. ASCII text keeps bytes 0 to 127; a byte above
//     127 reads as "?". Lines end at CR LF, LF or CR; a final line break
//     does not start an empty line. Invalid UTF-8 and a stray last byte of
//     UTF-16 become U+FFFD. Saving: each line followed by CR LF, with the
//     byte-order mark for UTF-8 and UTF-16 (LE and BE), none for ANSI and
//     ASCII. In ASCII every character above 127 is written as "?" and the
//     number of such characters is reported to the caller. A failure of
//     the system's ANSI conversion (the platform then answers with empty
//     text) is reported as an error, never taken as an empty file: a load
//     leaves the list and a save leaves the file as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/seam.h"
#include "platform/text.h"

namespace qv {

// New encodings go at the end: stored values and other tables rely on the
// order of the first three.
enum class TextEncoding { Ansi, Utf8, Utf16LE, Utf16BE, Ascii };

// ERROR_NO_UNICODE_TRANSLATION: the system's code-page conversion failed.
using platform::kErrNoUnicodeTranslation;

using TokenList = std::vector<String>;
// The token list of a line that has none (or of no line).
inline const TokenList kNoTokens{};

// The deepest chain of include files ExpandInclude follows: a file included
// by a file included by ... the list, 16 files in all.
inline constexpr int kMaxIncludeDepth = 16;

// A failure of the include operations; message() is the text the caller
// shows.
class CmdFileError : public std::runtime_error {
 public:
  explicit CmdFileError(String message) : std::runtime_error(ToUtf8(message)), message_(std::move(message)) {}
  const String& message() const { return message_; }

 private:
  String message_;
};

// The "text" form of a token: a leading double quote removed with the text
// up to the next single (not doubled) quote or the end, each doubled quote
// reduced to one; a token without a leading quote is returned as it is.
String UnquoteToken(StringView token);
// The token form of a text: in double quotes, inner quotes doubled.
String QuoteToken(StringView text);

// How a value read "to the end of the line" loses its trailing comment.
enum class CommentCut {
  FirstBlankSemicolon,   // before the first space or tab followed by ";"
  SpaceSemicolonFirst,   // before the first " ;", else the first tab ";"
};
// The text of a line after its keyword (leading blanks and the keyword
// skipped), at most maxChars characters of it, trimmed, cut before its
// trailing comment and trimmed again.
String ValueAfterKeyword(StringView lineText, std::size_t maxChars, CommentCut cut);

// Encodes text (every character as it is, line breaks included) with the
// encoding's byte-order mark for UTF-8 and UTF-16. replaced, when given,
// receives the number of characters that the encoding cannot hold and that
// were written as "?" (ASCII). 0 on success; kErrNoUnicodeTranslation when
// the system could not convert to ANSI (bytes is then empty).
std::uint32_t EncodeText(StringView text, TextEncoding encoding, Bytes& bytes, std::size_t* replaced = nullptr);

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
  int Count() const { return static_cast<int>(FList.size()); }
  // Parses S into a new line appended at the end; returns its index.
  int Add(StringView s);
  // Parses S into a new line at index (0..Count()); false when out of range.
  bool Insert(int index, StringView s);
  // The line's text; empty when index is out of range.
  const String& Text(int index) const;
  // Parses S into a new line replacing the one at index; false when out of range.
  bool PutText(int index, StringView s);
  // The line's token list (the "object" of the line); empty when out of
  // range or when the line has no token list.
  const TokenList& GetSL(int index) const;
  // Whether the line has a token list (an empty one counts).
  bool HasTokenList(int index) const;
  // Makes tokens the line's token list (text and comment flag unchanged).
  bool PutObject(int index, TokenList tokens);
  // Takes the line's token list away: the line then has none.
  bool PutObject(int index, std::nullopt_t);
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
  // GetToken without the copy: the token in the list, or nullptr where
  // GetToken answers empty. The lookup and its cache are GetToken's; the
  // pointer stays valid until the list's lines change.
  const String* FindToken(StringView keyword, int inst, int tokennumber);
  // GetToken, then UnquoteToken.
  String GetSqToken(StringView keyword, int inst, int tokennumber);
  // Sets token parmno of line lineno (appends when parmno equals the token
  // count; ignores larger or negative parmno, and lines without a token
  // list). The line's text is not rebuilt; Pack does that.
  void SetToken(int lineno, int parmno, StringView newval);
  // Rebuilds every line's text from its tokens, honouring Indented and
  // MinKeySize.
  void Pack();

  // ---- keyword index (see the file comment)
  // Indexes the lines by keyword now; examines every line once.
  void IndexKeywords();
  // Whether the index is in place (false again after any change of lines).
  bool KeywordsIndexed() const { return findex != nullptr; }
  // The lines GetToken finds keyword on, in list order: element i is the
  // line of instance i + 1. Indexes the list when it is not indexed; the
  // reference lasts while the lines do not change.
  const std::vector<int>& KeywordLines(StringView keyword);

  // ---- includes
  // Expands every $include line (see the file comment). Throws
  // CmdFileError: "Cannot find include file NAME", "Cannot read include
  // file NAME : REASON", or the self-inclusion and depth texts.
  void ExpandInclude();
  // Moves the per-recipient lines ($fax_phone, $fax_receiver, $fax_header,
  // $email_address, $email_header, $email_subject, $email_text,
  // $email_alttext, and $var_def of a name starting with MEMO) into the
  // include list, in file order, and puts one "$include "NAME"" line first
  // in place of every $include line. Does nothing while IncludeFileName is
  // blank. Packs the list first.
  void StripInclude();
  // Puts the include list's lines in place of the first $include line;
  // they leave the include list (which is released), so that a second
  // StripInclude does not hold them twice.
  void RestoreInclude();
  // Saves the include list to IncludeFileName in the encoding chosen for
  // "FSfile" command files (settings), or in the given one. Does nothing
  // while IncludeFileName is blank or there is no include list. Returns
  // the number of characters written as "?" because the encoding cannot
  // hold them (0 unless ASCII). Throws CmdFileError "Cannot write file
  // NAME : REASON"; the file is then left as it was.
  std::size_t WriteInclude();
  std::size_t WriteInclude(TextEncoding encoding);
  // The include list (none before StripInclude); its lines.
  const std::vector<String>* IncludeLines() const { return Fincfile.get(); }

  // ---- variable definitions, replacement, templates, values
  // Value (text form) of the last "$var_def NAME VALUE" line for varname,
  // letter case ignored; empty when there is none. LastVardefIndex is that
  // line, or -1 when there is none or it has no value.
  String GetVardef(StringView varname);
  // Deletes every $var_def line of varname; LastVardefIndex is the index
  // of the topmost one removed (-1 when none).
  void StripVarDefs(StringView varname);
  // Replaces the inst-th keyword line by newcommand (appended when there is
  // no such line; only deleted when newcommand is empty).
  void Replace(StringView keyword, int inst, StringView newcommand);
  // Deletes every keyword line and inserts newcommand (when not empty)
  // where the first stood, else at the end; returns that index.
  int ReplaceAll(StringView keyword, StringView newcommand);
  // ReplaceAll with the command keyword + " " + newparameters.
  int ReplaceAllCommand(StringView keyword, StringView newparameters);
  // Deletes every "$fs_template keyword ..." line and inserts the new one
  // (newparameters with or without "$fs_template" and the template name)
  // where the topmost stood, else at the end; returns that index.
  int ReplaceAllTemplate(StringView keyword, StringView newparameters);
  // The inst-th keyword line's text after the keyword, at most 999
  // characters, trimmed, without a trailing " ;" (else tab ";") comment.
  String GetEMail(StringView keyword, int inst);
  // The same, unlimited, cut before the first blank followed by ";"; the
  // configuration reader's rest-of-line value.
  String GetRestOfLine(StringView keyword, int inst);
  // The image set 0..9 of the last "IMGn" option on the $convert_options
  // lines; -1 when there is none.
  int GetImageSet();

  // ---- properties
  bool Indented() const { return findented; }
  void SetIndented(bool value);  // rebuilds the texts with Pack
  int LastIndex() const { return lastentry; }
  int LastVardefIndex() const { return lastventry; }
  // Lines examined by keyword lookups, variable lookups and index building
  // since the list was created: what a lookup loop costs, independent of
  // the machine's speed.
  std::uint64_t LookupLinesExamined() const { return fexamined; }
  int MinKeySize() const { return fminkey; }
  void SetMinKeySize(int value);  // rebuilds the texts with Pack
  bool Discardcomments() const { return fdiscardcomments; }
  void SetDiscardcomments(bool value) { fdiscardcomments = value; }  // for lines parsed afterwards
  const String& IncludeFileName() const { return Fincfilename; }
  void SetIncludeFileName(StringView name) { Fincfilename = String(name); }

  // ---- loading and saving
  // Replaces the list's lines with the lines of text, each parsed by Add.
  void LoadFromString(StringView text);
  // Decodes bytes (see the encoding rules above) and replaces the lines
  // with them. 0 on success; kErrNoUnicodeTranslation when the system could
  // not convert ANSI text, and the list is left unchanged. used receives
  // the encoding.
  std::uint32_t LoadFromBytes(const Bytes& bytes, std::optional<TextEncoding> encoding = std::nullopt,
                              TextEncoding* used = nullptr);
  // The same for size bytes at data.
  std::uint32_t LoadFromBytes(const std::uint8_t* data, std::size_t size,
                              std::optional<TextEncoding> encoding = std::nullopt, TextEncoding* used = nullptr);
  // Reads the file through the platform, then as LoadFromBytes. 0 on
  // success, else the Win32 error code and the list is left unchanged.
  std::uint32_t LoadFromFile(const String& path, std::optional<TextEncoding> encoding = std::nullopt,
                             TextEncoding* used = nullptr);
  // Every line's text followed by CR LF.
  String ToText() const;
  // The file image in the given encoding (EncodeText of ToText).
  std::uint32_t SaveToBytes(TextEncoding encoding, Bytes& bytes, std::size_t* replaced = nullptr) const;
  // Creates or truncates the file; 0 on success, else the Win32 error code.
  // A failed conversion writes nothing, so an existing file is kept.
  std::uint32_t SaveToFile(const String& path, TextEncoding encoding, std::size_t* replaced = nullptr) const;

 private:
  // One line: its text, its token list (none only after PutObject took it
  // away) and its comment flag.
  struct Entry {
    String text;
    std::optional<TokenList> tokens;
    bool comment = false;
  };

  // The keyword index: every keyword's lines in list order (keys view the
  // lines' own first tokens, which stay put while the index lives), and,
  // built on the first GetVardef, each variable name's last definition.
  struct KeywordIndex {
    std::unordered_map<StringView, std::vector<int>, NoCaseHash, NoCaseEqual> lines;
    // The bucket of the last key looked up (nullptr: the key has no lines),
    // so that reading instance after instance of one keyword hashes once.
    String lastKey;
    const std::vector<int>* lastLines = nullptr;
    bool lastValid = false;
    bool variablesBuilt = false;
    // Keys view the names in the lines, or the text forms of quoted names.
    std::unordered_map<StringView, int, NoCaseHash, NoCaseEqual> variables;
    std::vector<std::unique_ptr<String>> quotedNames;
  };

  Entry Parse(StringView s) const;
  void InvalidateLookup() { nodeletions = false; }
  // Every change of lines ends the index's validity.
  void Changed() { findex.reset(); }
  const String* IndexedToken(StringView key, int inst, int tokennumber);
  const String* CacheHit(StringView key, int inst, int line, const String& token);
  const String* CacheMiss();
  String IndexedVardef(StringView varname);
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  // Parses lines and inserts them at index, in order.
  void InsertLines(int index, const std::vector<String>& lines);
  static bool HasTokens(const Entry& e) { return e.tokens && !e.tokens->empty(); }
  std::vector<String>& EnsureIncludeLines();

  // The fields, in the order of the class's definition.
  std::vector<Entry> FList;           // the lines
  String lastkeyword;                 // key of the last successful lookup (after aliasing)
  int lastkwinst = 0;                 // its instance number
  int lastentry = -1;                 // its line; -1 after a failed lookup
  int lastventry = -1;                // line used by the variable-definition operations
  bool nodeletions = true;            // the lookup cache is valid only while true
  std::unique_ptr<std::vector<String>> Fincfile;  // include-file lines, none until needed
  String Fincfilename;                // IncludeFileName
  bool findented = false;             // Indented
  bool fdiscardcomments = false;      // Discardcomments
  int indent = 0;                     // running indentation while Pack rebuilds the texts
  int fminkey = 0;                    // MinKeySize
  std::uint64_t fexamined = 0;        // LookupLinesExamined
  std::unique_ptr<KeywordIndex> findex;  // the keyword index, none until IndexKeywords
};

// Inline: the loops over a keyword's lines read every line through it.
inline const TokenList& TFileBase::GetSL(int index) const {
  return Valid(index) && FList[static_cast<std::size_t>(index)].tokens ? *FList[static_cast<std::size_t>(index)].tokens
                                                                        : kNoTokens;
}

}  // namespace qv
