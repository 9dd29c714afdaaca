// Files, folders, drives, shares and network names of the in-memory machine.
#include <algorithm>

#include "platform/memory/memory_internal.h"

namespace qv::platform {

using namespace memory_detail;

namespace memory_detail {

bool IsUnc(StringView p) { return p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\'; }

bool IsDrivePath(StringView p) {
  return p.size() >= 2 && p[1] == u':' && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
}

String UpperKey(StringView s) { return Upper(s); }

}  // namespace memory_detail

namespace {

constexpr std::uint32_t kAccessReadBits = kGenericRead | 0x10000000u | 0x1u;
constexpr std::uint32_t kAccessWriteBits = kGenericWrite | 0x10000000u | 0x2u | 0x4u;
constexpr std::uint32_t kAccessDelete = 0x10000u;
constexpr std::uint32_t kAttrArchive = 0x20;

std::vector<String> SplitPath(StringView rest) {
  std::vector<String> parts;
  std::size_t i = 0;
  while (i <= rest.size()) {
    std::size_t j = rest.find(u'\\', i);
    if (j == StringView::npos) j = rest.size();
    if (j > i) parts.emplace_back(rest.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

String Join(const std::vector<String>& parts, std::size_t from = 0) {
  String out;
  for (std::size_t i = from; i < parts.size(); ++i) {
    if (i > from) out += u'\\';
    out += parts[i];
  }
  return out;
}

// Splits a full path into its root ("C:" or "\\SERVER\SHARE") and the parts below it.
void SplitRoot(const String& full, String& root, std::vector<String>& parts) {
  parts.clear();
  if (IsUnc(full)) {
    std::size_t s1 = full.find(u'\\', 2);
    if (s1 == String::npos) {
      root = full;
      return;
    }
    std::size_t s2 = full.find(u'\\', s1 + 1);
    if (s2 == String::npos) {
      root = full;
      return;
    }
    root = full.substr(0, s2);
    parts = SplitPath(StringView(full).substr(s2 + 1));
  } else {
    root = full.substr(0, 2);
    parts = SplitPath(StringView(full).substr(std::min<std::size_t>(full.size(), 3)));
  }
}

// Wildcard match of '*' and '?' on upper-cased texts.
bool WildMatch(StringView pat, StringView name) {
  std::size_t p = 0, n = 0, starP = StringView::npos, starN = 0;
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == u'?' || pat[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pat.size() && pat[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != StringView::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == u'*') ++p;
  return p == pat.size();
}

bool HasWildcards(StringView s) { return s.find_first_of(u"*?") != StringView::npos; }

String Hex(std::uint64_t v, int width) {
  static const char* digits = "0123456789abcdef";
  String r;
  for (int i = width - 1; i >= 0; --i) r.push_back(static_cast<char16_t>(digits[(v >> (i * 4)) & 0xF]));
  return r;
}

// The shell-link record as stored in a .lnk file of the machine.
constexpr std::string_view kLinkMagic = "QV-MEMORY-SHELL-LINK 1\r\n";

std::string EscapeLine(const String& s) {
  std::string out;
  for (char c : ToUtf8(s)) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

bool UnescapeLine(std::string_view line, String& out) {
  std::string raw;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\\') {
      raw += line[i];
      continue;
    }
    if (++i >= line.size()) return false;
    switch (line[i]) {
      case '\\': raw += '\\'; break;
      case 'r': raw += '\r'; break;
      case 'n': raw += '\n'; break;
      default: return false;
    }
  }
  out = FromUtf8(raw);
  return true;
}

Bytes EncodeLink(const ShellLink& link) {
  std::string text(kLinkMagic);
  for (const String* f : {&link.target, &link.arguments, &link.workingDirectory, &link.description, &link.iconPath})
    text += EscapeLine(*f) + "\r\n";
  text += std::to_string(link.iconIndex) + "\r\n";
  text += std::to_string(link.showCommand) + "\r\n";
  text += std::to_string(link.hotKey) + "\r\n";
  return Bytes(text.begin(), text.end());
}

bool DecodeLink(const Bytes& data, ShellLink& link) {
  std::string text(data.begin(), data.end());
  if (text.compare(0, kLinkMagic.size(), kLinkMagic) != 0) return false;
  std::vector<std::string> lines;
  std::size_t i = kLinkMagic.size();
  while (i < text.size()) {
    std::size_t j = text.find("\r\n", i);
    if (j == std::string::npos) return false;
    lines.push_back(text.substr(i, j - i));
    i = j + 2;
  }
  if (lines.size() != 8) return false;
  String* fields[] = {&link.target, &link.arguments, &link.workingDirectory, &link.description, &link.iconPath};
  for (int k = 0; k < 5; ++k)
    if (!UnescapeLine(lines[k], *fields[k])) return false;
  try {
    int* numbers[] = {&link.iconIndex, &link.showCommand};
    for (int k = 0; k < 2; ++k) {
      std::size_t used = 0;
      *numbers[k] = std::stoi(lines[5 + k], &used);
      if (used != lines[5 + k].size()) return false;
    }
    std::size_t used = 0;
    const unsigned long hotKey = std::stoul(lines[7], &used);
    if (used != lines[7].size() || hotKey > 0xFFFF) return false;
    link.hotKey = static_cast<std::uint16_t>(hotKey);
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------------ paths

std::uint32_t MemoryMachine::FullPath(const String& path, String& full) const {
  full.clear();
  if (path.empty()) return kErrInvalidName;
  // Most paths come absolute, with backslashes: they are read in place.
  String slashed;
  StringView p = path;
  if (p.find(u'/') != StringView::npos) {
    slashed = path;
    std::replace(slashed.begin(), slashed.end(), u'/', u'\\');
    p = slashed;
  }
  if (p.find(u'\0') != StringView::npos) return kErrInvalidName;

  StringView root;
  StringView rest;
  if (IsUnc(p)) {
    std::size_t s1 = p.find(u'\\', 2);
    if (s1 == StringView::npos) {
      full = p;
      return kOk;
    }
    std::size_t s2 = p.find(u'\\', s1 + 1);
    root = p.substr(0, s2 == StringView::npos ? p.size() : s2);
    rest = s2 == StringView::npos ? StringView() : p.substr(s2 + 1);
  } else if (IsDrivePath(p)) {
    if (p.size() >= 3 && p[2] == u'\\') {
      root = p.substr(0, 2);
      rest = p.substr(3);
    } else {
      // "X:" or "X:name": relative to the current directory when it is on
      // that drive, otherwise to the drive's root.
      const bool onDrive = IsDrivePath(currentDirectory_) && AsciiUpper(currentDirectory_[0]) == AsciiUpper(p[0]);
      String base = onDrive ? currentDirectory_ : String(p.substr(0, 2)) + u"\\";
      return FullPath(p.size() == 2 ? base : WithTrailingBackslash(base) + String(p.substr(2)), full);
    }
  } else if (p[0] == u'\\') {
    String cwdRoot;
    std::vector<String> ignored;
    SplitRoot(currentDirectory_, cwdRoot, ignored);
    return FullPath(cwdRoot + String(p), full);
  } else {
    return FullPath(WithTrailingBackslash(currentDirectory_) + String(p), full);
  }

  // The root, then each component with a backslash before it: empty ones
  // and "." are dropped, ".." takes the one before it away (never the root).
  full.reserve(p.size() + 1);
  full.assign(root);
  const std::size_t rootSize = full.size();
  for (std::size_t i = 0; i <= rest.size();) {
    std::size_t j = rest.find(u'\\', i);
    if (j == StringView::npos) j = rest.size();
    const StringView part = rest.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (full.size() > rootSize) full.resize(full.rfind(u'\\'));
      continue;
    }
    full += u'\\';
    full += part;
  }
  const bool hasParts = full.size() > rootSize;
  const bool trailing = p.back() == u'\\';
  if (IsUnc(root)) {
    if (trailing) full += u'\\';
  } else if (!hasParts || trailing) {
    full += u'\\';
  }
  return kOk;
}

MemoryMachine::Location MemoryMachine::Locate(const String& path, int depth) const {
  Location loc;
  if (depth > 8) {
    loc.error = kErrPathNotFound;
    return loc;
  }
  String full;
  if ((loc.error = FullPath(path, full)) != kOk) return loc;
  String root;
  std::vector<String> parts;
  SplitRoot(full, root, parts);

  if (IsUnc(root)) {
    loc.network = true;
    std::size_t s1 = root.find(u'\\', 2);
    if (s1 == String::npos || s1 == 2 || s1 + 1 >= root.size()) {
      loc.error = kErrBadPathname;
      return loc;
    }
    const StringView server = StringView(root).substr(2, s1 - 2);
    const StringView share = StringView(root).substr(s1 + 1);
    if (EqualsNoCase(server, computerName_) || EqualsNoCase(server, u"LOCALHOST") || server == u"127.0.0.1") {
      for (const auto& s : shares_) {
        if (!EqualsNoCase(s->name, share)) continue;
        Location sub = Locate(WithTrailingBackslash(s->localPath) + Join(parts), depth + 1);
        sub.network = true;
        return sub;
      }
      loc.error = kErrBadNetName;
      return loc;
    }
    auto it = servers_.find(server);
    if (it == servers_.end()) {
      loc.error = kErrBadNetPath;
      return loc;
    }
    auto sh = it->second->shares.find(share);
    if (sh == it->second->shares.end()) {
      loc.error = kErrBadNetName;
      return loc;
    }
    loc.volume = sh->second.volume;
    loc.parts = std::move(parts);
    return loc;
  }

  auto d = drives_.find(AsciiUpper(root[0]));
  if (d == drives_.end()) {
    loc.error = kErrPathNotFound;
    return loc;
  }
  const Drive& drive = *d->second;
  switch (drive.kind) {
    case Drive::Kind::Local:
      loc.volume = drive.volume;
      loc.parts = std::move(parts);
      return loc;
    case Drive::Kind::Mapped: {
      Location sub = Locate(drive.unc + u'\\' + Join(parts), depth + 1);
      sub.network = true;
      return sub;
    }
    case Drive::Kind::Subst:
      return Locate(WithTrailingBackslash(drive.target) + Join(parts), depth + 1);
  }
  loc.error = kErrPathNotFound;
  return loc;
}

std::shared_ptr<MemoryMachine::Node> MemoryMachine::Lookup(const Location& loc, std::uint32_t& error) const {
  error = loc.error;
  if (error != kOk) return nullptr;
  std::shared_ptr<Node> node = loc.volume->root;
  for (std::size_t i = 0; i < loc.parts.size(); ++i) {
    if (!node->folder) {
      error = kErrPathNotFound;
      return nullptr;
    }
    auto it = node->children.find(loc.parts[i]);
    if (it == node->children.end()) {
      error = i + 1 == loc.parts.size() ? kErrFileNotFound : kErrPathNotFound;
      return nullptr;
    }
    node = it->second;
  }
  return node;
}

std::shared_ptr<MemoryMachine::Node> MemoryMachine::LookupParent(const Location& loc, std::uint32_t& error) const {
  error = loc.error;
  if (error != kOk) return nullptr;
  if (loc.parts.empty()) {
    error = kErrAccessDenied;  // the root itself has no parent
    return nullptr;
  }
  Location parent = loc;
  parent.parts.pop_back();
  std::shared_ptr<Node> node = Lookup(parent, error);
  if (!node || !node->folder) {
    error = kErrPathNotFound;
    return nullptr;
  }
  return node;
}

std::shared_ptr<MemoryMachine::Node> MemoryMachine::NewNode(const String& name, bool folder) {
  auto node = std::make_shared<Node>();
  node->name = name;
  node->folder = folder;
  node->attributes = folder ? 0 : kAttrArchive;
  node->lastWrite = Now();
  node->dacl = DefaultDacl(folder);
  return node;
}

std::shared_ptr<MemoryMachine::Volume> MemoryMachine::MakeVolume(DriveType type, std::uint32_t fsFlags,
                                                                 const String& fsName) {
  auto v = std::make_shared<Volume>();
  v->root = NewNode(u"", true);
  v->type = type;
  v->fsFlags = fsFlags;
  v->fsName = fsName;
  v->number = nextVolumeNumber_++;
  v->serial = nextVolumeSerial_;
  nextVolumeSerial_ += 0x01010101;
  return v;
}

Dacl MemoryMachine::DefaultDacl(bool folder) const {
  const std::uint8_t inherit =
      static_cast<std::uint8_t>(kAceInherited | (folder ? (kAceObjectInherit | kAceContainerInherit) : 0));
  Dacl d;
  d.present = true;
  d.entries = {
      Ace{kAceAllowed, inherit, 0x001F01FF, u"S-1-5-18"},       // SYSTEM: full control
      Ace{kAceAllowed, inherit, 0x001F01FF, u"S-1-5-32-544"},   // Administrators: full control
      Ace{kAceAllowed, inherit, 0x001200A9, u"S-1-5-32-545"},   // Users: read and execute
      Ace{kAceAllowed, inherit, 0x001301BF, u"S-1-5-11"},       // Authenticated Users: modify
  };
  return d;
}

bool MemoryMachine::SharingConflict(const Node* node, std::uint32_t access, std::uint32_t share) const {
  // Opens without data access (attributes only) take no part in sharing.
  const bool read = access & kAccessReadBits, write = access & kAccessWriteBits, del = access & kAccessDelete;
  if (!read && !write && !del) return false;
  for (const auto& [h, f] : files_) {
    if (f->node.get() != node) continue;
    const bool eRead = f->access & kAccessReadBits, eWrite = f->access & kAccessWriteBits,
               eDel = f->access & kAccessDelete;
    if (!eRead && !eWrite && !eDel) continue;
    if ((read && !(f->share & kShareRead)) || (write && !(f->share & kShareWrite)) ||
        (del && !(f->share & kShareDelete)) || (eRead && !(share & kShareRead)) ||
        (eWrite && !(share & kShareWrite)) || (eDel && !(share & kShareDelete)))
      return true;
  }
  return false;
}

bool MemoryMachine::OpenWithoutShareDelete(const Node* node) const {
  for (const auto& [h, f] : files_)
    if (f->node.get() == node && !(f->share & kShareDelete) &&
        (f->access & (kAccessReadBits | kAccessWriteBits | kAccessDelete)))
      return true;
  return false;
}

void MemoryMachine::NoteNetwork(bool network, const char* op, StringView path) {
  if (!network) return;
  ++network_;
  simulatedNetworkMicros_ += networkLatencyMicros_;
  if (networkOps_.size() < kMaxRecordedNetworkOperations) networkOps_.push_back({op, Upper(path)});
}

// ------------------------------------------------------------------ files

std::uint32_t MemoryMachine::GetFileAttributes(const String& path, std::uint32_t& attributes) {
  std::lock_guard lk(mu_);
  attributes = kInvalidAttributes;
  if (auto e = Enter("GetFileAttributesW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "GetFileAttributesW", path);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return err;
  if (node->folder)
    attributes = kAttrDirectory | node->attributes;
  else
    attributes = node->attributes ? node->attributes : kAttrNormal;
  return kOk;
}

std::uint32_t MemoryMachine::CreateDirectory(const String& path) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("CreateDirectoryW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "CreateDirectoryW", path);
  if (loc.error) return loc.error;
  if (loc.parts.empty()) return kErrAlreadyExists;
  std::uint32_t err;
  auto parent = LookupParent(loc, err);
  if (!parent) return err;
  const String key = UpperKey(loc.parts.back());
  if (parent->children.count(key)) return kErrAlreadyExists;
  if (loc.volume->type == DriveType::CdRom) return kErrWriteProtect;
  parent->children[key] = NewNode(loc.parts.back(), true);
  return kOk;
}

std::uint32_t MemoryMachine::RemoveDirectory(const String& path) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("RemoveDirectoryW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "RemoveDirectoryW", path);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return err;
  if (loc.parts.empty()) return kErrAccessDenied;
  if (!node->folder) return kErrDirectory;
  if (!node->children.empty()) return kErrDirNotEmpty;
  if (loc.volume->type == DriveType::CdRom) return kErrWriteProtect;
  auto parent = LookupParent(loc, err);
  parent->children.erase(UpperKey(loc.parts.back()));
  return kOk;
}

std::uint32_t MemoryMachine::OpenFile(const String& path, std::uint32_t access, std::uint32_t share,
                                      Disposition disposition, Handle& file) {
  std::lock_guard lk(mu_);
  file = 0;
  if (auto e = Enter("CreateFileW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "CreateFileW", path);
  std::uint32_t err;
  if (loc.error) return loc.error;
  if (loc.parts.empty()) return kErrAccessDenied;  // a volume root is a folder
  auto parent = LookupParent(loc, err);
  if (!parent) return err;
  const String key = UpperKey(loc.parts.back());
  auto it = parent->children.find(key);
  std::shared_ptr<Node> node = it == parent->children.end() ? nullptr : it->second;
  const bool wantWrite = access & kAccessWriteBits;
  const bool readOnlyVolume = loc.volume->type == DriveType::CdRom;

  if (node && node->folder) return kErrAccessDenied;
  bool create = false, truncate = false;
  switch (disposition) {
    case Disposition::CreateNew:
      if (node) return kErrFileExists;
      create = true;
      break;
    case Disposition::CreateAlways:
      if (node) {
        truncate = true;
      } else {
        create = true;
      }
      break;
    case Disposition::OpenExisting:
      if (!node) return kErrFileNotFound;
      break;
    case Disposition::OpenAlways:
      if (!node) create = true;
      break;
    case Disposition::TruncateExisting:
      if (!node) return kErrFileNotFound;
      if (!wantWrite) return kErrInvalidParameter;
      truncate = true;
      break;
    default:
      return kErrInvalidParameter;
  }
  if (node) {
    if ((node->attributes & kAttrReadOnly) && (wantWrite || truncate)) return kErrAccessDenied;
    if (SharingConflict(node.get(), access, share)) return kErrSharingViolation;
    if ((wantWrite || truncate) && readOnlyVolume) return kErrWriteProtect;
    if (truncate) {
      node->data.clear();
      node->lastWrite = Now();
    }
  } else if (create) {
    if (readOnlyVolume) return kErrWriteProtect;
    node = NewNode(loc.parts.back(), false);
    parent->children[key] = node;
  }
  auto rec = std::make_unique<OpenFileRec>();
  rec->node = node;
  rec->access = access;
  rec->share = share;
  rec->subject = UpperKey(path);
  rec->network = loc.network;
  file = NewHandle();
  files_[file] = std::move(rec);
  return kOk;
}

std::uint32_t MemoryMachine::ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t& read) {
  std::lock_guard lk(mu_);
  read = 0;
  auto it = files_.find(file);
  if (it == files_.end()) {
    Enter("ReadFile");
    return kErrInvalidHandle;
  }
  OpenFileRec& f = *it->second;
  if (auto e = Enter("ReadFile", {f.subject})) return *e;
  NoteNetwork(f.network, "ReadFile", f.subject);
  if (!(f.access & kAccessReadBits)) return kErrAccessDenied;
  if (size > 0 && buffer == nullptr) return kErrInvalidParameter;
  const Bytes& data = f.node->data;
  if (f.position < data.size()) {
    const std::uint64_t n = std::min<std::uint64_t>(size, data.size() - f.position);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(f.position), n, static_cast<std::uint8_t*>(buffer));
    f.position += n;
    read = static_cast<std::uint32_t>(n);
  }
  return kOk;
}

std::uint32_t MemoryMachine::WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t& written) {
  std::lock_guard lk(mu_);
  written = 0;
  auto it = files_.find(file);
  if (it == files_.end()) {
    Enter("WriteFile");
    return kErrInvalidHandle;
  }
  OpenFileRec& f = *it->second;
  if (auto e = Enter("WriteFile", {f.subject})) return *e;
  NoteNetwork(f.network, "WriteFile", f.subject);
  if (!(f.access & kAccessWriteBits)) return kErrAccessDenied;
  if (size > 0 && data == nullptr) return kErrInvalidParameter;
  Bytes& content = f.node->data;
  const std::uint64_t end = f.position + size;
  if (content.size() < end) content.resize(static_cast<std::size_t>(end), 0);
  const auto* src = static_cast<const std::uint8_t*>(data);
  std::copy(src, src + size, content.begin() + static_cast<std::ptrdiff_t>(f.position));
  f.position = end;
  f.node->lastWrite = Now();
  written = size;
  return kOk;
}

std::uint32_t MemoryMachine::SeekToEnd(Handle file, std::uint64_t& newPosition) {
  std::lock_guard lk(mu_);
  newPosition = 0;
  auto it = files_.find(file);
  if (it == files_.end()) {
    Enter("SetFilePointerEx");
    return kErrInvalidHandle;
  }
  if (auto e = Enter("SetFilePointerEx", {it->second->subject})) return *e;
  it->second->position = it->second->node->data.size();
  newPosition = it->second->position;
  return kOk;
}

std::uint32_t MemoryMachine::GetFileSize(Handle file, std::uint64_t& size) {
  std::lock_guard lk(mu_);
  size = 0;
  auto it = files_.find(file);
  if (it == files_.end()) {
    Enter("GetFileSizeEx");
    return kErrInvalidHandle;
  }
  if (auto e = Enter("GetFileSizeEx", {it->second->subject})) return *e;
  size = it->second->node->data.size();
  return kOk;
}

std::uint32_t MemoryMachine::GetFileWriteTimeOf(Handle file, FileTime& lastWrite) {
  std::lock_guard lk(mu_);
  lastWrite = 0;
  auto it = files_.find(file);
  if (it == files_.end()) {
    Enter("GetFileTime");
    return kErrInvalidHandle;
  }
  if (auto e = Enter("GetFileTime", {it->second->subject})) return *e;
  lastWrite = it->second->node->lastWrite;
  return kOk;
}

std::uint32_t MemoryMachine::DeleteFile(const String& path) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("DeleteFileW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "DeleteFileW", path);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return err;
  if (node->folder) return kErrAccessDenied;
  if (node->attributes & kAttrReadOnly) return kErrAccessDenied;
  if (OpenWithoutShareDelete(node.get())) return kErrSharingViolation;
  if (loc.volume->type == DriveType::CdRom) return kErrWriteProtect;
  LookupParent(loc, err)->children.erase(UpperKey(loc.parts.back()));
  return kOk;
}

std::uint32_t MemoryMachine::ReplaceFileWith(const String& from, const String& to) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("MoveFileExW", {from, to})) return *e;
  Location src = Locate(from);
  Location dst = Locate(to);
  NoteNetwork(src.network || dst.network, "MoveFileExW", from);
  std::uint32_t err;
  auto node = Lookup(src, err);
  if (!node) return err;
  if (src.parts.empty()) return kErrAccessDenied;
  if (dst.error) return dst.error;
  auto dstParent = LookupParent(dst, err);
  if (!dstParent) return err;
  if (src.volume != dst.volume) return kErrNotSameDevice;
  if (src.volume->type == DriveType::CdRom) return kErrWriteProtect;
  const String dstKey = UpperKey(dst.parts.back());
  auto existing = dstParent->children.find(dstKey);
  if (existing != dstParent->children.end() && existing->second == node) {
    node->name = dst.parts.back();  // same file: a change of letter case at most
    return kOk;
  }
  if (node->folder) {
    // A folder cannot move below itself.
    bool inside = dst.parts.size() > src.parts.size();
    for (std::size_t i = 0; inside && i < src.parts.size(); ++i)
      inside = UpperKey(src.parts[i]) == UpperKey(dst.parts[i]);
    if (inside) return kErrSharingViolation;
  }
  if (OpenWithoutShareDelete(node.get())) return kErrSharingViolation;
  if (existing != dstParent->children.end()) {
    const Node& target = *existing->second;
    if (target.folder || (target.attributes & kAttrReadOnly)) return kErrAccessDenied;
    for (const auto& [h, f] : files_)
      if (f->node.get() == &target) return kErrAccessDenied;  // a file in use cannot be replaced
  }
  LookupParent(src, err)->children.erase(UpperKey(src.parts.back()));
  node->name = dst.parts.back();
  dstParent->children[dstKey] = node;
  return kOk;
}

std::uint32_t MemoryMachine::GetTempFileName(const String& folder, const String& prefix, String& path,
                                             std::uint32_t uniqueNumber) {
  std::lock_guard lk(mu_);
  path.clear();
  if (auto e = Enter("GetTempFileNameW", {folder})) return *e;
  if (uniqueNumber != 0) {
    // The name is only formed: the folder must exist, nothing is created
    // and nothing is tested for writing.
    Location loc = Locate(folder);
    NoteNetwork(loc.network, "GetTempFileNameW", folder);
    std::uint32_t err;
    auto dir = Lookup(loc, err);
    if (!dir || !dir->folder) return kErrDirectory;
    String hex = Hex(uniqueNumber, 8);
    while (hex.size() > 1 && hex[0] == u'0') hex.erase(0, 1);
    const String name = WithTrailingBackslash(folder) + prefix.substr(0, std::min<std::size_t>(prefix.size(), 3)) +
                        Upper(hex) + u".tmp";
    if (name.size() >= 260) return 111;  // ERROR_BUFFER_OVERFLOW
    path = name;
    return kOk;
  }
  Location loc = Locate(folder);
  NoteNetwork(loc.network, "GetTempFileNameW", folder);
  std::uint32_t err;
  auto dir = Lookup(loc, err);
  if (!dir || !dir->folder) return kErrDirectory;
  if (loc.volume->type == DriveType::CdRom) return kErrWriteProtect;
  const String pre = prefix.substr(0, std::min<std::size_t>(prefix.size(), 3));
  std::uint32_t unique = static_cast<std::uint32_t>((NowMs() + tempCounter_++) & 0xFFFF);
  for (int tries = 0; tries < 0x10000; ++tries, unique = (unique + 1) & 0xFFFF) {
    if (unique == 0) continue;
    String hex = Hex(unique, 4);
    while (hex.size() > 1 && hex[0] == u'0') hex.erase(0, 1);
    const String name = pre + Upper(hex) + u".tmp";
    const String key = UpperKey(name);
    if (dir->children.count(key)) continue;
    dir->children[key] = NewNode(name, false);
    ++tempFilesCreated_;
    path = WithTrailingBackslash(folder) + name;
    return kOk;
  }
  return kErrFileExists;
}

std::uint32_t MemoryMachine::GetFullPathName(const String& path, String& full) {
  std::lock_guard lk(mu_);
  full.clear();
  if (auto e = Enter("GetFullPathNameW", {path})) return *e;
  return FullPath(path, full);
}

std::uint32_t MemoryMachine::FindFirstFileWriteTime(const String& pattern, FileTime& lastWrite) {
  std::lock_guard lk(mu_);
  lastWrite = 0;
  if (auto e = Enter("FindFirstFileW", {pattern})) return *e;
  Location loc = Locate(pattern);
  NoteNetwork(loc.network, "FindFirstFileW", pattern);
  if (loc.error) return loc.error;
  if (loc.parts.empty()) return kErrFileNotFound;
  const String last = loc.parts.back();
  if (!HasWildcards(last)) {
    std::uint32_t err;
    auto node = Lookup(loc, err);
    if (!node) return err;
    lastWrite = node->lastWrite;
    return kOk;
  }
  std::uint32_t err;
  auto dir = LookupParent(loc, err);
  if (!dir) return err;
  String pat = UpperKey(last);
  if (pat == u"*.*") pat = u"*";
  for (const auto& [key, child] : dir->children) {
    if (WildMatch(pat, key)) {
      lastWrite = child->lastWrite;
      return kOk;
    }
  }
  return kErrFileNotFound;
}

DriveType MemoryMachine::GetDriveType(const String& rootPath) {
  std::lock_guard lk(mu_);
  if (Enter("GetDriveTypeW", {rootPath})) return DriveType::Unknown;
  String root = rootPath.empty() ? currentDirectory_.substr(0, 3) : rootPath;
  if (root.size() == 2 && IsDrivePath(root)) root += u'\\';
  String full;
  if (FullPath(root, full) != kOk) return DriveType::NoRootDir;
  String prefix;
  std::vector<String> parts;
  SplitRoot(full, prefix, parts);
  if (!parts.empty()) return DriveType::NoRootDir;
  if (IsUnc(prefix)) {
    Location loc = Locate(full);
    return loc.error ? DriveType::NoRootDir : DriveType::Remote;
  }
  auto d = drives_.find(AsciiUpper(prefix[0]));
  if (d == drives_.end()) return DriveType::NoRootDir;
  switch (d->second->kind) {
    case Drive::Kind::Local: return d->second->volume->type;
    case Drive::Kind::Mapped: return DriveType::Remote;
    case Drive::Kind::Subst: {
      Location loc = Locate(full);
      if (loc.error) return DriveType::NoRootDir;
      return loc.network ? DriveType::Remote : loc.volume->type;
    }
  }
  return DriveType::Unknown;
}

std::uint32_t MemoryMachine::GetVolumeInformation(const String& rootPath, std::uint32_t& fileSystemFlags,
                                                  String& fileSystemName, String* volumeName,
                                                  std::uint32_t* serialNumber) {
  std::lock_guard lk(mu_);
  fileSystemFlags = 0;
  fileSystemName.clear();
  if (volumeName) volumeName->clear();
  if (serialNumber) *serialNumber = 0;
  if (auto e = Enter("GetVolumeInformationW", {rootPath})) return *e;
  if (rootPath.empty() || !HasTrailingBackslash(rootPath)) return kErrInvalidName;
  String full;
  if (std::uint32_t e = FullPath(rootPath, full)) return e;
  String prefix;
  std::vector<String> parts;
  SplitRoot(full, prefix, parts);
  if (!parts.empty()) return kErrDirNotRoot;
  Location loc = Locate(full);
  NoteNetwork(loc.network, "GetVolumeInformationW", rootPath);
  std::uint32_t err;
  if (!Lookup(loc, err)) return err;
  fileSystemFlags = loc.volume->fsFlags;
  fileSystemName = loc.volume->fsName;
  if (volumeName) *volumeName = loc.volume->label;
  if (serialNumber) *serialNumber = loc.volume->serial;
  return kOk;
}

// ------------------------------------------------------------------ network names

std::uint32_t MemoryMachine::QueryDosDevice(const String& deviceName, std::vector<String>& targets) {
  std::lock_guard lk(mu_);
  targets.clear();
  if (auto e = Enter("QueryDosDeviceW", {deviceName})) return *e;
  if (deviceName.empty()) {
    for (const auto& [letter, drive] : drives_) targets.push_back(String(1, letter) + u":");
    return kOk;
  }
  if (deviceName.size() != 2 || !IsDrivePath(deviceName)) return kErrFileNotFound;
  const char16_t letter = AsciiUpper(deviceName[0]);
  auto d = drives_.find(letter);
  if (d == drives_.end()) return kErrFileNotFound;
  const Drive& drive = *d->second;
  switch (drive.kind) {
    case Drive::Kind::Local:
      if (drive.volume->type == DriveType::CdRom)
        targets.push_back(u"\\Device\\CdRom" + ToString(drive.volume->number - 1));
      else
        targets.push_back(u"\\Device\\HarddiskVolume" + ToString(drive.volume->number));
      break;
    case Drive::Kind::Mapped:
      targets.push_back(u"\\Device\\LanmanRedirector\\;" + String(1, letter) + u":" + Hex(drive.connectionId, 16) +
                        drive.unc.substr(1));
      break;
    case Drive::Kind::Subst:
      targets.push_back(u"\\??\\" + drive.target);
      break;
  }
  return kOk;
}

std::uint32_t MemoryMachine::GetUniversalName(const String& path, String& universalName) {
  std::lock_guard lk(mu_);
  universalName.clear();
  if (auto e = Enter("WNetGetUniversalNameW", {path})) return *e;
  if (!IsDrivePath(path)) return kErrNotConnected;
  auto d = drives_.find(AsciiUpper(path[0]));
  if (d == drives_.end() || d->second->kind != Drive::Kind::Mapped) return kErrNotConnected;
  const String rest = path.substr(2);
  universalName = d->second->unc;
  if (rest != u"\\" || universalRootBackslash_) universalName += rest;
  return kOk;
}

std::uint32_t MemoryMachine::NetShareGetInfo(const String& server, const String& share, String& localPath) {
  std::lock_guard lk(mu_);
  localPath.clear();
  if (auto e = Enter("NetShareGetInfo", {server + u"\\" + share})) return *e;
  if (!netApiAvailable_) return kApiUnavailable;
  if (netShareGetInfoStatus_) return netShareGetInfoStatus_;
  String name = server;
  while (!name.empty() && name[0] == u'\\') name.erase(0, 1);
  const String key = UpperKey(share);
  if (name.empty() || UpperKey(name) == UpperKey(computerName_)) {
    for (const auto& s : shares_) {
      if (UpperKey(s->name) == key) {
        localPath = s->localPath;
        return kOk;
      }
    }
    return kErrNetNameNotFound;
  }
  auto it = servers_.find(UpperKey(name));
  if (it == servers_.end()) return kErrBadNetPath;
  auto sh = it->second->shares.find(key);
  if (sh == it->second->shares.end()) return kErrNetNameNotFound;
  if (sh->second.pathOnServer.empty()) return kErrAccessDenied;
  localPath = sh->second.pathOnServer;
  return kOk;
}

std::uint32_t MemoryMachine::NetShareEnum(std::uint32_t& resumeHandle, std::vector<ShareEntry>& batch) {
  std::lock_guard lk(mu_);
  batch.clear();
  if (auto e = Enter("NetShareEnum")) return *e;
  if (!netApiAvailable_) return kApiUnavailable;
  if (netShareEnumStatus_) return netShareEnumStatus_;
  std::vector<ShareEntry> all;
  if (specialShares_) {
    all.push_back({u"ADMIN$", kShareTypeSpecial, u"C:\\Windows"});
    for (const auto& [letter, drive] : drives_)
      if (drive->kind == Drive::Kind::Local && drive->volume->type == DriveType::Fixed)
        all.push_back({String(1, letter) + u"$", kShareTypeSpecial, String(1, letter) + u":\\"});
    all.push_back({u"IPC$", kShareTypeSpecial | 3, u""});
  }
  for (const auto& s : shares_) all.push_back({s->name, s->type, s->localPath});
  const std::size_t start = std::min<std::size_t>(resumeHandle, all.size());
  const std::size_t count = netShareEnumBatch_ == 0 ? all.size() - start
                                                    : std::min<std::size_t>(netShareEnumBatch_, all.size() - start);
  batch.assign(all.begin() + static_cast<std::ptrdiff_t>(start),
               all.begin() + static_cast<std::ptrdiff_t>(start + count));
  resumeHandle = static_cast<std::uint32_t>(start + count);
  return start + count < all.size() ? kErrMoreData : kOk;
}

// ------------------------------------------------------------------ security descriptors

std::uint32_t MemoryMachine::GetFileDacl(const String& path, Dacl& dacl) {
  std::lock_guard lk(mu_);
  dacl = Dacl{};
  if (auto e = Enter("GetFileSecurityW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "GetFileSecurityW", path);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return err;
  if (loc.volume->fsFlags & kFsPersistentAcls) dacl = node->dacl;
  return kOk;
}

std::uint32_t MemoryMachine::SetFileDacl(const String& path, const Dacl& dacl) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("SetFileSecurityW", {path})) return *e;
  Location loc = Locate(path);
  NoteNetwork(loc.network, "SetFileSecurityW", path);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return err;
  if (!(loc.volume->fsFlags & kFsPersistentAcls)) return kErrNotSupported;
  node->dacl = dacl;
  return kOk;
}

// ------------------------------------------------------------------ shell links

std::uint32_t MemoryMachine::CreateShellLink(const String& linkPath, const ShellLink& link) {
  std::lock_guard lk(mu_);
  if (auto e = Enter("IPersistFile::Save", {linkPath})) return *e;
  Location loc = Locate(linkPath);
  NoteNetwork(loc.network, "IPersistFile::Save", linkPath);
  std::uint32_t err;
  if (loc.error) return HresultFromWin32(loc.error);
  auto parent = LookupParent(loc, err);
  if (!parent) return HresultFromWin32(err);
  if (loc.volume->type == DriveType::CdRom) return HresultFromWin32(kErrWriteProtect);
  const String key = UpperKey(loc.parts.back());
  auto it = parent->children.find(key);
  std::shared_ptr<Node> node;
  if (it != parent->children.end()) {
    node = it->second;
    if (node->folder || (node->attributes & kAttrReadOnly)) return HresultFromWin32(kErrAccessDenied);
    if (SharingConflict(node.get(), kGenericWrite, kShareRead)) return HresultFromWin32(kErrSharingViolation);
  } else {
    node = NewNode(loc.parts.back(), false);
    parent->children[key] = node;
  }
  node->data = EncodeLink(link);
  node->lastWrite = Now();
  return kOk;
}

std::uint32_t MemoryMachine::ReadShellLink(const String& linkPath, ShellLink& link) {
  std::lock_guard lk(mu_);
  link = ShellLink{};
  if (auto e = Enter("IPersistFile::Load", {linkPath})) return *e;
  Location loc = Locate(linkPath);
  NoteNetwork(loc.network, "IPersistFile::Load", linkPath);
  std::uint32_t err;
  auto node = Lookup(loc, err);
  if (!node) return HresultFromWin32(err);
  if (node->folder) return HresultFromWin32(kErrAccessDenied);
  if (SharingConflict(node.get(), kGenericRead, kShareRead | kShareWrite))
    return HresultFromWin32(kErrSharingViolation);
  ShellLink decoded;
  if (!DecodeLink(node->data, decoded)) return kHrFail;
  link = decoded;
  return kOk;
}

// ------------------------------------------------------------------ set-up

bool MemoryMachine::AddDrive(char16_t letter, DriveType type, std::uint32_t fsFlags, const String& fsName) {
  std::lock_guard lk(mu_);
  letter = AsciiUpper(letter);
  if (letter < u'A' || letter > u'Z' || drives_.count(letter)) return false;
  auto d = std::make_unique<Drive>();
  d->kind = Drive::Kind::Local;
  d->volume = MakeVolume(type, fsFlags, fsName);
  drives_[letter] = std::move(d);
  return true;
}

bool MemoryMachine::AddShare(const String& name, const String& localPath, std::uint32_t type) {
  std::lock_guard lk(mu_);
  if (name.empty()) return false;
  for (const auto& s : shares_)
    if (UpperKey(s->name) == UpperKey(name)) return false;
  if (!MakeDirectoriesLocked(localPath)) return false;
  auto s = std::make_unique<OwnShare>();
  s->name = name;
  s->localPath = WithoutTrailingBackslash(localPath);
  if (s->localPath.size() == 2 && IsDrivePath(s->localPath)) s->localPath += u'\\';
  s->type = type;
  shares_.push_back(std::move(s));
  return true;
}

bool MemoryMachine::RemoveShare(const String& name) {
  std::lock_guard lk(mu_);
  for (auto it = shares_.begin(); it != shares_.end(); ++it) {
    if (UpperKey((*it)->name) == UpperKey(name)) {
      shares_.erase(it);
      return true;
    }
  }
  return false;
}

void MemoryMachine::SetSpecialShares(bool on) {
  std::lock_guard lk(mu_);
  specialShares_ = on;
}

void MemoryMachine::AddRemoteShare(const String& server, const String& share, std::uint32_t fsFlags,
                                   const String& fsName, const String& pathOnServer) {
  std::lock_guard lk(mu_);
  auto& srv = servers_[UpperKey(server)];
  if (!srv) {
    srv = std::make_unique<RemoteServer>();
    srv->name = server;
  }
  auto& sh = srv->shares[UpperKey(share)];
  if (!sh.volume) sh.volume = MakeVolume(DriveType::Fixed, fsFlags, fsName);
  sh.name = share;
  sh.pathOnServer = pathOnServer;
}

bool MemoryMachine::MapDrive(char16_t letter, const String& uncRoot) {
  std::lock_guard lk(mu_);
  letter = AsciiUpper(letter);
  String unc = WithoutTrailingBackslash(uncRoot);
  if (letter < u'A' || letter > u'Z' || drives_.count(letter) || !IsUnc(unc)) return false;
  const std::size_t s1 = unc.find(u'\\', 2);
  if (s1 == String::npos || s1 == 2 || s1 + 1 >= unc.size() || unc.find(u'\\', s1 + 1) != String::npos) return false;
  auto d = std::make_unique<Drive>();
  d->kind = Drive::Kind::Mapped;
  d->unc = unc;
  d->connectionId = 0x0001A2B3u + static_cast<std::uint64_t>(letter) * 0x100;
  drives_[letter] = std::move(d);
  return true;
}

bool MemoryMachine::Subst(char16_t letter, const String& target) {
  std::lock_guard lk(mu_);
  letter = AsciiUpper(letter);
  if (letter < u'A' || letter > u'Z' || drives_.count(letter) || !IsDrivePath(target)) return false;
  auto d = std::make_unique<Drive>();
  d->kind = Drive::Kind::Subst;
  d->target = WithoutTrailingBackslash(target);
  if (d->target.size() == 2) d->target += u'\\';
  drives_[letter] = std::move(d);
  return true;
}

bool MemoryMachine::SetVolumeLabel(char16_t letter, const String& label) {
  std::lock_guard lk(mu_);
  auto d = drives_.find(AsciiUpper(letter));
  if (d == drives_.end() || d->second->kind != Drive::Kind::Local) return false;
  d->second->volume->label = label;
  return true;
}

void MemoryMachine::RemoveDrive(char16_t letter) {
  std::lock_guard lk(mu_);
  drives_.erase(AsciiUpper(letter));
}

void MemoryMachine::SetUniversalNameRootBackslash(bool keep) {
  std::lock_guard lk(mu_);
  universalRootBackslash_ = keep;
}

void MemoryMachine::SetCurrentDirectory(const String& path) {
  std::lock_guard lk(mu_);
  String full;
  if (FullPath(path, full) == kOk) currentDirectory_ = full;
}

void MemoryMachine::SetNetApiAvailable(bool available) {
  std::lock_guard lk(mu_);
  netApiAvailable_ = available;
}

void MemoryMachine::SetNetShareGetInfoStatus(std::uint32_t status) {
  std::lock_guard lk(mu_);
  netShareGetInfoStatus_ = status;
}

void MemoryMachine::SetNetShareEnumStatus(std::uint32_t status) {
  std::lock_guard lk(mu_);
  netShareEnumStatus_ = status;
}

void MemoryMachine::SetNetShareEnumBatchSize(std::uint32_t size) {
  std::lock_guard lk(mu_);
  netShareEnumBatch_ = size;
}

// ------------------------------------------------------------------ test helpers

bool MemoryMachine::MakeDirectoriesLocked(const String& path) {
  Location loc = Locate(path);
  if (loc.error) return false;
  std::shared_ptr<Node> node = loc.volume->root;
  for (const String& part : loc.parts) {
    auto& child = node->children[UpperKey(part)];
    if (!child) child = NewNode(part, true);
    if (!child->folder) return false;
    node = child;
  }
  return true;
}

bool MemoryMachine::MakeDirectories(const String& path) {
  std::lock_guard lk(mu_);
  return MakeDirectoriesLocked(path);
}

std::shared_ptr<MemoryMachine::Node> MemoryMachine::WriteFileDirect(const String& path, const Bytes& bytes) {
  Location loc = Locate(path);
  if (loc.error || loc.parts.empty()) return nullptr;
  std::shared_ptr<Node> node = loc.volume->root;
  for (std::size_t i = 0; i + 1 < loc.parts.size(); ++i) {
    auto& child = node->children[UpperKey(loc.parts[i])];
    if (!child) child = NewNode(loc.parts[i], true);
    if (!child->folder) return nullptr;
    node = child;
  }
  auto& file = node->children[UpperKey(loc.parts.back())];
  if (!file) file = NewNode(loc.parts.back(), false);
  if (file->folder) return nullptr;
  file->data = bytes;
  file->lastWrite = Now();
  return file;
}

bool MemoryMachine::WriteTextFile(const String& path, std::string_view bytes) {
  std::lock_guard lk(mu_);
  return WriteFileDirect(path, Bytes(bytes.begin(), bytes.end())) != nullptr;
}

bool MemoryMachine::WriteBytes(const String& path, const Bytes& bytes) {
  std::lock_guard lk(mu_);
  return WriteFileDirect(path, bytes) != nullptr;
}

std::optional<Bytes> MemoryMachine::ReadBytes(const String& path) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  if (!node || node->folder) return std::nullopt;
  return node->data;
}

std::optional<std::string> MemoryMachine::ReadTextFile(const String& path) {
  auto bytes = ReadBytes(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

bool MemoryMachine::Exists(const String& path) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  return Lookup(Locate(path), err) != nullptr;
}

bool MemoryMachine::IsDirectory(const String& path) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  return node && node->folder;
}

bool MemoryMachine::RemovePath(const String& path) {
  std::lock_guard lk(mu_);
  Location loc = Locate(path);
  std::uint32_t err;
  if (!Lookup(loc, err) || loc.parts.empty()) return false;
  return LookupParent(loc, err)->children.erase(UpperKey(loc.parts.back())) == 1;
}

bool MemoryMachine::SetLastWriteTime(const String& path, FileTime time) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  if (!node) return false;
  node->lastWrite = time;
  return true;
}

std::optional<FileTime> MemoryMachine::LastWriteTime(const String& path) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  if (!node) return std::nullopt;
  return node->lastWrite;
}

bool MemoryMachine::SetReadOnly(const String& path, bool readOnly) {
  std::lock_guard lk(mu_);
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  if (!node) return false;
  if (readOnly)
    node->attributes |= kAttrReadOnly;
  else
    node->attributes &= ~kAttrReadOnly;
  return true;
}

std::vector<String> MemoryMachine::ListFolder(const String& path) {
  std::lock_guard lk(mu_);
  std::vector<String> names;
  std::uint32_t err;
  auto node = Lookup(Locate(path), err);
  if (node && node->folder)
    for (const auto& [key, child] : node->children) names.push_back(child->name);
  return names;
}

std::size_t MemoryMachine::OpenFileCount() const {
  std::lock_guard lk(mu_);
  return files_.size();
}

}  // namespace qv::platform
