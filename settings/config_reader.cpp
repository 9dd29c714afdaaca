// Reading TARVEX.CFG and the rules its directive lines share: value forms,
// path normalisation and node selection.
#include "settings/config_reader.h"

#include <climits>
#include <memory>
#include <new>

#include "platform/handles.h"
#include "platform/seam.h"
#include "platform/sysinfo.h"
#include "settings/load_facts.h"

namespace qv::settings {

using platform::Current;

// ---------------------------------------------------------------- value forms

namespace {

// The largest configuration file read: far beyond any real one, and small
// enough to be held with its decoded text in a 32-bit process.
constexpr std::uint64_t kMaxConfigFileBytes = 64ull * 1024 * 1024;

bool IsHexForm(StringView text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  if (i < text.size() && text[i] == u'$') return true;
  return i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X');
}

std::int32_t ToInt32(StringView text, std::int32_t fallback, bool allowHex) {
  std::int64_t v = 0;
  if (!ParseInt64(text, v, allowHex)) return fallback;
  if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<std::int32_t>(v);
  // Hexadecimal values fill all 32 bits: $FFFFFFFF is -1.
  if (allowHex && v > INT32_MAX && v <= 0xFFFFFFFFLL && IsHexForm(text))
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return fallback;
}

}  // namespace

std::int32_t ParseNumber(StringView text, std::int32_t fallback) { return ToInt32(text, fallback, true); }
std::int32_t ParseDecimal(StringView text, std::int32_t fallback) { return ToInt32(text, fallback, false); }

String Unquote(StringView word) { return UnquoteToken(word); }

String ConfigLines::Word(StringView keyword, int inst, int k) { return list_.GetToken(keyword, inst, k); }
String ConfigLines::Text(StringView keyword, int inst, int k) { return list_.GetSqToken(keyword, inst, k); }

std::vector<const TokenList*> ConfigLines::Instances(StringView keyword) {
  const std::vector<int>& at = list_.KeywordLines(keyword);
  std::vector<const TokenList*> instances;
  instances.reserve(at.size());
  for (const int line : at) instances.push_back(&list_.GetSL(line));
  return instances;
}

// The list's own lookup, without copying the keyword out of the line.
bool ConfigLines::Exists(StringView keyword, int inst) {
  const String* keywordToken = list_.FindToken(keyword, inst, 0);
  return keywordToken && !keywordToken->empty();
}

int ConfigLines::LineIndex(StringView keyword, int inst) {
  return Exists(keyword, inst) ? list_.LastIndex() : -1;
}

// The rest-of-line and variable forms are the command-file list's own
// GetRestOfLine and GetVardef, so the reader and the suite's command-file
// editors read these values by one set of rules.
String ConfigLines::RestOfLine(StringView keyword, int inst) { return list_.GetRestOfLine(keyword, inst); }

String ConfigLines::Variable(StringView name) { return list_.GetVardef(name); }

// ---------------------------------------------------------------- paths and nodes

String ExpandBaseMacro(const SuiteSettings& s, StringView word) {
  String value = Unquote(word);
  if (value.empty() || (value[0] != s.MacroChar1 && value[0] != s.MacroChar2)) return value;
  value = WithTrailingBackslash(value);
  if (value.size() >= 8 && AsciiUpper(StringView(value).substr(1, 7)) == u"QTBASE\\")
    value = s.AppDataDir + value.substr(8, 255);
  if (HasTrailingBackslash(value)) value.pop_back();
  return value;
}

String ApplyDriveMapping(const SuiteSettings& s, StringView path) {
  String result = Upper(path);
  if (!s.DriveMapEnabled || result.size() < 2 || result[1] != u':') return result;
  const char16_t drive = AsciiUpper(result[0]);
  for (int i = 0; i < s.DriveMapCount && i < 5; ++i) {
    if (s.DriveMapFrom[static_cast<std::size_t>(i)] == drive) {
      result[0] = s.DriveMapTo[static_cast<std::size_t>(i)];
      break;
    }
  }
  return result;
}

bool NodeApplies(const SuiteSettings& s, NodeFamily family, StringView selector, StringView machineSelector) {
  if (selector == u"*") return true;
  // An empty name never selects a line, nor does an empty selector.
  auto is = [&](StringView name) { return !name.empty() && EqualsNoCase(selector, name); };
  switch (family) {
    case NodeFamily::EffectiveOrMachine: {
      const String effective = s.EffectiveNodeName();
      if (is(effective)) return true;
      const bool overridden =
          !s.NodeNameOverride1.empty() || !s.NodeNameOverride2.empty() || !s.NodeNameOverride3.empty();
      return !overridden && machineSelector.size() > 2 && is(machineSelector);
    }
    case NodeFamily::Effective: return is(s.EffectiveNodeName());
    case NodeFamily::Registry: return is(s.NodeName);
    case NodeFamily::RegistryOrThird: return is(s.NodeName) || is(s.NodeNameOverride3);
  }
  return false;
}

String MachineSelector() { return u"\\\\" + GetMachineName(); }

// ---------------------------------------------------------------- reading the file

bool ReadConfigFile(SuiteSettings& s, TFileBase& list) {
  platform::Platform& os = Current();
  list.Clear();
  list.SetDiscardcomments(true);
  platform::UniqueFile file(os);
  if (os.OpenFile(s.ConfigFile, platform::kGenericRead, platform::kShareRead, platform::Disposition::OpenExisting,
                  file.put()) != platform::kOk)
    return false;
  LoadFacts::OpenedFileIn(s.ConfigFile);
  // The last-write time of the file read: the handle's own, which on a file
  // server came with the open's answer, instead of a search for the file
  // (one more round trip). The time query and the open are one step.
  platform::FileTime written = 0;
  s.ConfigFileTime = os.GetFileWriteTimeOf(file.get(), written) == platform::kOk ? written : GetFileWriteTime(s.ConfigFile);

  // The bytes go straight into an uninitialised buffer: filling it with
  // zeros first would cost as much as copying the file once more.
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t done = 0;
  bool ok = true;
  std::uint64_t size = 0;
  if (os.GetFileSize(file.get(), size) != platform::kOk || size > kMaxConfigFileBytes) ok = false;
  // A file too large to hold is one that could not be read.
  try {
    if (ok) {
      bytes.reset(new std::uint8_t[static_cast<std::size_t>(size) + 1]);
      while (done < size) {
        std::uint32_t got = 0;
        if (os.ReadFile(file.get(), bytes.get() + done, static_cast<std::uint32_t>(size - done), got) !=
            platform::kOk) {
          ok = false;
          break;
        }
        if (got == 0) break;
        done += got;
      }
    }
    if (ok && list.LoadFromBytes(bytes.get(), done) != 0) ok = false;
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (ok) {
    const std::uint8_t* b = bytes.get();
    if (done >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
      s.ConfigEncoding = TextEncoding::Utf8;
    else if (done >= 2 && b[0] == 0xFF && b[1] == 0xFE)
      s.ConfigEncoding = TextEncoding::Utf16LE;
    else
      s.ConfigEncoding = TextEncoding::Ansi;
  } else {
    // A file that could not be read counts as one without directives.
    list.Clear();
  }
  bytes.reset();
  file.reset();

  if (list.Count() > 1 && list.Text(0).find(u"Initial TARVEX.CFG created as default") != String::npos)
    s.InitialDefaultFile = true;
  return true;
}

}  // namespace qv::settings
