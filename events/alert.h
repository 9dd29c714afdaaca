// Operator alerts: per-category triggers in the registry, the rate limit,
// the trace files that go with a category, and the hand-over to the
// e-mail sender program.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/seam.h"
#include "platform/text.h"
#include "trace/trace_files.h"

namespace qv {

// Results of RaiseAlert besides those of the sender's last run.
inline constexpr std::int32_t kAlertOff = -1;
// Too soon after the last alert of the category; also an alert raised while
// the same thread is already raising one (an alert's own work, such as
// loading the settings for the trace files, may write error entries that
// raise alerts again; they are never sent).
inline constexpr std::int32_t kAlertTooSoon = -2;
// kAlertNobody (-3): nobody to send to (alert_delivery.h).

// Registry keys of the triggers (value name = category name).
inline constexpr char16_t kTriggersKey[] = u"Software\\Norva\\ALERTDESK\\Triggers";
inline constexpr char16_t kTriggerRecipientsKey[] = u"Software\\Norva\\ALERTDESK\\TriggerRecipients";
inline constexpr char16_t kTriggerNorvaKey[] = u"Software\\Norva\\ALERTDESK\\TriggerNorva";
inline constexpr char16_t kTriggerIntervalsKey[] = u"Software\\Norva\\ALERTDESK\\TriggerIntervals";
inline constexpr std::int32_t kDefaultIntervalMinutes = 5;

// The trace files (selection bits of CollectTraceFiles) that go with an
// alert of the category; the name is compared after upper-casing a to z.
std::uint8_t AlertTraceKinds(StringView category, std::int64_t detail);

// Everything that decides whether and how an alert of a category goes out
// now, read without changing anything.
struct AlertState {
  bool machineWide = false;           // HKLM Triggers key present
  std::int64_t machineTime = 0;       // HKLM Triggers\category
  std::int64_t userTime = 0;          // HKCU Triggers\category
  std::int64_t time = 0;              // the one that decides (0: off)
  std::int32_t intervalMinutes = kDefaultIntervalMinutes;
  std::int32_t norva = 0;             // TriggerNorva
  String configuredRecipients;        // TriggerRecipients
  String recipients;                  // after the default-recipient fallback
  bool usedDefaultRecipients = false;
  platform::FileTime now = 0;
  std::int32_t verdict = 0;           // kAlertOff, kAlertTooSoon or 0 (goes out)
  std::uint8_t traceKinds = 0;        // 0 unless TriggerNorva is not 0
};
AlertState ReadAlertState(StringView category, std::int64_t detail);

// Raises an alert (see the file comment). Returns kAlertOff, kAlertTooSoon,
// kAlertNobody or the result of the sender's last run (its exit code or a
// RunAndWait code). The per-user time is recorded before anything is sent.
std::int32_t RaiseAlert(StringView category, StringView subject, StringView body, std::int64_t detail,
                        StringView htmlBody, StringView node);

// Whether this thread is inside RaiseAlert now.
bool RaisingAlertOnThisThread();

}  // namespace qv
