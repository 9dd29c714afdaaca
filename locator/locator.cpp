#include "locator/locator.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "events/event_log.h"
#include "platform/handles.h"
#include "platform/ini.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "platform/timed_message.h"

namespace qv::locator {

using namespace platform;

namespace {

constexpr std::size_t kMessageTextChars = kMessageBufferChars - 1;
// The composed message of a failing QVGETCFG-internal QVGETINI call.
constexpr std::size_t kIniMessageChars = 511;

constexpr char16_t kEventSource[] = u"QV9REG";
constexpr char16_t kNotSign = u'\u00AC';

// ------------------------------------------------------------ library state
struct LibraryState {
  Handle messageModule = 0;
  std::int32_t folderStatus = kFoldersNotLocated;
  String appDataFolder;        // with trailing backslash once located
  String commonAppDataFolder;  // with trailing backslash once located
  std::optional<std::int32_t> diagnostics;
};

LibraryState& St() {
  static LibraryState state;
  return state;
}

// Every locating export stores the caller's message module and, on the
// first call of the process, reads the diagnostic switch. The switch is not
// read while the library is being loaded: registry access from inside the
// loader lock can deadlock.
void EnterExport(Handle messageModule) {
  LibraryState& s = St();
  s.messageModule = messageModule;
  if (!s.diagnostics)
    s.diagnostics = ReadRegInteger(RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"QV9REG", 0);
}

bool Diagnosing(std::int32_t bit) {
  const LibraryState& s = St();
  return s.diagnostics && *s.diagnostics != 0 && (*s.diagnostics & bit) != 0;
}

void DiagnosticEntry(StringView text, std::int16_t kind, std::int32_t code) {
  WriteEvent(String(u"QV9REG ") + String(text), kind, code, kEventSource);
}

// ------------------------------------------------------------ buffers
bool BufferEmpty(const char16_t* buffer) { return buffer == nullptr || buffer[0] == 0; }

void ClearBuffer(char16_t* buffer) {
  if (buffer) buffer[0] = 0;
}

// Copies at most capacity - 1 characters and the terminator.
void CopyBounded(char16_t* buffer, StringView text, std::size_t capacity) {
  if (!buffer || capacity == 0) return;
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
}

void CopyPath(char16_t* buffer, StringView text) { CopyBounded(buffer, text, kPathBufferChars); }
void CopyMessage(char16_t* buffer, StringView text) { CopyBounded(buffer, text, kMessageBufferChars); }

// A caller's string up to its terminator, reading no more than maxChars.
String ReadBounded(const char16_t* buffer, std::size_t maxChars) {
  String s;
  if (!buffer) return s;
  for (std::size_t i = 0; i < maxChars && buffer[i] != 0; ++i) s.push_back(buffer[i]);
  return s;
}

String ReadUnbounded(const char16_t* text) {
  String s;
  if (!text) return s;
  while (*text) s.push_back(*text++);
  return s;
}

// ------------------------------------------------------------ texts
// Message n of the library's table through the stored message module. A
// caller that passed a module without the table (0, or the program's own
// handle) still gets the library's texts: the library then reads its own
// module.
String Text(std::uint32_t id) {
  Platform& os = Current();
  const Handle module = St().messageModule;
  String text = os.LoadString(module, id);
  if (text.empty() && os.CurrentModuleIsLibrary()) {
    const Handle own = os.CurrentModule();
    if (own != module) text = os.LoadString(own, id);
  }
  return text;
}

String FileNamePart(StringView path) {
  const std::size_t at = path.find_last_of(u"\\/:");
  return String(at == StringView::npos ? path : path.substr(at + 1));
}

// The folder part of a path including its last separator ("" for a bare name).
String FolderPart(StringView path) {
  const std::size_t at = path.find_last_of(u"\\/:");
  return at == StringView::npos ? String() : String(path.substr(0, at + 1));
}

bool IsUnc(StringView path) { return path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\'; }

bool IsIsland() {
  return ReadRegInteger(RootKey::LocalMachine, u"Software\\Norva\\NORVACONNECT", u"Island", 0) != 0;
}

// ------------------------------------------------------------ error finishing
// Success clears the message. A failure leaves the message it carries (a
// composed one) or the table text in the buffer, optionally writes the
// error entry, and unless the caller asked for no dialog shows the
// self-closing box and ends the process with exit code 1.
std::int32_t Finish(std::int32_t result, char16_t* message, std::uint8_t noDialog, bool errorEntry) {
  if (result >= 0) {
    ClearBuffer(message);
    return result;
  }
  const std::uint32_t number = 0u - static_cast<std::uint32_t>(result);
  String text = message ? ReadBounded(message, kMessageTextChars) : String();
  if (text.empty()) {
    text = Text(number).substr(0, kMessageTextChars);
    CopyMessage(message, text);
  }
  if (errorEntry && Diagnosing(kDiagnoseTrying)) DiagnosticEntry(text, kEventKindError, result);
  if (noDialog != 0) return result;

  std::int64_t seconds = 0;
  if (!ParseInt64(Text(kTextDialogSeconds), seconds) || seconds < -86400 || seconds > 86400)
    seconds = kDefaultDialogSeconds;
  const int delay = static_cast<int>(seconds);
  try {
    const String footer = Format(Text(kTextDialogFooter), delay);
    String body = text.substr(0, text.find(kNotSign));
    body += u"<br><br>";
    body += footer;
    ShowTimedMessage(body, Text(kTextDialogTitle), kMbOk, delay);
  } catch (const ProcessExit&) {
    throw;
  } catch (...) {
    // No box (its closing thread or its text could not be made): the
    // process still ends as the failure says.
  }
  Current().ExitProcess(1);
  return result;  // not reached: the process has ended
}

// ------------------------------------------------------------ QVGETNAD
struct AppDataArea {
  String tarvexFolder;
  String netBinFolder;
  String shareRoot;
};

// Fills the folder cache; 0 or the failure.
std::int32_t LocateShellFolders() {
  LibraryState& s = St();
  if (s.folderStatus == 0) return 0;
  const String appData = Trim(GetSpecialFolderPath(kCsidlAppData, KnownFolder::RoamingAppData));
  if (appData.empty()) return s.folderStatus = kErrNoAppDataFolder;
  s.appDataFolder = WithTrailingBackslash(appData);
  const String common = Trim(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData));
  if (common.empty()) return s.folderStatus = kErrNoCommonAppDataFolder;
  s.commonAppDataFolder = WithTrailingBackslash(common);
  return s.folderStatus = 0;
}

String ConnectionFilePath() {
  String path = St().commonAppDataFolder + u"Norva\\NorvaConnect.INI";
  String override;
  if (Current().GetEnvironmentVariable(u"NorvaConnectIniPath", override) &&
      EqualsNoCaseAscii(FileNamePart(override), u"NORVACONNECT.INI"))
    path = override;
  return path;
}

// The locating steps. Buffers 4 and 5 are written as soon as their paths are
// known; a composed failure text goes to `message`.
std::int32_t LocateAppData(char16_t* connectIniPath, char16_t* configFilePath, AppDataArea& area, String& message) {
  Platform& os = Current();
  if (os.GetVersion().major < 5) return kErrOldWindows;
  if (const std::int32_t status = LocateShellFolders(); status != 0) return status;

  const String connectionFile = ConnectionFilePath();
  CopyPath(connectIniPath, connectionFile);
  if (!os.FileExists(connectionFile)) return kErrNoConnectionFile;
  if (Diagnosing(kDiagnoseTrying)) DiagnosticEntry(u"Trying " + connectionFile, kEventKindInformation, 0);

  const String uncName = IniFile::Load(connectionFile).Get(u"NorvaAppdataShare", u"UNCname");
  if (uncName.empty()) return kErrNoUncName;
  const bool island = IsIsland();
  if (!IsUnc(uncName) && !island) return kErrNotUnc;

  area.shareRoot = WithTrailingBackslash(uncName);
  area.tarvexFolder = area.shareRoot + u"TARVEX";
  area.netBinFolder = area.shareRoot + u"NETBIN";
  // QVLINK.INI is optional. Its existence test and its read are one step:
  // the open that reads it answers the test, an open that fails meaning
  // "absent" (on a file server a separate test would be one more round
  // trip). A file that exists but cannot be opened gave empty values before
  // and counts as absent now: the same folders either way.
  const String linkFile = area.shareRoot + u"QVLINK.INI";
  std::uint32_t linkStatus = kOk;
  const IniFile link = IniFile::Load(linkFile, &linkStatus);
  if (linkStatus == kOk) {
    const String appData = link.Get(u"NorvaAppData", u"UNCname");
    if (!appData.empty() && (IsUnc(appData) || island)) area.tarvexFolder = appData;
    const String netBin = link.Get(u"NorvaNetBin", u"UNCname");
    if (!netBin.empty() && (IsUnc(netBin) || island)) area.netBinFolder = netBin;
  }
  area.tarvexFolder = WithTrailingBackslash(area.tarvexFolder);
  area.netBinFolder = WithTrailingBackslash(area.netBinFolder);

  // The pointer file must be readable as such (readers shared, writers
  // refused), not merely present: an INI read of an unreadable file would
  // look like an empty one. The open test and the read are one step: the
  // file is read once, through the handle of the test.
  const String pointerFile = area.tarvexFolder + u"QTCFG.INI";
  UniqueFile file(os);
  if (const std::uint32_t error =
          os.OpenFile(pointerFile, kGenericRead, kShareRead, Disposition::OpenExisting, file.put());
      error != kOk) {
    message = Text(946) + u"\r" + os.FormatSystemMessage(error);
    return kErrPointerFileUnreadable;
  }
  std::uint32_t readStatus = kOk;
  const IniFile pointer = IniFile::Read(file.get(), &readStatus);
  file.reset();
  if (readStatus != kOk) {  // opens, but cannot be read whole (too large, say)
    message = Text(946) + u"\r" + os.FormatSystemMessage(readStatus);
    return kErrPointerFileUnreadable;
  }
  const String expected = pointer.Get(u"QTCONFIG", u"ExpectedUNCpath");
  if (expected.empty()) return kErrNoExpectedPath;
  const String expectedRoot = WithTrailingBackslash(expected);
  if (!EqualsNoCaseAscii(expectedRoot, area.shareRoot)) {
    message = Text(948) + u"<BR><BR>" + Text(kTextExpectedPath) + u"<B>" + expectedRoot + u"</B><BR>" +
              Text(kTextLocatedPath) + u"<B>" + area.shareRoot + u"</B><BR><BR>" + Text(kTextMovedAdvice);
    return kErrSharePathMismatch;
  }

  const String configName = pointer.Get(u"QTCONFIG", u"ConfigurationFile");
  if (configName.empty()) return kErrNoConfigurationName;
  const String configFile = area.tarvexFolder + configName;
  CopyPath(configFilePath, configFile);
  if (!os.FileExists(configFile)) return kErrNoConfigurationFile;

  if (Diagnosing(kDiagnoseUsing)) DiagnosticEntry(u"Using " + connectionFile, kEventKindInformation, 0);
  return 0;
}

// QVGETNAD; `located` receives the uncut folders of a success.
std::int32_t GetNad(char16_t* tarvexFolder, char16_t* netBinFolder, char16_t* shareRoot, char16_t* connectIniPath,
                    char16_t* configFilePath, char16_t* message, std::uint8_t noDialog, Handle messageModule,
                    AppDataArea* located) {
  EnterExport(messageModule);
  if (!BufferEmpty(tarvexFolder)) return 0;
  // Whatever the caller left in the message buffer is not this call's
  // message: a failure must never report stale or uninitialised text.
  ClearBuffer(message);

  AppDataArea area;
  String composed;
  const std::int32_t result = LocateAppData(connectIniPath, configFilePath, area, composed);
  if (result >= 0) {
    CopyPath(tarvexFolder, area.tarvexFolder);
    CopyPath(netBinFolder, area.netBinFolder);
    CopyPath(shareRoot, area.shareRoot);
    if (located) *located = std::move(area);
  } else if (!composed.empty()) {
    CopyMessage(message, composed);
  }
  return Finish(result, message, noDialog, true);
}

// ------------------------------------------------------------ the boundary
// Every export runs its body here, once: no fault may reach a caller
// written in C. A fault becomes failure -946 with the library's text and
// the fault's description, finished like any other failure (message
// buffer, error entry, dialog and end of the process unless no-dialog).
// The end of the process itself (ProcessExit on the in-memory machine)
// passes.
template <class Body>
std::int32_t AtBoundary(char16_t* message, std::uint8_t noDialog, Body&& body) {
  String fault;
  try {
    return body();
  } catch (const ProcessExit&) {
    throw;
  } catch (const std::exception& e) {
    fault = FromUtf8(e.what());
  } catch (...) {
    fault = u"Unknown fault.";
  }
  try {
    ClearBuffer(message);
    CopyMessage(message, Text(946) + u"\r" + fault);
    return Finish(kErrPointerFileUnreadable, message, noDialog, true);
  } catch (const ProcessExit&) {
    throw;
  } catch (...) {
    return kErrPointerFileUnreadable;
  }
}

}  // namespace

const BuildIdentity& Build() {
  static const BuildIdentity identity{u"9.1.0.379", u"910379", 9, 1, 0, 379,
                                      u"Last Modified: June 28, 2024 11:45", 6, 2024,
                                      45924.0 + (11 * 3600 + 37 * 60 + 58) / 86400.0};
  return identity;
}

std::int32_t QvGetNad(char16_t* tarvexFolder, char16_t* netBinFolder, char16_t* shareRoot, char16_t* connectIniPath,
                      char16_t* configFilePath, char16_t* message, std::uint8_t noDialog, Handle messageModule) {
  return AtBoundary(message, noDialog, [&] {
    return GetNad(tarvexFolder, netBinFolder, shareRoot, connectIniPath, configFilePath, message, noDialog,
                  messageModule, nullptr);
  });
}

// ------------------------------------------------------------ QVGETINI
namespace {
std::int32_t GetIni(char16_t* suiteIniPath, const char16_t* options, char16_t* message, std::uint8_t noDialog,
                    Handle messageModule) {
  EnterExport(messageModule);
  if (!BufferEmpty(suiteIniPath)) return 0;
  Platform& os = Current();
  const LibraryState& s = St();
  const bool allUsers = AsciiUpper(ReadUnbounded(options)).find(u"ALLUSERS") != String::npos;

  String result;
  String envPath;
  const bool fromEnvironment = os.GetEnvironmentVariable(u"VelmoraIniPath", envPath) &&
                               EqualsNoCaseAscii(FileNamePart(envPath), u"VELMORA.INI");
  if (fromEnvironment) {
    // Its folder, with the file name written in the suite's own spelling. A
    // bare file name stays relative rather than moving to the drive's root.
    const String folder = WithoutTrailingBackslash(FolderPart(envPath));
    result = folder.empty() ? String(u"VELMORA.INI") : folder + u"\\VELMORA.INI";
  } else {
    const String userFile = s.appDataFolder + u"Norva\\Velmora.INI";
    const String commonFile = s.commonAppDataFolder + u"Norva\\Velmora.INI";
    if (!s.appDataFolder.empty() && os.FileExists(userFile))
      result = userFile;
    else if (!s.commonAppDataFolder.empty() && os.FileExists(commonFile))
      result = commonFile;
    else
      result = (allUsers ? s.commonAppDataFolder : s.appDataFolder) + u"Norva\\VELMORA.INI";
  }
  CopyPath(suiteIniPath, result);
  return Finish(0, message, noDialog, false);
}
}  // namespace

std::int32_t QvGetIni(char16_t* suiteIniPath, const char16_t* options, char16_t* message, std::uint8_t noDialog,
                      Handle messageModule) {
  return AtBoundary(message, noDialog,
                    [&] { return GetIni(suiteIniPath, options, message, noDialog, messageModule); });
}

// ------------------------------------------------------------ QVGETCFG
namespace {
std::int32_t GetCfg(char16_t* configFilePath, char16_t* suiteIniPath, char16_t* tarvexFolder, char16_t* serverFolder,
                    char16_t* netBinFolder, char16_t* shareRoot, std::uint8_t* serverMatch, std::uint8_t* reserved,
                    char16_t* message, std::uint8_t noDialog, Handle messageModule) {
  EnterExport(messageModule);
  if (reserved) *reserved = 0;
  std::vector<char16_t> connectIniPath(kPathBufferChars, 0);
  ClearBuffer(tarvexFolder);
  ClearBuffer(netBinFolder);
  ClearBuffer(shareRoot);
  ClearBuffer(configFilePath);
  ClearBuffer(message);

  AppDataArea area;
  std::int32_t result = GetNad(tarvexFolder, netBinFolder, shareRoot, connectIniPath.data(), configFilePath, message, 1,
                               messageModule, &area);
  if (result >= 0) {
    const std::int32_t located = result;
    std::vector<char16_t> iniMessage(kMessageBufferChars, 0);
    const std::int32_t iniResult = GetIni(suiteIniPath, u"", iniMessage.data(), 1, messageModule);
    if (iniResult < 0) {
      CopyBounded(message, ReadBounded(iniMessage.data(), kIniMessageChars), kIniMessageChars + 1);
      result = iniResult;
    } else {
      Platform& os = Current();
      String server;
      // The caller's path is read whole, up to its terminator.
      const String suiteIni = ReadUnbounded(suiteIniPath);
      if (!suiteIni.empty() && os.FileExists(suiteIni))
        server = IniFile::Load(suiteIni).Get(u"VelmoraServer", u"Directory");
      if (serverMatch) *serverMatch = 0;
      if (!server.empty()) {
        server = WithTrailingBackslash(server);
        CopyPath(serverFolder, server);
        const String expected =
            WithTrailingBackslash(IniFile::Load(server + u"QTCFG.INI").Get(u"QTCONFIG", u"ExpectedUNCpath"));
        // The share the Tarvex folder lies in: its parent folder.
        const String tarvex = WithoutTrailingBackslash(area.tarvexFolder);
        const String parent = FolderPart(tarvex);
        if (!parent.empty() && EqualsNoCaseAscii(expected, parent) && serverMatch) *serverMatch = 1;
      }
      result = located;
    }
  }
  return Finish(result, message, noDialog, false);
}
}  // namespace

std::int32_t QvGetCfg(char16_t* configFilePath, char16_t* suiteIniPath, char16_t* tarvexFolder,
                      char16_t* serverFolder, char16_t* netBinFolder, char16_t* shareRoot, std::uint8_t* serverMatch,
                      std::uint8_t* reserved, char16_t* message, std::uint8_t noDialog, Handle messageModule) {
  return AtBoundary(message, noDialog, [&] {
    return GetCfg(configFilePath, suiteIniPath, tarvexFolder, serverFolder, netBinFolder, shareRoot, serverMatch,
                  reserved, message, noDialog, messageModule);
  });
}

// ------------------------------------------------------------ QVGETERM, QVREGVER
void QvGetTerm(char16_t* text, std::int32_t number, std::int32_t size) {
  if (!text || size <= 0) return;
  const std::uint32_t id = number < 0 ? 0u - static_cast<std::uint32_t>(number) : static_cast<std::uint32_t>(number);
  // String identifiers have 16 bits, and the string lookup would answer a
  // larger number with the string of its low 16 bits: such a number has no
  // string.
  if (id > 0xFFFFu) {
    text[0] = 0;
    return;
  }
  try {
    CopyBounded(text, Current().LoadString(0, id), static_cast<std::size_t>(size));
  } catch (...) {
    text[0] = 0;  // no fault crosses the boundary: no text
  }
}

std::int32_t QvRegVer(std::int32_t) { return kInterfaceVersion; }

// ------------------------------------------------------------ state
StateView State() {
  const LibraryState& s = St();
  return StateView{s.messageModule,     s.folderStatus, s.appDataFolder, s.commonAppDataFolder,
                   s.diagnostics.has_value(), s.diagnostics.value_or(0)};
}

void ResetState() { St() = LibraryState{}; }

}  // namespace qv::locator
