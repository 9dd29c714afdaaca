// The pieces of the configuration reader that LoadSuiteSettings runs in
// order: reading TARVEX.CFG into a line list, the value forms of its
// directive lines, path normalisation (base macro, drive mapping), node
// selection, the directives themselves, the environment options and the
// derived folders. Everything here runs under the exclusive SettingsLock and
// works on the record it is given; nothing here takes the lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "cmdfile/tfilebase.h"
#include "settings/suite_settings.h"

namespace qv::settings {

// Holds SettingsLock exclusively for one load and marks the calling thread
// as the loading one (its accessor calls then read without the lock).
class ExclusiveLoad {
 public:
  ExclusiveLoad();
  ~ExclusiveLoad();
  ExclusiveLoad(const ExclusiveLoad&) = delete;
  ExclusiveLoad& operator=(const ExclusiveLoad&) = delete;

 private:
  std::unique_lock<std::shared_mutex> lock_;
};

// Every table: entry k holds 7 - k for k = 0 to 6 and 0 above.
void ResetMsmqPriorities(SuiteSettings& s);

// ---------------------------------------------------------------- value forms

// A text value read as a signed 32-bit number: leading blanks, an optional
// sign, decimal digits, or hexadecimal digits after "$" or "0x" (hexadecimal
// values up to FFFFFFFF wrap into the signed range). `fallback` when the
// value is empty or not wholly a number.
std::int32_t ParseNumber(StringView text, std::int32_t fallback);
// The same with decimal digits only.
std::int32_t ParseDecimal(StringView text, std::int32_t fallback);

// The "text" form of a word: surrounding double quotes removed and doubled
// quotes inside reduced to one; a word without a leading quote as written.
String Unquote(StringView word);

// Read access to the directive lines of a configuration file. The list is
// indexed by keyword on construction, so that each directive's lookups cost
// in proportion to its own lines; the values are those of the list's own
// lookups either way.
class ConfigLines {
 public:
  explicit ConfigLines(TFileBase& list) : list_(list) { list_.IndexKeywords(); }

  TFileBase& List() { return list_; }
  // Word k of instance inst (from 1) of keyword, as written; empty when the
  // line or word is missing.
  String Word(StringView keyword, int inst, int k);
  // The same in text form.
  String Text(StringView keyword, int inst, int k);
  // Every instance of keyword, for a loop over all of them: element i is
  // the token list of instance i + 1, the one Word and Text read.
  std::vector<const TokenList*> Instances(StringView keyword);
  // Word k of a token list as written; empty when there is no word k.
  static StringView WordOf(const TokenList& words, std::size_t k) {
    return k < words.size() ? StringView(words[k]) : StringView();
  }
  // Word k of a token list in text form, without a copy when the word is
  // not quoted (else a view of `unquoted`, which then holds the text form);
  // empty when there is no word k. The view lasts while the list and
  // `unquoted` are unchanged.
  static StringView TextOf(const TokenList& words, std::size_t k, String& unquoted) {
    return k < words.size() ? TextFormOf(words[k], unquoted) : StringView();
  }
  // A word's text form: the word itself unless it is quoted, else the
  // unquoted text, held in `unquoted`.
  static StringView TextFormOf(const String& word, String& unquoted) {
    if (word.empty() || word[0] != u'"') return word;
    unquoted = UnquoteToken(word);
    return unquoted;
  }
  // Whether instance inst exists, and its line index (-1 when it does not).
  bool Exists(StringView keyword, int inst);
  int LineIndex(StringView keyword, int inst);
  // The line's text after the keyword, trimmed, cut before the first blank
  // or tab followed by ";", trimmed again; empty when the line is missing.
  String RestOfLine(StringView keyword, int inst);
  // Word 2 (text) of the last $var_def line whose word 1 (text) equals name
  // without regard to case; empty when there is none.
  String Variable(StringView name);

 private:
  TFileBase& list_;
};

// ---------------------------------------------------------------- paths and nodes

// A path value of a folder directive (text form) with a leading macro
// character naming QTBASE replaced by AppDataDir; a value starting with a
// macro character loses its trailing delimiter.
String ExpandBaseMacro(const SuiteSettings& s, StringView word);
// The path in upper case; with the drive-mapping switch set, a drive letter
// of a mapped pair replaced by its partner.
String ApplyDriveMapping(const SuiteSettings& s, StringView path);

enum class NodeFamily {
  EffectiveOrMachine,  // $environment, $local_temp
  Effective,           // $default_profile
  Registry,            // the queue names, $tts_dll
  RegistryOrThird,     // $ad_connect
};
// Whether a directive line with this selector (word 1, text form) applies to
// this node. machineSelector is "\\" + the physical computer name, used by
// EffectiveOrMachine only while no override is set (empty: not used).
bool NodeApplies(const SuiteSettings& s, NodeFamily family, StringView selector, StringView machineSelector);
// "\\" + the machine's physical NetBIOS name.
String MachineSelector();

// ---------------------------------------------------------------- the load steps

// Reads ConfigFile into list: open deny-write, ConfigFileTime from the open
// file, decode, encoding from the first bytes, initial-default marker. False
// when the file cannot be opened (list and ConfigFileTime left as they
// were). A failure while reading empties the list.
bool ReadConfigFile(SuiteSettings& s, TFileBase& list);

// Every directive in its fixed order, including the environment options and
// the folder steps that run between the directives.
void InterpretDirectives(SuiteSettings& s, ConfigLines& lines);

// The environment options: process environment, then the $environment lines.
void ReadEnvironmentOptions(SuiteSettings& s, ConfigLines& lines);
// The adjustments made after $image_options, $local_temp and
// $email_node_bindnames.
void AdjustEnvironmentOptions(SuiteSettings& s);

// Local temporary folder and trace folder (after $local_temp).
void FillTempAndTraceFolders(SuiteSettings& s);
// RequestDirNumbers and SendOrder (after $colorframe).
void FillRequestNumbers(SuiteSettings& s);
// Default folders, their local forms, the NTFS test of the request volume.
void FillDerivedFolders(SuiteSettings& s);
// The macro table, once per process.
void BuildMacroTable(SuiteSettings& s);

}  // namespace qv::settings
