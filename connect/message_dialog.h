// The connect program's message dialog: the program's only user interface.
// The dialog window itself lives below the platform seam
// (Platform::ShowDialog); this side composes the request: title, kind,
// buttons, countdown and the width option.
#pragma once

#include <cstdint>

#include "platform/dialog_layout.h"
#include "platform/text.h"

namespace qv::connect {

// Dialog kinds.
inline constexpr std::uint8_t kDialogWarning = 0;
inline constexpr std::uint8_t kDialogError = 1;
inline constexpr std::uint8_t kDialogInformation = 2;
inline constexpr std::uint8_t kDialogConfirmation = 3;

// Button bits and result codes (see platform/dialog_layout.h).
using platform::kDlgAbort;
using platform::kDlgCancel;
using platform::kDlgHelp;
using platform::kDlgIgnore;
using platform::kDlgNo;
using platform::kDlgOk;
using platform::kDlgRetry;
using platform::kDlgYes;
using platform::kResultCancel;
using platform::kResultNo;
using platform::kResultOk;
using platform::kResultYes;

// The per-call width option, in 96-dpi units. Every dialog resets it to 500.
inline constexpr int kDefaultDialogWidth = 500;
void SetDialogWidth(int width);
int DialogWidth();

// "  <program name>: <kind suffix>"; kinds above 3 have no suffix.
String DialogTitle(std::uint8_t kind);

// Shows the dialog and returns its result code: the button's code, 2 for
// the close box, or the code of the button under a countdown bar that ran
// out. seconds: 0 none, > 0 a green bar, < 0 a red bar of -seconds.
std::uint16_t TimedMessageDialog(StringView text, std::uint8_t kind, std::uint16_t buttons, int seconds,
                                 StringView detail = {});
std::uint16_t MessageDialog(StringView text, std::uint8_t kind, std::uint16_t buttons, StringView detail = {});

}  // namespace qv::connect
