// Load cost against tokenizing cost for configuration files of 2,000 and
// 100,000 lines: the reference file of the reader's tests repeated, staged on
// the in-memory machine's \\SRV\NORVA share.
//
//   qv_load_figures                    the Markdown rows: CPU-time ratios and
//                                      lines examined per load
//   qv_load_figures --once MODE LINES  one run for an instruction counter
//                                      (valgrind --tool=callgrind): MODE is
//                                      "load" (a cold QVGETCFG and
//                                      LoadSuiteSettings), "tokenize" (the
//                                      file's bytes parsed into a line list)
//                                      or "none" (the same set-up, nothing
//                                      measured: the baseline to subtract)
//
// A load here is what every suite program does at start: locate the
// configuration through QV9REG's QVGETCFG, read TARVEX.CFG and interpret it.
// Tokenizing is the part of it that no reader can avoid: decoding the bytes
// and splitting every line into its tokens.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cmdfile/tfilebase.h"
#include "settings/config_reader.h"
#include "settings/suite_settings.h"
#include "tests/connect/suite_machine.h"

using namespace qv;
using namespace qv::platform;

namespace {

constexpr char16_t kConfigPath[] = u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";

// The reference file's lines, repeated until there are `lines` of them.
std::string MakeConfig(int lines) {
  std::ifstream in(QV_SOURCE_DIR "/tests/settings/fixtures/TARVEX.CFG", std::ios::binary);
  std::stringstream whole;
  whole << in.rdbuf();
  std::vector<std::string> source;
  std::string line;
  for (char c : whole.str()) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      source.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) source.push_back(line);
  if (source.empty()) {
    std::fprintf(stderr, "qv_load_figures: cannot read the reference TARVEX.CFG\n");
    std::exit(2);
  }
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += source[static_cast<std::size_t>(i) % source.size()];
    text += "\r\n";
  }
  return text;
}

// The suite share with a configuration file of the given text.
struct Stage {
  MemoryMachine machine;
  ScopedPlatform use{machine};
  std::string text;
  Bytes bytes;

  explicit Stage(int lines) : text(MakeConfig(lines)), bytes(text.begin(), text.end()) {
    testing_connect::InstallLocationLibrary(machine);
    testing_connect::StageSuiteShare(machine);
    machine.WriteTextFile(kConfigPath, text);
    machine.MakeDirectories(u"C:\\ProgramData\\Norva");
    machine.WriteTextFile(u"C:\\ProgramData\\Norva\\NORVACONNECT.INI",
                          "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n");
  }

  // A cold locate and load: the library's and the reader's state forgotten.
  void Load() {
    locator::ResetState();
    ResetSuiteSettingsForTests();
    if (LoadSuiteSettings(true, true, true) != 0) {
      std::fprintf(stderr, "qv_load_figures: the load failed\n");
      std::exit(1);
    }
  }

  int Tokenize() const {
    TFileBase list;
    list.SetDiscardcomments(true);  // as the reader reads the file
    if (list.LoadFromBytes(bytes) != 0) std::exit(1);
    return list.Count();
  }

  // The reader's own steps on the same file, for the lines its lookups
  // examine (the load keeps its line list to itself).
  std::uint64_t LinesExamined() {
    locator::ResetState();
    ResetSuiteSettingsForTests();
    if (LoadSuiteSettings(true, true, true) != 0) std::exit(1);
    SuiteSettings s;
    s.ConfigFile = kConfigPath;
    TFileBase list;
    {
      settings::ExclusiveLoad lock;
      if (!settings::ReadConfigFile(s, list)) std::exit(1);
      settings::ConfigLines lines(list);
      settings::InterpretDirectives(s, lines);
    }
    return list.LookupLinesExamined();
  }
};

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The fastest of several timed batches: the least disturbed by the machine.
template <typename F>
double SecondsPerRun(F&& run, int perBatch) {
  double best = 1e30;
  for (int batch = 0; batch < 7; ++batch) {
    const double start = CpuSeconds();
    for (int i = 0; i < perBatch; ++i) run();
    best = std::min(best, (CpuSeconds() - start) / perBatch);
  }
  return best;
}

int Figures() {
  std::printf("| lines | load (ms CPU) | tokenize (ms CPU) | load / tokenize | lines examined per load |\n");
  std::printf("|---:|---:|---:|---:|---:|\n");
  for (int lines : {2000, 100000}) {
    Stage stage(lines);
    const int perBatch = lines >= 100000 ? 2 : 40;
    const double load = SecondsPerRun([&] { stage.Load(); }, perBatch);
    volatile int sink = 0;
    const double tokenize = SecondsPerRun([&] { sink = stage.Tokenize(); }, perBatch);
    std::printf("| %d | %.3f | %.3f | %.2f | %llu |\n", lines, load * 1e3, tokenize * 1e3, load / tokenize,
                static_cast<unsigned long long>(stage.LinesExamined()));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return Figures();
  if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
    const int lines = std::atoi(argv[3]);
    if (lines <= 0) return 2;
    Stage stage(lines);
    if (std::strcmp(argv[2], "load") == 0)
      stage.Load();
    else if (std::strcmp(argv[2], "tokenize") == 0)
      stage.Tokenize();
    else if (std::strcmp(argv[2], "none") != 0)
      return 2;
    return 0;
  }
  std::fprintf(stderr, "usage: qv_load_figures [--once load|tokenize|none LINES]\n");
  return 2;
}
