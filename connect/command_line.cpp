#include "connect/command_line.h"

namespace qv::connect {

namespace {
std::vector<String> g_arguments;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }
}  // namespace

std::vector<String> SplitCommandLine(StringView line) {
  std::vector<String> args;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && IsSpace(line[i])) ++i;
    if (i >= n) break;
    String arg;
    bool quoted = false;
    while (i < n && (quoted || !IsSpace(line[i]))) {
      if (line[i] == u'\\') {
        std::size_t slashes = 0;
        while (i < n && line[i] == u'\\') ++slashes, ++i;
        if (i < n && line[i] == u'"') {
          arg.append(slashes / 2, u'\\');
          if (slashes % 2 == 1) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          arg.push_back(u'"');  // "" inside quotes is one quotation mark
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg.push_back(line[i++]);
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

void SetProgramArguments(std::vector<String> arguments) { g_arguments = std::move(arguments); }

const std::vector<String>& ProgramArguments() { return g_arguments; }

bool IsSwitch(StringView argument, char16_t letter) {
  return argument.size() == 2 && (argument[0] == u'-' || argument[0] == u'/') &&
         AsciiUpper(argument[1]) == AsciiUpper(letter);
}

bool HasSwitch(char16_t letter) {
  for (const String& a : g_arguments)
    if (IsSwitch(a, letter)) return true;
  return false;
}

}  // namespace qv::connect
