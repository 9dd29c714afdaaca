// The connect driver: program start-up, the connect sequence over the
// connect context, the administrator's questions and the final report.
#pragma once

#include <vector>

#include "platform/text.h"

namespace qv {
class TDMfilesec;
}

namespace qv::connect {

// Asks a question of a phase: kind error, buttons Yes and No, with the
// quiet-mode countdown when switch q is given. Returns only after Yes; any
// other answer (No, Cancel or the close box, or a dialog that could not be
// shown) ends the process with exit code 1 after 250 ms, without a message.
void AskConnectQuestion(StringView text);

// True when the process token's elevation value is not zero; false when the
// token cannot be opened or read.
bool IsProcessElevated();

// Runs the connect sequence and the final report, then ends the process
// (exit code 0 connected, 1 not connected). Never returns normally.
[[noreturn]] void RunConnect();

// The connect driver module: creating it runs the connect sequence.
class TDataModule2 {
 public:
  [[noreturn]] void DataModuleCreate();
};

// The program's file-security module, created at start-up before the
// driver module; the recording phase opens NORVACONNECT.INI through it.
TDMfilesec& FileSecurityModule();

// The program: stores the build identity, starts tracing, creates the
// file-security module and then the driver module, which ends the process.
// `arguments` are the command-line arguments without the program name.
[[noreturn]] void RunProgram(std::vector<String> arguments);

}  // namespace qv::connect
