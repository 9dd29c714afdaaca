// Registry keys and values.
#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

namespace {

// The predefined keys are sign-extended 32-bit values on 64-bit Windows
// (HKEY_CURRENT_USER is 0xFFFFFFFF80000001 there), so they are mapped by
// name rather than by casting the 32-bit number.
HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RootKey::Users: return HKEY_USERS;
    case RootKey::PerformanceData: return HKEY_PERFORMANCE_DATA;
    case RootKey::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RootKey::DynData: return HKEY_DYN_DATA;
  }
  return nullptr;
}

HKEY ToHKEY(Handle key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

std::uint32_t Win32Platform::RegOpenKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) {
  key = 0;
  HKEY base = RootHandle(root);
  if (!base) return kErrInvalidHandle;
  HKEY k = nullptr;
  LSTATUS rc = ::RegOpenKeyExW(base, W(subKey), 0, access, &k);
  if (rc == ERROR_SUCCESS) key = reinterpret_cast<Handle>(k);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t Win32Platform::RegCreateKey(RootKey root, const String& subKey, std::uint32_t access, Handle& key) {
  key = 0;
  HKEY base = RootHandle(root);
  if (!base) return kErrInvalidHandle;
  HKEY k = nullptr;
  LSTATUS rc = ::RegCreateKeyExW(base, W(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &k, nullptr);
  if (rc == ERROR_SUCCESS) key = reinterpret_cast<Handle>(k);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t Win32Platform::RegQueryValue(Handle key, const String& valueName, RegValue& value, bool wantData) {
  value = RegValue{};
  DWORD type = REG_NONE;
  DWORD size = 0;
  LSTATUS rc = ::RegQueryValueExW(ToHKEY(key), W(valueName), nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return static_cast<std::uint32_t>(rc);
  if (!wantData) {
    value.type = static_cast<RegType>(type);
    value.data.assign(size, 0);
    return kOk;
  }
  // The value may grow between the size query and the read; ask again then.
  for (int attempt = 0; attempt < 8; ++attempt) {
    Bytes data(size);
    DWORD got = size;
    rc = ::RegQueryValueExW(ToHKEY(key), W(valueName), nullptr, &type, data.empty() ? nullptr : data.data(), &got);
    if (rc == ERROR_SUCCESS) {
      data.resize(got);
      value.type = static_cast<RegType>(type);
      value.data = std::move(data);
      return kOk;
    }
    if (rc != ERROR_MORE_DATA) return static_cast<std::uint32_t>(rc);
    size = got > size ? got : size * 2 + 16;
  }
  return kErrMoreData;
}

std::uint32_t Win32Platform::RegSetValue(Handle key, const String& valueName, RegType type, const Bytes& data) {
  return static_cast<std::uint32_t>(::RegSetValueExW(ToHKEY(key), W(valueName), 0, static_cast<DWORD>(type),
                                                     data.empty() ? nullptr : data.data(),
                                                     static_cast<DWORD>(data.size())));
}

std::uint32_t Win32Platform::RegDeleteValue(Handle key, const String& valueName) {
  return static_cast<std::uint32_t>(::RegDeleteValueW(ToHKEY(key), W(valueName)));
}

void Win32Platform::RegCloseKey(Handle key) {
  if (key != 0) ::RegCloseKey(ToHKEY(key));
}

}  // namespace qv::platform::win32
