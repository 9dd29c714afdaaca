// The whole configuration load on the in-memory machine: a suite share
// \\SRV\NORVA located through the real QV9REG logic, with the input as
// TARVEX.CFG. The load ends with 0 or a negative code, leaves no file open,
// and loading the same file again gives the same record.
#include "fuzz/targets.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

extern "C" int Fuzz_suite_settings(const std::uint8_t* data, std::size_t size) {
  platform::MemoryMachine machine;
  platform::ScopedPlatform use(machine);
  ResetServiceIdentityForTests();
  ResetAncestorCacheForTests();
  std::map<std::uint32_t, String> strings;
  for (const auto& e : resources::ConnectTable()) strings[e.id] = String(e.text);
  machine.SetProgramStrings(strings);
  testing_connect::InstallLocationLibrary(machine);
  testing_connect::StageSuiteShare(machine);
  machine.WriteTextFile(u"C:\\ProgramData\\Norva\\NorvaConnect.INI", "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\r\n");
  machine.WriteBytes(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", Bytes(data, data + size));

  const std::int32_t first = LoadSuiteSettings(true, true, true);
  fuzz::Trace("result %d", static_cast<int>(first));
  FuzzCheck(first <= 0, "a load ends with 0 or a negative code");
  FuzzCheck(machine.OpenFileCount() == 0, "a load leaves no file open");
  std::vector<String> names, values;
  {
    std::shared_lock lock(SettingsLock());
    names = GetVarDefNames();
    values = GetVarDefValues();
    FuzzCheck(names.size() == values.size(), "every variable has one value");
  }
  const std::int32_t second = LoadSuiteSettings(true, true, true);
  FuzzCheck(second == first, "loading the same file again gives the same result");
  {
    std::shared_lock lock(SettingsLock());
    FuzzCheck(GetVarDefNames() == names && GetVarDefValues() == values, "loading again gives the same variables");
  }
  ResetSuiteSettingsForTests();
  locator::ResetState();
  return 0;
}
