#include "connect/system_environment.h"

#include "connect/connect_context.h"
#include "connect/message_dialog.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/seam.h"
#include "settings/suite_settings.h"

namespace qv::connect {

using namespace platform;

namespace {

// A value of the environment key, empty when the key or value is missing.
String ReadEnvironmentValue(const char16_t* name) {
  return ReadRegString(RootKey::LocalMachine, kEnvironmentKey, name, u"");
}

// The environment key opened for writing, never created.
class WritableEnvironmentKey {
 public:
  WritableEnvironmentKey() {
    if (key_.platform().RegOpenKey(RootKey::LocalMachine, kEnvironmentKey, kKeyWrite | kKeyRead, key_.put()) != kOk)
      static_cast<void>(key_.release());  // a failed open leaves nothing to close
  }
  bool ok() const { return static_cast<bool>(key_); }
  bool Set(const char16_t* name, StringView value) {
    return key_.platform().RegSetValue(key_.get(), name, RegType::Sz, RegStringBytes(value)) == kOk;
  }
  bool Delete(const char16_t* name) {
    const std::uint32_t rc = key_.platform().RegDeleteValue(key_.get(), name);
    return rc == kOk || rc == kErrFileNotFound;
  }

 private:
  UniqueKey key_;
};

}  // namespace

void BroadcastEnvironmentChange() { Current().BroadcastSettingChange(u"Environment", 4000); }

bool SetTarvexDir(StringView value, bool checkOnly) {
  if (EqualsNoCaseAscii(ReadEnvironmentValue(u"TarvexDir"), value)) return true;
  if (checkOnly) return false;
  WritableEnvironmentKey key;
  if (!key.ok()) return false;
  if (!key.Set(u"TarvexDir", value)) return false;
  BroadcastEnvironmentChange();
  return true;
}

bool SetTarvexLocal(StringView value, bool checkOnly) {
  const String drive(value.substr(0, 2));
  if (EqualsNoCaseAscii(ReadEnvironmentValue(u"TarvexLocal"), value) &&
      EqualsNoCaseAscii(ReadEnvironmentValue(u"TarvexDrive"), drive))
    return true;
  if (checkOnly) return false;
  WritableEnvironmentKey key;
  if (!key.ok()) return false;
  if (!value.empty()) {
    if (!key.Set(u"TarvexLocal", value) || !key.Set(u"TarvexDrive", drive)) return false;
  } else {
    if (!key.Delete(u"TarvexLocal") || !key.Delete(u"TarvexDrive")) return false;
  }
  BroadcastEnvironmentChange();
  return true;
}

void UpdateSystemEnvironment() {
  const ConnectContext& c = Connect();
  const String dir = GetAppDataDir();
  if (!SetTarvexDir(dir, false) && c.ProcessElevated)
    MessageDialog(Format(u"Unable to add TarvexDir=%s to the system environment", dir), kDialogError, kDlgOk);
  const String local = GetAppDataLocalDir();
  if (!SetTarvexLocal(local, false) && c.ProcessElevated)
    MessageDialog(Format(u"Unable to add TarvexLocal=%s to the system environment", local), kDialogError, kDlgOk);
}

}  // namespace qv::connect
