// Shell special folders: the machine-wide application data, the 32-bit
// program files, the user's roaming application data and the program menus.
#pragma once

#include "platform/seam.h"

namespace qv {

using platform::KnownFolder;

// The folder path, empty when it cannot be found. Windows 6 and later ask
// for the known folder, older systems for the CSIDL.
String GetSpecialFolderPath(int csidl, KnownFolder folder);
String GetFolderPathByCsidl(int csidl);
String GetKnownFolderPath(KnownFolder folder);

}  // namespace qv
