// The registry of the in-memory machine: keys and typed values under the
// predefined roots, names compared without regard to letter case.
#include "platform/memory/memory_internal.h"

namespace qv::platform {

using namespace memory_detail;

namespace {

// Access bits that read values, and those that change the key.
constexpr std::uint32_t kKeyQueryBits = 0x0001u | kGenericRead | 0x10000000u;
constexpr std::uint32_t kKeySetBits = 0x0002u | kGenericWrite | 0x10000000u;
constexpr std::uint32_t kKeyWriteBits =
    0x0002u | 0x0004u | 0x00010000u | 0x00040000u | 0x00080000u | kGenericWrite | 0x10000000u;

Bytes Utf16Bytes(const String& text) {
  Bytes b;
  b.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

}  // namespace

std::vector<String> MemoryMachine::SplitKey(const String& key) {
  std::vector<String> parts;
  std::size_t i = 0;
  while (i <= key.size()) {
    std::size_t j = key.find(u'\\', i);
    if (j == String::npos) j = key.size();
    if (j > i) parts.push_back(key.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

namespace {
// Like Windows, a handle that is no predefined root opens nothing.
bool IsPredefinedRoot(RootKey root) {
  const auto value = static_cast<std::uint32_t>(root);
  return value >= 0x80000000u && value <= 0x80000006u;
}
}  // namespace

String MemoryMachine::KeySubject(RootKey root, const String& key) {
  String subject = RootKeyName(root);
  for (const String& part : SplitKey(key)) subject += u'\\' + part;
  return subject;
}

MemoryMachine::KeyNode* MemoryMachine::FindKey(RootKey root, const std::vector<String>& parts) const {
  auto r = registry_.find(root);
  if (r == registry_.end()) return nullptr;
  KeyNode* node = r->second.get();
  for (const String& part : parts) {
    auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

MemoryMachine::KeyNode* MemoryMachine::CreateKeyPath(RootKey root, const std::vector<String>& parts) {
  auto& r = registry_[root];
  if (!r) {
    r = std::make_unique<KeyNode>();
    r->name = RootKeyName(root);
  }
  KeyNode* node = r.get();
  for (const String& part : parts) {
    auto& child = node->subkeys[UpperKey(part)];
    if (!child) {
      child = std::make_unique<KeyNode>();
      child->name = part;
    }
    node = child.get();
  }
  return node;
}

bool MemoryMachine::WriteDenied(RootKey root, const std::vector<String>& parts) const {
  for (const auto& [deniedRoot, prefix] : denied_) {
    if (deniedRoot != root || prefix.size() > parts.size()) continue;
    bool match = true;
    for (std::size_t i = 0; match && i < prefix.size(); ++i) match = EqualsNoCase(prefix[i], parts[i]);
    if (match) return true;
  }
  return false;
}

std::vector<String> MemoryMachine::RegistryView(RootKey root, std::vector<String> parts, std::uint32_t access) const {
  // WOW64: a 32-bit process on 64-bit Windows sees HKLM\Software\X at
  // HKLM\Software\WOW6432Node\X unless it asks for the 64-bit view; a
  // 64-bit process reaches that node by asking for the 32-bit view.
  if (root != RootKey::LocalMachine || !is64Bit_ || parts.empty() || !EqualsNoCase(parts[0], u"Software"))
    return parts;
  if (parts.size() > 1 && EqualsNoCase(parts[1], u"WOW6432Node")) return parts;
  const bool wow64 = bitness_ == ProcessBitness::Wow64;
  const bool to32 = wow64 ? (access & kKeyWow64_64Key) == 0 : (access & kKeyWow64_32Key) != 0;
  if (to32) parts.insert(parts.begin() + 1, u"WOW6432Node");
  return parts;
}

std::uint32_t MemoryMachine::RegOpenKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) {
  std::lock_guard lk(mu_);
  key = 0;
  if (auto e = Enter("RegOpenKeyExW", {KeySubject(root, subKey)})) return *e;
  if (!IsPredefinedRoot(root)) return kErrInvalidHandle;
  std::vector<String> parts = RegistryView(root, SplitKey(subKey), access);
  if (!FindKey(root, parts)) return kErrFileNotFound;
  if ((access & kKeyWriteBits) && WriteDenied(root, parts)) return kErrAccessDenied;
  key = NewHandle();
  keys_[key] = KeyHandle{root, std::move(parts), access};
  return kOk;
}

std::uint32_t MemoryMachine::RegCreateKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) {
  std::lock_guard lk(mu_);
  key = 0;
  if (auto e = Enter("RegCreateKeyExW", {KeySubject(root, subKey)})) return *e;
  if (!IsPredefinedRoot(root)) return kErrInvalidHandle;
  std::vector<String> parts = RegistryView(root, SplitKey(subKey), access);
  const bool exists = FindKey(root, parts) != nullptr;
  if (WriteDenied(root, parts) && (!exists || (access & kKeyWriteBits))) return kErrAccessDenied;
  CreateKeyPath(root, parts);
  key = NewHandle();
  keys_[key] = KeyHandle{root, std::move(parts), access};
  return kOk;
}

std::uint32_t MemoryMachine::RegQueryValue(Handle key, const String& valueName, RegValue& value, bool wantData) {
  std::lock_guard lk(mu_);
  value = RegValue{};
  auto h = keys_.find(key);
  if (h == keys_.end()) {
    Enter("RegQueryValueExW");
    return kErrInvalidHandle;
  }
  const KeyHandle& kh = h->second;
  String subject = KeySubject(kh.root, u"");
  for (const String& p : kh.parts) subject += u'\\' + p;
  if (auto e = Enter("RegQueryValueExW", {subject + u'\\' + valueName})) return *e;
  const KeyNode* node = FindKey(kh.root, kh.parts);
  if (!node) return kErrKeyDeleted;
  if (!(kh.access & kKeyQueryBits)) return kErrAccessDenied;
  auto it = node->values.find(valueName);
  if (it == node->values.end()) return kErrFileNotFound;
  value.type = it->second.second.type;
  // Without data only the size is reported; the bytes stay zero.
  value.data = wantData ? it->second.second.data : Bytes(it->second.second.data.size(), 0);
  return kOk;
}

std::uint32_t MemoryMachine::RegSetValue(Handle key, const String& valueName, RegType type, const Bytes& data) {
  std::lock_guard lk(mu_);
  auto h = keys_.find(key);
  if (h == keys_.end()) {
    Enter("RegSetValueExW");
    return kErrInvalidHandle;
  }
  const KeyHandle& kh = h->second;
  String subject = KeySubject(kh.root, u"");
  for (const String& p : kh.parts) subject += u'\\' + p;
  if (auto e = Enter("RegSetValueExW", {subject + u'\\' + valueName})) return *e;
  KeyNode* node = FindKey(kh.root, kh.parts);
  if (!node) return kErrKeyDeleted;
  if (!(kh.access & kKeySetBits) || WriteDenied(kh.root, kh.parts)) return kErrAccessDenied;
  auto& slot = node->values[UpperKey(valueName)];
  if (slot.first.empty()) slot.first = valueName;
  slot.second = RegValue{type, data};
  return kOk;
}

std::uint32_t MemoryMachine::RegDeleteValue(Handle key, const String& valueName) {
  std::lock_guard lk(mu_);
  auto h = keys_.find(key);
  if (h == keys_.end()) {
    Enter("RegDeleteValueW");
    return kErrInvalidHandle;
  }
  const KeyHandle& kh = h->second;
  String subject = KeySubject(kh.root, u"");
  for (const String& p : kh.parts) subject += u'\\' + p;
  if (auto e = Enter("RegDeleteValueW", {subject + u'\\' + valueName})) return *e;
  KeyNode* node = FindKey(kh.root, kh.parts);
  if (!node) return kErrKeyDeleted;
  if (!(kh.access & kKeySetBits) || WriteDenied(kh.root, kh.parts)) return kErrAccessDenied;
  return node->values.erase(UpperKey(valueName)) ? kOk : kErrFileNotFound;
}

void MemoryMachine::RegCloseKey(Handle key) {
  std::lock_guard lk(mu_);
  if (Enter("RegCloseKey")) return;
  keys_.erase(key);
}

// ------------------------------------------------------------------ set-up and inspection

void MemoryMachine::DenyRegistryWrite(RootKey root, const String& keyPrefix) {
  std::lock_guard lk(mu_);
  denied_.emplace_back(root, SplitKey(keyPrefix));
}

void MemoryMachine::AllowRegistryWrite() {
  std::lock_guard lk(mu_);
  denied_.clear();
}

void MemoryMachine::SetRegValue(RootKey root, const String& key, const String& name, RegType type,
                                const Bytes& data) {
  std::lock_guard lk(mu_);
  KeyNode* node = CreateKeyPath(root, SplitKey(key));
  auto& slot = node->values[UpperKey(name)];
  if (slot.first.empty()) slot.first = name;
  slot.second = RegValue{type, data};
}

void MemoryMachine::SetRegString(RootKey root, const String& key, const String& name, const String& text,
                                 RegType type) {
  SetRegValue(root, key, name, type, Utf16Bytes(text));
}

void MemoryMachine::SetRegDword(RootKey root, const String& key, const String& name, std::uint32_t value) {
  SetRegValue(root, key, name, RegType::Dword,
              Bytes{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

std::optional<RegValue> MemoryMachine::GetRegValue(RootKey root, const String& key, const String& name) {
  std::lock_guard lk(mu_);
  const KeyNode* node = FindKey(root, SplitKey(key));
  if (!node) return std::nullopt;
  auto it = node->values.find(name);
  if (it == node->values.end()) return std::nullopt;
  return it->second.second;
}

std::optional<String> MemoryMachine::GetRegString(RootKey root, const String& key, const String& name) {
  auto v = GetRegValue(root, key, name);
  if (!v || (v->type != RegType::Sz && v->type != RegType::ExpandSz)) return std::nullopt;
  String text;
  for (std::size_t i = 0; i + 1 < v->data.size(); i += 2)
    text.push_back(static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8)));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

bool MemoryMachine::KeyExists(RootKey root, const String& key) {
  std::lock_guard lk(mu_);
  return FindKey(root, SplitKey(key)) != nullptr;
}

void MemoryMachine::CreateRegKeyDirect(RootKey root, const String& key) {
  std::lock_guard lk(mu_);
  CreateKeyPath(root, SplitKey(key));
}

bool MemoryMachine::DeleteRegKey(RootKey root, const String& key) {
  std::lock_guard lk(mu_);
  std::vector<String> parts = SplitKey(key);
  if (parts.empty()) return false;
  const String last = UpperKey(parts.back());
  parts.pop_back();
  KeyNode* parent = FindKey(root, parts);
  return parent && parent->subkeys.erase(last) == 1;
}

std::size_t MemoryMachine::OpenKeyCount() const {
  std::lock_guard lk(mu_);
  return keys_.size();
}

}  // namespace qv::platform
