#include "platform/ini.h"

namespace qv {

using namespace platform;

String DecodeTextFile(const Bytes& b) {
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    String s;
    s.reserve(b.size() / 2);
    for (std::size_t i = 2; i + 1 < b.size(); i += 2) s.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
    return s;
  }
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    String s;
    s.reserve(b.size() / 2);
    for (std::size_t i = 2; i + 1 < b.size(); i += 2) s.push_back(static_cast<char16_t>((b[i] << 8) | b[i + 1]));
    return s;
  }
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(b.data()) + 3, b.size() - 3));
  return Current().AnsiToWide(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

IniFile IniFile::Load(StringView path, std::uint32_t* status) {
  Bytes contents;
  const std::uint32_t rc = Current().ReadWholeFile(String(path), contents);
  if (status) *status = rc;
  if (rc != kOk) return IniFile();
  return Parse(contents);
}

IniFile IniFile::Parse(const Bytes& contents) { return ParseText(DecodeTextFile(contents)); }

IniFile IniFile::ParseText(StringView text) {
  IniFile ini;
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == StringView::npos) end = text.size();
    const String line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++pos;

    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      std::size_t close = line.find(u']');
      String name = Trim(StringView(line).substr(1, close == String::npos ? String::npos : close - 1));
      ini.sections_.push_back(Section{std::move(name), {}});
      current = &ini.sections_.back();
      continue;
    }
    const std::size_t eq = line.find(u'=');
    if (eq == String::npos || current == nullptr) continue;  // not a setting, or outside any section
    current->entries.emplace_back(Trim(StringView(line).substr(0, eq)), Trim(StringView(line).substr(eq + 1)));
    if (end >= text.size()) break;
  }
  return ini;
}

const String* IniFile::Find(StringView section, StringView key) const {
  for (const Section& s : sections_) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const auto& [name, value] : s.entries)
      if (EqualsNoCase(name, key)) return &value;
  }
  return nullptr;
}

String IniFile::Get(StringView section, StringView key) const {
  const String* v = Find(section, key);
  return v ? *v : String();
}

bool IniFile::HasKey(StringView section, StringView key) const { return Find(section, key) != nullptr; }

bool IniFile::HasSection(StringView section) const {
  for (const Section& s : sections_)
    if (EqualsNoCase(s.name, section)) return true;
  return false;
}

String ReadIniString(StringView path, StringView section, StringView key) {
  return IniFile::Load(path).Get(section, key);
}

}  // namespace qv
