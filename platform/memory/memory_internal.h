// Internal records of the in-memory machine, shared by its source files.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory/memory_machine.h"

namespace qv::platform {

// A file or folder. Children are keyed by the upper-cased name, in the
// order of that name; a lookup by any spelling needs no upper-cased copy.
struct MemoryMachine::Node {
  String name;
  bool folder = false;
  Bytes data;
  std::uint32_t attributes = 0;
  FileTime lastWrite = 0;
  Dacl dacl;
  std::map<String, std::shared_ptr<Node>, NoCaseLess> children;
};

struct MemoryMachine::Volume {
  std::shared_ptr<Node> root;
  DriveType type = DriveType::Fixed;
  std::uint32_t fsFlags = kNtfsFlags;
  String fsName;
  int number = 0;
  std::uint32_t serial = 0;
  String label;
};

struct MemoryMachine::Drive {
  enum class Kind { Local, Mapped, Subst } kind = Kind::Local;
  std::shared_ptr<Volume> volume;  // Local
  String unc;                      // Mapped: \\SERVER\SHARE
  String target;                   // Subst: folder path
  std::uint64_t connectionId = 0;  // Mapped: shown in the device name
};

struct MemoryMachine::OwnShare {
  String name;
  String localPath;
  std::uint32_t type = kShareTypeDisk;
};

struct MemoryMachine::RemoteServer {
  String name;
  struct Share {
    String name;
    std::shared_ptr<Volume> volume;
    String pathOnServer;
  };
  std::map<String, Share, NoCaseLess> shares;  // upper name
};

// Where a path leads: a volume and the components below its root.
struct MemoryMachine::Location {
  std::uint32_t error = 0;
  std::shared_ptr<Volume> volume;
  std::vector<String> parts;
  bool network = false;
};

struct MemoryMachine::OpenFileRec {
  std::shared_ptr<Node> node;
  std::uint32_t access = 0;
  std::uint32_t share = 0;
  std::uint64_t position = 0;
  String subject;  // the path as opened, upper-cased
  bool network = false;
};

struct MemoryMachine::KeyNode {
  String name;
  std::map<String, std::unique_ptr<KeyNode>, NoCaseLess> subkeys;    // upper name
  std::map<String, std::pair<String, RegValue>, NoCaseLess> values;  // upper name -> (name, value)
};

struct MemoryMachine::SharedBlock {
  String name;
  std::vector<std::uint8_t> memory;
};

struct MemoryMachine::Library {
  String name;  // as registered
  std::map<std::string, void*> exports;
  std::map<std::uint32_t, String> strings;
  std::uint32_t refCount = 0;
  bool resident = false;  // the running module itself: usable without LoadLibrary
};

struct MemoryMachine::ProcessRecord {
  std::uint32_t pid = 0;
  std::uint64_t startMs = 0;
  std::int64_t endMs = -1;  // machine-clock millisecond at which it ends; -1 never
  std::uint32_t exitCode = 0;
  bool ignoresTerminate = false;
};

struct MemoryMachine::Window {
  Handle handle = 0;
  String className;
  String title;
  bool messageBox = false;
  std::size_t boxIndex = 0;  // into boxes_
  bool ended = false;
  int result = 0;
};

namespace memory_detail {
inline constexpr std::uint64_t kTicksPerMs = 10000;
bool IsUnc(StringView p);
bool IsDrivePath(StringView p);
String UpperKey(StringView s);
}  // namespace memory_detail

}  // namespace qv::platform
