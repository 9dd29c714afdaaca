#include "platform/special_folder.h"

namespace qv {

using namespace platform;

String GetFolderPathByCsidl(int csidl) {
  String path;
  if (Current().GetFolderPathByCsidl(csidl, path) == kApiUnavailable) return String();
  // The shell's return value is not consulted: the buffer tells.
  const auto nul = path.find(u'\0');
  if (nul != String::npos) path.resize(nul);
  return path;
}

String GetKnownFolderPath(KnownFolder folder) {
  String path;
  if (Current().GetKnownFolderPath(folder, path) != kOk) return String();
  return path;
}

String GetSpecialFolderPath(int csidl, KnownFolder folder) {
  if (Current().GetVersion().major >= 6) return GetKnownFolderPath(folder);
  return GetFolderPathByCsidl(csidl);
}

}  // namespace qv
