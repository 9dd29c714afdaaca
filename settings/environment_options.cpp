// The environment options: named options given to every suite program as
// process environment variables or as $environment lines of TARVEX.CFG
// (which may be limited to one node or one machine). The process
// environment is read first; applying $environment lines override it.
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <unordered_map>

#include "platform/registry.h"
#include "platform/seam.h"
#include "settings/config_reader.h"

namespace qv::settings {

namespace {

// The process environment, read once for all the names an environment
// read asks for (some 50): one copy of the block instead of a search of it
// per name. Names compare without regard to case, and the first of a name
// counts, as GetEnvironmentVariableW finds them. Without the block every
// name is asked for on its own.
class ProcessEnvironment {
 public:
  ProcessEnvironment() {
    whole_ = platform::Current().GetEnvironmentStrings(variables_);
    if (!whole_) return;
    byName_.reserve(variables_.size());
    for (const auto& [name, value] : variables_) byName_.try_emplace(name, value);
  }

  String Value(StringView name) const {
    String value;
    if (!whole_) {
      if (!platform::Current().GetEnvironmentVariable(String(name), value)) value.clear();
      return value;
    }
    const auto it = byName_.find(name);
    if (it != byName_.end()) value = it->second;
    return value;
  }

 private:
  bool whole_ = false;
  std::vector<std::pair<String, String>> variables_;
  std::unordered_map<StringView, StringView, NoCaseHash, NoCaseEqual> byName_;
};

// A value from the process environment is taken in text form (quotes
// removed) unless the option says raw; a $environment word 3 arrives in
// text form already.
String TextForm(StringView value, bool fromEnvironment) {
  return fromEnvironment ? Unquote(value) : String(value);
}

// The same stored in field; a value from the file reuses the field's room.
void AssignText(String& field, StringView value, bool fromEnvironment) {
  if (fromEnvironment)
    field = Unquote(value);
  else
    field.assign(value);
}

std::int32_t NumberForm(StringView value, bool fromEnvironment, std::int32_t fallback) {
  return fromEnvironment ? ParseNumber(Unquote(value), fallback) : ParseNumber(value, fallback);
}

String Folder(StringView value) { return value.empty() ? String() : WithTrailingBackslash(value); }

// Items separated by commas or blanks; a double quote groups an item (two
// double quotes inside stand for one); a comma at the very end adds an
// empty item. The text ends at a NUL character, as a C string would: a NUL
// is neither blank nor item, and reading on past it never advanced.
std::vector<String> CommaText(StringView text) {
  text = text.substr(0, text.find(u'\0'));
  std::vector<String> items;
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && text[i] > 0 && text[i] <= u' ') ++i;
  };
  skipBlanks();
  while (i < text.size()) {
    String item;
    if (text[i] == u'"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == u'"') {
          if (i + 1 < text.size() && text[i + 1] == u'"') {
            item.push_back(u'"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item.push_back(text[i++]);
      }
    } else {
      while (i < text.size() && text[i] > u' ' && text[i] != u',') item.push_back(text[i++]);
    }
    items.push_back(item);
    skipBlanks();
    if (i < text.size() && text[i] == u',') {
      if (i + 1 == text.size()) items.emplace_back();
      ++i;
      skipBlanks();
    }
  }
  return items;
}

struct Option {
  const char16_t* name;
  void (*reset)(SuiteSettings&);
  // value: the process environment's value as read, or word 3 in text form.
  void (*set)(SuiteSettings&, StringView value, bool fromEnvironment);
  bool fromFile;
};

#define QV_TEXT(NAME, FIELD)                                                                                \
  Option {                                                                                                  \
    NAME, [](SuiteSettings& s) { s.FIELD.clear(); },                                                        \
        [](SuiteSettings& s, StringView v, bool env) { AssignText(s.FIELD, v, env); }, true                  \
  }
#define QV_RAW(NAME, FIELD)                                                                                 \
  Option {                                                                                                  \
    NAME, [](SuiteSettings& s) { s.FIELD.clear(); }, [](SuiteSettings& s, StringView v, bool) { s.FIELD.assign(v); }, \
        true                                                                                                \
  }
#define QV_FOLDER(NAME, FIELD)                                                                              \
  Option {                                                                                                  \
    NAME, [](SuiteSettings& s) { s.FIELD.clear(); },                                                        \
        [](SuiteSettings& s, StringView v, bool env) { s.FIELD = Folder(TextForm(v, env)); }, true          \
  }
#define QV_NUMBER(NAME, FIELD, DEFAULT)                                                                     \
  Option {                                                                                                  \
    NAME, [](SuiteSettings& s) { s.FIELD = DEFAULT; },                                                      \
        [](SuiteSettings& s, StringView v, bool env) { s.FIELD = NumberForm(v, env, DEFAULT); }, true \
  }
#define QV_RAW_NUMBER(NAME, FIELD, DEFAULT)                                                                 \
  Option {                                                                                                  \
    NAME, [](SuiteSettings& s) { s.FIELD = DEFAULT; },                                                      \
        [](SuiteSettings& s, StringView v, bool) { s.FIELD = ParseNumber(v, DEFAULT); }, true               \
  }

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      // ACTIVE is raw in the process environment.
      Option{u"ACTIVE", [](SuiteSettings& s) { s.ActiveDir.clear(); },
             [](SuiteSettings& s, StringView v, bool) { s.ActiveDir = Folder(v); }, true},
      // Once true, true for the life of the process; any applying line sets it.
      Option{u"ACTIVE_WORK", [](SuiteSettings&) {}, [](SuiteSettings& s, StringView, bool) { s.ActiveWork = true; },
             true},
      QV_TEXT(u"ALTERNATEJOBADMPATH", AlternateJobAdmPath),
      QV_TEXT(u"QV_UPDATE_LINKS", UpdateLinks),
      QV_TEXT(u"CVSDELAY", CvsDelay),
      QV_RAW_NUMBER(u"CVSINGLE_OPEN_TIMEOUT", CvSingleOpenTimeout, 10),
      QV_RAW(u"CVT_LOCAL_COPY", CvtLocalCopy),
      QV_RAW(u"CVT_XLS_OPTIONS", CvtXlsOptions),
      QV_TEXT(u"CVTOPTS", CvtOpts),
      QV_TEXT(u"DEFAULT_CONVERTER_PAGE", DefaultConverterPage),
      QV_TEXT(u"DEFAULT_CONVERTER_RES", DefaultConverterRes),
      QV_NUMBER(u"QTEXTERN_ADJUST_LIMIT", ExternAdjustLimit, 0),
      QV_NUMBER(u"QTEXTERN_ADJUST_REPORT", ExternAdjustReport, 0),
      QV_NUMBER(u"QTEXTERN_CONSECUTIVE_ERRORS", ExternConsecutiveErrors, 0),
      QV_NUMBER(u"QTEXTERN_QUEUE_ERRORS", ExternQueueErrors, 0),
      QV_NUMBER(u"QTEXTERN_TIMEOUTS", ExternTimeouts, 0),
      QV_TEXT(u"DNSUPD_LOG", DnsUpdLog),
      QV_FOLDER(u"QTTRC", TraceDirOption),
      QV_TEXT(u"FTP_UPLOAD_FOLDER", FtpUploadFolder),
      QV_TEXT(u"FTP_UPLOAD_METHOD", FtpUploadMethod),
      QV_FOLDER(u"GFAX", GfaxDir),
      QV_TEXT(u"BLADEWARESERVICE", BladewareService),
      // "5+" gives -5, "-3" gives 3, an empty value leaves the field.
      Option{u"GW_RECIP_LIMIT", [](SuiteSettings& s) { s.GwRecipLimit = 1; },
             [](SuiteSettings& s, StringView v, bool env) {
               String text = TextForm(v, env);
               if (text.empty()) return;
               const bool negative = text.back() == u'+';
               if (negative) text.pop_back();
               const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(ParseNumber(text, 1)));
               const std::int64_t limited = std::min<std::int64_t>(magnitude, INT32_MAX);
               s.GwRecipLimit = static_cast<std::int32_t>(negative ? -limited : limited);
             },
             true},
      Option{u"FORCE_PORTRAIT", [](SuiteSettings& s) { s.ForcePortrait = false; },
             [](SuiteSettings& s, StringView v, bool env) { s.ForcePortrait = !TextForm(v, env).empty(); }, true},
      Option{u"FX_TEXT_EXT", [](SuiteSettings& s) { s.FxTextExt = u".TXT"; },
             [](SuiteSettings& s, StringView v, bool env) { s.FxTextExt = TextForm(v, env); }, true},
      QV_TEXT(u"JOBADMIN_DELETION", JobAdminDeletion),
      QV_NUMBER(u"JOBDIGITS_DEFAULT", JobDigitsDefault, 5),
      Option{u"TASKEYE_SKIP", [](SuiteSettings& s) { s.TaskEyeSkip.clear(); },
             [](SuiteSettings& s, StringView v, bool env) { s.TaskEyeSkip = CommaText(TextForm(v, env)); }, true},
      Option{u"LOCAL_FS_COPY_PATH", [](SuiteSettings& s) { s.LocalFsCopyPath.clear(); },
             [](SuiteSettings& s, StringView v, bool env) {
               s.LocalFsCopyPath = TextForm(v, env);
               if (HasTrailingBackslash(s.LocalFsCopyPath)) s.LocalFsCopyPath.pop_back();
             },
             true},
      QV_RAW_NUMBER(u"MAX_VAR_SPACE", MaxVarSpace, 16),
      QV_TEXT(u"MAXRES_ACTION", MaxResAction),
      QV_RAW_NUMBER(u"MINUTESLIMIT", MinutesLimit, 1),
      Option{u"NO_VOIP_KEEPALIVE", [](SuiteSettings& s) { s.NoVoipKeepalive = false; },
             [](SuiteSettings& s, StringView v, bool env) { s.NoVoipKeepalive = !TextForm(v, env).empty(); }, false},
      QV_TEXT(u"USERDOMAIN", UserDomain),
      QV_TEXT(u"USERDNSDOMAIN", UserDnsDomain),
      QV_FOLDER(u"WMTMP", WmTmpDir),
      Option{u"CONTEXT_HELP", [](SuiteSettings& s) { s.ContextHelpBrowser = false; },
             [](SuiteSettings& s, StringView v, bool env) {
               s.ContextHelpBrowser = EqualsNoCase(TextForm(v, env), u"browser");
             },
             true},
  };
  return options;
}

