#include "platform/ini.h"

#include <new>

#include "platform/handles.h"

namespace qv {

using namespace platform;

namespace {

// The characters the profile reader trims around lines, names and values:
// the C1_SPACE set of the wide character type table, and Ctrl-Z (the old
// end-of-file mark that DOS editors left at the end of a file).
bool IsProfileSpace(char16_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x1A: case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

StringView TrimProfileLeft(StringView s) {
  std::size_t i = 0;
  while (i < s.size() && IsProfileSpace(s[i])) ++i;
  return s.substr(i);
}

StringView TrimProfileRight(StringView s) {
  std::size_t n = s.size();
  while (n > 0 && IsProfileSpace(s[n - 1])) --n;
  return s.substr(0, n);
}

}  // namespace

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
  Platform& os = Current();
  UniqueFile file(os);
  std::uint32_t rc =
      os.OpenFile(String(path), kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting, file.put());
  IniFile ini;
  if (rc == kOk) ini = Read(file.get(), &rc);
  if (status) *status = rc;
  return ini;
}

IniFile IniFile::Read(Handle file, std::uint32_t* status) {
  Bytes contents;
  std::uint32_t rc = Current().ReadOpenFile(file, contents, kMaxFileBytes);
  IniFile ini;
  if (rc == kOk) {
    try {
      ini = Parse(contents);
    } catch (const std::bad_alloc&) {
      ini = IniFile();
      rc = kErrNotEnoughMemory;
    }
  }
  if (status) *status = rc;
  return ini;
}

IniFile IniFile::Parse(const Bytes& contents) { return ParseText(DecodeTextFile(contents)); }

IniFile IniFile::ParseText(StringView text) {
  IniFile ini;
  // Lines before the first header belong to a section without a name.
  ini.sections_.push_back(Section{});
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Lines end at a carriage return, a line feed or both.
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == StringView::npos) end = text.size();
    const StringView line = TrimProfileRight(TrimProfileLeft(text.substr(pos, end - pos)));
    pos = end + 1;

    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      // The name runs to the last "]" of the line, blanks around it removed.
      const std::size_t close = line.rfind(u']');
      if (close != StringView::npos) {
        ini.sections_.push_back(Section{String(TrimProfileRight(TrimProfileLeft(line.substr(1, close - 1)))), {}});
        continue;
      }
    }
    Entry entry;
    const std::size_t eq = line.find(u'=');
    if (eq == StringView::npos) {
      entry.name = String(line);
    } else {
      entry.name = String(TrimProfileRight(line.substr(0, eq)));
      entry.value = String(TrimProfileLeft(line.substr(eq + 1)));
      entry.hasValue = true;
    }
    ini.sections_.back().entries.push_back(std::move(entry));
  }
  return ini;
}

const IniFile::Entry* IniFile::Find(StringView sectionIn, StringView keyIn) const {
  const StringView section = TrimProfileRight(TrimProfileLeft(sectionIn));
  const StringView key = TrimProfileRight(TrimProfileLeft(keyIn));
  // Only the first section of a name is searched, as Windows does: keys of
  // a repeated section are never seen.
  for (const Section& s : sections_) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const Entry& e : s.entries)
      if (EqualsNoCase(e.name, key)) return &e;
    return nullptr;
  }
  return nullptr;
}

String IniFile::Get(StringView section, StringView key) const {
  const Entry* e = Find(section, key);
  if (e == nullptr || !e->hasValue) return String();
  // A value written between matching quotes is given without them.
  const String& v = e->value;
  if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
  return v;
}

bool IniFile::HasKey(StringView section, StringView key) const {
  const Entry* e = Find(section, key);
  return e != nullptr && e->hasValue;
}

bool IniFile::HasSection(StringView section) const {
  const StringView name = TrimProfileRight(TrimProfileLeft(section));
  for (const Section& s : sections_)
    if (&s != &sections_.front() && EqualsNoCase(s.name, name)) return true;
  return false;
}

String ReadIniString(StringView path, StringView section, StringView key) {
  return IniFile::Load(path).Get(section, key);
}

}  // namespace qv
