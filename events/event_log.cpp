#include "events/event_log.h"

#include <vector>

#include "events/alert.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/seam.h"
#include "platform/sysinfo.h"

namespace qv {

using namespace platform;

namespace {

constexpr char16_t kLogKey[] = u"System\\CurrentControlSet\\Services\\EventLog\\Velmora";

// The suite's programs that write to the Velmora log, registered in this order.
constexpr const char16_t* kSources[] = {
    u"QV9JOBADM",  u"QV9REG",   u"QVGATEWAY",  u"NORVAINSTALL", u"QVESERVICE",   u"QVMSG",      u"QVTRC",
    u"QVSMS04",    u"QVSMS05",  u"QVSIPMON",   u"QVXSERVICE",   u"VELMORA",      u"QTEXTERN",   u"PORTWARDEN",
    u"RESETTOR",   u"TASKEYE",  u"DOWNCALL",   u"LINKPROBE",    u"QVOMASERVICE", u"STARTNORVA", u"QVHKSERVICE",
};

// a + b, appended in place (prepending to a temporary trips GCC 12's
// -Wrestrict at -O3).
String Joined(StringView a, StringView b) {
  String s;
  s.reserve(a.size() + b.size());
  s.append(a);
  s.append(b);
  return s;
}

// The account-name buffer of the user lookup holds 256 characters.
constexpr std::size_t kUserNameChars = 256;

constexpr std::uint32_t kIdSuccess = 0x00000001u;
constexpr std::uint32_t kIdInformation = 0x40000002u;
constexpr std::uint32_t kIdWarning = 0x80000003u;
constexpr std::uint32_t kIdError = 0xC0000004u;

struct EntryForm {
  const char16_t* word;
  std::uint32_t eventId;
};

EntryForm FormOf(std::int16_t kind) {
  switch (kind) {
    case kEventKindSuccess: return {u"Message", kIdSuccess};
    case kEventKindInformation: return {u"Message", kIdInformation};
    case kEventKindWarning: return {u"Warning", kIdWarning};
    default: return {u"Error", kIdError};
  }
}

// The current user's security identifier, empty when it cannot be found.
String CurrentUserSid(Platform& os) {
  String name;
  if (os.GetUserName(name) != kOk || name.empty() || name.size() >= kUserNameChars) return String();
  String sid;
  if (os.LookupAccountName(name, sid) != kOk) return String();
  return sid;
}

// Creates the log's key and one key per source with the message file and
// the supported entry types. The first failure ends the registration; the
// sources not reached stay unregistered.
void RegisterLogAndSources() {
  try {
    if (!RegKeyPresent(RootKey::LocalMachine, kLogKey) && CreateRegKey(RootKey::LocalMachine, kLogKey) != kOk)
      return;
    const String messageFile = IsWindows64Bit() ? u"%SystemRoot%\\system32\\QVEvtMsg64.dll"
                                                : u"%SystemRoot%\\system32\\QVEvtMsg.dll";
    for (const char16_t* source : kSources) {
      const String key = String(kLogKey) + u"\\" + source;
      if (!RegKeyPresent(RootKey::LocalMachine, key) && CreateRegKey(RootKey::LocalMachine, key) != kOk) return;
      WriteRegString(RootKey::LocalMachine, key, u"EventMessageFile", messageFile, RegType::ExpandSz);
      WriteRegInteger(RootKey::LocalMachine, key, u"TypesSupported", 7);
    }
  } catch (const RegistryError&) {
    // Without write access to HKEY_LOCAL_MACHINE the registration stops here.
  }
}

}  // namespace

std::optional<EventAlert> EventAlertFor(StringView text, std::int16_t kind, StringView sourceName) {
  if (EqualsNoCaseAscii(sourceName, u"LINKPROBE")) return std::nullopt;
  const std::uint32_t id = FormOf(kind).eventId;
  if (id == kIdError)
    return EventAlert{u"EVENTLOG", Joined(u"Event log error message written from ", sourceName), String(text)};
  if (id == kIdWarning)
    return EventAlert{u"EVENTWARN", Joined(u"Event log warning message written from ", sourceName), String(text)};
  return std::nullopt;
}

void WriteEvent(StringView text, std::int16_t kind, std::int32_t code, StringView sourceName) {
  if (kind == kEventKindRegister) {
    RegisterLogAndSources();
    return;
  }
  Platform& os = Current();
  const EntryForm form = FormOf(kind);
  const std::vector<String> strings{String(sourceName), form.word, code == 0 ? String() : ToString(code),
                                    Joined(u" ", text)};
  if (const UniqueEventSource source(os, os.RegisterEventSource(String(sourceName))); source) {
    const String sid = CurrentUserSid(os);
    const auto type = static_cast<std::uint16_t>(kind);
    // A user identifier the log does not accept must not cost the entry.
    if (os.ReportEvent(source.get(), type, 0, form.eventId, sid, strings) == kErrInvalidParameter)
      os.ReportEvent(source.get(), type, 0, form.eventId, String(), strings);
  }

  // Error and warning entries reach the operators by e-mail as well,
  // whether or not the entry was written.
  if (const std::optional<EventAlert> alert = EventAlertFor(text, kind, sourceName))
    RaiseAlert(alert->category, alert->subject, alert->body, 0, u"", u"");
}

}  // namespace qv
