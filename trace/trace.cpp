// The trace writer and its options: InitTrace fills this module's trace
// state once, WriteTrace composes each line and hands it to one destination
// (the weekly trace file, the external trace library or the monitor window).

#include "trace/trace.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

#include "platform/files.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/seam.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"

namespace qv {

namespace {

std::atomic<std::uint32_t> g_writeRetries{0};  // 32 bits: lock-free on every target
std::atomic<std::uint32_t> g_linesDropped{0};

using platform::Handle;
using platform::LocalTime;

constexpr StringView kTraceKey = u"Software\\Norva\\QTTRACE";
constexpr StringView kExternalKey = u"Software\\Norva\\QVTRC";
constexpr StringView kTraceErrorValue = u"Trace Error";
constexpr char16_t kExternalLibrary[] = u"QV9TRACE.DLL";
constexpr int kWriteAttempts = 10;
constexpr std::uint32_t kRetryDelayMs = 10;
constexpr std::uint32_t kLineHighlighted = 128;
constexpr std::uint32_t kErrDiskFull = 112;

// One per module: the support library is linked statically into each
// program and library, so each has its own copy of this state.
struct TraceState {
  std::mutex initLock;
  std::mutex fileLock;

  bool setupPending = true;
  String moduleName;
  bool fileTraceRequested = false;
  String externalName;

  String traceName;
  String baseName;
  String folder;    // ends with a backslash, or empty
  String filePath;  // empty while no file is named
  int dayIndex = -1;
  // The day changed and the new day's file has not been started yet.
  bool replacePending = false;
  bool fileTracing = false;
  bool byteOrderMark = true;

  std::atomic<bool> posting{false};
  std::atomic<Handle> monitor{0};
  std::atomic<bool> highlightAll{false};
  std::atomic<std::uint32_t> flags{0};
  PostQvTraceFn post = nullptr;

