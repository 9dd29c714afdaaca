// The start-menu shortcut "Velmora\Norva Application Data folder.lnk".
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace qv::connect {

inline constexpr char16_t kShortcutName[] = u"Velmora\\Norva Application Data folder.lnk";

// Rewrites the shortcut in the all-users and the current user's programs
// folders. Never fails the run.
void UpdateShortcuts();

// Saves a shell link. An empty working folder means the target's parent
// folder (with a trailing backslash), an empty icon file the target itself.
// True when the link file was saved.
bool CreateShellLink(StringView linkFile, StringView target, StringView description, StringView arguments,
                     StringView workingFolder, StringView iconFile, int iconNumber, int showCommand,
                     std::uint16_t hotKey);

}  // namespace qv::connect
