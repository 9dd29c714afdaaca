// Recording the connection on this machine: NORVACONNECT.INI in the common
// application-data folder, its permissions, one load of the suite
// configuration through the new record, and the user's Installers values.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace qv::connect {

// Works on the connect context; sets ConnectError on failure.
void RecordConnection();

// The common application-data folder with a trailing backslash, and its
// "Norva" folder (no trailing backslash); set by CreateNorvaDataDir.
const String& CommonDataDir();
// 0 when NorvaDataDir exists afterwards (created with missing parents when
// needed), -5 when it cannot be created. Also sets the context's NorvaDataDir.
int CreateNorvaDataDir();

// The six lines of NORVACONNECT.INI for a share, each ended by CR LF.
String ConnectIniText(StringView connectPath);

// Text 20200 - status of the program's table, for statuses -1 to -14.
inline constexpr std::uint32_t kLoadStatusTextBase = 20200;

}  // namespace qv::connect
