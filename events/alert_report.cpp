#include "events/alert_report.h"

#include "events/alert_delivery.h"
#include "platform/run_and_wait.h"
#include "settings/suite_settings.h"
#include "trace/trace_files.h"

namespace qv {

using namespace platform;

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;

String TimeText(std::int64_t time) {
  if (time == 0) return u"0 (none)";
  if (time < 0) return ToString(time) + u" (negative: ignored)";
  if (time < 116444736000000000LL) return ToString(time) + u" (a switch, not a time)";  // before 1970
  const LocalTime t = Current().FileTimeToLocalTime(static_cast<FileTime>(time));
  return ToString(time) + Format(u" (%.4d-%.2d-%.2d %.2d:%.2d:%.2d local time)", t.year, t.month, t.day, t.hour,
                                 t.minute, t.second);
}

String Duration(std::int64_t ticks) {
  const std::int64_t seconds = (ticks + kTicksPerSecond - 1) / kTicksPerSecond;
  return Format(u"%d min %d s", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
}

String KindNames(std::uint8_t kinds) {
  static const std::pair<std::uint8_t, const char16_t*> names[] = {
      {kTraceEngineLive, u"1 engine live trace"},
      {kTraceEngineAndConnector, u"2 engine and QTEXTERN trace"},
      {kTraceEngine, u"4 engine trace"},
      {kTraceGateway, u"8 SMTP gateway log"},
      {kTraceHkService, u"16 QVHKSERVICE"},
      {kTraceQvMsg, u"32 QVMSG"},
      {kTraceQtMerge, u"64 QTMERGE"},
      {kTraceQtCvrt, u"128 QTCVRT"}};
  String text;
  for (const auto& [bit, name] : names) {
    if (!(kinds & bit)) continue;
    if (!text.empty()) text += u", ";
    text += name;
  }
  return text.empty() ? String(u"none") : text;
}

}  // namespace

String AlertResultMeaning(std::int32_t result, const AlertState& before, bool anyRun) {
  if (before.verdict == kAlertOff && result == kAlertOff) return u"the alert of this category is off";
  if (result == kAlertTooSoon && (before.verdict == kAlertTooSoon || !anyRun))
    return u"not sent: the interval since the last alert has not passed";
  if (result == kAlertNobody && !anyRun) return u"not sent: there is nobody to send to";
  switch (result) {
    case kRunNotStarted: return u"the sender program could not be started";
    case kRunTerminated: return u"the sender did not end within 15 seconds and was terminated";
    case kRunStillRunning: return u"the sender was terminated but had not ended 6 seconds later";
    case kRunWaitFailedAfterEnd: return u"waiting for the terminated sender failed";
    case 0: return u"handed to the sender, which ended with exit code 0";
    default: return Format(u"handed to the sender, which ended with exit code %d", result);
  }
}

String ExplainAlert(StringView category, std::int64_t detail, StringView node, StringView subject,
                    StringView body) {
  const AlertState s = ReadAlertState(category, detail);
  String out;
  auto line = [&](StringView text) {
    out += text;
    out += u"\n";
  };
  line(u"category: " + String(category));
  line(s.machineWide ? u"machine-wide triggers: HKEY_LOCAL_MACHINE\\" + String(kTriggersKey) + u" present"
                     : u"machine-wide triggers: HKEY_LOCAL_MACHINE\\" + String(kTriggersKey) +
                           u" missing (machine-wide time 0, no recipients, TriggerNorva 0, interval 5)");
  line(u"machine-wide time: " + TimeText(s.machineTime));
  line(u"per-user time: " + TimeText(s.userTime));
  line(String(u"alert: ") + (s.time == 0 ? u"off" : u"on"));
  line(Format(u"interval: %d minutes", s.intervalMinutes));
  if (s.time != 0) {
    const std::int64_t due = s.time + static_cast<std::int64_t>(s.intervalMinutes) * 60 * kTicksPerSecond;
    const std::int64_t left = due - static_cast<std::int64_t>(s.now);
    line(u"time left: " + (left > 0 ? Duration(left) : String(u"none")));
  }
  if (s.verdict == kAlertOff)
    line(u"now: would not go out (result -1: the alert is off)");
  else if (s.verdict == kAlertTooSoon)
    line(u"now: would not go out (result -2: the interval has not passed)");
  else
    line(u"now: would go out; the per-user time would be set to " + TimeText(static_cast<std::int64_t>(s.now)));
  line(Format(u"TriggerNorva: %d", s.norva) +
       (s.norva != 0 ? u" (copy to " + MakerRecipients(s.norva) + u")" : String(u" (no copy to the maker)")));
  line(u"recipients configured: " + (s.configuredRecipients.empty() ? String(u"(none)") : s.configuredRecipients));
  if (s.usedDefaultRecipients)
    line(u"recipients after the fallback (HKEY_CURRENT_USER\\Software\\Norva\\MAILPOST AutoDefaultRecipients): " +
         (s.recipients.empty() ? String(u"(none)") : s.recipients));
  else if (s.configuredRecipients.empty())
    line(u"recipients after the fallback: (none; a negative TriggerNorva forbids the fallback)");
  else
    line(u"recipients after the fallback: " + s.recipients + u" (the configured ones)");
  line(Format(u"trace kinds: %d", s.traceKinds) + u" (" + KindNames(s.traceKinds) + u")");

  std::vector<String> files;
  if (s.traceKinds != 0) {
    const TraceDay today = Today();
    for (const TraceCandidates& c : TraceFileCandidates(node, s.traceKinds, today))
      for (const String& path : c.paths)
        line(u"  examined: " + path + (TraceFileWrittenOn(path, today) ? u" (written today)" : u" (not today)"));
    FindTraceFiles(node, files, s.traceKinds, today);
    for (const String& path : files) line(u"  would attach: " + path);
    if (files.empty()) line(u"  would attach: (nothing)");
  }
  const std::vector<SenderRun> runs =
      AlertRuns(SenderProgramPath(), subject, body, u"", s.recipients, s.norva, files);
  if (runs.empty()) line(u"command lines: none (result -3: nobody to send to)");
  for (std::size_t i = 0; i < runs.size(); ++i)
    line(Format(u"command line %d: ", static_cast<int>(i + 1)) + SenderCommandLine(runs[i]));
  const String folder = GetAppDataDir();
  line(u"working folder: " + (folder.empty() ? String(u"(the caller's)") : folder) +
       Format(u"; limit %d seconds, hidden window", kSenderSeconds));
  return out;
}

}  // namespace qv
