// qvsettings: shows what a suite program on this machine sees of the suite
// configuration. It loads the settings record as every suite program does
// (QV9REG.DLL bound at run time, TARVEX.CFG read and interpreted) and
// prints the whole record as one JSON object on standard output.
//
//   qvsettings [--dialog] [--node NAME] [--machine-hive] [--allow-qv8reg]
//
//   --dialog        show the suite's error dialog on a failed load (the
//                   process then ends with exit code 1, as a suite program
//                   would); by default the load is quiet and the failure is
//                   in LastLoadError and LastLoadMessage
//   --node NAME     load as node NAME (NodeNameOverride1)
//   --machine-hive  read the node name from HKEY_LOCAL_MACHINE
//   --allow-qv8reg  let QV8REG.DLL stand in for QV9REG.DLL
//
// Exit code 0 after a good load, 1 otherwise (also for a bad command line).
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/text.h"
#include "settings/settings_json.h"
#include "settings/suite_settings.h"

namespace {

void Usage(const char* problem) {
  std::fprintf(stderr, "qvsettings: %s\n", problem);
  std::fprintf(stderr, "usage: qvsettings [--dialog] [--node NAME] [--machine-hive] [--allow-qv8reg]\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool quiet = true;
  qv::SuiteSettings& settings = qv::Settings();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dialog") {
      quiet = false;
    } else if (arg == "--node" && i + 1 < argc) {
      settings.NodeNameOverride1 = qv::FromUtf8(argv[++i]);
    } else if (arg == "--machine-hive") {
      settings.UseMachineHive = true;
    } else if (arg == "--allow-qv8reg") {
      settings.AllowPreviousLibrary = true;
    } else {
      Usage(("unknown argument: " + arg).c_str());
      return 1;
    }
  }

  const std::int32_t status = qv::LoadSuiteSettings(true, true, quiet);
  const std::string json = qv::SettingsToJson(qv::Settings());
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::fwrite(json.data(), 1, json.size(), stdout);
  std::fflush(stdout);
  return status == 0 ? 0 : 1;
}
