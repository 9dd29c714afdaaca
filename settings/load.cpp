// LoadSuiteSettings: binds QV9REG.DLL, asks QVGETCFG where the
// configuration is, reads and interprets TARVEX.CFG.
#include <algorithm>
#include <vector>

#include "locator/qv9reg.h"
#include "platform/handles.h"
#include "platform/ini.h"
#include "platform/local_path.h"
#include "platform/registry.h"
#include "platform/seam.h"
#include "platform/special_folder.h"
#include "platform/sysinfo.h"
#include "platform/timed_message.h"
#include "settings/config_reader.h"
#include "settings/load_facts.h"
#include "settings/service_identity.h"
#include "settings/suite_settings.h"

namespace qv {

using platform::Current;
using platform::Handle;
using platform::RootKey;

namespace {

constexpr std::uint32_t kMsgCaption = 20190;
constexpr std::uint32_t kMsgClosingNotice = 20191;
constexpr std::uint32_t kMsgDialogSeconds = 20195;
constexpr std::uint32_t kMsgVersionMismatch = 20196;

Handle TryLoad(const SuiteSettings& s, StringView fileName) {
  platform::Platform& os = Current();
  std::uint32_t error = 0;
  if (Handle h = os.LoadLibrary(String(fileName), error)) return h;
  // Without a known program folder there is no second place to look.
  if (s.ProgramDir.empty()) return 0;
  return os.LoadLibrary(s.ProgramDir + String(fileName), error);
}

// A zero-terminated buffer's text (the last character is forced to 0, so a
// library that fills the whole buffer cannot make us read past it).
String BufferText(std::vector<char16_t>& buffer) {
  if (buffer.empty()) return String();
  buffer.back() = 0;
  return String(buffer.data());
}

void PutText(std::vector<char16_t>& buffer, StringView text) {
  std::fill(buffer.begin(), buffer.end(), char16_t(0));
  const std::size_t n = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), n, buffer.begin());
}

// The end of a failed load.
std::int32_t Fail(SuiteSettings& s, std::int32_t code, const String& message, bool quiet) {
  s.LastLoadError = code;
  s.LastLoadMessage = message.empty() ? LoadMessageText(static_cast<std::uint32_t>(-static_cast<std::int64_t>(code)))
                                      : message;
  if (quiet) return code;
  std::int64_t seconds = 0;
  if (!ParseInt64(LoadMessageText(kMsgDialogSeconds), seconds) || seconds < INT32_MIN || seconds > INT32_MAX)
    seconds = 20;
  s.ErrorDialogSeconds = static_cast<std::int32_t>(seconds);
  s.ErrorDialogNotice = Format(LoadMessageText(kMsgClosingNotice), s.ErrorDialogSeconds);
  ShowTimedMessage(s.LastLoadMessage + u"\r\r" + s.ErrorDialogNotice, LoadMessageText(kMsgCaption),
                   platform::kMbOk, s.ErrorDialogSeconds);
  // The process ends here, at once: no cleanup runs, and no library's
  // shutdown code runs while the settings lock is held.
  Current().TerminateCurrentProcess(1);
  return code;  // not reached
}

void ClearForReload(SuiteSettings& s) {
  for (String* folder : {&s.AppDataDir, &s.ConfigFile, &s.RequestDir, &s.RequestDirLocal, &s.PostOfficeDir,
                         &s.PostOfficeLocal, &s.CertificatesDir, &s.ScriptsDir, &s.DefaultProfileFile,
                         &s.UserProfilesDir, &s.UserProfilesLocal, &s.UserJobsDir, &s.UserJobsLocal})
    folder->clear();
  s.RequestDirCount = 9;
  s.DriveMapCount = 0;
  s.VarDefNames.clear();
  s.VarDefValues.clear();
  s.VarDefPairs.Clear();
  s.EnvironmentOptions.Clear();
  s.QvMsgLines.clear();
  s.DisplayBoxes.clear();
  s.ScriptLocnTop.clear();
  s.ScriptLocnOther.clear();
}

void ReadSuiteIni(SuiteSettings& s) {
  if (s.SuiteIniFile.empty() || !Current().FileExists(s.SuiteIniFile)) return;
  std::uint32_t status = 0;
  const IniFile ini = IniFile::Load(s.SuiteIniFile, &status);
  if (status != 0) return;  // unreadable: the fields stay as they were
  s.UserName = ini.HasKey(u"TarvexUser", u"UserName") ? ini.Get(u"TarvexUser", u"UserName") : s.RegisteredOwner;
  s.CompanyName =
      ini.HasKey(u"TarvexUser", u"CompanyName") ? ini.Get(u"TarvexUser", u"CompanyName") : s.RegisteredOrganization;
  s.UserDir = WithTrailingBackslash(s.AppDataDir + s.UserName);
}

}  // namespace

String LoadMessageText(std::uint32_t id) {
  String text = Current().LoadString(0, id);
  if (text.size() > 2047) text.resize(2047);  // LoadStringW's 2048-character buffer
  return text;
}

Handle LoadLocationLibrary(StringView fileName) {
  const SuiteSettings& s = Settings();
  if (Handle h = TryLoad(s, fileName)) return h;
  if (EqualsNoCaseAscii(fileName, u"QV9REG.DLL") && s.AllowPreviousLibrary) return TryLoad(s, u"QV8REG.DLL");
  return 0;
}

