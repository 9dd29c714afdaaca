// The logic behind QV9REG.DLL's five exports, free of the platform: it
// talks to the machine only through qv::platform::Current(), so the native
// tests run it on the in-memory machine and the DLL on the real Win32 API.
//
// Each function has exactly the contract of the export of the same name
// (see locator/qv9reg.h), over char16_t buffers. The exports receive no
// buffer sizes; every write is bounded by the documented sizes below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/seam.h"

namespace qv::locator {

using platform::Handle;

// Path and folder buffers, terminator included: at most 255 characters.
inline constexpr std::size_t kPathBufferChars = 256;
// Message buffers, terminator included: at most 2048 characters.
inline constexpr std::size_t kMessageBufferChars = 2049;
inline constexpr std::int32_t kInterfaceVersion = 3;

// Result codes; the absolute value is the message number.
inline constexpr std::int32_t kErrNoAppDataFolder = -903;
inline constexpr std::int32_t kErrNoCommonAppDataFolder = -904;
inline constexpr std::int32_t kErrOldWindows = -941;
inline constexpr std::int32_t kErrNoConnectionFile = -943;
inline constexpr std::int32_t kErrNoUncName = -944;
inline constexpr std::int32_t kErrNotUnc = -945;
inline constexpr std::int32_t kErrPointerFileUnreadable = -946;
inline constexpr std::int32_t kErrNoExpectedPath = -947;
inline constexpr std::int32_t kErrSharePathMismatch = -948;
inline constexpr std::int32_t kErrNoConfigurationName = -949;
inline constexpr std::int32_t kErrNoConfigurationFile = -950;
// The folder cache before its first fill.
inline constexpr std::int32_t kFoldersNotLocated = -999;

// Message numbers of the dialog and the composed mismatch message.
inline constexpr std::uint32_t kTextMovedAdvice = 987;
inline constexpr std::uint32_t kTextDialogTitle = 990;
inline constexpr std::uint32_t kTextDialogFooter = 991;
inline constexpr std::uint32_t kTextExpectedPath = 992;
inline constexpr std::uint32_t kTextLocatedPath = 993;
inline constexpr std::uint32_t kTextDialogSeconds = 995;
inline constexpr int kDefaultDialogSeconds = 20;

// The diagnostic switch: HKLM Software\Norva\QTTRACE, integer QV9REG.
inline constexpr std::int32_t kDiagnoseTrying = 4;  // "Trying" and error entries
inline constexpr std::int32_t kDiagnoseUsing = 2;   // "Using" entries

struct BuildIdentity {
  const char16_t* version;       // "9.1.0.379"
  const char16_t* compact;       // "910379"
  int major, minor, release, build;
  const char16_t* modifiedNote;  // "Last Modified: June 28, 2024 11:45"
  int modifiedMonth, modifiedYear;
  double timestamp;              // days since 1899-12-30 with the time as fraction
};
const BuildIdentity& Build();

std::int32_t QvGetNad(char16_t* tarvexFolder, char16_t* netBinFolder, char16_t* shareRoot, char16_t* connectIniPath,
                      char16_t* configFilePath, char16_t* message, std::uint8_t noDialog, Handle messageModule);

std::int32_t QvGetIni(char16_t* suiteIniPath, const char16_t* options, char16_t* message, std::uint8_t noDialog,
                      Handle messageModule);

std::int32_t QvGetCfg(char16_t* configFilePath, char16_t* suiteIniPath, char16_t* tarvexFolder,
                      char16_t* serverFolder, char16_t* netBinFolder, char16_t* shareRoot, std::uint8_t* serverMatch,
                      std::uint8_t* reserved, char16_t* message, std::uint8_t noDialog, Handle messageModule);

void QvGetTerm(char16_t* text, std::int32_t number, std::int32_t size);

std::int32_t QvRegVer(std::int32_t callerVersion);

// The library's process-wide state, for tests: the stored message-module
// handle, the folder cache (status kFoldersNotLocated until filled) and the
// diagnostic switch (read on the first call of an export).
struct StateView {
  Handle messageModule;
  std::int32_t folderStatus;
  String appDataFolder;
  String commonAppDataFolder;
  bool diagnosticsRead;
  std::int32_t diagnostics;
};
StateView State();
// Back to the state of a freshly loaded library.
void ResetState();

}  // namespace qv::locator
