// TNTFileSecurity: reads a file's or folder's access list (DACL) into one
// entry per account with simple right sets, and writes such a list back as
// explicit entries. Owner, group and audit settings are never touched.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/seam.h"

namespace qv {

// Rights, bit 0 first; a right set is a bit set of them in one byte.
enum TFileAccess : std::uint8_t {
  faRead = 1,
  faWrite = 2,
  faExecute = 4,
  faDelete = 8,
  faChangePermissions = 16,
  faTakeOwnership = 32,
  faAll = 64,
};
using TAccessSet = std::uint8_t;

inline constexpr std::uint32_t kFileGenericRead = 0x120089;
inline constexpr std::uint32_t kFileGenericWrite = 0x120116;
inline constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
inline constexpr std::uint32_t kDelete = 0x10000;
inline constexpr std::uint32_t kWriteDac = 0x40000;
inline constexpr std::uint32_t kWriteOwner = 0x80000;
inline constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
inline constexpr std::uint32_t kGenericReadMask = 0x80000000u;
inline constexpr std::uint32_t kGenericWriteMask = 0x40000000u;
inline constexpr std::uint32_t kGenericExecute = 0x20000000u;
inline constexpr std::uint32_t kGenericAll = 0x10000000u;

// Conversions between right sets and access masks. The "file" column
// serves files and a folder's own entries; the "generic" column serves a
// folder's entries for the files inside it.
std::uint32_t AccessSetToFileMask(TAccessSet set);
std::uint32_t AccessSetToGenericMask(TAccessSet set);
TAccessSet FileMaskToAccessSet(std::uint32_t mask);
TAccessSet GenericMaskToAccessSet(std::uint32_t mask);

// Account kinds, equal to the platform's SID_NAME_USE codes 0 to 8.
enum SecurityEntry : std::uint8_t {
  seNone,
  seUser,
  seGroup,
  seDomain,
  seAlias,
  seWellKnownGroup,
  seDeletedAcount,
  seInvalid,
  seUnknown,
};

struct TSecurityListItem {
  String Name;
  String ServerName;
  SecurityEntry EntryType = seNone;
  TAccessSet FileAllowed = 0;
  TAccessSet DirectoryAllowed = 0;
  TAccessSet FileDenied = 0;
  TAccessSet DirectoryDenied = 0;
};

// Raised for a bad entry index and for accounts that cannot be resolved.
class EFileSecurityError : public std::runtime_error {
 public:
  explicit EFileSecurityError(String message) : std::runtime_error(ToUtf8(message)), message_(std::move(message)) {}
  const String& message() const { return message_; }

 private:
  String message_;
};

// (sender, error code, location code). The error codes -1 and -2 travel as
// their 32-bit two's-complement values.
class TNTFileSecurity;
using TNTFileSecurityEvent = std::function<void(TNTFileSecurity& sender, std::uint32_t error, std::uint32_t location)>;

inline constexpr std::uint32_t kNoSecurityInformation = 0xFFFFFFFFu;  // -1
inline constexpr std::uint32_t kNoAclSupport = 0xFFFFFFFEu;           // -2

class TNTFileSecurity {
 public:
  TNTFileSecurity() = default;

  // Selects the file or folder and reads its access list; reports through
  // OnGetSecurity. Setting the name already set does nothing.
  void SetFileName(StringView name);
  const String& FileName() const { return fileName_; }

  void RefreshSecurity();
  void SetSecurity();
  static String GetMessageString(std::uint32_t error, std::uint32_t location);

  int EntryCount() const { return static_cast<int>(items_.size()); }
  const std::vector<String>& Entries() const { return entries_; }
  const String& EntryName(int index) const { return Item(index).Name; }
  const String& ServerName(int index) const { return Item(index).ServerName; }
  SecurityEntry EntryType(int index) const { return Item(index).EntryType; }
  TAccessSet FileRights(int index) const { return Item(index).FileAllowed; }
  TAccessSet DirectoryRights(int index) const { return Item(index).DirectoryAllowed; }
  TAccessSet DeniedFileRights(int index) const { return Item(index).FileDenied; }
  TAccessSet DeniedDirectoryRights(int index) const { return Item(index).DirectoryDenied; }
  void SetFileRights(int index, TAccessSet set) { Item(index).FileAllowed = set; }
  void SetDirectoryRights(int index, TAccessSet set) { Item(index).DirectoryAllowed = set; }
  void SetDeniedFileRights(int index, TAccessSet set) { Item(index).FileDenied = set; }
  void SetDeniedDirectoryRights(int index, TAccessSet set) { Item(index).DirectoryDenied = set; }

  int AddEntry(StringView serverName, StringView name);
  void RemoveEntry(int index);
  void ClearAll(int index);
  void GrantAll(int index);
  void DenyAll(int index);

  const String& HostName() const { return hostName_; }
  const String& LocalMachine() const { return localMachine_; }
  const String& VolumeName() const { return volumeName_; }
  const String& FileSystemName() const { return fileSystemName_; }
  std::uint32_t VolumeSerialNumber() const { return volumeSerialNumber_; }
  bool IsFile() const { return isFile_; }
  bool IsDirectory() const { return isDirectory_; }
  bool IsRemote() const { return isRemote_; }

  TNTFileSecurityEvent OnGetSecurity;
  TNTFileSecurityEvent OnSetSecurity;

 private:
  TSecurityListItem& Item(int index);
  const TSecurityListItem& Item(int index) const;
  String ServerFor(const String& domain) const;
  void ReportGet(std::uint32_t error, std::uint32_t location);
  void ReportSet(std::uint32_t error, std::uint32_t location);
  void ClearEntries();

  std::vector<TSecurityListItem> items_;
  std::vector<String> entries_;
  String fileName_;
  String hostName_;
  String localMachine_;
  String volumeName_;
  String fileSystemName_;
  std::uint32_t volumeSerialNumber_ = 0;
  bool isFile_ = false;
  bool isDirectory_ = false;
  bool isRemote_ = false;
};

}  // namespace qv
