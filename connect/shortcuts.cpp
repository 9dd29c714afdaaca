#include "connect/shortcuts.h"

#include "connect/message_dialog.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/seam.h"
#include "settings/suite_settings.h"

namespace qv::connect {

using namespace platform;

namespace {

constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A failure to read the start-menu location, with the system's error code.
struct ShellFoldersFault {
  std::uint32_t error;
};

// The programs folder named by value `name` of Shell Folders under `root`;
// empty when the key does not open or the value is empty. A key that opens
// but cannot be read is a fault.
String ProgramsFolder(RootKey root, const char16_t* name) {
  Platform& os = Current();
  UniqueKey key(os);
  if (os.RegOpenKey(root, kShellFolders, kKeyRead, key.put()) != kOk) return String();
  RegValue value;
  const std::uint32_t rc = os.RegQueryValue(key.get(), name, value, true);
  key.reset();
  if (rc == kErrFileNotFound) return String();
  if (rc != kOk) throw ShellFoldersFault{rc};
  if (value.type != RegType::Sz && value.type != RegType::ExpandSz) return String();
  String text;
  for (std::size_t i = 0; i + 1 < value.data.size(); i += 2)
    text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
  const std::size_t nul = text.find(u'\0');
  if (nul != String::npos) text.resize(nul);
  return text;
}

}  // namespace

bool CreateShellLink(StringView linkFile, StringView target, StringView description, StringView arguments,
                     StringView workingFolder, StringView iconFile, int iconNumber, int showCommand,
                     std::uint16_t hotKey) {
  ShellLink link;
  link.target = String(target);
  link.workingDirectory = workingFolder.empty() ? ExtractFilePath(target) : String(workingFolder);
  link.iconPath = iconFile.empty() ? String(target) : String(iconFile);
  link.iconIndex = iconNumber;
  link.description = String(description);
  link.arguments = String(arguments);
  link.showCommand = showCommand;
  link.hotKey = hotKey;
  try {
    const std::uint32_t hr = Current().CreateShellLink(String(linkFile), link);
    return static_cast<std::int32_t>(hr) >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

void UpdateShortcuts() {
  const String folder = GetAppDataDir();
  const String target = WithoutTrailingBackslash(folder);
  const String description = u"Shows the " + folder + u" folder in Explorer";
  try {
    struct Place {
      RootKey root;
      const char16_t* value;
    };
    for (const Place& p : {Place{RootKey::LocalMachine, u"Common Programs"}, Place{RootKey::CurrentUser, u"Programs"}}) {
      const String programs = ProgramsFolder(p.root, p.value);
      if (programs.empty()) continue;
      CreateShellLink(WithTrailingBackslash(programs) + kShortcutName, target, description, u"", u"", u"", 0, 1, 0);
    }
  } catch (const ShellFoldersFault& fault) {
    MessageDialog(u"Unable to update shortcut for Norva Application Data folder", kDialogError, kDlgOk,
                  Format(u"Windows error %d", fault.error));
  }
}

}  // namespace qv::connect
