// ExpandInclude, StripInclude and RestoreInclude over in-memory files the
// input describes: part 0 is the command list, parts 1.. are the files
// C:\JOB\A.CMD, C:\JOB\B.CMD, ... (parts split at "\n--\n"). Expansion ends
// with no named $include line left, or with one of its documented failures;
// a file that includes itself always fails, never loops.
#include <algorithm>

#include "cmdfile/tfilebase.h"
#include "fuzz/reused_machine.h"
#include "fuzz/targets.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

bool StartsWith(const String& s, StringView prefix) { return StringView(s).substr(0, prefix.size()) == prefix; }

bool IsRecipientLine(const TokenList& tokens) {
  static const char16_t* const kKeywords[] = {u"$fax_phone",     u"$fax_receiver",  u"$fax_header",
                                              u"$email_address", u"$email_header",  u"$email_subject",
                                              u"$email_text",    u"$email_alttext"};
  if (tokens.empty()) return false;
  for (const char16_t* k : kKeywords)
    if (EqualsNoCase(tokens[0], k)) return true;
  return tokens.size() > 1 && EqualsNoCase(tokens[0], u"$var_def") &&
         Upper(StringView(UnquoteToken(tokens[1])).substr(0, 4)) == u"MEMO";
}

int CountRecipientLines(const TFileBase& list) {
  int n = 0;
  for (int i = 0; i < list.Count(); ++i) n += IsRecipientLine(list.GetSL(i)) ? 1 : 0;
  return n;
}

}  // namespace

extern "C" int Fuzz_includes(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Every $include line may repeat a whole file: bound the product so that
  // one input cannot ask for billions of lines.
  std::size_t includes = 0;
  for (std::size_t at = 0; (at = input.find("nclude", at)) != std::string_view::npos; ++at) ++includes;
  if (includes > 20) return 0;

  const std::vector<std::string_view> parts = fuzz::SplitParts(input, 9);
  // The machine with its empty C:\JOB is built once; the input's files are
  // written anew for every input.
  static fuzz::ReusedMachine fixture([](platform::MemoryMachine& m) {
    m.MakeDirectories(u"C:\\JOB");
    m.SetCurrentDirectory(u"C:\\JOB");
  });
  platform::MemoryMachine& machine = fixture.Begin();
  platform::ScopedPlatform use(machine);
  std::vector<String> names;
  for (std::size_t i = 1; i < 9; ++i) {
    const String name = u"C:\\JOB\\" + String(1, char16_t(u'A' + i - 1)) + u".CMD";
    if (i < parts.size()) {
      names.push_back(name);
      fixture.WriteFile(name, parts[i]);
    } else {
      fixture.Absent(name);
    }
  }

  TFileBase list;
  list.LoadFromString(FromUtf8(parts[0]));

  // The self-inclusion the input sets up in the simplest way: the list's
  // first named include is a file whose own first named include is itself.
  bool selfIncluding = false;
  {
    TFileBase probe;
    probe.LoadFromString(FromUtf8(parts[0]));
    const String first = probe.GetSqToken(u"$include", 1, 1);
    const auto file = std::find(names.begin(), names.end(), first);
    if (!first.empty() && file != names.end()) {
      TFileBase inner;
      // Decoded as ExpandInclude reads the file (a byte-order mark decides).
      const std::string_view bytes = parts[static_cast<std::size_t>(file - names.begin()) + 1];
      inner.LoadFromBytes(Bytes(bytes.begin(), bytes.end()));
      selfIncluding = inner.GetSqToken(u"$include", 1, 1) == first;
    }
  }

  try {
    list.ExpandInclude();
  } catch (const CmdFileError& e) {
    const String& m = e.message();
    FuzzCheck(StartsWith(m, u"Cannot find include file ") || StartsWith(m, u"Cannot read include file ") ||
                  (StartsWith(m, u"Include file ") && m.find(u" includes itself: ") != String::npos) ||
                  StartsWith(m, u"Include files nested deeper than 16 levels: "),
              "ExpandInclude fails with one of its documented messages");
    FuzzCheck(!selfIncluding || m.find(u" includes itself: ") != String::npos,
              "a file including itself fails as self-inclusion");
    FuzzCheck(!list.GetSqToken(u"$include", 1, 1).empty(), "the failing $include line stays in place");
    FuzzCheck(machine.OpenFileCount() == 0, "no file is left open after a failure");
    fixture.End();
    return 0;
  }
  FuzzCheck(!selfIncluding, "a file including itself never expands");
  FuzzCheck(list.GetSqToken(u"$include", 1, 1).empty(), "no named $include line is left after expansion");
  FuzzCheck(machine.OpenFileCount() == 0, "no file is left open");

  // Strip the per-recipient lines into an include list and put them back.
  list.SetIncludeFileName(u"C:\\JOB\\RCPT.INC");
  list.Pack();
  const int recipients = CountRecipientLines(list);
  list.StripInclude();
  FuzzCheck(CountRecipientLines(list) == 0, "StripInclude leaves no per-recipient line");
  const auto* kept = list.IncludeLines();
  FuzzCheck(static_cast<int>(kept ? kept->size() : 0) == recipients, "the include list holds every recipient line");
  if (recipients > 0) FuzzCheck(list.GetSqToken(u"$include", 1, 1) == u"C:\\JOB\\RCPT.INC", "the list names the include file");
  list.RestoreInclude();
  FuzzCheck(CountRecipientLines(list) == recipients, "RestoreInclude puts every recipient line back");
  FuzzCheck(recipients == 0 || list.IncludeLines() == nullptr, "RestoreInclude releases the include list");
  fixture.End();
  return 0;
}
