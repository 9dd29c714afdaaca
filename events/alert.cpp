#include "events/alert.h"

#include "events/alert_delivery.h"
#include "platform/registry.h"

namespace qv {

using namespace platform;

namespace {

constexpr std::int64_t kTicksPerMinute = 60LL * 10000000LL;

thread_local bool t_raising = false;

class RaisingScope {
 public:
  RaisingScope() { t_raising = true; }
  ~RaisingScope() { t_raising = false; }
  RaisingScope(const RaisingScope&) = delete;
  RaisingScope& operator=(const RaisingScope&) = delete;
};

// A registry text holding a decimal number; anything else counts as 0.
std::int64_t TimeValue(RootKey root, StringView category) {
  std::int64_t value = 0;
  return ParseInt64(ReadRegString(root, kTriggersKey, category, u"0"), value) ? value : 0;
}

struct KindRow {
  const char16_t* category;
  std::uint8_t kinds;
};
constexpr std::uint8_t kLive = kTraceEngineLive;
constexpr KindRow kKindTable[] = {
    {u"CONSOL", kLive | kTraceEngineAndConnector},   {u"ENGINELOG", kLive},
    {u"ENGINEOPTFS", kLive},                         {u"ENGINERTE", kLive | kTraceEngineAndConnector},
    {u"EVENTLOG", kLive | kTraceEngineAndConnector}, {u"GWFSFAIL", kTraceGateway},
    {u"GWMSGFAIL", kTraceGateway},                   {u"GWLOADERROR", kTraceGateway},
    {u"GWOMAFAIL", kTraceGateway},                   {u"GWPORTMON", kTraceGateway},
    {u"GWTNEF", kTraceGateway},                      {u"GWSAVEERROR", kTraceGateway},
    {u"UNHEXC", kLive | kTraceEngine},
};

}  // namespace

std::uint8_t AlertTraceKinds(StringView category, std::int64_t detail) {
  const String name = AsciiUpper(category);
  if (name == u"ENGINEVARSET") return detail != 0 ? kLive : 0;
  for (const KindRow& row : kKindTable)
    if (name == row.category) return row.kinds;
  return 0;  // EVENTWARN, QTMRGMV, GWRECOVER, JOB*, LINKPROBE, OMAGUI and any other name
}

AlertState ReadAlertState(StringView category, std::int64_t detail) {
  AlertState s;
  s.machineWide = RegKeyPresent(RootKey::LocalMachine, kTriggersKey);
  if (s.machineWide) {
    s.machineTime = TimeValue(RootKey::LocalMachine, category);
    s.configuredRecipients = ReadRegString(RootKey::LocalMachine, kTriggerRecipientsKey, category, u"");
    s.norva = ReadRegInteger(RootKey::LocalMachine, kTriggerNorvaKey, category, 0);
    s.intervalMinutes =
        ReadRegInteger(RootKey::LocalMachine, kTriggerIntervalsKey, category, kDefaultIntervalMinutes);
  }
  s.userTime = TimeValue(RootKey::CurrentUser, category);
  s.time = s.machineTime;
  if (s.userTime >= 0 && s.userTime > s.time) s.time = s.userTime;

  s.now = Current().GetSystemTimeAsFileTime();
  const std::int64_t span = static_cast<std::int64_t>(s.intervalMinutes) * kTicksPerMinute;
  if (s.time == 0)
    s.verdict = kAlertOff;
  else if (s.time > static_cast<std::int64_t>(s.now) - span)  // time + interval later than now
    s.verdict = kAlertTooSoon;

  s.recipients = s.configuredRecipients;
  if (s.recipients.empty() && s.norva >= 0) {
    s.recipients = ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\MAILPOST", u"AutoDefaultRecipients", u"");
    s.usedDefaultRecipients = true;
  }
  s.traceKinds = s.norva != 0 ? AlertTraceKinds(category, detail) : 0;
  return s;
}

bool RaisingAlertOnThisThread() { return t_raising; }

std::int32_t RaiseAlert(StringView category, StringView subject, StringView body, std::int64_t detail,
                        StringView htmlBody, StringView node) {
  if (t_raising) return kAlertTooSoon;
  RaisingScope raising;

  const AlertState s = ReadAlertState(category, detail);
  if (s.verdict != 0) return s.verdict;

  // Recorded before sending, so the interval also runs when sending fails.
  try {
    // File times are far below the int64 limit (until the year 30828).
    WriteRegString(RootKey::CurrentUser, kTriggersKey, category, ToString(static_cast<std::int64_t>(s.now)));
  } catch (const RegistryError&) {
  }

  std::vector<String> attachments;
  if (s.traceKinds != 0) CollectTraceFiles(node, attachments, s.traceKinds, Today());
  return DeliverAlert(subject, body, htmlBody, s.recipients, s.norva, attachments);
}

}  // namespace qv
