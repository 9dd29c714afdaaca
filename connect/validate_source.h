// Source-path validation: settles the connect context's ConnectPath as the
// UNC root of the share the program was started from, or fails.
#pragma once

namespace qv::connect {

// Works on the connect context. On success ConnectPath is a share path
// ending with a backslash; on failure ConnectError holds the message.
// Asks the administrator where the result is not certain; a No ends the
// program (AskConnectQuestion).
void ValidateSourcePath();

}  // namespace qv::connect