  // Everything but the locks back to module-load values.
  void Reset() {
    setupPending = true;
    moduleName.clear();
    fileTraceRequested = false;
    externalName.clear();
    traceName.clear();
    baseName.clear();
    folder.clear();
    filePath.clear();
    dayIndex = -1;
    replacePending = false;
    fileTracing = false;
    byteOrderMark = true;
    posting = false;
    monitor = 0;
    highlightAll = false;
    flags = 0;
    post = nullptr;
  }
};

TraceState& State() {
  static TraceState state;
  return state;
}

String FileStem(StringView path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  StringView name = slash == StringView::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot != StringView::npos) name = name.substr(0, dot);
  return String(name);
}

String TraceFileName(const TraceState& s) {
  return s.folder + s.baseName + u".FT" + static_cast<char16_t>(u'0' + s.dayIndex);
}

// Cuts a line to its first 2048 characters, never between the two halves
// of a surrogate pair.
void CutLine(String& line) {
  if (line.size() <= kTraceLineMax) return;
  std::size_t end = kTraceLineMax;
  const char16_t last = line[end - 1];
  if (last >= 0xD800 && last <= 0xDBFF) --end;
  line.resize(end);
}

void LoadExternalLibrary(platform::Platform& p, TraceState& s) {
  std::uint32_t error = 0;
  platform::UniqueLibrary library(p, p.LoadLibrary(kExternalLibrary, error));
  InitQvTraceFn init = nullptr;
  GetDestinationFn destination = nullptr;
  PostQvTraceFn post = nullptr;
  if (library) {
    init = reinterpret_cast<InitQvTraceFn>(p.GetProcAddress(library.get(), "InitQVTRACE"));
    destination = reinterpret_cast<GetDestinationFn>(p.GetProcAddress(library.get(), "GetDestination"));
    post = reinterpret_cast<PostQvTraceFn>(p.GetProcAddress(library.get(), "PostQVTRACE"));
  }
  if (!init || !destination || !post) {
    library.reset();
    s.externalName.clear();
    s.posting = false;
    return;
  }
  // The library stays loaded for the rest of the process: its post function
  // is called from here on.
  static_cast<void>(library.release());
  if (!p.CurrentModuleIsLibrary()) init(s.externalName.c_str());
  char16_t buffer[256] = {};
  destination(buffer);
  s.post = post;
}

void Setup(StringView name, StringView folder) {
  platform::Platform& p = platform::Current();
  TraceState& s = State();
  if (s.moduleName.empty()) s.moduleName = FileStem(p.ModuleFileName(p.CurrentModule()));
  if (s.traceName.empty()) s.traceName = name.empty() ? s.moduleName : String(name);
  s.traceName = Upper(s.traceName);

  s.fileTracing = RunsAsService() || (s.fileTraceRequested && p.GetVersion().major >= 6);

  if (!s.externalName.empty()) {
    LoadExternalLibrary(p, s);
    // With the library in place its lines go there and no file is named;
    // without it the other destinations stay as they are.
    if (!s.externalName.empty()) return;
  }

  if (s.fileTracing && s.filePath.empty()) {
    s.byteOrderMark = true;
    if (s.baseName.empty()) s.baseName = s.traceName;
    if (!TraceBaseName().empty()) s.baseName = TraceBaseName();
    if (folder.empty()) return;
    s.folder = WithTrailingBackslash(folder);
    ForceDirectories(s.folder);  // a failure surfaces later as failed writes
    s.dayIndex = p.GetLocalTime().dayOfWeek;
    s.filePath = TraceFileName(s);
  }
}

// Whether a file was last written on the given local day.
bool WrittenOn(platform::Platform& p, const String& path, const LocalTime& day) {
  platform::FileTime written = 0;
  if (p.FindFirstFileWriteTime(path, written) != platform::kOk || written == 0) return false;
  const LocalTime local = p.FileTimeToLocalTime(written);
  return local.year == day.year && local.month == day.month && local.day == day.day;
}

enum class Outcome { Written, Collided, Failed };

// One attempt to append the line to the trace file (or to start the file).
Outcome TryWrite(platform::Platform& p, TraceState& s, const std::string& utf8, const LocalTime& today,
                 std::uint32_t& error) {
  const bool exists = p.FileExists(s.filePath);
  // A new day's file replaces last week's file of that weekday, but not a
  // file that another writer has already started today.
  const bool fresh = s.replacePending ? !exists || !WrittenOn(p, s.filePath, today) : !exists;
  const platform::Disposition disposition = !fresh            ? platform::Disposition::OpenExisting
                                            : s.replacePending ? platform::Disposition::CreateAlways
                                                               : platform::Disposition::CreateNew;
  platform::UniqueFile file(p);
  error = p.OpenFile(s.filePath, platform::kGenericRead | platform::kGenericWrite, platform::kShareRead, disposition,
                     file.put());
  // Another writer created the file between the test and the create: the
  // next attempt appends to it.
  if (error == platform::kErrFileExists && disposition == platform::Disposition::CreateNew) return Outcome::Collided;
  if (error != platform::kOk) return Outcome::Failed;

  // An empty file (one whose first write failed, or that another program
  // created) still starts with the byte-order mark.
  std::uint64_t end = 0;
  if (!fresh) error = p.SeekToEnd(file.get(), end);
  std::string bytes;
  if (s.byteOrderMark && end == 0) bytes = "\xEF\xBB\xBF";
  bytes += utf8;
  if (error == platform::kOk) {
    std::uint32_t written = 0;
    error = p.WriteFile(file.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
    if (error == platform::kOk && written != bytes.size()) error = kErrDiskFull;
  }
  file.reset();
  if (error != platform::kOk) return Outcome::Failed;
  if (fresh) s.replacePending = false;
  return Outcome::Written;
}

// Leaves the failure's text where an operator looks for it.
void RecordTraceError(platform::Platform& p, std::uint32_t error) {
  const String message = p.FormatSystemMessage(error);
  WriteRegString(RootKey::CurrentUser, kTraceKey, kTraceErrorValue, message);
  if (RunsAsService() || IsUserAdmin()) WriteRegString(RootKey::LocalMachine, kTraceKey, kTraceErrorValue, message);
}

void WriteToFile(platform::Platform& p, TraceState& s, const String& line) {
  const std::string utf8 = ToUtf8(line);
  std::exception_ptr raised;
  {
    std::lock_guard guard(s.fileLock);
    if (s.filePath.empty() || s.folder.empty()) return;
    const LocalTime today = p.GetLocalTime();
    if (today.dayOfWeek != s.dayIndex) {
      s.dayIndex = today.dayOfWeek;
      s.filePath = TraceFileName(s);
      s.replacePending = true;
    }
    bool written = false;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
      if (attempt > 0) g_writeRetries.fetch_add(1, std::memory_order_relaxed);
      std::uint32_t error = 0;
      const Outcome outcome = TryWrite(p, s, utf8, today, error);
      if (outcome == Outcome::Written) {
        written = true;
        break;
      }
      if (outcome == Outcome::Collided) continue;
      try {
        RecordTraceError(p, error);
      } catch (...) {
        raised = std::current_exception();
        break;
      }
      p.Sleep(kRetryDelayMs);
    }
    if (!written) g_linesDropped.fetch_add(1, std::memory_order_relaxed);
  }
  if (raised) std::rethrow_exception(raised);
}

void SendToMonitor(platform::Platform& p, Handle window, const String& line, std::uint32_t kind) {
  // The line travels as UTF-16 with its NUL, copied into a fixed buffer of
  // 2049 characters; only the text and its NUL are sent.
  char16_t buffer[kTraceMonitorBuffer] = {};
  const std::size_t length = std::min(line.size(), kTraceLineMax);
  std::copy_n(line.data(), length, buffer);
  const auto* first = reinterpret_cast<const std::uint8_t*>(buffer);
  const Bytes data(first, first + 2 * length + 2);
  try {
    p.SendCopyData(window, kind + 1, data);
  } catch (...) {
    // A monitor that has gone away or fails the send is not our concern.
  }
}

}  // namespace

