// A machine on which the whole connect run can succeed: QV9REG.DLL is
// registered with the in-memory machine over the library's real logic, so
// that the configuration reader binds it by name as it binds the DLL, and a
// share can be given a TARVEX.CFG.
#pragma once

#include "locator/locator.h"
#include "locator/qv9reg.h"
#include "platform/memory/memory_machine.h"
#include "resources/string_tables.h"
#include "settings/suite_settings.h"

namespace qv::testing_connect {

extern "C" inline int QVAPI SuiteQvGetCfg(QVCHAR* configFile, QVCHAR* suiteIni, QVCHAR* tarvex, QVCHAR* server,
                                          QVCHAR* netBin, QVCHAR* shareRoot, unsigned char* serverMatch,
                                          unsigned char* reserved, QVCHAR* message, unsigned char noDialog,
                                          void* module) {
  auto c = [](QVCHAR* p) { return reinterpret_cast<char16_t*>(p); };
  return locator::QvGetCfg(c(configFile), c(suiteIni), c(tarvex), c(server), c(netBin), c(shareRoot), serverMatch,
                           reserved, c(message), noDialog, reinterpret_cast<platform::Handle>(module));
}

extern "C" inline int QVAPI SuiteQvRegVer(int version) { return locator::QvRegVer(version); }

// Registers the library and forgets what an earlier test's run left in the
// library's and the reader's process-wide state.
inline void InstallLocationLibrary(platform::MemoryMachine& m) {
  locator::ResetState();
  ResetSuiteSettingsForTests();
  std::map<std::uint32_t, String> texts;
  for (const resources::StringEntry& e : resources::LibraryTable()) texts.emplace(e.id, String(e.text));
  m.RegisterLibrary(u"QV9REG.DLL",
                    {{"QVGETCFG", reinterpret_cast<void*>(&SuiteQvGetCfg)},
                     {"QVREGVER", reinterpret_cast<void*>(&SuiteQvRegVer)}},
                    texts);
}

// A small but complete configuration file.
inline constexpr char kSmallConfig[] =
    "; Velmora configuration\r\n"
    "$macro_char @\r\n"
    "$request_dir REQUEST\r\n"
    "$var_def SITE \"Head office\"\r\n";

// \\SRV\NORVA prepared for a connection: TARVEX with QTCFG.INI naming the
// share and a configuration file, NETBIN, and no connection record yet.
inline void StageSuiteShare(platform::MemoryMachine& m) {
  m.AddRemoteShare(u"SRV", u"NORVA");
  m.MakeDirectories(u"\\\\SRV\\NORVA\\NETBIN");
  m.WriteTextFile(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI",
                  "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n");
  m.WriteTextFile(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", kSmallConfig);
  m.RemovePath(u"C:\\ProgramData\\Norva");
}

}  // namespace qv::testing_connect
