#include "platform/registry.h"

#include <cstring>

#include "platform/handles.h"

namespace qv {

using namespace platform;

namespace {

// A key path may begin with a backslash, which the registry does not accept.
String KeyPath(StringView key) {
  String k(key);
  if (!k.empty() && k.front() == u'\\') k.erase(0, 1);
  return k;
}

// A key opened for the length of one function, with the status of its open.
class OpenKey {
 public:
  OpenKey(RootKey root, StringView key, std::uint32_t access) {
    status_ = key_.platform().RegOpenKey(root, KeyPath(key), access, key_.put());
    if (status_ != kOk) static_cast<void>(key_.release());  // a failed open leaves nothing to close
  }
  bool ok() const { return status_ == kOk; }
  Handle handle() const { return key_.get(); }

 private:
  UniqueKey key_;
  std::uint32_t status_ = kErrInvalidHandle;
};

// The value's kind and data, or false.
bool QueryValue(RootKey root, StringView key, StringView valueName, RegValue& value) {
  OpenKey k(root, key, kKeyRead);
  if (!k.ok()) return false;
  RegValue probe;
  if (Current().RegQueryValue(k.handle(), String(valueName), probe, false) != kOk) return false;
  value.type = probe.type;
  // Only string-like and small numeric kinds are read; anything else keeps
  // its size so the caller can reject it without reading it.
  const bool stringLike = probe.type == RegType::Sz || probe.type == RegType::ExpandSz || probe.type == RegType::Binary;
  const bool numeric = probe.type == RegType::Dword || probe.type == RegType::Qword;
  if (!stringLike && !numeric) {
    value.data = std::move(probe.data);
    return true;
  }
  return Current().RegQueryValue(k.handle(), String(valueName), value, true) == kOk;
}

// size/2 - 1 characters of the data: the stored terminating NUL is dropped.
String StringFromData(const Bytes& data) {
  const std::size_t chars = data.size() / 2;
  String s;
  if (chars == 0) return s;
  s.reserve(chars - 1);
  for (std::size_t i = 0; i + 1 < chars; ++i)
    s.push_back(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
  // Text after an embedded NUL is not part of the string any reader sees.
  const auto nul = s.find(u'\0');
  if (nul != String::npos) s.resize(nul);
  return s;
}

[[noreturn]] void RaiseWriteError(RootKey root, StringView key) {
  throw RegistryError(Format(u"Unable to open key \"%s\\%s\" for write", RootKeyName(root), String(key)));
}

[[noreturn]] void RaiseKindError(RootKey root, StringView key, StringView valueName) {
  throw RegistryError(Format(u"\"%s\\%s\\%s\" is of wrong kind or size", RootKeyName(root), String(key), String(valueName)));
}

void WriteValue(RootKey root, StringView key, StringView valueName, RegType kind, const Bytes& data) {
  if (!RegKeyPresent(root, key)) CreateRegKey(root, key);
  OpenKey k(root, key, kKeyWrite);
  if (!k.ok()) RaiseWriteError(root, key);
  if (Current().RegSetValue(k.handle(), String(valueName), kind, data) != kOk) RaiseWriteError(root, key);
}

}  // namespace

Bytes RegStringBytes(StringView text) {
  Bytes bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

bool RegKeyPresent(RootKey root, StringView key) { return OpenKey(root, key, kKeyRead).ok(); }

bool RegValuePresent(RootKey root, StringView key, StringView valueName) {
  OpenKey k(root, key, kKeyRead);
  if (!k.ok()) return false;
  RegValue probe;
  return Current().RegQueryValue(k.handle(), String(valueName), probe, false) == kOk;
}

String ReadRegString(RootKey root, StringView key, StringView valueName, StringView defaultValue) {
  RegValue value;
  if (!QueryValue(root, key, valueName, value)) return String(defaultValue);
  if (value.type != RegType::Sz && value.type != RegType::ExpandSz && value.type != RegType::Binary)
    return String(defaultValue);
  return StringFromData(value.data);
}

std::int32_t ReadRegInteger(RootKey root, StringView key, StringView valueName, std::int32_t defaultValue) {
  RegValue value;
  if (!QueryValue(root, key, valueName, value)) return defaultValue;
  std::int64_t number = 0;
  switch (value.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
      if (!ParseInt64(StringFromData(value.data), number)) return defaultValue;
      break;
    case RegType::Binary:
    case RegType::Dword:
    case RegType::Qword: {
      if (value.data.size() > 8) return defaultValue;
      std::uint64_t raw = 0;
      for (std::size_t i = 0; i < value.data.size(); ++i) raw |= static_cast<std::uint64_t>(value.data[i]) << (8 * i);
      number = static_cast<std::int64_t>(raw);
      break;
    }
    default:
      return defaultValue;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(number) & 0xFFFFFFFFu));
}

bool ReadRegBool(RootKey root, StringView key, StringView valueName, bool defaultValue) {
  return ReadRegInteger(root, key, valueName, defaultValue ? 1 : 0) != 0;
}

void WriteRegString(RootKey root, StringView key, StringView valueName, StringView text, RegType kind) {
  if (kind != RegType::Sz && kind != RegType::ExpandSz && kind != RegType::Binary)
    RaiseKindError(root, key, valueName);
  WriteValue(root, key, valueName, kind, RegStringBytes(text));
}

void WriteRegInteger(RootKey root, StringView key, StringView valueName, std::int32_t value, RegType kind) {
  switch (kind) {
    case RegType::Dword:
    case RegType::Binary:
    case RegType::Qword: {
      // A QWORD carries the value sign-extended, so 64-bit readers see the same number.
      const std::uint64_t raw = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
      const std::size_t size = kind == RegType::Qword ? 8 : 4;
      Bytes data(size);
      for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(raw >> (8 * i));
      WriteValue(root, key, valueName, kind, data);
      return;
    }
    case RegType::Sz:
    case RegType::ExpandSz:
      WriteRegString(root, key, valueName, Format(u"%u", static_cast<std::uint32_t>(value)), kind);
      return;
    default:
      RaiseKindError(root, key, valueName);
  }
}

std::uint32_t CreateRegKey(RootKey root, StringView key) {
  UniqueKey handle;
  const std::uint32_t status = handle.platform().RegCreateKey(root, KeyPath(key), kKeyAllAccess, handle.put());
  if (status != kOk) static_cast<void>(handle.release());  // a failed create leaves nothing to close
  return status;
}

}  // namespace qv
