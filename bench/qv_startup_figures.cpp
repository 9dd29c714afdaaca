// What a cold start of a suite program costs on the file server: one
// QVGETCFG (QV9REG's real logic) and LoadSuiteSettings on the staged suite
// share \\SRV\NORVA, run on the in-memory machine, whose counters and
// simulated per-round-trip latency give the figures (counted, not slept).
//
// Beside it, the same settings read literally, one key at a time, as a
// program that asks GetPrivateProfileStringW for every key would read them
// (the profile reader keeps no cache for files on a share): every key of
// QVLINK.INI and QTCFG.INI and every directive keyword of TARVEX.CFG costs
// one open, one read and one close of its file. The steps that are no key
// reads (the QTCFG.INI open test, the existence test and last-write time of
// TARVEX.CFG, the trace-folder test, and the request volume query when our
// load made one) are made once, as a literal reader makes them. The literal reading is carried out
// on a machine staged the same way, so its figures are the machine's counts
// as well. The directive keywords are counted in the reader's sources
// (QV_SOURCE_DIR), the one list of them.
//
// Prints a Markdown table. Usage: qv_startup_figures [--trips]
//   --trips  also lists the round trips of our cold load, in order
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "settings/suite_settings.h"
#include "tests/connect/suite_machine.h"

#ifndef QV_SOURCE_DIR
#error "QV_SOURCE_DIR: the source folder, whose reader sources name the directive keywords"
#endif

using namespace qv;
using namespace qv::platform;

namespace {

constexpr std::uint64_t kLanMicros = 500;    // a round trip on a LAN
constexpr std::uint64_t kWanMicros = 30000;  // over a VPN or between sites

struct Figures {
  std::uint64_t networkOps = 0;
  std::uint64_t opens = 0;  // opens of files on the server
  std::uint64_t lanMicros = 0;
  std::uint64_t wanMicros = 0;
};

void Stage(MemoryMachine& m) {
  testing_connect::InstallLocationLibrary(m);
  testing_connect::StageSuiteShare(m);
  m.MakeDirectories(u"C:\\ProgramData\\Norva");
  m.WriteTextFile(u"C:\\ProgramData\\Norva\\NORVACONNECT.INI", "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n");
}

// The directive keywords the reader looks up: the distinct "$..." keyword
// texts of the directive table and the environment options (their sources
// are the one list of them). 0 when the sources cannot be read.
int DirectiveKeywords() {
  std::set<std::string> keywords;
  const std::regex keyword("u\"(\\$[a-z_0-9]+)\"");
  for (const char* file : {"/settings/directives.cpp", "/settings/environment_options.cpp"}) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator it(text.begin(), text.end(), keyword), end; it != end; ++it) keywords.insert((*it)[1]);
  }
  return static_cast<int>(keywords.size());
}

std::uint64_t ServerOpens(const MemoryMachine& m) {
  std::uint64_t n = 0;
  for (const MemoryMachine::NetworkOperation& op : m.NetworkOperations())
    if (op.op == "CreateFileW") ++n;
  return n;
}

// Runs `work` on a freshly staged machine with the given latency.
template <class Work>
void RunCold(std::uint64_t latency, Figures& f, Work&& work) {
  MemoryMachine m;
  ScopedPlatform use(m);
  Stage(m);
  m.ResetCounts();
  m.SetNetworkLatencyMicros(latency);
  work(m);
  (latency == kLanMicros ? f.lanMicros : f.wanMicros) = m.SimulatedNetworkMicros();
  f.networkOps = m.NetworkCount();
  f.opens = ServerOpens(m);
  ResetSuiteSettingsForTests();
}

bool OurLoad(MemoryMachine&) { return LoadSuiteSettings(true, true, true) == 0; }

// One key as GetPrivateProfileStringW reads it from a share: open (readers
// and writers shared), read the file, close. A missing file is one failed
// open.
void ReadOneKey(MemoryMachine& m, const String& path) {
  Handle file = 0;
  if (m.OpenFile(path, kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting, file) != kOk) return;
  Bytes bytes;
  m.ReadOpenFile(file, bytes);
  m.CloseHandle(file);
}

