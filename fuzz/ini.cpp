// IniFile parsing of any bytes, compared with the rules of Windows' profile
// reader read line by line: lines end at CR or LF; blanks (the wide
// C1_SPACE set and Ctrl-Z) are removed around lines, names and values;
// ";" lines are comments; "[name]" runs to the last "]" of its line;
// lines before the first header belong to a section without a name; only
// the first section of a name and the first key of a name count; a line
// without "=" is a key without a value; a value between matching double or
// single quotes reads without them; names match in any letter case.
#include "fuzz/targets.h"
#include "platform/ini.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

bool IsBlank(char16_t c) {
  if (c >= 0x2000 && c <= 0x200A) return true;
  for (char16_t b : u"\t\n\v\f\r \x1A\x85\xA0\x1680\x2028\x2029\x202F\x205F\x3000")
    if (b != 0 && c == b) return true;
  return false;
}

String TrimBlanks(StringView s) {
  std::size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return String(s.substr(a, b - a));
}

struct Key {
  String name, value;
  bool hasValue;
};
struct Section {
  String name;
  std::vector<Key> keys;
};

}  // namespace

extern "C" int Fuzz_ini(const std::uint8_t* data, std::size_t size) {
  static platform::MemoryMachine machine;  // the ANSI code page of files without a byte-order mark
  platform::ScopedPlatform use(machine);
  const Bytes bytes(data, data + size);
  const IniFile ini = IniFile::Parse(bytes);
  const String text = DecodeTextFile(bytes);

  std::vector<Section> sections(1);  // the nameless one before the first header
  std::size_t pos = 0, lines = 0;
  while (pos < text.size() && ++lines < 512) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == String::npos) end = text.size();
    const String line = TrimBlanks(StringView(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[' && line.rfind(u']') != String::npos) {
      sections.push_back({TrimBlanks(StringView(line).substr(1, line.rfind(u']') - 1)), {}});
      continue;
    }
    const std::size_t eq = line.find(u'=');
    if (eq == String::npos)
      sections.back().keys.push_back({line, String(), false});
    else
      sections.back().keys.push_back({TrimBlanks(StringView(line).substr(0, eq)),
                                      TrimBlanks(StringView(line).substr(eq + 1)), true});
  }

  for (std::size_t i = 1; i < sections.size(); ++i)
    FuzzCheck(ini.HasSection(sections[i].name), "every section header is found");
  for (std::size_t i = 0; i < sections.size(); ++i) {
    bool firstOfName = true;
    for (std::size_t j = 0; j < i; ++j) firstOfName = firstOfName && !EqualsNoCase(sections[j].name, sections[i].name);
    if (!firstOfName) continue;  // a repeated section is never read
    const Section& s = sections[i];
    for (std::size_t k = 0; k < s.keys.size(); ++k) {
      bool firstKey = true;
      for (std::size_t j = 0; j < k; ++j) firstKey = firstKey && !EqualsNoCase(s.keys[j].name, s.keys[k].name);
      if (!firstKey) continue;
      const Key& key = s.keys[k];
      String value = key.value;
      if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
      FuzzCheck(ini.HasKey(s.name, key.name) == key.hasValue, "a key has a value exactly when its line has \"=\"");
      FuzzCheck(ini.Get(s.name, key.name) == value, "a key reads as its first occurrence's value, unquoted");
      FuzzCheck(ini.Get(AsciiUpper(s.name), AsciiUpper(key.name)) == value, "names match in any letter case");
    }
  }
  FuzzCheck(ini.Get(u"\u0001no such section", u"key").empty(), "a missing section reads as empty");
  return 0;
}
