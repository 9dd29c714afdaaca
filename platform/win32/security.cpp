// File access-control lists, accounts, token elevation and group membership.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/win32/win32_platform.h"

#include <sddl.h>

namespace qv::platform::win32 {

namespace {

struct LocalFreeDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};
using LocalSid = std::unique_ptr<void, LocalFreeDeleter>;

// A binary SID from its string form; empty with the error on failure.
std::uint32_t SidFromString(const String& text, LocalSid& sid) {
  PSID p = nullptr;
  if (!::ConvertStringSidToSidW(W(text), &p)) return LastErrorOr(ERROR_INVALID_SID);
  sid.reset(p);
  return kOk;
}

std::uint32_t SidToString(PSID sid, String& text) {
  text.clear();
  LPWSTR s = nullptr;
  if (!::ConvertSidToStringSidW(sid, &s)) return LastErrorOr(ERROR_INVALID_SID);
  text = FromW(s);
  ::LocalFree(s);
  return kOk;
}

// ACCESS_ALLOWED_ACE and ACCESS_DENIED_ACE share this layout.
constexpr DWORD kAceHeaderAndMask = offsetof(ACCESS_ALLOWED_ACE, SidStart);

}  // namespace

std::uint32_t Win32Platform::GetFileDacl(const String& path, Dacl& dacl) {
  dacl = Dacl{};
  DWORD needed = 0;
  std::vector<std::uint8_t> buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (::GetFileSecurityW(W(path), DACL_SECURITY_INFORMATION,
                           buffer.empty() ? nullptr : reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed))
      break;
    DWORD e = ::GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return e != 0 ? e : kErrAccessDenied;
    buffer.assign(needed, 0);
  }
  if (buffer.empty()) return kErrInsufficientBuffer;
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());

  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return LastErrorOr(kErrInvalidParameter);
  // A present but null DACL grants everyone full access, as no DACL does.
  if (!present || !acl) return kOk;
  dacl.present = true;

  ACL_SIZE_INFORMATION info{};
  if (!::GetAclInformation(acl, &info, sizeof info, AclSizeInformation)) return LastErrorOr(kErrInvalidParameter);
  for (DWORD i = 0; i < info.AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(acl, i, &raw)) return LastErrorOr(kErrInvalidParameter);
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    Ace entry;
    entry.type = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? kAceAllowed : kAceDenied;
    entry.flags = header->AceFlags;
    entry.mask = ace->Mask;
    std::uint32_t rc = SidToString(const_cast<DWORD*>(&ace->SidStart), entry.sid);
    if (rc != kOk) return rc;
    dacl.entries.push_back(std::move(entry));
  }
  return kOk;
}

std::uint32_t Win32Platform::SetFileDacl(const String& path, const Dacl& dacl) {
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
    return LastErrorOr(kErrInvalidParameter);

  std::vector<LocalSid> sids;
  std::vector<std::uint8_t> aclBuffer;
  PACL acl = nullptr;
  if (dacl.present) {
    // Exact size: the list header plus, per entry, the entry header and
    // mask and the SID itself.
    DWORD size = sizeof(ACL);
    for (const Ace& entry : dacl.entries) {
      if (entry.type != kAceAllowed && entry.type != kAceDenied) return kErrInvalidParameter;
      LocalSid sid;
      std::uint32_t rc = SidFromString(entry.sid, sid);
      if (rc != kOk) return rc;
      size += kAceHeaderAndMask + ::GetLengthSid(sid.get());
      sids.push_back(std::move(sid));
    }
    size = (size + sizeof(DWORD) - 1) & ~static_cast<DWORD>(sizeof(DWORD) - 1);
    if (size > 0xFFFF) return kErrInvalidParameter;  // an ACL is at most 64 KB
    aclBuffer.assign(size, 0);
    acl = reinterpret_cast<PACL>(aclBuffer.data());
    if (!::InitializeAcl(acl, size, ACL_REVISION)) return LastErrorOr(kErrInvalidParameter);
    for (std::size_t i = 0; i < dacl.entries.size(); ++i) {
      const Ace& entry = dacl.entries[i];
      BOOL ok = entry.type == kAceDenied
                    ? ::AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sids[i].get())
                    : ::AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sids[i].get());
      if (!ok) return LastErrorOr(kErrInvalidParameter);
    }
  }
  // No DACL is written as a present, null DACL: everyone has full access.
  if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) return LastErrorOr(kErrInvalidParameter);
  if (!::SetFileSecurityW(W(path), DACL_SECURITY_INFORMATION, &descriptor)) return LastErrorOr(kErrAccessDenied);
  return kOk;
}

