// An in-memory machine that a fuzz target builds once and reuses for the
// inputs that leave it as they found it. Building a machine and staging its
// folders, shares and libraries costs more than many inputs' whole run, while
// most inputs only read: the target writes its input files through the
// fixture before each input, and the fixture builds the machine anew after an
// input that changed anything else (a folder, a file it did not write, the
// registry, the environment, the error mode, a process, an open handle or
// library) and after a fixed number of inputs, so that records the machine
// keeps (message boxes, events, error-mode history) never pile up.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string_view>

#include "platform/memory/memory_machine.h"

namespace qv::fuzz {

class ReusedMachine {
 public:
  using Setup = void (*)(platform::MemoryMachine&);
  explicit ReusedMachine(Setup setup, std::uint32_t maxUses = 5000) : setup_(setup), maxUses_(maxUses) {}

  // The machine for the next input: as Setup left it, its clock and counts
  // back at their start, and none of the input files below (nor the folders
  // that writing them created).
  platform::MemoryMachine& Begin();
  // The input's files: every path an input writes, or names as absent, is
  // removed again before the next input, so the product may also create,
  // truncate or rewrite them without spoiling the next input.
  void WriteFile(const String& path, std::string_view bytes);
  void WriteFile(const String& path, const Bytes& bytes);
  void Absent(const String& path);
  // After the input's run (skipped when a check failed: Begin then builds
  // anew). Decides from the machine's counts whether it can serve the next
  // input.
  void End();

  // How many inputs ran and how many machines were built (QV_FUZZ_TRACE).
  std::uint64_t Inputs() const { return inputs_; }
  std::uint64_t Builds() const { return builds_; }

 private:
  void Build();
  bool LeftAsFound();
  void NoteFolders(const String& path);

  Setup setup_;
  std::uint32_t maxUses_;
  std::unique_ptr<platform::MemoryMachine> machine_;
  platform::FileTime start_ = 0;
  std::uint32_t errorMode_ = 0;
  std::uint32_t uses_ = 0;
  bool running_ = false;
  bool reusable_ = false;
  std::set<String> inputFiles_;    // every path an input wrote or named as absent
  std::set<String> inputFolders_;  // folders the last input's files created
  std::uint64_t inputs_ = 0, builds_ = 0;
};

}  // namespace qv::fuzz
