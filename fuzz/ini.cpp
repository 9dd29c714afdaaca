// IniFile parsing of any bytes, compared with the file rules read line by
// line: "[section]" headers, "name=value" settings inside a section, blanks
// around names and values removed, ";" lines are comments, names match
// without regard to letter case and the first occurrence of a key counts.
#include "fuzz/targets.h"
#include "platform/ini.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

extern "C" int Fuzz_ini(const std::uint8_t* data, std::size_t size) {
  static platform::MemoryMachine machine;  // the ANSI code page of files without a byte-order mark
  platform::ScopedPlatform use(machine);
  const Bytes bytes(data, data + size);
  const IniFile ini = IniFile::Parse(bytes);
  const String text = DecodeTextFile(bytes);

  struct Setting {
    String section, key, value;
  };
  std::vector<Setting> expected;
  std::vector<String> sections;
  bool inSection = false;
  String section;
  std::size_t pos = 0;
  while (pos < text.size() && expected.size() < 256) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == String::npos) end = text.size();
    const String line = Trim(StringView(text).substr(pos, end - pos));
    pos = end + ((end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ? 2 : 1);
    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      const std::size_t close = line.find(u']');
      section = Trim(StringView(line).substr(1, close == String::npos ? String::npos : close - 1));
      sections.push_back(section);
      inSection = true;
      continue;
    }
    const std::size_t eq = line.find(u'=');
    if (eq == String::npos || !inSection) continue;
    const String key = Trim(StringView(line).substr(0, eq));
    bool seen = false;
    for (const Setting& s : expected) seen = seen || (EqualsNoCase(s.section, section) && EqualsNoCase(s.key, key));
    if (!seen) expected.push_back({section, key, Trim(StringView(line).substr(eq + 1))});
  }

  for (const String& s : sections) FuzzCheck(ini.HasSection(s), "every section header is found");
  for (const Setting& s : expected) {
    FuzzCheck(ini.HasKey(s.section, s.key), "every setting is found");
    FuzzCheck(ini.Get(s.section, s.key) == s.value, "a setting reads as its first occurrence's value, trimmed");
    FuzzCheck(ini.Get(AsciiUpper(s.section), AsciiUpper(s.key)) == s.value, "names match in any letter case");
  }
  FuzzCheck(ini.Get(u"\u0001no such section", u"key").empty(), "a missing section reads as empty");
  return 0;
}
