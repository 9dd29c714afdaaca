// A stand-in for the suite's e-mail sender MAILPOST.exe. It sends nothing:
// it appends what it received to a log file and ends as the environment
// tells it.
//
//   QV_MAILPOST_LOG      file to append the record to (UTF-8); none: no record
//   QV_MAILPOST_EXIT     exit code (decimal, default 0)
//   QV_MAILPOST_SECONDS  seconds to run before ending (default 0)
//   QV_MAILPOST_HANG     1: never end (until terminated)
//
// A record, one line each (characters below U+0020 written as {U+XXXX},
// and "{" as "{{", so a record line never breaks):
//   == MAILPOST run
//   command line: <GetCommandLineW, whole>
//   working folder: <current folder>
//   element N: <the Nth element by the doubling rule>
//   mode: / recipients: / subject: / body: / html: / attachment: (the mail)
//   == end
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/mailpost_standin/doubling_parser.h"

namespace {

std::u16string Env(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  if (n == 0 || n >= 32768) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

long Number(const wchar_t* name, long fallback) {
  const std::u16string text = Env(name);
  if (text.empty()) return fallback;
  std::string narrow(text.begin(), text.end());
  return std::strtol(narrow.c_str(), nullptr, 10);
}

// UTF-8 of one record line's text.
void Put(std::string& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x20) {
      static const char hex[] = "0123456789ABCDEF";
      out += "{U+00";
      out += hex[c >> 4];
      out += hex[c & 15];
      out += '}';
    } else if (c == u'{') {
      out += "{{";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

void Line(std::string& out, const char* label, std::u16string_view text) {
  out += label;
  Put(out, text);
  out += "\r\n";
}

bool Prefixed(const std::u16string& element, std::u16string_view prefix, std::u16string& rest) {
  if (element.compare(0, prefix.size(), prefix) != 0) return false;
  rest = element.substr(prefix.size());
  return true;
}

void Record(const std::u16string& logPath) {
  const std::u16string line(reinterpret_cast<const char16_t*>(GetCommandLineW()));
  wchar_t folder[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(MAX_PATH * 4, folder);
  const std::vector<std::u16string> elements = mailpost::ParseDoubling(line);

  std::string out = "== MAILPOST run\r\n";
  Line(out, "command line: ", line);
  Line(out, "working folder: ", reinterpret_cast<const char16_t*>(folder));
  for (std::size_t i = 0; i < elements.size(); ++i)
    Line(out, ("element " + std::to_string(i + 1) + ": ").c_str(), elements[i]);
  // The mail as MAILPOST would read it.
  for (std::size_t i = 1; i < elements.size(); ++i) {
    std::u16string rest;
    if (i == 1) Line(out, "mode: ", elements[i]);
    else if (Prefixed(elements[i], u"SUBJECT=", rest)) Line(out, "subject: ", rest);
    else if (Prefixed(elements[i], u"BODY=Text:", rest)) Line(out, "body: ", rest);
    else if (Prefixed(elements[i], u"HTML=Text:", rest)) Line(out, "html: ", rest);
    else if (Prefixed(elements[i], u"RECIP=", rest)) Line(out, "recipients: ", rest);
    else Line(out, "attachment: ", elements[i]);
  }
  out += "== end\r\n";

  // Several senders may run at once: retry while another one has the file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(logPath.c_str()), FILE_APPEND_DATA, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(20);
  }
}

}  // namespace

int main() {
  const std::u16string log = Env(L"QV_MAILPOST_LOG");
  if (!log.empty()) Record(log);
  if (Number(L"QV_MAILPOST_HANG", 0) == 1)
    for (;;) Sleep(1000);
  const long seconds = Number(L"QV_MAILPOST_SECONDS", 0);
  if (seconds > 0) Sleep(static_cast<DWORD>(seconds) * 1000);
  return static_cast<int>(Number(L"QV_MAILPOST_EXIT", 0));
}