std::uint32_t Win32Platform::LookupAccountSid(const String& sid, AccountName& account, const String& systemName) {
  account = AccountName{};
  LocalSid binary;
  std::uint32_t rc = SidFromString(sid, binary);
  if (rc != kOk) return rc;
  std::vector<wchar_t> name(256), domain(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD nameSize = static_cast<DWORD>(name.size()), domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(WOrNull(systemName), binary.get(), name.data(), &nameSize, domain.data(), &domainSize, &use)) {
      account.name = FromW(name.data());
      account.domain = FromW(domain.data());
      account.sidType = static_cast<std::uint32_t>(use);
      return kOk;
    }
    DWORD e = ::GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER) return e != 0 ? e : kErrNoneMapped;
    name.resize(std::max<std::size_t>(nameSize + 1, name.size()));
    domain.resize(std::max<std::size_t>(domainSize + 1, domain.size()));
  }
  return kErrInsufficientBuffer;
}

std::uint32_t Win32Platform::LookupAccountName(const String& name, String& sid, const String& systemName) {
  sid.clear();
  std::vector<std::uint8_t> sidBuffer(SECURITY_MAX_SID_SIZE);
  std::vector<wchar_t> domain(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD sidSize = static_cast<DWORD>(sidBuffer.size()), domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountNameW(WOrNull(systemName), W(name), sidBuffer.data(), &sidSize, domain.data(), &domainSize, &use))
      return SidToString(sidBuffer.data(), sid);
    DWORD e = ::GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER) return e != 0 ? e : kErrNoneMapped;
    sidBuffer.resize(std::max<std::size_t>(sidSize, sidBuffer.size()));
    domain.resize(std::max<std::size_t>(domainSize + 1, domain.size()));
  }
  return kErrInsufficientBuffer;
}

std::uint32_t Win32Platform::GetUserName(String& name) {
  name.clear();
  std::vector<wchar_t> buffer(257);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (::GetUserNameW(buffer.data(), &size)) {
      name = FromW(buffer.data());
      return kOk;
    }
    DWORD e = ::GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) return e != 0 ? e : kErrInsufficientBuffer;
    buffer.resize(size);
  }
  return kErrInsufficientBuffer;
}

std::uint32_t Win32Platform::GetTokenElevation(bool& elevated) {
  elevated = false;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return LastErrorOr(kErrAccessDenied);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  BOOL ok = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  std::uint32_t rc = ok ? kOk : LastErrorOr(kErrInvalidParameter);
  ::CloseHandle(token);
  if (ok) elevated = elevation.TokenIsElevated != 0;
  return rc;
}

std::uint32_t Win32Platform::CheckAdministratorsMembership(bool& member) {
  member = false;
  BYTE sid[68] = {};  // SECURITY_MAX_SID_SIZE
  DWORD size = sizeof sid;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return LastErrorOr(kErrInvalidParameter);
  BOOL isMember = FALSE;
  if (!::CheckTokenMembership(nullptr, sid, &isMember)) return LastErrorOr(kErrAccessDenied);
  member = isMember != FALSE;
  return kOk;
}

}  // namespace qv::platform::win32
