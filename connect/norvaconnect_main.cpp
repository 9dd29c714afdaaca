// NORVACONNECT.exe: a Windows program without a main window. The entry
// hands the command line to the connect driver, which ends the process.
#include <string>

#include "connect/command_line.h"
#include "connect/connect_driver.h"

struct HINSTANCE__;

extern "C" int __stdcall wWinMain(HINSTANCE__* /*instance*/, HINSTANCE__* /*previous*/, wchar_t* commandLine,
                                  int /*show*/) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "a Windows program");
  const qv::String line = commandLine ? qv::String(reinterpret_cast<const char16_t*>(commandLine)) : qv::String();
  qv::connect::RunProgram(qv::connect::SplitCommandLine(line));
}
