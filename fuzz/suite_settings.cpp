// The whole configuration load on the in-memory machine: a suite share
// \\SRV\NORVA located through the real QV9REG logic, with the input as
// TARVEX.CFG. The load ends with 0 or a negative code, leaves no file open,
// and loading the same file again gives the same record (unless the file
// changed the macro characters its next load reads with).
#include "cmdfile/tfilebase.h"
#include "fuzz/reused_machine.h"
#include "fuzz/targets.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

constexpr char kNorvaConnectIni[] = "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\r\n";
constexpr char kQtCfgIni[] =
    "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n";

}  // namespace

extern "C" int Fuzz_suite_settings(const std::uint8_t* data, std::size_t size) {
  // The machine with the suite share and the location library is built
  // once; the files a load opens are written anew for every input, so that
  // an input that rewrites or truncates one spoils nothing.
  static fuzz::ReusedMachine fixture([](platform::MemoryMachine& m) {
    std::map<std::uint32_t, String> strings;
    for (const auto& e : resources::ConnectTable()) strings[e.id] = String(e.text);
    m.SetProgramStrings(strings);
    testing_connect::InstallLocationLibrary(m);
    testing_connect::StageSuiteShare(m);
    // One load of the staged file first: it sets the error mode every load
    // sets and creates the local folders every load needs, so that a load
    // of an input leaves the machine as it found it unless the input names
    // folders of its own.
    platform::ScopedPlatform use(m);
    ResetServiceIdentityForTests();
    ResetAncestorCacheForTests();
    m.WriteTextFile(u"C:\\ProgramData\\Norva\\NorvaConnect.INI", kNorvaConnectIni);
    LoadSuiteSettings(true, true, true);
    ResetSuiteSettingsForTests();
    locator::ResetState();
    m.RemovePath(u"C:\\ProgramData\\Norva");
  });
  platform::MemoryMachine& machine = fixture.Begin();
  platform::ScopedPlatform use(machine);
  ResetServiceIdentityForTests();
  ResetAncestorCacheForTests();
  fixture.WriteFile(u"C:\\ProgramData\\Norva\\NorvaConnect.INI", std::string_view(kNorvaConnectIni));
  fixture.WriteFile(u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI", std::string_view(kQtCfgIni));
  fixture.WriteFile(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", Bytes(data, data + size));
  for (const char16_t* absent : {u"\\\\SRV\\NORVA\\QVLINK.INI", u"\\\\SRV\\NORVA\\QTCFG.INI",
                                 u"C:\\ProgramData\\Norva\\Velmora.INI"})
    fixture.Absent(absent);

  const char16_t macro1 = TFileBase::MacroChar1(), macro2 = TFileBase::MacroChar2();
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
  // A file whose $macro_char line sets other macro characters is read with
  // them at its next load (they belong to the process, not to one load), so
  // a quoted word may end elsewhere then and the record differ: only a file
  // that leaves the characters as they were must read the same again.
  const bool sameMacroChars = TFileBase::MacroChar1() == macro1 && TFileBase::MacroChar2() == macro2;
  const std::int32_t second = LoadSuiteSettings(true, true, true);
  if (sameMacroChars) {
    FuzzCheck(second == first, "loading the same file again gives the same result");
    std::shared_lock lock(SettingsLock());
    FuzzCheck(GetVarDefNames() == names && GetVarDefValues() == values, "loading again gives the same variables");
  }
  ResetSuiteSettingsForTests();
  locator::ResetState();
  fixture.End();
  return 0;
}
