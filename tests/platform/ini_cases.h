// One table of INI texts and the answers Windows' profile reader gives for
// them. The native tests run it through IniFile; under Wine the same table
// runs through both IniFile and GetPrivateProfileStringW.
#pragma once

#include <string>
#include <vector>

#include "platform/text.h"

namespace qv::ini_cases {

struct IniQuery {
  const char16_t* section;
  const char16_t* key;
  // The answer, or nullptr where the reader falls back to the caller's
  // default (no such section or key, or a key without "=").
  const char16_t* want;
};

struct IniTextCase {
  const char* what;
  std::string bytes;  // the file as stored
  std::vector<IniQuery> queries;
};

inline std::string Utf16LeFile(const std::u16string& text) {
  std::string b = "\xFF\xFE";
  for (char16_t c : text) {
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
  return b;
}

inline std::vector<IniTextCase> IniTextCases() {
  return {
      {"quotes",
       "[QTCONFIG]\r\n"
       "ExpectedUNCpath=\"\\\\SRV\\NORVA\"\r\n"
       "single='single quoted'\r\n"
       "open=\"no closing quote\r\n"
       "close=no opening quote\"\r\n"
       "mixed=\"double then single'\r\n"
       "inside=a \"quoted\" word\r\n"
       "inner=\"a\"b\"\r\n"
       "lone=\"\r\n"
       "pair=\"\"\r\n"
       "padded =   \" blanks kept inside \"   \r\n",
       {{u"QTCONFIG", u"ExpectedUNCpath", u"\\\\SRV\\NORVA"},
        {u"QTCONFIG", u"single", u"single quoted"},
        {u"QTCONFIG", u"open", u"\"no closing quote"},
        {u"QTCONFIG", u"close", u"no opening quote\""},
        {u"QTCONFIG", u"mixed", u"\"double then single'"},
        {u"QTCONFIG", u"inside", u"a \"quoted\" word"},
        {u"QTCONFIG", u"inner", u"a\"b"},
        {u"QTCONFIG", u"lone", u"\""},
        {u"QTCONFIG", u"pair", u""},
        {u"QTCONFIG", u"padded", u" blanks kept inside "}}},
      {"blanks, tabs, keys without \"=\" and empty values",
       "[Blanks]\r\n"
       "   name1   =   value one   \r\n"
       "\tname2\t=\tvalue\ttwo\t\r\n"
       "name three=a=b\r\n"
       "novalue\r\n"
       "empty=\r\n"
       "blank =    \r\n",
       {{u"Blanks", u"name1", u"value one"},
        {u"  Blanks ", u" name1\t", u"value one"},  // the names asked for are trimmed too
        {u"BLANKS", u"NAME2", u"value\ttwo"},
        {u"Blanks", u"name three", u"a=b"},
        {u"Blanks", u"novalue", nullptr},
        {u"Blanks", u"empty", u""},
        {u"Blanks", u"blank", u""},
        {u"Blanks", u"missing", nullptr},
        {u"Missing", u"name1", nullptr}}},
      {"comments",
       "; a comment before any section\r\n"
       "[Comments]\r\n"
       ";key=commented out\r\n"
       "   ; key=indented comment\r\n"
       "key=real\r\n"
       "other=value ; not a comment\r\n",
       {{u"Comments", u"key", u"real"}, {u"Comments", u"other", u"value ; not a comment"}}},
      {"duplicate keys and sections in both letter cases",
       "[Twice]\r\n"
       "key=first\r\n"
       "KEY=second\r\n"
       "[TWICE]\r\n"
       "key=third\r\n"
       "late=only in the repeated section\r\n",
       {{u"Twice", u"key", u"first"},
        {u"twice", u"Key", u"first"},
        // Only the first section of a name is read.
        {u"Twice", u"late", nullptr}}},
      {"section headers with blanks",
       "[ Spaced ]\r\n"
       "a=in spaced\r\n"
       "  [Tight]   \r\n"
       "b=in tight\r\n"
       "[Broken\r\n"
       "c=after a header without \"]\"\r\n"
       "[Trail]ing\r\n"
       "d=in trail\r\n",
       {{u"Spaced", u"a", u"in spaced"},
        {u" SPACED\t", u"a", u"in spaced"},
        {u"Tight", u"b", u"in tight"},
        {u"Tight", u"c", u"after a header without \"]\""},
        {u"Trail", u"d", u"in trail"}}},
      {"a carriage return alone ends a line",
       "[Cr]\r\na=1\rb=2\r\nc=3\r\n",
       {{u"Cr", u"a", u"1"}, {u"Cr", u"b", u"2"}, {u"Cr", u"c", u"3"}}},
      {"UTF-8 byte-order mark",
       "\xEF\xBB\xBF[Utf8]\r\nname=Jos\xC3\xA9\r\n",
       {{u"Utf8", u"name", u"Jos\u00E9"}}},
      {"UTF-16 byte-order mark",
       Utf16LeFile(u"[Utf16]\r\nname=Jos\u00E9 \u0141\u00F3d\u017A\r\n"),
       {{u"Utf16", u"name", u"Jos\u00E9 \u0141\u00F3d\u017A"}}},
      {"ANSI, last line without line end",
       "[Ansi]\nfirst=LF only\nname=Jos\xE9",
       {{u"Ansi", u"first", u"LF only"}, {u"Ansi", u"name", u"Jos\u00E9"}}},
  };
}

}  // namespace qv::ini_cases
