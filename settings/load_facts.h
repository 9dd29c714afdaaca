// Facts one LoadSuiteSettings call has established and may rely on for the
// rest of that call, never longer, so that it does not ask the file server
// again: the folder the configuration file was opened from exists.
#pragma once

#include "platform/text.h"

namespace qv::settings {

// The facts of the load running on this thread: LoadSuiteSettings holds one
// for the whole call; outside a load there is none and nothing is known.
class LoadFacts {
 public:
  LoadFacts();
  ~LoadFacts();
  LoadFacts(const LoadFacts&) = delete;
  LoadFacts& operator=(const LoadFacts&) = delete;

  // Records that a file was just opened from `path`'s folder.
  static void OpenedFileIn(StringView path);
  // True when the running load opened a file from `folder` (compared
  // without a trailing backslash, letter case of A to Z ignored).
  static bool FolderExists(StringView folder);

 private:
  String openedFolder_;
  LoadFacts* outer_;
};

}  // namespace qv::settings
