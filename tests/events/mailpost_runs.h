// The MAILPOST runs an in-memory machine saw: each started program's
// command line, parsed back by the sender's doubling rule.
#pragma once

#include <vector>

#include "platform/memory/memory_machine.h"
#include "tools/mailpost_standin/doubling_parser.h"

namespace qv::testing_events {

inline std::vector<std::vector<String>> MailpostRuns(const platform::MemoryMachine& machine) {
  std::vector<std::vector<String>> runs;
  for (const auto& p : machine.StartedProcesses()) runs.push_back(mailpost::ParseDoubling(p.commandLine));
  return runs;
}

}  // namespace qv::testing_events
