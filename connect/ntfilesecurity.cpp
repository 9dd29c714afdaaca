#include "connect/ntfilesecurity.h"

namespace qv {

using namespace platform;

namespace {

struct Column {
  TFileAccess right;
  std::uint32_t fileMask;
  std::uint32_t genericMask;
};
constexpr Column kColumns[] = {
    {faRead, kFileGenericRead, kGenericReadMask},
    {faWrite, kFileGenericWrite, kGenericWriteMask},
    {faExecute, kFileGenericExecute, kGenericExecute},
    {faDelete, kDelete, kDelete},
    {faChangePermissions, kWriteDac, kWriteDac},
    {faTakeOwnership, kWriteOwner, kWriteOwner},
};

std::uint32_t SetToMask(TAccessSet set, bool generic) {
  if (set == faAll) return generic ? kGenericAll : kFileAllAccess;
  std::uint32_t mask = 0;
  for (const Column& c : kColumns)
    if (set & c.right) mask |= generic ? c.genericMask : c.fileMask;
  return mask;
}

TAccessSet MaskToSet(std::uint32_t mask, bool generic) {
  if (mask == (generic ? kGenericAll : kFileAllAccess)) return faAll;
  TAccessSet set = 0;
  for (const Column& c : kColumns) {
    const std::uint32_t bits = generic ? c.genericMask : c.fileMask;
    if ((mask & bits) == bits) set |= c.right;
  }
  return set;
}

// Account names are resolved into buffers of this size; longer ones fail
// the way the system call does.
constexpr std::size_t kMaxAccountName = 256;
constexpr std::size_t kMaxDomainName = 15;

}  // namespace

std::uint32_t AccessSetToFileMask(TAccessSet set) { return SetToMask(set, false); }
std::uint32_t AccessSetToGenericMask(TAccessSet set) { return SetToMask(set, true); }
TAccessSet FileMaskToAccessSet(std::uint32_t mask) { return MaskToSet(mask, false); }
TAccessSet GenericMaskToAccessSet(std::uint32_t mask) { return MaskToSet(mask, true); }

TSecurityListItem& TNTFileSecurity::Item(int index) {
  if (index < 0 || index >= EntryCount())
    throw EFileSecurityError(u"Index [" + ToString(index) + u"] is out of bounds for |" + fileName_ + u"|");
  return items_[static_cast<std::size_t>(index)];
}

const TSecurityListItem& TNTFileSecurity::Item(int index) const {
  return const_cast<TNTFileSecurity*>(this)->Item(index);
}

void TNTFileSecurity::ReportGet(std::uint32_t error, std::uint32_t location) {
  if (OnGetSecurity) OnGetSecurity(*this, error, location);
}

void TNTFileSecurity::ReportSet(std::uint32_t error, std::uint32_t location) {
  if (OnSetSecurity) OnSetSecurity(*this, error, location);
}

void TNTFileSecurity::ClearEntries() {
  items_.clear();
  entries_.clear();
}

// Accounts of BUILTIN and NT AUTHORITY, and accounts without a domain, are
// defined on the file's host machine; others in their own domain.
String TNTFileSecurity::ServerFor(const String& domain) const {
  if (domain.empty() || EqualsNoCaseAscii(domain, u"BUILTIN") || EqualsNoCaseAscii(domain, u"NT AUTHORITY"))
    return hostName_;
  return domain;
}

String TNTFileSecurity::GetMessageString(std::uint32_t error, std::uint32_t location) {
  switch (error) {
    case 0: return u"Operation was successfull.";
    case 13: return u"Unable to determine drive type.";
    case 14: return u"The root directory does not exist.";
    case kNoAclSupport: return u"The file system does not support Access Control Lists.";
    case kNoSecurityInformation: return u"The object has no security information.";
    default: {
      String text = Current().FormatSystemMessage(error);
      if (text.size() > 1024) text.resize(1024);
      return text;
    }
  }
}

void TNTFileSecurity::SetFileName(StringView value) {
  if (value == fileName_) return;
  Platform& os = Current();
  if (os.GetComputerName(localMachine_) != kOk) localMachine_.clear();
  hostName_ = localMachine_;
  volumeName_.clear();
  fileSystemName_.clear();
  volumeSerialNumber_ = 0;
  isFile_ = isDirectory_ = isRemote_ = false;
  // An empty name only forgets the current one: it names no file to report on.
  if (value.empty()) {
    fileName_.clear();
    ClearEntries();
    return;
  }

  String name(value);
  String drive;
  if (name.size() >= 2 && name[1] == u':') {
    drive = name.substr(0, 2);
  } else if (name.size() > 2 && name[0] == u'\\' && name[1] == u'\\') {
    const std::size_t server = name.find(u'\\', 2);
    const std::size_t share = server == String::npos ? String::npos : name.find(u'\\', server + 1);
    drive = share == String::npos ? name : name.substr(0, share);
  }
  if (!drive.empty() && name == drive) name += u'\\';
  String root = drive + u"\\";

  switch (os.GetDriveType(root)) {
    case DriveType::Unknown:
      fileName_.clear();
      ReportGet(13, 0);
      return;
    case DriveType::NoRootDir:
      fileName_.clear();
      ReportGet(14, 0);
      return;
    case DriveType::Remote:
      isRemote_ = true;
      if (drive.size() == 2) {
        // The connection name \\server\share of the mapped drive names the
        // host whose accounts the entries belong to.
        String universal;
        if (os.GetUniversalName(name, universal) == kOk && universal.size() > 2) {
          const std::size_t server = universal.find(u'\\', 2);
          const std::size_t share = server == String::npos ? String::npos : universal.find(u'\\', server + 1);
          const String connection = share == String::npos ? universal : universal.substr(0, share);
          if (server != String::npos) hostName_ = connection.substr(2, server - 2);
          root = connection + u"\\";
        }
      }
      break;
    default:
      break;
  }

  std::uint32_t flags = 0;
  const std::uint32_t status = os.GetVolumeInformation(root, flags, fileSystemName_, &volumeName_, &volumeSerialNumber_);
  if (status != kOk) {
    fileName_.clear();
    ReportGet(status, 0);
    return;
  }
  isFile_ = os.FileExists(name);
  isDirectory_ = os.DirectoryExists(name);
  if ((flags & kFsPersistentAcls) == 0) {
    fileName_.clear();
    ClearEntries();
    ReportGet(kNoAclSupport, 0);
    return;
  }
  fileName_ = name;
  RefreshSecurity();
}

void TNTFileSecurity::RefreshSecurity() {
  if (fileName_.empty()) {
    ReportGet(kErrFileNotFound, 0);
    return;
  }
  ClearEntries();
  Platform& os = Current();
  Dacl dacl;
  const std::uint32_t status = os.GetFileDacl(fileName_, dacl);
  if (status != kOk) {
    ReportGet(status, 1);
    return;
  }
  if (!dacl.present || dacl.entries.empty()) {
    ReportGet(kNoSecurityInformation, 3);
    return;
  }

  std::vector<TSecurityListItem> items;
  TSecurityListItem current;
  bool started = false;
  for (const Ace& ace : dacl.entries) {
    AccountName account;
    std::uint32_t rc = os.LookupAccountSid(ace.sid, account, hostName_);
    if (rc == kOk && (account.name.size() > kMaxAccountName || account.domain.size() > kMaxDomainName))
      rc = kErrInsufficientBuffer;
    if (rc != kOk) {
      ReportGet(rc, 5);
      return;
    }
    if (!started || account.name != current.Name) {
      if (started) items.push_back(current);
      current = TSecurityListItem{};
      current.Name = account.name;
      current.ServerName = ServerFor(account.domain);
      current.EntryType = account.sidType > 8 ? seNone : static_cast<SecurityEntry>(account.sidType);
      started = true;
    }
    if (ace.type != kAceAllowed && ace.type != kAceDenied) continue;
    const bool allowed = ace.type == kAceAllowed;
    if (isDirectory_ && (ace.flags & kAceContainerInherit)) {
      (allowed ? current.DirectoryAllowed : current.DirectoryDenied) = FileMaskToAccessSet(ace.mask);
    } else if (isDirectory_) {
      (allowed ? current.FileAllowed : current.FileDenied) = GenericMaskToAccessSet(ace.mask);
    } else {
      (allowed ? current.FileAllowed : current.FileDenied) = FileMaskToAccessSet(ace.mask);
    }
  }
  items.push_back(current);
  items_ = std::move(items);
  for (const TSecurityListItem& item : items_) entries_.push_back(item.Name);
  ReportGet(kOk, 0);
}

void TNTFileSecurity::SetSecurity() {
  if (fileName_.empty()) {
    ReportSet(kErrFileNotFound, 0);
    return;
  }
  Platform& os = Current();
  // Every account must resolve before anything is written.
  for (const TSecurityListItem& item : items_) {
    String sid;
    const std::uint32_t rc = os.LookupAccountName(item.Name, sid, hostName_);
    if (rc != kOk && rc != kErrInsufficientBuffer) throw EFileSecurityError(os.FormatSystemMessage(rc));
  }

  Dacl dacl;
  dacl.present = true;
  auto add = [&](std::uint8_t type, TAccessSet set, bool generic, std::uint8_t flags, const String& sid) {
    if (set == 0) return;
    dacl.entries.push_back(Ace{type, flags, generic ? AccessSetToGenericMask(set) : AccessSetToFileMask(set), sid});
  };
  for (const TSecurityListItem& item : items_) {
    String sid;
    const std::uint32_t rc = os.LookupAccountName(item.Name, sid, hostName_);
    if (rc != kOk) {
      ReportSet(rc, 7);
      return;
    }
    if (isDirectory_) {
      add(kAceDenied, item.FileDenied, true, kAceObjectInherit | kAceInheritOnly, sid);
      add(kAceAllowed, item.FileAllowed, true, kAceObjectInherit | kAceInheritOnly, sid);
      add(kAceDenied, item.DirectoryDenied, false, kAceContainerInherit, sid);
      add(kAceAllowed, item.DirectoryAllowed, false, kAceContainerInherit, sid);
    } else {
      add(kAceDenied, item.FileDenied, false, kAceObjectInherit, sid);
      add(kAceAllowed, item.FileAllowed, false, kAceObjectInherit, sid);
    }
  }
  const std::uint32_t rc = os.SetFileDacl(fileName_, dacl);
  if (rc != kOk) {
    ReportSet(rc, 12);
    return;
  }
  ReportSet(kOk, 0);
}

int TNTFileSecurity::AddEntry(StringView serverName, StringView name) {
  Platform& os = Current();
  String sid;
  std::uint32_t rc = os.LookupAccountName(String(name), sid);
  AccountName account;
  if (rc == kOk) rc = os.LookupAccountSid(sid, account);
  if (rc != kOk) throw EFileSecurityError(os.FormatSystemMessage(rc));
  TSecurityListItem item;
  item.Name = String(name);
  const String& domain = account.domain;
  item.ServerName = (domain.empty() || EqualsNoCaseAscii(domain, u"BUILTIN") || EqualsNoCaseAscii(domain, u"NT AUTHORITY"))
                        ? String(serverName)
                        : domain;
  item.EntryType = account.sidType > 8 ? seNone : static_cast<SecurityEntry>(account.sidType);
  items_.push_back(item);
  entries_.push_back(item.Name);
  return EntryCount() - 1;
}

void TNTFileSecurity::RemoveEntry(int index) {
  if (index < 0 || index >= EntryCount()) return;
  items_.erase(items_.begin() + index);
  entries_.erase(entries_.begin() + index);
}

void TNTFileSecurity::ClearAll(int index) {
  TSecurityListItem& item = Item(index);
  item.FileAllowed = item.DirectoryAllowed = item.FileDenied = item.DirectoryDenied = 0;
}

void TNTFileSecurity::GrantAll(int index) {
  TSecurityListItem& item = Item(index);
  item.FileAllowed = faAll;
  item.FileDenied = 0;
  if (isDirectory_) {
    item.DirectoryAllowed = faAll;
    item.DirectoryDenied = 0;
  }
}

void TNTFileSecurity::DenyAll(int index) {
  TSecurityListItem& item = Item(index);
  item.FileAllowed = 0;
  item.FileDenied = faAll;
  if (isDirectory_) {
    item.DirectoryAllowed = 0;
    item.DirectoryDenied = faAll;
  }
}

}  // namespace qv
