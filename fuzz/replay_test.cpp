// Runs every fuzz target body over its seed corpus (fuzz/corpus/<target>)
// and over the inputs that once broke it (fuzz/regressions/<target>), so a
// fixed fault stays fixed in every build, not only in the fuzz preset.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "fuzz/targets.h"

namespace {

using Body = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Body>& Bodies() {
  static const std::map<std::string, Body> bodies = {
      {"tfilebase", &Fuzz_tfilebase},        {"includes", &Fuzz_includes}, {"suite_settings", &Fuzz_suite_settings},
      {"ini", &Fuzz_ini},                    {"message_markup", &Fuzz_message_markup},
      {"qvgetcfg", &Fuzz_qvgetcfg},          {"alerts", &Fuzz_alerts},
  };
  return bodies;
}

std::vector<std::string> Targets() {
  std::vector<std::string> names;
  std::stringstream list(QV_FUZZ_TARGET_LIST);
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  return names;
}

// Runs body over every file of folder; returns the number of files run.
int Replay(const std::string& target, const std::filesystem::path& folder) {
  if (!std::filesystem::is_directory(folder)) return 0;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
      Bodies().at(target)(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const qv::fuzz::FuzzFailure& e) {
      ADD_FAILURE() << entry.path() << ": " << e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << entry.path() << ": escaped exception " << e.what();
    }
    ++count;
  }
  return count;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { qv::fuzz::SetThrowOnFailure(true); }
  void TearDown() override { qv::fuzz::SetThrowOnFailure(false); }
};

TEST_P(FuzzReplay, SeedCorpusAndRegressionsKeepTheirProperties) {
  const std::filesystem::path root = QV_FUZZ_DIR;
  const int seeds = Replay(GetParam(), root / "corpus" / GetParam());
  Replay(GetParam(), root / "regressions" / GetParam());
  // A target without seeds would replay nothing and pass unnoticed.
  EXPECT_GT(seeds, 0) << "no seed inputs in fuzz/corpus/" << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(Targets()),
                         [](const auto& info) { return info.param; });

}  // namespace
