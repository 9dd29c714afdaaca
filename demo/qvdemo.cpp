// Demonstration of the support library's system services against the real
// platform: a suite-style message box that closes itself, a registry round
// trip, special folders, local path forms and an INI file read through the
// demo share \\DEMOSRV\NORVA. Prints what it sees; exit code 0 when every
// step behaved.
#include <cstdio>

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

int main() {
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
