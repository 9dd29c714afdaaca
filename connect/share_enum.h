// This machine's ordinary disk shares, for recognising a program started
// from a local folder of the file server itself.
#pragma once

#include <vector>

#include "platform/text.h"

namespace qv::connect {

// Clears both lists and fills them in the order the system reports the
// shares: names in upper case (a to z only), and at the same positions the
// local paths as reported. Only disk shares (type 0) without "$" in their
// name are listed. Never fails: a missing network library or a refused
// enumeration leaves the lists empty or with what was collected so far.
void EnumerateDiskShares(std::vector<String>& names, std::vector<String>& paths);

}  // namespace qv::connect
