// The settings record: its list types, starting values, the process-wide
// instance, its lock and the accessors.
#include "settings/suite_settings.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "settings/config_reader.h"

namespace qv {

// ---------------------------------------------------------------- NameValueList

void NameValueList::Add(StringView name, StringView value) { entries_.push_back({String(name), String(value)}); }

int NameValueList::IndexOfName(StringView name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (EqualsNoCase(entries_[i].name, name)) return static_cast<int>(i);
  return -1;
}

void NameValueList::SetValue(StringView name, StringView value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) entries_.erase(entries_.begin() + i);
    return;
  }
  if (i >= 0)
    entries_[static_cast<std::size_t>(i)].value = String(value);
  else
    Add(name, value);
}

void NameValueList::SetValues(const std::vector<Pair>& pairs) {
  if (pairs.empty()) return;
  // For every name, the first and the last entry holding it that are still
  // in the list, the ones between linked in list order through `following`:
  // the first is the one SetValue would find. Removed entries are marked and
  // dropped at the end, so no index moves meanwhile. The keys view the
  // entries' own names: the room reserved below keeps them in place until
  // the end, and a name is never changed.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Holders {
    std::size_t first = kNone;
    std::size_t last = kNone;
  };
  std::unordered_map<StringView, Holders, NoCaseHash, NoCaseEqual> byName;
  byName.reserve(entries_.size() + pairs.size());
  entries_.reserve(entries_.size() + pairs.size());
  std::vector<std::size_t> following(entries_.size(), kNone);
  std::vector<char> removed(entries_.size(), 0);
  auto hold = [&](Holders& holders, std::size_t i) {
    if (holders.first == kNone)
      holders.first = i;
    else
      following[holders.last] = i;
    holders.last = i;
  };
  for (std::size_t i = 0; i < entries_.size(); ++i) hold(byName[entries_[i].name], i);
  for (const Pair& pair : pairs) {
    auto it = byName.find(pair.name);
    Holders* holders = it == byName.end() ? nullptr : &it->second;
    const bool present = holders && holders->first != kNone;
    if (pair.value.empty()) {
      if (present) {
        removed[holders->first] = 1;
        holders->first = following[holders->first];
        if (holders->first == kNone) holders->last = kNone;
      }
    } else if (present) {
      entries_[holders->first].value.assign(pair.value);
    } else {
      entries_.push_back({String(pair.name), String(pair.value)});
      removed.push_back(0);
      following.push_back(kNone);
      if (!holders) holders = &byName.try_emplace(StringView(entries_.back().name)).first->second;
      hold(*holders, entries_.size() - 1);
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (!removed[i]) {
      if (kept != i) entries_[kept] = std::move(entries_[i]);
      ++kept;
    }
  entries_.resize(kept);
}

String NameValueList::Value(StringView name) const {
  const int i = IndexOfName(name);
  return i < 0 ? String() : entries_[static_cast<std::size_t>(i)].value;
}

String NameValueList::Text(std::size_t i) const {
  if (i >= entries_.size()) return String();
  return entries_[i].name + u"=" + entries_[i].value;
}

// ---------------------------------------------------------------- encodings

void FileEncodingTable::Reset() {
  slots.fill(FileEncoding::Ansi);
  (*this)[FileKind::Extra] = FileEncoding::Utf8;
}

const char16_t* FileEncodingName(FileEncoding e) {
  switch (e) {
    case FileEncoding::Ansi: return u"ANSI";
    case FileEncoding::Utf8: return u"UTF-8";
    case FileEncoding::Ascii: return u"ASCII";
    case FileEncoding::Utf16LE: return u"UTF-16LE";
  }
  return u"ANSI";
}

const char16_t* TextEncodingName(TextEncoding e) {
  switch (e) {
    case TextEncoding::Ansi: return u"ANSI";
    case TextEncoding::Utf8: return u"UTF-8";
    case TextEncoding::Utf16LE: return u"UTF-16LE";
    case TextEncoding::Utf16BE: return u"UTF-16BE";
    case TextEncoding::Ascii: return u"ASCII";
  }
  return u"ANSI";
}

const char16_t* FileKindName(FileKind k) {
  static const char16_t* const kNames[kFileKindCount] = {
      u"Active",        u"CFGfile",        u"USRfile",    u"IIFfile",    u"GCTfile",    u"FSfile",
      u"MBXfile",       u"MCFfile",        u"EMailBody",  u"EMailHTMLBody", u"EMailRecipList",
      u"JobHistory",    u"JobStdRept",     u"JobExtract", u"JobFieldList", u"Extra"};
  const auto i = static_cast<std::size_t>(k);
  return i < kFileKindCount ? kNames[i] : u"";
}

// ---------------------------------------------------------------- the record

const std::array<const char16_t*, 8> kMacroNames = {u"QTBASE", u"QTREQ", u"QTJOBS",    u"QTUSER",
                                                    u"QTPO",   u"QTCERTS", u"QTLOG", u"QTSCRIPTS"};

SuiteSettings::SuiteSettings() {
  FileEncodings.Reset();
  settings::ResetMsmqPriorities(*this);
}

String SuiteSettings::EffectiveNodeName() const {
  for (const String* name : {&NodeNameOverride1, &NodeNameOverride2, &NodeNameOverride3, &NodeName})
    if (!name->empty()) return *name;
  return String();
}

namespace {

SuiteSettings& Instance() {
  static SuiteSettings settings;
  return settings;
}

std::shared_mutex& Lock() {
  static std::shared_mutex lock;
  return lock;
}

// The thread that holds the lock exclusively for a load, if any.
std::atomic<std::thread::id> g_loadingThread{};

// Takes the shared lock unless this thread is the one running a load.
class SharedRead {
 public:
  SharedRead() {
    if (g_loadingThread.load() != std::this_thread::get_id()) lock_ = std::shared_lock(Lock());
  }

 private:
  std::shared_lock<std::shared_mutex> lock_;
};

template <typename T>
T Read(const T& field) {
  SharedRead guard;
  return field;
}

}  // namespace

SuiteSettings& Settings() { return Instance(); }
std::shared_mutex& SettingsLock() { return Lock(); }

namespace settings {

ExclusiveLoad::ExclusiveLoad() : lock_(Lock()) { g_loadingThread.store(std::this_thread::get_id()); }
ExclusiveLoad::~ExclusiveLoad() { g_loadingThread.store(std::thread::id()); }

void ResetMsmqPriorities(SuiteSettings& s) {
  for (MsmqTable& table : s.MsmqPriorities)
    for (std::size_t k = 0; k < table.size(); ++k) table[k] = static_cast<std::int8_t>(k <= 6 ? 7 - k : 0);
}

}  // namespace settings

void ResetSuiteSettingsForTests() {
  std::unique_lock lock(Lock());
  Instance() = SuiteSettings();
  TFileBase::SetMacroChar1(u'@');
  TFileBase::SetMacroChar2(u'`');
}

// ---------------------------------------------------------------- accessors

String GetAppDataDir() { return Read(Instance().AppDataDir); }
String GetAppDataLocalDir() { return Read(Instance().AppDataLocalDir); }
String GetTraceDir() { return Read(Instance().TraceDir); }
String GetProgramDir() { return Read(Instance().ProgramDir); }
bool SettingsLoadRunningOnThisThread() { return g_loadingThread.load() == std::this_thread::get_id(); }
std::int32_t GetRequestDirCount() { return Read(Instance().RequestDirCount); }
std::int32_t GetLastLoadError() { return Read(Instance().LastLoadError); }

// The list accessors hand out the record's own lists; the lock guards only
// the moment the reference is taken.
const NameValueList& GetVarDefPairs() {
  SharedRead guard;
  return Instance().VarDefPairs;
}
const std::vector<String>& GetVarDefNames() {
  SharedRead guard;
  return Instance().VarDefNames;
}
const std::vector<String>& GetVarDefValues() {
  SharedRead guard;
  return Instance().VarDefValues;
}
const NameValueList& GetEnvironmentOptions() {
  SharedRead guard;
  return Instance().EnvironmentOptions;
}
const std::vector<String>& GetScriptLocnTop() {
  SharedRead guard;
  return Instance().ScriptLocnTop;
}
const std::vector<String>& GetScriptLocnOther() {
  SharedRead guard;
  return Instance().ScriptLocnOther;
}
const std::vector<String>& GetTaskEyeSkip() {
  SharedRead guard;
  return Instance().TaskEyeSkip;
}
FileEncoding GetFileEncoding(FileKind kind) {
  SharedRead guard;
  return Instance().FileEncodings[kind];
}
const TaggedList& GetColorFrames() {
  SharedRead guard;
  return Instance().ColorFrames;
}

}  // namespace qv