// The options by name, letter case ignored (the first of a name counts).
const Option* FindOption(StringView name) {
  static const auto byName = [] {
    std::unordered_map<StringView, const Option*, NoCaseHash, NoCaseEqual> map;
    for (const Option& option : Options()) map.try_emplace(StringView(option.name), &option);
    return map;
  }();
  const auto it = byName.find(name);
  return it == byName.end() ? nullptr : it->second;
}

#undef QV_TEXT
#undef QV_RAW
#undef QV_FOLDER
#undef QV_NUMBER
#undef QV_RAW_NUMBER

constexpr StringView kTraceIndex = u"TRC_INDEX";
constexpr StringView kBladewareService = u"BLADEWARESERVICE";

// Copied from the process environment into EnvironmentOptions when set.
constexpr const char16_t* kPassThrough[] = {u"ADP_PROPERTIES", u"ADP_FAX",           u"ADP_EMAIL",
                                            u"ADP_USR",        u"ADP_FST",           u"ADC_FAX_OPTIONS",
                                            u"ADC_EMAIL_OPTIONS", u"BUGREPORT_FREEZE_SECONDS"};

}  // namespace

void ReadEnvironmentOptions(SuiteSettings& s, ConfigLines& lines) {
  const ProcessEnvironment environment;
  for (const Option& option : Options()) {
    option.reset(s);
    const String value = environment.Value(option.name);
    if (!value.empty()) option.set(s, value, true);
  }
  for (const char16_t* name : kPassThrough) {
    const String value = environment.Value(name);
    if (!value.empty()) s.EnvironmentOptions.SetValue(name, value);
  }

  const String machine = MachineSelector();
  s.TraceIndexes.clear();
  // The first 999 lines count; a line without a selector ends the list.
  const std::vector<const TokenList*> instances = lines.Instances(u"$environment");
  const std::size_t count = std::min<std::size_t>(instances.size(), 999);
  // Set in file order after the loop, in one pass. The texts are views of
  // the lines' words, or of the text forms kept below for quoted ones.
  std::vector<NameValueList::Pair> applying;
  applying.reserve(count);
  String selectorText;
  std::deque<String> quoted;  // text forms of quoted names and values, in place until the end
  auto kept = [&](StringView text, String& form) -> StringView {
    if (text.data() != form.data()) return text;  // a view of the word itself
    return quoted.emplace_back(std::move(form));
  };
  for (std::size_t i = 0; i < count; ++i) {
    const TokenList& words = *instances[i];
    const StringView selector = ConfigLines::TextOf(words, 1, selectorText);
    if (selector.empty()) break;
    String nameText, valueText;
    const StringView name = kept(ConfigLines::TextOf(words, 2, nameText), nameText);
    const StringView value = kept(ConfigLines::TextOf(words, 3, valueText), valueText);
    // Every node's trace index is kept, whichever node this is.
    if (EqualsNoCase(name, kTraceIndex) && selector != u"*")
      s.TraceIndexes.push_back({String(selector), ParseNumber(value, 0)});
    if (!NodeApplies(s, NodeFamily::EffectiveOrMachine, selector, machine)) continue;
    if (const Option* option = FindOption(name)) {
      if (option->fromFile) option->set(s, value, false);
      if (EqualsNoCaseAscii(name, kBladewareService)) {
        // The process environment wins over the file for this one option.
        const String fromProcess = environment.Value(u"BLADEWARESERVICE");
        if (!fromProcess.empty()) option->set(s, fromProcess, true);
      }
    }
    applying.push_back({name, value});
  }
  s.EnvironmentOptions.SetValues(applying);
}

void AdjustEnvironmentOptions(SuiteSettings& s) {
  // Only the converter's option letters survive, each in its own case.
  static const String kLetters = u"ACEFGIKPSTUVWX";
  String options;
  for (char16_t c : s.CvtOpts)
    if (c <= 0xFF && kLetters.find(UpperChar(c)) != String::npos) options.push_back(c);
  s.CvtOpts = options;

  if (s.DefaultConverterPage.empty()) {
    // Paper size by the user's locale: 1 (letter) for US English, else 9 (A4).
    const String locale =
        ReadRegString(platform::RootKey::CurrentUser, u"Control Panel\\International", u"Locale", u"00000409");
    s.DefaultConverterPage = (locale.empty() || locale == u"00000409") ? u"1" : u"9";
  }
  s.CvSingleOpenTimeout = std::clamp(s.CvSingleOpenTimeout, 0, 90);
  for (String& item : s.TaskEyeSkip) item = Trim(item);
  if (s.MaxVarSpace < 16) s.MaxVarSpace = 16;
}

}  // namespace qv::settings
