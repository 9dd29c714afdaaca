// The operations of TFileBase that work on whole command lines: includes,
// variable definitions, replacement of commands and templates, and the
// free-text values of e-mail and conversion-option lines.
#include <algorithm>
#include <array>

#include "cmdfile/tfilebase.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "settings/suite_settings.h"

namespace qv {

namespace {

// The per-recipient lines that StripInclude moves into the include file.
constexpr std::array<const char16_t*, 8> kRecipientKeywords = {
    u"$fax_phone",     u"$fax_receiver",  u"$fax_header", u"$email_address",
    u"$email_header",  u"$email_subject", u"$email_text", u"$email_alttext",
};

bool IsRecipientKeyword(StringView keyword) {
  return std::any_of(kRecipientKeywords.begin(), kRecipientKeywords.end(),
                     [&](const char16_t* k) { return EqualsNoCase(keyword, k); });
}

// The failure's own text: the system's message for the code.
String Reason(std::uint32_t code) {
  String text = platform::Current().FormatSystemMessage(code);
  if (text.empty()) text = Format(u"System error %u.", code);
  return text;
}

// The full path of a file name (the name itself when it has none): what
// self-inclusion is looked for by, and where a file is written.
String FileKey(const String& name) {
  String full;
  if (platform::Current().GetFullPathName(name, full) != platform::kOk || full.empty()) full = name;
  return full;
}

String Chain(const std::vector<String>& names, std::size_t from, const String& last) {
  String out;
  for (std::size_t k = from; k < names.size(); ++k) out += names[k] + u" -> ";
  return out + last;
}

TextEncoding FromFileEncoding(FileEncoding e) {
  switch (e) {
    case FileEncoding::Utf8: return TextEncoding::Utf8;
    case FileEncoding::Ascii: return TextEncoding::Ascii;
    case FileEncoding::Utf16LE: return TextEncoding::Utf16LE;
    case FileEncoding::Ansi: break;
  }
  return TextEncoding::Ansi;
}

}  // namespace

std::vector<String>& TFileBase::EnsureIncludeLines() {
  if (!Fincfile) Fincfile = std::make_unique<std::vector<String>>();
  return *Fincfile;
}

void TFileBase::InsertLines(int index, const std::vector<String>& lines) {
  if (index < 0 || index > Count()) return;
  std::vector<Entry> parsed;
  parsed.reserve(lines.size());
  for (const String& l : lines) parsed.push_back(Parse(l));
  FList.insert(FList.begin() + index, std::make_move_iterator(parsed.begin()), std::make_move_iterator(parsed.end()));
  Changed();
  InvalidateLookup();
}

// ---------------------------------------------------------------- includes

void TFileBase::ExpandInclude() {
  // The files whose text is being expanded, outermost first, and where the
  // lines each of them brought in end (one past the last). The loop always
  // expands the first $include line, so the lines before it hold none and
  // every line index it meets only grows: a file's text is finished once
  // the next $include line lies at or past its end.
  std::vector<String> names;
  std::vector<String> keys;
  std::vector<int> ends;
  for (;;) {
    const String name = GetSqToken(u"$include", 1, 1);
    if (name.empty()) return;
    const int at = lastentry;
    while (!ends.empty() && at >= ends.back()) {
      ends.pop_back();
      names.pop_back();
      keys.pop_back();
    }

    const String key = FileKey(name);
    for (std::size_t k = 0; k < keys.size(); ++k)
      if (EqualsNoCase(keys[k], key))
        throw CmdFileError(u"Include file " + name + u" includes itself: " + Chain(names, k, name));
    if (static_cast<int>(names.size()) >= kMaxIncludeDepth)
      throw CmdFileError(Format(u"Include files nested deeper than %d levels: ", kMaxIncludeDepth) +
                         Chain(names, 0, name));

    platform::Platform& os = platform::Current();
    if (!os.FileExists(name)) throw CmdFileError(u"Cannot find include file " + name);
    TFileBase file;
    const std::uint32_t rc = file.LoadFromFile(name);
    if (rc != platform::kOk) throw CmdFileError(u"Cannot read include file " + name + u" : " + Reason(rc));

    Fincfilename = name;
    std::vector<String> lines;
    lines.reserve(file.FList.size());
    for (Entry& e : file.FList) lines.push_back(std::move(e.text));
    Delete(at);
    InsertLines(at, lines);

    const int grown = static_cast<int>(lines.size()) - 1;
    for (int& end : ends) end += grown;
    names.push_back(name);
    keys.push_back(key);
    ends.push_back(at + static_cast<int>(lines.size()));
  }
}

void TFileBase::StripInclude() {
  if (Trim(Fincfilename).empty()) return;
  Pack();
  std::vector<String> moved;  // last line first
  for (int i = Count() - 1; i >= 0; --i) {
    const TokenList& tokens = GetSL(i);
    if (tokens.empty()) continue;
    bool move = IsRecipientKeyword(tokens[0]);
    if (!move && tokens.size() > 1 && EqualsNoCase(tokens[0], u"$var_def"))
      move = Upper(StringView(UnquoteToken(tokens[1])).substr(0, 4)) == u"MEMO";
    if (!move) continue;
    moved.push_back(FList[static_cast<std::size_t>(i)].text);
    Delete(i);
  }
  if (!moved.empty() || Fincfile) {
    std::vector<String>& inc = EnsureIncludeLines();
    inc.insert(inc.begin(), moved.rbegin(), moved.rend());
  }
  if (Fincfile) {
    ReplaceAll(u"$include", u"");
    Insert(0, u"$include " + QuoteToken(Fincfilename));
  }
}

void TFileBase::RestoreInclude() {
  const String name = GetSqToken(u"$include", 1, 1);
  if (name.empty() || !Fincfile || Fincfile->empty() || Fincfilename.empty()) return;
  const int at = lastentry;
  Delete(at);
  InsertLines(at, *Fincfile);
  // The lines have moved back: keeping them in the include list too would
  // put every recipient there twice on the next StripInclude.
  Fincfile.reset();
}

std::size_t TFileBase::WriteInclude() {
  return WriteInclude(FromFileEncoding(GetFileEncoding(FileKind::Fs)));
}

std::size_t TFileBase::WriteInclude(TextEncoding encoding) {
  if (Trim(Fincfilename).empty() || !Fincfile) return 0;
  String text;
  for (const String& line : *Fincfile) {
    text += line;
    text += u"\r\n";
  }
  Bytes bytes;
  std::size_t replaced = 0;
  std::uint32_t rc = EncodeText(text, encoding, bytes, &replaced);
  // Written whole or not at all: an existing file is never left half-written.
  // The temporary file goes beside the target, so a name without a folder
  // is first made a full path.
  if (rc == platform::kOk) rc = WriteFileReplacing(FileKey(Fincfilename), bytes);
  if (rc != platform::kOk) throw CmdFileError(u"Cannot write file " + Fincfilename + u" : " + Reason(rc));
  return replaced;
}

// ---------------------------------------------------------------- variable definitions

String TFileBase::GetVardef(StringView varname) {
  lastventry = -1;
  String value;
  if (varname.empty()) return value;
  if (findex) return IndexedVardef(varname);
  for (int i = 0; i < Count(); ++i) {
    ++fexamined;
    const TokenList& tokens = GetSL(i);
    if (tokens.size() < 2 || !EqualsNoCase(tokens[0], u"$var_def")) continue;
    if (!EqualsNoCase(UnquoteToken(tokens[1]), varname)) continue;
    // The last definition wins; one without a value reads as empty.
    if (tokens.size() > 2) {
      value = UnquoteToken(tokens[2]);
      lastventry = i;
    } else {
      value.clear();
      lastventry = -1;
    }
  }
  return value;
}

// GetVardef through the index: the first call records each name's last
// $var_def line (examining those lines only), every call then reads one.
String TFileBase::IndexedVardef(StringView varname) {
  if (!findex->variablesBuilt) {
    const auto it = findex->lines.find(StringView(u"$var_def"));
    if (it != findex->lines.end()) {
      for (const int line : it->second) {
        ++fexamined;
        const TokenList& tokens = GetSL(line);
        if (tokens.size() < 2) continue;
        StringView name = tokens[1];
        if (!name.empty() && name[0] == u'"') {
          findex->quotedNames.push_back(std::make_unique<String>(UnquoteToken(name)));
          name = *findex->quotedNames.back();
        }
        findex->variables.insert_or_assign(name, line);  // the last definition wins
      }
    }
    findex->variablesBuilt = true;
  }
  const auto it = findex->variables.find(varname);
  if (it == findex->variables.end()) return String();
  ++fexamined;
  const TokenList& tokens = GetSL(it->second);
  // One without a value reads as empty and leaves LastVardefIndex at -1.
  if (tokens.size() <= 2) return String();
  lastventry = it->second;
  return UnquoteToken(tokens[2]);
}

void TFileBase::StripVarDefs(StringView varname) {
  lastventry = -1;
  for (int i = Count() - 1; i >= 0; --i) {
    const TokenList& tokens = GetSL(i);
    if (tokens.size() < 2 || !EqualsNoCase(tokens[0], u"$var_def")) continue;
    if (!EqualsNoCase(UnquoteToken(tokens[1]), varname)) continue;
    Delete(i);
    lastventry = i;
  }
}

// ---------------------------------------------------------------- replacement

void TFileBase::Replace(StringView keyword, int inst, StringView newcommand) {
  GetToken(keyword, inst, 0);
  int position = Count();
  if (lastentry >= 0) {
    position = lastentry;
    Delete(position);
  }
  if (!newcommand.empty()) Insert(position, newcommand);
}

int TFileBase::ReplaceAll(StringView keyword, StringView newcommand) {
  int position = -1;
  for (;;) {
    GetToken(keyword, 1, 0);
    if (lastentry < 0) break;
    if (position < 0) position = lastentry;
    Delete(lastentry);
  }
  if (position < 0) position = Count();
  if (!newcommand.empty()) Insert(position, newcommand);
  return position;
}

int TFileBase::ReplaceAllCommand(StringView keyword, StringView newparameters) {
  if (newparameters.empty()) return ReplaceAll(keyword, u"");
  return ReplaceAll(keyword, String(keyword) + u" " + String(newparameters));
}

int TFileBase::ReplaceAllTemplate(StringView keyword, StringView newparameters) {
  int position = -1;
  for (int i = Count() - 1; i >= 0; --i) {
    const TokenList& tokens = GetSL(i);
    if (tokens.size() < 2 || !EqualsNoCase(tokens[0], u"$fs_template") || !EqualsNoCase(tokens[1], keyword)) continue;
    Delete(i);
    position = i;
  }
  if (position < 0) position = Count();
  if (newparameters.empty()) return position;

  const String trimmed = Trim(newparameters);
  const auto startsWith = [&](StringView prefix) {
    return trimmed.size() >= prefix.size() && EqualsNoCase(StringView(trimmed).substr(0, prefix.size()), prefix);
  };
  if (startsWith(u"$fs_template"))
    Insert(position, newparameters);
  else if (startsWith(keyword))
    Insert(position, u"$fs_template " + String(newparameters));
  else
    Insert(position, u"$fs_template " + String(keyword) + u" " + String(newparameters));
  return position;
}

// ---------------------------------------------------------------- values

String TFileBase::GetEMail(StringView keyword, int inst) {
  GetToken(keyword, inst, 0);
  if (lastentry < 0) return String();
  return ValueAfterKeyword(FList[static_cast<std::size_t>(lastentry)].text, 999, CommentCut::SpaceSemicolonFirst);
}

String TFileBase::GetRestOfLine(StringView keyword, int inst) {
  GetToken(keyword, inst, 0);
  if (lastentry < 0) return String();
  return ValueAfterKeyword(FList[static_cast<std::size_t>(lastentry)].text, String::npos,
                           CommentCut::FirstBlankSemicolon);
}

int TFileBase::GetImageSet() {
  int result = -1;
  for (int inst = 1; inst <= Count(); ++inst) {
    GetToken(u"$convert_options", inst, 0);
    if (lastentry < 0) break;
    const TokenList& tokens = GetSL(lastentry);
    const std::size_t last = std::min<std::size_t>(tokens.size(), 100);
    for (std::size_t k = 1; k < last; ++k) {
      const String option = UnquoteToken(tokens[k]);
      if (option.size() < 3 || !EqualsNoCaseAscii(StringView(option).substr(0, 3), u"IMG")) continue;
      std::int64_t set = -1;
      if (ParseInt64(StringView(option).substr(3, 2), set) && set >= 0 && set <= 9) result = static_cast<int>(set);
    }
  }
  return result;
}

}  // namespace qv