void LiteralReading(MemoryMachine& m, int directiveKeywords, bool volumeQuery) {
  const String root = u"\\\\SRV\\NORVA\\";
  const String tarvex = root + u"TARVEX\\";
  // QVLINK.INI: [NorvaAppData] UNCname and [NorvaNetBin] UNCname.
  for (int key = 0; key < 2; ++key) ReadOneKey(m, root + u"QVLINK.INI");
  // QTCFG.INI: the open test, then ExpectedUNCpath and ConfigurationFile.
  Handle file = 0;
  if (m.OpenFile(tarvex + u"QTCFG.INI", kGenericRead, kShareRead, Disposition::OpenExisting, file) == kOk)
    m.CloseHandle(file);
  for (int key = 0; key < 2; ++key) ReadOneKey(m, tarvex + u"QTCFG.INI");
  // TARVEX.CFG: its existence, its last-write time, then every directive.
  const String config = tarvex + u"TARVEX.CFG";
  std::uint32_t attributes = 0;
  m.GetFileAttributes(config, attributes);
  FileTime written = 0;
  m.FindFirstFileWriteTime(config, written);
  for (int keyword = 0; keyword < directiveKeywords; ++keyword) ReadOneKey(m, config);
  // The trace folder (the Tarvex folder) and the request volume.
  m.GetFileAttributes(tarvex, attributes);
  if (volumeQuery) {
    std::uint32_t flags = 0;
    String fileSystem;
    m.GetVolumeInformation(root, flags, fileSystem);
  }
}

std::string Ms(std::uint64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(micros) / 1000.0);
  return text;
}

std::string Ratio(std::uint64_t literal, std::uint64_t ours) {
  if (ours == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f x", static_cast<double>(literal) / static_cast<double>(ours));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const bool trips = argc > 1 && std::string(argv[1]) == "--trips";
  const int directiveKeywords = DirectiveKeywords();
  if (directiveKeywords == 0) {
    std::fprintf(stderr, "qv_startup_figures: no directive keywords found below %s\n", QV_SOURCE_DIR);
    return 1;
  }
  Figures ours, literal;
  bool ok = true, volumeQuery = false;
  for (std::uint64_t latency : {kLanMicros, kWanMicros}) {
    RunCold(latency, ours, [&](MemoryMachine& m) {
      ok = OurLoad(m) && ok;
      volumeQuery = m.Count("GetVolumeInformationW") > 0;
    });
    RunCold(latency, literal, [&](MemoryMachine& m) { LiteralReading(m, directiveKeywords, volumeQuery); });
  }
  if (!ok) {
    std::fprintf(stderr, "qv_startup_figures: the load failed\n");
    return 1;
  }

  std::printf("Cold QVGETCFG + LoadSuiteSettings on \\\\SRV\\NORVA (in-memory machine; the literal reading reads %d directive keywords)\n\n",
              directiveKeywords);
  std::printf("| per cold load | network operations | opens on the server | start-up at 0.5 ms per round trip "
              "| start-up at 30 ms per round trip |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  auto row = [](const char* name, const Figures& f) {
    std::printf("| %s | %llu | %llu | %s | %s |\n", name, static_cast<unsigned long long>(f.networkOps),
                static_cast<unsigned long long>(f.opens), Ms(f.lanMicros).c_str(), Ms(f.wanMicros).c_str());
  };
  row("ours", ours);
  row("literal per-key reading", literal);
  std::printf("| ratio (literal / ours) | %s | %s | %s | %s |\n", Ratio(literal.networkOps, ours.networkOps).c_str(),
              Ratio(literal.opens, ours.opens).c_str(), Ratio(literal.lanMicros, ours.lanMicros).c_str(),
              Ratio(literal.wanMicros, ours.wanMicros).c_str());
  if (trips) {
    std::printf("\nRound trips of our cold load:\n\n");
    RunCold(kLanMicros, ours, [&](MemoryMachine& m) {
      OurLoad(m);
      int n = 0;
      for (const MemoryMachine::NetworkOperation& op : m.NetworkOperations())
        std::printf("%d. %s %s\n", ++n, op.op.c_str(), ToUtf8(op.path).c_str());
    });
  }
  return 0;
}
