// Demonstration of the support library's system services against the real
// platform: a suite-style message box that closes itself, a registry round
// trip, special folders, local path forms and an INI file read through the
// demo share \\DEMOSRV\NORVA. Prints what it sees; exit code 0 when every
// step behaved.
//
// "qvdemo --connection" instead prints what a connect run recorded on this
// machine: NORVACONNECT.INI, the Installers registry values, the machine
// environment variables and the start-menu shortcuts.
//
// "qvdemo --broken-locate" shows the suite's error path: with QV9REG's
// diagnostic switch 4 and the EVENTLOG alert switched on, a suite program
// asks QV9REG.DLL (QVGETNAD, no dialog) where the data area is while its
// connection record points at a missing file. The library's error entry
// raises the alert, which hands an e-mail to MAILPOST.exe.
#include <cstdio>
#include <string_view>
#include <vector>

#include "locator/qv9reg.h"
#include "platform/handles.h"
#include "platform/ini.h"
#include "platform/local_path.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "platform/timed_message.h"

using namespace qv;
using namespace qv::platform;

namespace {
int failures = 0;

void Say(const String& s) {
  std::fputs(ToUtf8(s).c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

void Check(bool ok, const String& what) {
  Say(Format(u"  [%s] %s", ok ? u"ok" : u"FAILED", what));
  if (!ok) ++failures;
}
}  // namespace

int ShowConnection() {
  const String ini = GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData) + u"\\Norva\\NORVACONNECT.INI";
  Say(u"NORVACONNECT.INI (" + ini + u"):");
  Bytes bytes;
  if (Current().ReadWholeFile(ini, bytes) == 0) {
    String text = Current().AnsiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::size_t start = 0;
    int lines = 0;
    for (std::size_t end; (end = text.find(u"\r\n", start)) != String::npos; start = end + 2, ++lines)
      Say(u"  | " + text.substr(start, end - start));
    Say(Format(u"  (%d lines, each ended by CR LF%s)", lines, start == text.size() ? u"" : u"; text after the last CR LF!"));
  } else {
    Check(false, u"the file is missing");
  }

  Say(u"Registry, HKEY_CURRENT_USER\\Software\\Norva\\Installers:");
  for (const char16_t* key : {u"Appdata", u"Netbin", u"SharePath"})
    Say(Format(u"  %s\\UNCname = %s", key,
               ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\Installers\\" + String(key), u"UNCname", u"(missing)")));

  Say(u"Machine environment (HKEY_LOCAL_MACHINE\\...\\Session Manager\\Environment):");
  const String env = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
  for (const char16_t* name : {u"TarvexDir", u"TarvexLocal", u"TarvexDrive"})
    Say(Format(u"  %s = %s", name, ReadRegString(RootKey::LocalMachine, env, name, u"(not set)")));

  Say(u"Start-menu shortcuts:");
  const String shellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  struct Menu {
    RootKey root;
    const char16_t* value;
  };
  for (const Menu& m : {Menu{RootKey::LocalMachine, u"Common Programs"}, Menu{RootKey::CurrentUser, u"Programs"}}) {
    const String folder = ReadRegString(m.root, shellFolders, m.value, u"");
    const String link = folder + u"\\Velmora\\Norva Application Data folder.lnk";
    ShellLink seen;
    if (folder.empty() || Current().ReadShellLink(link, seen) != 0) {
      Say(Format(u"  %s: no shortcut", m.value));
      continue;
    }
    Say(Format(u"  %s: %s", m.value, link));
    Say(u"    target:         " + seen.target);
    Say(u"    working folder: " + seen.workingDirectory);
    Say(u"    description:    " + seen.description);
    Say(Format(u"    icon:           %s,%d", seen.iconPath, seen.iconIndex));
  }
  return failures == 0 ? 0 : 1;
}

int BrokenLocate() {
  Platform& os = Current();
  try {
    WriteRegInteger(RootKey::LocalMachine, u"Software\\Norva\\QTTRACE", u"QV9REG", 4);
    WriteRegString(RootKey::LocalMachine, u"Software\\Norva\\ALERTDESK\\Triggers", u"EVENTLOG", u"1");
    WriteRegString(RootKey::LocalMachine, u"Software\\Norva\\ALERTDESK\\TriggerRecipients", u"EVENTLOG",
                   u"operators@demo.example,cc,oncall@demo.example");
    // This user has not had an EVENTLOG alert yet.
    WriteRegString(RootKey::CurrentUser, u"Software\\Norva\\ALERTDESK\\Triggers", u"EVENTLOG", u"0");
  } catch (const RegistryError& e) {
    Say(u"  registry: " + e.message());
    return 1;
  }
  Say(u"  HKLM\\Software\\Norva\\QTTRACE QV9REG = 4 (diagnostics: error entries)");
  Say(u"  HKLM\\Software\\Norva\\ALERTDESK\\Triggers EVENTLOG = \"1\" (alert on)");
  Say(u"  HKLM\\Software\\Norva\\ALERTDESK\\TriggerRecipients EVENTLOG = operators@demo.example,cc,oncall@demo.example");
  String temp;
  os.GetTempPath(temp);
  const String missing = temp + u"qvdemo-broken\\NORVACONNECT.INI";
  os.SetEnvironmentVariable(u"NorvaConnectIniPath", missing);
  Say(u"  NorvaConnectIniPath = " + missing + u" (no such file)");

  std::uint32_t error = 0;
  const platform::UniqueLibrary library(os, os.LoadLibrary(u"QV9REG.DLL", error));
  auto nad = library ? reinterpret_cast<QVGETNAD_FN>(os.GetProcAddress(library.get(), "QVGETNAD")) : nullptr;
  if (!nad) {
    Say(Format(u"  QV9REG.DLL not loaded (%u)", error));
    return 1;
  }
  std::vector<char16_t> tarvex(QV9REG_PATH_CHARS), netBin(QV9REG_PATH_CHARS), root(QV9REG_PATH_CHARS),
      ini(QV9REG_PATH_CHARS), cfg(QV9REG_PATH_CHARS), message(QV9REG_MESSAGE_CHARS);
  auto chars = [](std::vector<char16_t>& b) { return reinterpret_cast<QVCHAR*>(b.data()); };
  const int rc = nad(chars(tarvex), chars(netBin), chars(root), chars(ini), chars(cfg), chars(message), 1, nullptr);
  Say(Format(u"  QVGETNAD (no dialog) returned %d: %s", rc, String(message.data())));
  return rc < 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--connection") return ShowConnection();
  if (argc > 1 && std::string_view(argv[1]) == "--broken-locate") return BrokenLocate();
  Say(u"Velmora system services demo");

  Say(u"Timed message box (closes itself after 3 seconds):");
  const int answer = ShowTimedMessage(
      u"Velmora is checking this machine.<br>This message closes <B>by itself</B> in 3 seconds."
      u"\u00ACThis remark is cut off before display.",
      u"Velmora demo", kMbOk | kMbIconInformation, 3);
  Check(answer == kIdOk, Format(u"the box answered %d (IDOK = 1)", answer));

  Say(u"Registry round trip under HKEY_CURRENT_USER\\Software\\Norva\\Demo:");
  try {
    WriteRegString(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"Greeting", u"Hello from Velmora");
    WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"Answer", 42);
    WriteRegInteger(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"AnswerText", static_cast<std::int32_t>(4000000000u),
                    RegType::Sz);
    const String greeting = ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"Greeting", u"?");
    Check(greeting == u"Hello from Velmora", u"Greeting = " + greeting);
    const int number = ReadRegInteger(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"Answer", -1);
    Check(number == 42, Format(u"Answer = %d", number));
    const String asText = ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"AnswerText", u"?");
    Check(asText == u"4000000000", u"AnswerText (written as %u) = " + asText);
    Check(ReadRegInteger(RootKey::CurrentUser, u"Software\\Norva\\Demo", u"Missing", 7) == 7,
          u"a missing value reads as its default");
  } catch (const RegistryError& e) {
    Check(false, e.message());
  }