std::int32_t LoadSuiteSettings(bool reread, bool force, bool quiet) {
  platform::Platform& os = Current();
  os.SetErrorMode(platform::kSemFailCriticalErrors | platform::kSemNoOpenFileErrorBox);

  settings::ExclusiveLoad lock;
  SuiteSettings& s = Settings();
  // What this call learns of the machine and may reuse until it returns:
  // the computer name (GetLocalPath asks for it for every folder) and the
  // folder the configuration file is opened from.
  settings::LoadFacts facts;
  ComputerNameCache computerName;

  if (!s.ConfigFile.empty()) {
    if (!reread) return 0;
    if (GetFileWriteTime(s.ConfigFile) == s.ConfigFileTime && !force) return 0;
    ClearForReload(s);
  }

  const String ntKey = u"SOFTWARE\\MICROSOFT\\Windows NT\\CurrentVersion";
  s.RegisteredOwner = ReadRegString(RootKey::LocalMachine, ntKey, u"RegisteredOwner", u"");
  s.RegisteredOrganization = ReadRegString(RootKey::LocalMachine, ntKey, u"RegisteredOrganization", u"");

  const String programFiles = GetSpecialFolderPath(platform::kCsidlProgramFilesX86, platform::KnownFolder::ProgramFilesX86);
  s.ProgramDir = programFiles.empty() ? String() : WithTrailingBackslash(programFiles) + u"NORVA\\";

  const bool service = DetectServiceIdentity();
  RootKey hive = RootKey::LocalMachine;
  if (!service && !s.UseMachineHive && os.GetVersion().major >= 6) hive = RootKey::CurrentUser;
  s.NodeName = ReadRegString(hive, u"Software\\Norva\\Engine", u"Nodename", u"");

  // Bind the library for this one call.
  s.LastLoadError = kErrNoLocationLibrary;
  platform::UniqueLibrary library(os, LoadLocationLibrary(u"QV9REG.DLL"));
  auto getCfg = library ? reinterpret_cast<QVGETCFG_FN>(os.GetProcAddress(library.get(), "QVGETCFG")) : nullptr;
  if (!getCfg) {
    library.reset();
    return Fail(s, kErrNoLocationLibrary, String(), quiet);
  }
  auto regVer = reinterpret_cast<QVREGVER_FN>(os.GetProcAddress(library.get(), "QVREGVER"));
  const std::int32_t version = regVer ? regVer(kReaderInterfaceVersion) : 0;
  if (version != kReaderInterfaceVersion) {
    s.LastLoadError = kErrLibraryVersion;
    const String message = Format(LoadMessageText(kMsgVersionMismatch), kReaderInterfaceVersion, version);
    library.reset();
    return Fail(s, kErrLibraryVersion, message, quiet);
  }

  std::vector<char16_t> configFile(kLocationBufferChars), suiteIni(kLocationBufferChars),
      tarvex(kLocationBufferChars), server(kLocationBufferChars), netBin(kLocationBufferChars),
      shareRoot(kLocationBufferChars), message(kLocationMessageChars);
  PutText(suiteIni, s.SuiteIniFile);
  auto chars = [](std::vector<char16_t>& buffer) { return reinterpret_cast<QVCHAR*>(buffer.data()); };
  const std::int32_t result =
      getCfg(chars(configFile), chars(suiteIni), chars(tarvex), chars(server), chars(netBin), chars(shareRoot),
             &s.ServerDirIsExpected, &s.LibraryFlag, chars(message), quiet ? 1 : 0,
             reinterpret_cast<void*>(library.get()));
  s.LastLoadError = result;
  library.reset();
  if (result < 0) return Fail(s, result, BufferText(message), quiet);

  s.LastLoadError = 0;
  s.AppDataDir = WithTrailingBackslash(BufferText(tarvex));
  s.AppDataDirAsLoaded = s.AppDataDir;
  if (const String serverDir = BufferText(server); !serverDir.empty()) s.ServerDir = WithTrailingBackslash(serverDir);
  s.ConfigFile = BufferText(configFile);
  s.SuiteIniFile = BufferText(suiteIni);
  s.NetBinDir = WithTrailingBackslash(BufferText(netBin));
  s.ShareRoot = WithTrailingBackslash(BufferText(shareRoot));
  String local;
  if (GetLocalPath(s.AppDataDir, local) == 0 && !local.empty()) s.AppDataLocalDir = local;

  ReadSuiteIni(s);

  // Drive mapping applies unless the area is reached through a network drive.
  const bool networkDrive = s.AppDataDir.size() > 1 && s.AppDataDir[1] == u':' &&
                            os.GetDriveType(s.AppDataDir.substr(0, 2) + u"\\") == platform::DriveType::Remote;
  if (!networkDrive) s.DriveMapEnabled = true;

  for (String* folder : {&s.RequestDir, &s.RequestDirLocal, &s.CertificatesDir, &s.ScriptsDir, &s.PostOfficeDir,
                         &s.PostOfficeLocal, &s.UserProfilesDir, &s.UserProfilesLocal, &s.UserJobsDir,
                         &s.UserJobsLocal})
    folder->clear();

  if (s.ConfigFile.empty()) return Fail(s, kErrNoConfigFileName, String(), quiet);

  s.LastLoadMessage.clear();

  // The file's last-write time is taken by ReadConfigFile from the handle
  // it reads through; only a file that cannot be opened is searched for.
  TFileBase list;
  if (!settings::ReadConfigFile(s, list)) {
    // Not an error: the program runs on the standard layout.
    s.ConfigFileTime = GetFileWriteTime(s.ConfigFile);
    s.ConfigFile.clear();
    settings::FillTempAndTraceFolders(s);
    settings::FillRequestNumbers(s);
    settings::FillDerivedFolders(s);
    settings::BuildMacroTable(s);
    return 0;
  }
  settings::ConfigLines lines(list);
  settings::InterpretDirectives(s, lines);
  settings::FillDerivedFolders(s);
  settings::BuildMacroTable(s);
  return 0;
}

}  // namespace qv
