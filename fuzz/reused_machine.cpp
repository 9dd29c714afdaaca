#include "fuzz/reused_machine.h"

#include <map>
#include <string>

#include "fuzz/targets.h"

namespace qv::fuzz {
namespace {

// Operations after which the machine is no longer as set up.
const char* const kChangingOps[] = {
    "CreateDirectoryW", "RemoveDirectoryW",     "WriteFile",           "DeleteFileW",      "MoveFileExW",
    "RegCreateKeyExW",      "RegSetValueExW",      "RegDeleteValueW",  "SetEnvironmentVariableW",
    "SetFileSecurityW", "CreateProcessW",       "TerminateProcess",    "CreateFileMappingW", "ExitProcess",
    "MessageBoxW",      "ShowDialog",           "RegisterEventSourceW", "ReportEventW",    "SendMessageW",
    "SendMessageTimeoutW", "EndDialog",
};

std::uint64_t CountOf(const std::map<std::string, std::uint64_t>& counts, const char* op) {
  const auto it = counts.find(op);
  return it == counts.end() ? 0 : it->second;
}

}  // namespace

void ReusedMachine::Build() {
  machine_ = std::make_unique<platform::MemoryMachine>();
  setup_(*machine_);
  start_ = machine_->GetSystemTimeAsFileTime();
  errorMode_ = machine_->ErrorMode();
  uses_ = 0;
  ++builds_;
}

platform::MemoryMachine& ReusedMachine::Begin() {
  if (!machine_ || running_ || !reusable_ || uses_ >= maxUses_) Build();
  for (const String& path : inputFiles_) machine_->RemovePath(path);
  for (const String& folder : inputFolders_) machine_->RemovePath(folder);
  inputFolders_.clear();
  machine_->SetUtc(start_);
  machine_->ResetCounts();
  running_ = true;
  reusable_ = false;
  ++uses_;
  ++inputs_;
  return *machine_;
}

void ReusedMachine::NoteFolders(const String& path) {
  inputFiles_.insert(path);
  // The folders writing the file creates go again with it: the next input
  // finds the machine without them, as a new machine would be.
  for (std::size_t cut = path.find_last_of(u'\\'); cut != String::npos && cut > 2;
       cut = path.find_last_of(u'\\', cut - 1)) {
    const String folder = path.substr(0, cut);
    if (machine_->Exists(folder)) break;
    inputFolders_.insert(folder);
  }
}

void ReusedMachine::WriteFile(const String& path, std::string_view bytes) {
  NoteFolders(path);
  machine_->WriteTextFile(path, bytes);
}

void ReusedMachine::WriteFile(const String& path, const Bytes& bytes) {
  NoteFolders(path);
  machine_->WriteBytes(path, bytes);
}

void ReusedMachine::Absent(const String& path) {
  inputFiles_.insert(path);
  machine_->RemovePath(path);
}

bool ReusedMachine::LeftAsFound() {
  const std::map<std::string, std::uint64_t> counts = machine_->Counts();
  for (const char* op : kChangingOps) {
    if (CountOf(counts, op) != 0) {
      Trace("machine built anew: the input called %s", op);
      return false;
    }
  }
  // A temporary name only formed (unique number given) changes nothing; one
  // that created its file does.
  if (machine_->TempFilesCreated() != 0) {
    Trace("machine built anew: the input created a temporary file");
    return false;
  }
  // An open may create or truncate a file: harmless only for the input's
  // own files, which the next input sets anew.
  std::uint64_t inputOpens = 0;
  for (const String& path : inputFiles_) inputOpens += machine_->Count("CreateFileW", path);
  if (CountOf(counts, "CreateFileW") != inputOpens) {
    Trace("machine built anew: the input opened a file of the machine's own");
    return false;
  }
  if (CountOf(counts, "LoadLibraryW") != CountOf(counts, "FreeLibrary") || machine_->ErrorMode() != errorMode_ ||
      machine_->OpenFileCount() != 0 || machine_->OpenKeyCount() != 0 || machine_->OpenProcessHandleCount() != 0 ||
      machine_->OpenEventSourceCount() != 0) {
    Trace("machine built anew: a library, the error mode or a handle was left changed");
    return false;
  }
  return true;
}

void ReusedMachine::End() {
  running_ = false;
  reusable_ = LeftAsFound();
}

}  // namespace qv::fuzz
