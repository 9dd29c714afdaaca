// The message of the CmdFileError that f throws ("" when it throws none),
// for the include tests on the in-memory machine and on a real share.
#pragma once

#include <string>

#include "cmdfile/tfilebase.h"

namespace qv::testing_cmdfile {

template <typename F>
std::string FailureOf(F f) {
  try {
    f();
  } catch (const CmdFileError& e) {
    return ToUtf8(e.message());
  }
  return "";
}

}  // namespace qv::testing_cmdfile
