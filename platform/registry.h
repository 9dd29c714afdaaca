// Registry access with defaults. Reads never fail: the default stands for
// any failure. Writes create a missing key and raise RegistryError with the
// suite's fixed message when the key cannot be opened or the value set.
// Every call opens and closes its own key handle in the process's default
// registry view (no 32/64-bit view flag), so it may run on any thread.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "platform/seam.h"

namespace qv {

using platform::RegType;
using platform::RootKey;

// The failure raised by WriteRegString / WriteRegInteger.
class RegistryError : public std::runtime_error {
 public:
  explicit RegistryError(String message) : std::runtime_error(ToUtf8(message)), message_(std::move(message)) {}
  const String& message() const { return message_; }

 private:
  String message_;
};

bool RegKeyPresent(RootKey root, StringView key);
bool RegValuePresent(RootKey root, StringView key, StringView valueName);
String ReadRegString(RootKey root, StringView key, StringView valueName, StringView defaultValue);
std::int32_t ReadRegInteger(RootKey root, StringView key, StringView valueName, std::int32_t defaultValue);
bool ReadRegBool(RootKey root, StringView key, StringView valueName, bool defaultValue);
void WriteRegString(RootKey root, StringView key, StringView valueName, StringView text,
                    RegType kind = RegType::Sz);
void WriteRegInteger(RootKey root, StringView key, StringView valueName, std::int32_t value,
                     RegType kind = RegType::Dword);
// RegCreateKeyExW with full access; the platform's status, 0 on success.
std::uint32_t CreateRegKey(RootKey root, StringView key);

// UTF-16LE bytes of a string plus its terminating NUL, as REG_SZ stores it.
Bytes RegStringBytes(StringView text);

}  // namespace qv
