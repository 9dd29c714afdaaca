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

// While one is alive on a thread, GetLocalPath calls on that thread ask for
// the computer name once and reuse the answer: a caller that translates many
// paths in one step (a settings load) holds one. The computer name of a
// running Windows does not change (a new name takes effect at the next
// start), so the answers are the same as without it.
class ComputerNameCache {
 public:
  ComputerNameCache();
  ~ComputerNameCache();
  ComputerNameCache(const ComputerNameCache&) = delete;
  ComputerNameCache& operator=(const ComputerNameCache&) = delete;

 private:
  friend String LocalComputerName();
  bool known_ = false;
  String name_;
  ComputerNameCache* outer_;
};

// The computer name (GetComputerNameW), empty when it cannot be read;
// through the thread's ComputerNameCache when one is alive.
String LocalComputerName();

}  // namespace qv