  Say(u"Special folders:");
  const String programData = GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData);
  const String programFiles = GetSpecialFolderPath(kCsidlProgramFilesX86, KnownFolder::ProgramFilesX86);
  const String roaming = GetSpecialFolderPath(kCsidlAppData, KnownFolder::RoamingAppData);
  Check(!programData.empty(), u"machine-wide application data: " + programData);
  Check(!programFiles.empty(), u"32-bit program files: " + programFiles);
  Check(!roaming.empty(), u"roaming application data: " + roaming);

  Say(u"Local path forms:");
  for (const String& path : {String(u"c:\\windows"), String(u"C:\\"), String(u"\\\\DEMOSRV\\NORVA\\TARVEX")}) {
    String local;
    const int status = GetLocalPath(path, local);
    Say(Format(u"  GetLocalPath(%s) = %d %s", path, status, local));
  }

  Say(u"INI file on the demo share:");
  std::uint32_t status = 0;
  const IniFile qtcfg = IniFile::Load(u"\\\\DEMOSRV\\NORVA\\TARVEX\\QTCFG.INI", &status);
  Check(status == 0, Format(u"read \\\\DEMOSRV\\NORVA\\TARVEX\\QTCFG.INI (status %u)", status));
  Check(!qtcfg.Get(u"qtconfig", u"expecteduncpath").empty(),
        u"[QTCONFIG] ExpectedUNCpath = " + qtcfg.Get(u"qtconfig", u"expecteduncpath"));
  Say(u"  [QTCONFIG] ConfigurationFile = " + qtcfg.Get(u"QTCONFIG", u"ConfigurationFile"));

  Say(failures == 0 ? u"Demo finished: every step behaved." : Format(u"Demo finished with %d failure(s).", failures));
  return failures == 0 ? 0 : 1;
}
