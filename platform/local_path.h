// Local forms of paths: whether a configured path lies on this machine and,
// if so, its plain drive form, so that work on the file server bypasses the
// network redirector.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace qv {

// 0 with the local path (ending with a backslash) in `localPath`, or -1 when
// the path is not on this machine or cannot be translated. `localPath` is
// cleared first and set only on success.
std::int32_t GetLocalPath(StringView path, String& localPath);

// The local path of a \\SERVER\SHARE[\rest] path through the share's
// definition. 0 on success; 53 when the path is not a UNC path; -1 when the
// share service is unavailable or the path names no share; any other status
// of the share query is passed on. `localPath` is cleared first.
std::int32_t GetShareLocalPath(StringView uncPath, String& localPath);

}  // namespace qv
