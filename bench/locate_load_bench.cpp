// A whole locate and load of the suite configuration, as every suite
// program does it at start: QV9REG's QVGETCFG finds the share through
// NORVACONNECT.INI, QVLINK.INI and QTCFG.INI, and the reader loads
// TARVEX.CFG. On the in-memory machine the figures that matter are the
// file-server round trips (operations on \\SERVER\SHARE paths) per load.
#include <benchmark/benchmark.h>

#include "settings/suite_settings.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using namespace qv::platform;

namespace {

void BM_LocateAndLoad(benchmark::State& state) {
  MemoryMachine m;
  ScopedPlatform use(m);
  testing_connect::InstallLocationLibrary(m);
  testing_connect::StageSuiteShare(m);
  m.MakeDirectories(u"C:\\ProgramData\\Norva");
  m.WriteTextFile(u"C:\\ProgramData\\Norva\\NORVACONNECT.INI", "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n");
  m.ResetCounts();
  std::uint64_t loads = 0;
  for (auto _ : state) {
    if (LoadSuiteSettings(true, true, true) != 0) {
      state.SkipWithError("the load failed");
      break;
    }
    ++loads;
  }
  if (loads > 0) {
    state.counters["network_ops_per_load"] = static_cast<double>(m.NetworkCount()) / loads;
    state.counters["opens_per_load"] = static_cast<double>(m.Count("CreateFileW")) / loads;
    state.counters["all_ops_per_load"] = static_cast<double>(m.TotalCount()) / loads;
  }
  ResetSuiteSettingsForTests();
}
BENCHMARK(BM_LocateAndLoad);

}  // namespace
