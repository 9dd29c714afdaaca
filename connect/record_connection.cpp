#include "connect/record_connection.h"

#include "connect/connect_context.h"
#include "connect/connect_driver.h"
#include "connect/dmfilesec.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "settings/suite_settings.h"

namespace qv::connect {

using namespace platform;

namespace {
String g_commonDataDir;
}

const String& CommonDataDir() { return g_commonDataDir; }

int CreateNorvaDataDir() {
  ConnectContext& c = Connect();
  const String common = Trim(GetSpecialFolderPath(kCsidlCommonAppData, KnownFolder::ProgramData));
  // Without the folder there is no place for the record: "\Norva" would be
  // a folder on the current drive, which may be the share itself.
  if (common.empty()) {
    g_commonDataDir.clear();
    c.NorvaDataDir.clear();
    return -5;
  }
  g_commonDataDir = WithTrailingBackslash(common);
  c.NorvaDataDir = g_commonDataDir + u"Norva";
  if (Current().DirectoryExists(c.NorvaDataDir)) return 0;
  return ForceDirectories(c.NorvaDataDir) == kOk ? 0 : -5;
}

String ConnectIniText(StringView connectPath) {
  return u"[NorvaAppdataShare]\r\n"
         u"UNCname=" + String(connectPath) + u"\r\n"
         u"\r\n"
         u"[DO_NOT_EDIT_OR_CHANGE_UNCname]\r\n"
         u"\r\n"
         u"Recreate_This_File_By_Running=\\\\servername\\NORVA\\NorvaConnect.exe\r\n";
}

void RecordConnection() {
  ConnectContext& c = Connect();
  Platform& os = Current();

  const int created = CreateNorvaDataDir();
  if (created != 0) {
    c.ConnectError = Format(
        u"Unable to create \"Norva\" folder in \"All Users\\Application Data\" (error %d). The connect operation failed",
        created);
    return;
  }

  // The record is written beside the old one and then replaces it in one
  // step, so that a failure half-way never leaves a broken or empty
  // connection file for the suite's programs to read.
  const String iniName = c.NorvaDataDir + u"\\NORVACONNECT.INI";
  bool replaced = false;
  const std::string ansi = os.WideToAnsiExact(ConnectIniText(c.ConnectPath), replaced);
  // A share name with a character the code page lacks would be written
  // with a stand-in character: a record naming another path. The old
  // record stays.
  if (replaced) {
    c.ConnectError = Format(
        u"The share name %s has characters that this machine's ANSI code page cannot hold; %s was not changed. "
        u"The connect operation failed",
        c.ConnectPath, iniName);
    return;
  }
  // The text is never empty: an empty conversion is the code page's failure,
  // and writing it would leave an empty connection record.
  const std::uint32_t written =
      ansi.empty() ? kErrNoUnicodeTranslation : WriteFileReplacing(iniName, Bytes(ansi.begin(), ansi.end()));
  if (written != kOk) {
    c.ConnectError = RuntimeFaultText(written);
    return;
  }
  if (!os.FileExists(iniName)) {
    c.ConnectError = Format(u"Unable to create %s. The connect operation failed", iniName);
    return;
  }

  TDMfilesec& security = FileSecurityModule();
  try {
    security.OpenSecurity(iniName);
    if (security.FSbad) {
      c.ConnectError = security.FSerrormsg;
      return;
    }
  } catch (const std::exception&) {
    // A fault out of the permission step (a list that could not be read, an
    // account that cannot be resolved) leaves the file as it was; the run
    // goes on.
  }

  LoadSuiteSettings(true, true, false);
  const std::int32_t status = GetLastLoadError();
  if (status < 0) {
    c.ConnectError = Format(u"The connect operation has failed (%d) for %s", status, c.DataFolder);
    if (status >= -14) c.ConnectError += u"\r" + LoadMessageText(kLoadStatusTextBase - status);
    return;
  }

  struct Record {
    const char16_t* key;
    const String* value;
  };
  const Record records[] = {
      {u"Software\\Norva\\Installers\\Appdata", &c.DataFolder},
      {u"Software\\Norva\\Installers\\Netbin", &c.NetbinFolder},
      {u"Software\\Norva\\Installers\\SharePath", &c.ConnectPath},
  };
  try {
    for (const Record& r : records) {
      UniqueKey key(os);
      if (os.RegCreateKey(RootKey::CurrentUser, r.key, kKeyWrite, key.put()) != kOk) continue;
      os.RegSetValue(key.get(), u"UNCname", RegType::Sz, RegStringBytes(*r.value));
    }
  } catch (const std::exception&) {
    // The registry records are a convenience for the installers; a fault
    // here ends this step quietly and the run goes on.
  }
}

}  // namespace qv::connect
