// Reading INI files (NORVACONNECT.INI, QVLINK.INI, QTCFG.INI, VELMORA.INI).
//
// The answers are those of Windows' own reader (GetPrivateProfileStringW):
// "[section]" headers (the name runs to the last "]", blanks around it
// removed; a line "[" without "]" is a key line)
// and "name=value" lines, ended by CR, LF or CR LF; blanks around lines, names
// and values are removed; lines whose first non-blank character is ";" are
// comments; section and key names match without regard to letter case;
// only the first section of a name and the first key of a name count; a
// value between matching double or single quotes is given without them; a
// line without "=" is a key without a value. A missing file, section or key
// reads as an empty value. Files may be UTF-16 (byte-order mark), UTF-8
// (byte-order mark) or ANSI; a file over kMaxFileBytes is not read.
//
// These files sit on a file server and every open is a network round trip,
// so a file is read once per use (one open and, unless it grows meanwhile,
// one read): load it into an IniFile, then ask it for as many keys as needed.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/seam.h"

namespace qv {

class IniFile {
 public:
  IniFile() = default;

  // Larger files are refused (status kErrFileTooLarge): these files hold a
  // few lines, and a huge one is a damaged or wrong file.
  static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

  // One read of the file through the platform. `status` receives the
  // platform's error (0 when read); a file that cannot be read is empty.
  static IniFile Load(StringView path, std::uint32_t* status = nullptr);
  // The same from a file the caller has opened (and closes): for a caller
  // that opens with sharing rules of its own.
  static IniFile Read(platform::Handle file, std::uint32_t* status = nullptr);
  // Decodes and parses file contents (byte-order mark decides the encoding;
  // without one the ANSI code page of the platform is used).
  static IniFile Parse(const Bytes& contents);
  static IniFile ParseText(StringView text);

  // The value, or empty when the section or key is missing or the key has
  // no "=". When a key occurs more than once, the first occurrence counts.
  String Get(StringView section, StringView key) const;
  // True when Get would not fall back to a caller's default: the key is
  // there with "=" (its value may be empty).
  bool HasKey(StringView section, StringView key) const;
  bool HasSection(StringView section) const;

 private:
  struct Entry {
    String name;
    String value;
    bool hasValue = false;
  };
  struct Section {
    String name;
    std::vector<Entry> entries;
  };
  const Entry* Find(StringView section, StringView key) const;
  std::vector<Section> sections_;
};

// Decodes a text file's bytes: UTF-16 LE/BE or UTF-8 by byte-order mark,
// otherwise the platform's ANSI code page.
String DecodeTextFile(const Bytes& contents);

// One value from one file (one read). Prefer IniFile for several keys.
String ReadIniString(StringView path, StringView section, StringView key);

}  // namespace qv
