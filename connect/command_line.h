// The connect program's command line: the switches q and n.
#pragma once

#include <vector>

#include "platform/text.h"

namespace qv::connect {

// Splits the arguments of a command line (without the program name, as
// wWinMain receives it) by the rules of the Windows C runtime: blanks
// separate, quotation marks group, backslashes escape only a quotation mark.
std::vector<String> SplitCommandLine(StringView commandLine);

// The program's arguments, set once by the program entry.
void SetProgramArguments(std::vector<String> arguments);
const std::vector<String>& ProgramArguments();

// True when an argument is "-" or "/" followed by the letter, in either
// letter case ("/q", "-Q"); a bare "q" is no switch.
bool HasSwitch(char16_t letter);
bool IsSwitch(StringView argument, char16_t letter);

}  // namespace qv::connect
