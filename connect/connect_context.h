// The connect context: the one record that the phases of a connect run
// read and update, owned by the driver for the whole run.
#pragma once

#include "platform/text.h"

namespace qv::connect {

struct ConnectContext {
  String ComputerName;      // this machine's NetBIOS name, read once
  // The share path being connected: the program's folder without a trailing
  // backslash at first, a UNC share root with a trailing backslash once the
  // source path has been validated.
  String ConnectPath;
  String ConnectError;      // empty: no failure so far
  int QuestionTimeout = 2;  // quiet-mode countdown of questions; -2 with switch n
  bool ProcessElevated = false;
  String LinkFilePath;      // ConnectPath + "QVLINK.INI"
  String DataFolder;        // the share's TARVEX folder, trailing backslash
  String NetbinFolder;      // the share's NETBIN folder, trailing backslash
  String ExpectedUNCPath;   // QTCFG.INI's ExpectedUNCpath, trailing backslash
  String NorvaDataDir;      // the Norva folder of the common application data
};

// The process-wide context.
ConnectContext& Connect();
// Back to the start-of-run state.
void ResetConnectContext();

// The text of a run-time fault of a file or INI operation: the system's
// message for the error, two line breaks and "The connect operation failed."
String RuntimeFaultText(std::uint32_t error);
String RuntimeFaultText(StringView message);

}  // namespace qv::connect
