// Share identity checks: the share holds the suite's TARVEX and NETBIN
// folders (or QVLINK.INI names them) and its QTCFG.INI expects exactly the
// UNC path the program was started from.
#pragma once

namespace qv::connect {

// Works on the connect context (ConnectPath with its trailing backslash);
// sets LinkFilePath, DataFolder, NetbinFolder and ExpectedUNCPath, or
// ConnectError. Writes nothing.
void CheckShareIdentity();

}  // namespace qv::connect
