#include "connect/dmfilesec.h"

namespace qv {

using namespace platform;

namespace {
String g_usersName;
String g_powerUsersName;

// The local name of a built-in group; empty when it cannot be resolved.
String LocalGroupName(const char16_t* sid) {
  AccountName account;
  if (Current().LookupAccountSid(sid, account) != kOk) return String();
  if (account.name.size() > 256) account.name.resize(256);
  return account.name;
}
}  // namespace

const String& TDMfilesec::UsersGroupName() { return g_usersName; }
const String& TDMfilesec::PowerUsersGroupName() { return g_powerUsersName; }

void TDMfilesec::DataModuleCreate() {
  FS.OnGetSecurity = [this](TNTFileSecurity& s, std::uint32_t e, std::uint32_t l) { FSGetSecurity(s, e, l); };
  FS.OnSetSecurity = [this](TNTFileSecurity& s, std::uint32_t e, std::uint32_t l) { FSSetSecurity(s, e, l); };
  FSbad = false;
  FSerrormsg.clear();
  g_usersName = LocalGroupName(kUsersSid);
  g_powerUsersName = LocalGroupName(kPowerUsersSid);
  if (g_usersName.empty() && g_powerUsersName.empty()) {
    FSbad = true;
    FSerrormsg = u"Cannot get localized names for \"Users\" and \"Power Users\"";
  }
}

void TDMfilesec::OpenSecurity(StringView fn) {
  FSbad = false;
  FSerrormsg.clear();
  FS.SetFileName(u"");
  FS.SetFileName(fn);
  if (UserIndex != -1) FS.SetFileRights(UserIndex, faAll);
  if (PowerUserIndex != -1) FS.SetFileRights(PowerUserIndex, faAll);
  FS.SetSecurity();
}

void TDMfilesec::FSGetSecurity(TNTFileSecurity& sender, std::uint32_t error, std::uint32_t location) {
  if (error != 0) {
    FSbad = true;
    FSerrormsg = TNTFileSecurity::GetMessageString(error, location);
    return;
  }
  UserIndex = -1;
  PowerUserIndex = -1;
  for (int i = 0; i < sender.EntryCount(); ++i) {
    if (sender.EntryType(i) != seAlias) continue;
    if (!g_usersName.empty() && EqualsNoCaseAscii(sender.EntryName(i), g_usersName)) UserIndex = i;
    if (!g_powerUsersName.empty() && EqualsNoCaseAscii(sender.EntryName(i), g_powerUsersName)) PowerUserIndex = i;
  }
}

void TDMfilesec::FSSetSecurity(TNTFileSecurity& sender, std::uint32_t error, std::uint32_t location) {
  if (error != 0) {
    FSbad = true;
    FSerrormsg = TNTFileSecurity::GetMessageString(error, location);
    return;
  }
  sender.RefreshSecurity();
}

}  // namespace qv
