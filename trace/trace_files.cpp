#include "trace/trace_files.h"

#include <cstring>

#include "platform/civil_date.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "settings/suite_settings.h"

namespace qv {

using namespace platform;

namespace {

// Days since 1970-01-01 of a trace day, and back.
std::int64_t DayNumber(const TraceDay& d) {
  return DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
}

TraceDay FromDayNumber(std::int64_t z) {
  const CivilDate date = CivilFromDays(z);
  return TraceDay{date.year, date.month, date.day};
}

// 0 for Sunday to 6 for Saturday (1970-01-01 was a Thursday).
int WeekdayDigit(const TraceDay& d) {
  const std::int64_t n = DayNumber(d);
  return static_cast<int>(((n % 7) + 7 + 4) % 7);
}

String FirstNodeName(std::initializer_list<std::pair<RootKey, String>> places) {
  for (const auto& [root, key] : places) {
    String name = ReadRegString(root, key, u"Nodename", u"");
    if (!name.empty()) return name;
  }
  return String();
}

String EngineNode(StringView node) {
  if (!node.empty()) return String(node);
  const String suffixed = u"Software\\Norva\\Engine_" + String(node);
  return FirstNodeName({{RootKey::CurrentUser, u"Software\\Norva\\Engine"},
                        {RootKey::LocalMachine, u"Software\\Norva\\Engine"},
                        {RootKey::CurrentUser, suffixed},
                        {RootKey::LocalMachine, suffixed}});
}

String ConnectorNode(StringView node) {
  if (!node.empty()) return String(node);
  return FirstNodeName({{RootKey::CurrentUser, u"Software\\Norva\\QTEXTERN"},
                        {RootKey::LocalMachine, u"Software\\Norva\\QTEXTERN"}});
}

String GatewayLogFolder(const String& traceFolder) {
  const String folder =
      ReadRegString(RootKey::LocalMachine, u"SOFTWARE\\Norva\\Velmora SMTP Gateway", u"DebugLogfolder", u"");
  return folder.empty() ? traceFolder : WithTrailingBackslash(folder);
}

bool DayUsable(const TraceDay& day) {
  const std::int64_t back = DayNumber(Today()) - DayNumber(day);
  return back >= 0 && back <= 6;
}

String TraceFolder() {
  if (GetAppDataDir().empty() && !SettingsLoadRunningOnThisThread()) LoadSuiteSettings(true, false, true);
  return GetTraceDir();
}

std::vector<TraceCandidates> Candidates(StringView node, std::uint8_t selection, const TraceDay& day,
                                        const String& folder) {
  const String d = ToString(WeekdayDigit(day));
  std::vector<TraceCandidates> out;
  const bool engineWanted = selection & (kTraceEngineLive | kTraceEngineAndConnector | kTraceEngine);
  const String engine = engineWanted ? EngineNode(node) : String();
  if ((selection & kTraceEngineLive) && !engine.empty())
    out.push_back({kTraceEngineLive, {folder + engine + u".TR" + d}});
  if ((selection & (kTraceEngineAndConnector | kTraceEngine)) && !engine.empty()) {
    TraceCandidates c{static_cast<std::uint8_t>(selection & (kTraceEngineAndConnector | kTraceEngine)), {}};
    c.paths.push_back(folder + engine + u".FT" + d);
    c.paths.push_back(folder + u"VELMORA_" + engine + u".FT" + d);
    if (selection & kTraceEngineAndConnector) c.paths.push_back(folder + u"QTEXTERN_" + ConnectorNode(node) + u".FT" + d);
    out.push_back(std::move(c));
  }
  if (selection & kTraceGateway) {
    const String gateway = node.empty() ? String(u"GATEWAY") : String(node);
    out.push_back({kTraceGateway, {GatewayLogFolder(folder) + gateway + u".GW" + d}});
  }
  const std::pair<std::uint8_t, const char16_t*> programs[] = {
      {kTraceHkService, u"QVHKSERVICE"}, {kTraceQvMsg, u"QVMSG"}, {kTraceQtMerge, u"QTMERGE"}, {kTraceQtCvrt, u"QTCVRT"}};
  for (const auto& [bit, name] : programs)
    if (selection & bit) out.push_back({bit, {folder + name + u".FT" + d}});
  return out;
}

std::int32_t Collect(StringView node, std::vector<String>& list, std::uint8_t selection, const TraceDay& day,
                     bool flush) {
  if (!DayUsable(day)) return -1;
  const bool today = day == Today();
  for (const TraceCandidates& c : Candidates(node, selection, day, TraceFolder())) {
    if (c.bit == kTraceEngineLive) {
      if (!TraceFileWrittenOn(c.paths[0], day)) continue;
      if (today && flush) RequestEngineFlush(node);
      list.push_back(c.paths[0]);
    } else if (c.paths.size() > 1) {
      // The engine's own file; only when it does not qualify the others.
      if (TraceFileWrittenOn(c.paths[0], day)) {
        list.push_back(c.paths[0]);
        continue;
      }
      for (std::size_t i = 1; i < c.paths.size(); ++i)
        if (TraceFileWrittenOn(c.paths[i], day)) list.push_back(c.paths[i]);
    } else if (TraceFileWrittenOn(c.paths[0], day)) {
      list.push_back(c.paths[0]);
    }
  }
  return 0;
}

}  // namespace

TraceDay DayOf(const LocalTime& t) { return TraceDay{t.year, t.month, t.day}; }

TraceDay Today() { return DayOf(Current().GetLocalTime()); }

bool TraceFileWrittenOn(StringView path, const TraceDay& day) {
  const FileTime written = GetFileWriteTime(path);
  if (written == 0) return false;
  const LocalTime local = Current().FileTimeToLocalTime(written);
  TraceDay counted = DayOf(local);
  if (local.hour < 2) counted = FromDayNumber(DayNumber(counted) - 1);
  return counted == day;
}

std::int32_t RequestEngineFlush(StringView node) {
  Platform& os = Current();
  UniqueMapping mapping(os);
  bool existed = false;
  if (os.CreateSharedMemory(String(kEngineFlushBlock) + String(node), kEngineFlushBlockSize, mapping.put(), existed) !=
          kOk ||
      !mapping)
    return -1;
  std::int32_t result = -1;
  // The view is unmapped before the mapping is closed.
  if (UniqueView view(os, os.MapSharedMemory(mapping.get(), kEngineFlushBlockSize)); view) {
    auto* fields = static_cast<std::uint8_t*>(view.get());
    std::uint32_t signature = 0;
    std::memcpy(&signature, fields + 8, 4);
    if (signature == kEngineSignature1 || signature == kEngineSignature2) {
      const std::uint32_t request = 1;
      std::memcpy(fields, &request, 4);
      std::memcpy(&result, fields + 4, 4);
      os.Sleep(kEngineFlushWaitMs);
    }
  }
  return result;
}

std::vector<TraceCandidates> TraceFileCandidates(StringView node, std::uint8_t selection, const TraceDay& day) {
  return Candidates(node, selection, day, TraceFolder());
}

std::int32_t CollectTraceFiles(StringView node, std::vector<String>& list, std::uint8_t selection,
                               const TraceDay& day) {
  return Collect(node, list, selection, day, true);
}

std::int32_t FindTraceFiles(StringView node, std::vector<String>& list, std::uint8_t selection, const TraceDay& day) {
  return Collect(node, list, selection, day, false);
}

}  // namespace qv