void SetFileTraceRequested(bool requested) { State().fileTraceRequested = requested; }

void SetExternalTraceName(StringView name) { State().externalName = String(name); }

void InitTrace(StringView name, StringView folder) {
  TraceState& s = State();
  {
    std::lock_guard guard(s.initLock);
    if (s.setupPending) {
      Setup(name, folder);
      s.setupPending = false;
    }
  }
  if (!RegKeyPresent(RootKey::LocalMachine, kTraceKey)) return;
  const auto word = static_cast<std::uint32_t>(ReadRegInteger(RootKey::LocalMachine, kTraceKey, s.traceName, 0));
  s.flags = word;
  s.highlightAll = (word & kLineHighlighted) != 0;
  s.posting = s.post != nullptr && !s.externalName.empty() &&
              ReadRegBool(RootKey::LocalMachine, kExternalKey, s.externalName, false);
  if (!s.fileTracing) s.monitor = platform::Current().FindWindow(kTraceMonitorClass, u"");
}

void WriteTrace(StringView text) {
  platform::Platform& p = platform::Current();
  TraceState& s = State();
  const bool posting = s.posting;
  const String tag = Upper(s.traceName);
  const std::uint32_t kind = s.highlightAll || text.substr(0, 2) == u">>" ? kLineHighlighted : 0;
  const LocalTime t = p.GetLocalTime();

  String line;
  if (s.fileTracing) {
    line = Format(u"%.2d/%.2d:%.2d:%.2d.%.3d ", t.day, t.hour, t.minute, t.second, t.milliseconds);
  } else if (posting) {
    line = Format(u"%.2d:%.2d:%.2d.%.3d  ", t.hour, t.minute, t.second, t.milliseconds);
  }
  line += tag;
  line += u' ';
  line += text;
  CutLine(line);

  if (s.fileTracing) {
    line += u"\r\n";
    WriteToFile(p, s, line);
  } else if (posting) {
    if (s.post && s.post(0, line.c_str()) == 0) s.posting = false;
  } else if (const Handle window = s.monitor; window != 0) {
    SendToMonitor(p, window, line, kind);
  }
}

std::uint32_t TraceFlags() { return State().flags; }
bool TraceFlag1() { return (State().flags & 1u) != 0; }
bool TraceFlag2() { return (State().flags & 2u) != 0; }
bool TraceFlag4() { return (State().flags & 4u) != 0; }
bool TraceFlag8() { return (State().flags & 8u) != 0; }

void ResetTraceForTests() {
  TraceState& s = State();
  std::lock_guard init(s.initLock);
  std::lock_guard file(s.fileLock);
  s.Reset();
}

std::uint64_t TraceWriteRetries() { return g_writeRetries.load(std::memory_order_relaxed); }
std::uint64_t TraceLinesDropped() { return g_linesDropped.load(std::memory_order_relaxed); }

}  // namespace qv
