// SuiteSettings: the process-wide settings record of every suite program,
// filled from TARVEX.CFG by LoadSuiteSettings.
//
// The record is one instance per process (Settings()), given its starting
// values when the process starts. LoadSuiteSettings binds QV9REG.DLL at run
// time (it is never linked), asks its QVGETCFG export where the
// application-data area, the suite INI file and the configuration file are,
// reads the configuration file with a TFileBase and interprets the
// directives, the environment options and the derived folders.
//
// Locking: SettingsLock() is a slim reader/writer lock. A load holds it
// exclusively from start to return. The accessors below take it shared
// around their one read. Fields without an accessor are read directly from
// Settings(); a program must not do that while another thread may be
// loading. Nothing inside a load calls an accessor: the load reads the
// record directly.
//
// The accessor lock rule of this implementation: an accessor takes the
// shared lock in every process (uncontended, so a single-threaded program
// sees no difference), except on the thread that is running a load, where it
// reads directly instead of deadlocking on the lock that thread already
// holds.
#pragma once

#include <array>
#include <cstdint>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "cmdfile/tfilebase.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace qv {

// ---------------------------------------------------------------- list types

// A list of name=value entries. Names compare without regard to letter case
// (locale-aware, as the suite's string lists do).
class NameValueList {
 public:
  struct Entry {
    String name;
    String value;
  };

  // Appends name=value even when the name is already present.
  void Add(StringView name, StringView value);
  // Sets the value of the first entry with that name, or appends one; an
  // empty value removes the first entry with that name.
  void SetValue(StringView name, StringView value);
  // SetValue of every pair in order, with the same result, in time linear
  // in the list and the pairs (one SetValue searches the whole list). The
  // texts are copied only where the list keeps them.
  struct Pair {
    StringView name;
    StringView value;
  };
  void SetValues(const std::vector<Pair>& pairs);
  // The value of the first entry with that name; empty when there is none.
  String Value(StringView name) const;
  // Index of the first entry with that name, -1 when there is none.
  int IndexOfName(StringView name) const;
  bool Contains(StringView name) const { return IndexOfName(name) >= 0; }

  const std::vector<Entry>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }
  // "name=value" of entry i.
  String Text(std::size_t i) const;

 private:
  std::vector<Entry> entries_;
};

// A list of texts each carrying an integer tag.
struct TaggedText {
  String text;
  std::int32_t tag = 0;
  bool operator==(const TaggedText&) const = default;
};
using TaggedList = std::vector<TaggedText>;

// ---------------------------------------------------------------- encodings

// The encoding a suite program uses for one kind of file.
enum class FileEncoding : std::uint8_t { Ansi, Utf8, Ascii, Utf16LE };

// The slots of $unicode, one per file kind.
enum class FileKind : std::uint8_t {
  Active,
  ConfigFile,
  UserProfile,  // USRfile and UJPfile share one slot
  Iif,
  Gct,
  Fs,
  Mbx,
  Mcf,
  EmailBody,
  EmailHtmlBody,
  EmailRecipList,
  JobHistory,
  JobStdRept,
  JobExtract,
  JobFieldList,
  Extra,
};
inline constexpr std::size_t kFileKindCount = 16;

struct FileEncodingTable {
  std::array<FileEncoding, kFileKindCount> slots{};
  FileEncoding& operator[](FileKind k) { return slots[static_cast<std::size_t>(k)]; }
  FileEncoding operator[](FileKind k) const { return slots[static_cast<std::size_t>(k)]; }
  // Every slot ANSI except the extra slot, which is UTF-8.
  void Reset();
};

// The names used when showing encodings and file kinds.
const char16_t* FileEncodingName(FileEncoding e);
const char16_t* TextEncodingName(TextEncoding e);
const char16_t* FileKindName(FileKind k);

// ---------------------------------------------------------------- bit values

// EmailSecurity bits.
inline constexpr std::uint32_t kEmailSmimeSign = 0x01;
inline constexpr std::uint32_t kEmailSmimeEncrypt = 0x02;
inline constexpr std::uint32_t kEmailDkim = 0x04;
inline constexpr std::uint32_t kEmailDecodeSmime = 0x08;
inline constexpr std::uint32_t kEmailVerifyDkim = 0x10;
inline constexpr std::uint32_t kEmailImplicitTls = 0x20;

// MsmqPriorities tables.
enum class MsmqQueue : std::uint8_t { Preproc, Altproc, Notify, Fs };
using MsmqTable = std::array<std::int8_t, 16>;

// LocalTempSource values.
inline constexpr std::int32_t kTempFromDirective = 0;
inline constexpr std::int32_t kTempFromGfax = 1;
inline constexpr std::int32_t kTempBuiltIn = 2;
inline constexpr std::int32_t kTempSystemAdded = 10;

// ---------------------------------------------------------------- the record

struct SuiteSettings {
  SuiteSettings();  // the starting values

  // ---- location and load status
  String ConfigFile;                 // no trailing delimiter; empty when not located or not opened
  platform::FileTime ConfigFileTime = 0;
  TextEncoding ConfigEncoding = TextEncoding::Ansi;
  String SuiteIniFile;               // no trailing delimiter; handed back to QVGETCFG
  String AppDataDir;
  String AppDataDirAsLoaded;
  String AppDataLocalDir;            // never cleared by a load
  String ServerDir;
  String NetBinDir;
  String ShareRoot;
  std::uint8_t ServerDirIsExpected = 0;
  std::uint8_t LibraryFlag = 0;
  String RegisteredOwner;
  String RegisteredOrganization;
  String UserName;
  String CompanyName;
  String UserDir;
  String ProgramDir;
  String NodeName;
  // Host-set before a load; the reader never writes them.
  String NodeNameOverride1;
  String NodeNameOverride2;
  String NodeNameOverride3;
  bool UseMachineHive = false;        // host-set: read NodeName from HKEY_LOCAL_MACHINE
  bool AllowPreviousLibrary = false;  // host-set: QV8REG.DLL may stand in for QV9REG.DLL
  bool InitialDefaultFile = false;    // never cleared
  std::int32_t LastLoadError = 0;
  String LastLoadMessage;
  std::int32_t ErrorDialogSeconds = 0;
  String ErrorDialogNotice;

  // ---- drive map and macro characters
  std::array<char16_t, 5> DriveMapFrom{};
  std::array<char16_t, 5> DriveMapTo{};
  std::int32_t DriveMapCount = 0;
  std::int32_t DriveMapLine = 9999;
  bool DriveMapEnabled = false;       // once set, set for the life of the process
  char16_t MacroChar1 = u'@';
  char16_t MacroChar2 = u'`';

  // ---- directives
  FileEncodingTable FileEncodings;
  String RetryParms;
  std::int32_t EmailIpMode = 0;
  String RequestDir;
  std::int32_t RequestDirCount = 9;
  std::array<String, 10> ImageOptions;
  String LocalTempDir;
  NameValueList EmailNodeBindNames;
  String CountryPrefix;
  std::int32_t CountryCode = 0;
  bool CountryDbOk = false;
  String PostOfficeDir;
  String CertificatesDir;
  String ScriptsDir;
  String UserJobsDir;
  String LogDir;
  String ConfiguredCompanyName;
  String EmailESender;
  String EmailFrom;
  String EmailNotify;
  std::vector<String> VarDefNames;
  std::vector<String> VarDefValues;
  NameValueList VarDefPairs;
  bool UseChannelCommands = false;
  std::vector<String> ScriptLocnTop;
  std::vector<String> ScriptLocnOther;
  std::vector<String> QvMsgLines;
  TaggedList DisplayBoxes;
  String DnsMailPath;
  String DnsDomainPath;
  String TemplateDllPath;
  String CTemplateDllPath;
  std::int32_t TemplateDllBufferSize = 2048;
  std::uint32_t JobDllLockOptions = 0;
  bool Fs2b = false;
  bool V7Html = false;
  bool Utf8ListsAddBom = false;
  std::uint32_t EmailSecurity = 0;
  std::uint32_t ConvertTypes = 0;
  std::int32_t PdfLevel = 0;
  std::int32_t LockTries = 20;
  std::int32_t LockDelay = 50;
  String ForceTabExt;
  String ForceCsvExt;
  std::int32_t LibreTimeout = 0;
  std::int32_t ActiveLife = 30;
  bool ToSendConstraints = false;
  bool QvActive = false;
  String UserProfilesDir;
  String DefaultProfileFile;
  String CpNorvaEdit;
  String NotifyQueueName;
  String PreprocQueueName;
  String PreprocAltQueueName;
  String PreprocWmdcQueueName;
  String JobLogQueueName;
  String JobSummaryQueueName;
  std::uint32_t NotifyQueueLimit = 0;
  std::uint32_t JobLogQueueLimit = 0;
  std::int32_t PreprocThreads = 0;
  std::int32_t PreprocAltThreads = 0;
  std::vector<std::int32_t> UnicodeFixFrom;
  std::vector<std::int32_t> UnicodeFixCodePage;
  std::vector<std::int32_t> UnicodeFixTo;
  String TtsDll;
  String TtsDllArgument;
  std::int32_t TtsWaveFormat = 6;
  String Vsp01UserName;
  String Vsp01Password;
  bool OmaWarning = true;
  TaggedList ColorFrames;  // sorted "name=value"; tag 1 for "all"
  std::array<MsmqTable, 4> MsmqPriorities{};
  std::vector<String> AdConnect;
  bool AdConnectSeen = false;  // never cleared

  // ---- environment options
  NameValueList EnvironmentOptions;
  TaggedList TraceIndexes;  // node name, tag = index
  String ActiveDir;
  bool ActiveWork = false;  // once true, true for the life of the process
  String AlternateJobAdmPath;
  String UpdateLinks;
  String CvsDelay;
  std::int32_t CvSingleOpenTimeout = 10;
  String CvtLocalCopy;
  String CvtXlsOptions;
  String CvtOpts;
  String DefaultConverterPage;
  String DefaultConverterRes;
  std::int32_t ExternAdjustLimit = 0;
  std::int32_t ExternAdjustReport = 0;
  std::int32_t ExternConsecutiveErrors = 0;
  std::int32_t ExternQueueErrors = 0;
  std::int32_t ExternTimeouts = 0;
  String DnsUpdLog;
  String TraceDirOption;
  String FtpUploadFolder;
  String FtpUploadMethod;
  String GfaxDir;
  String BladewareService;
  std::int32_t GwRecipLimit = 1;
  bool ForcePortrait = false;
  String FxTextExt = u".TXT";
  String JobAdminDeletion;
  std::int32_t JobDigitsDefault = 5;
  std::vector<String> TaskEyeSkip{u"TEMP"};
  String LocalFsCopyPath;
  std::int32_t MaxVarSpace = 16;
  String MaxResAction;
  std::int32_t MinutesLimit = 1;
  bool NoVoipKeepalive = false;
  String UserDomain;
  String UserDnsDomain;
  String WmTmpDir;
  bool ContextHelpBrowser = false;

  // ---- derived folders and the macro table
  std::int32_t LocalTempSource = -1;
  String LocalTempRejected;
  String TraceDir;
  String RequestDirLocal;
  String PostOfficeLocal;
  String UserProfilesLocal;
  String UserJobsLocal;
  bool RequestVolumeIsNtfs = false;
  std::vector<std::int32_t> RequestDirNumbers;
  std::vector<std::int32_t> SendOrder;
  std::array<String, 32> MacroTable;
  bool MacroTableBuilt = false;
  std::uint32_t MacroMask1 = 127;
  std::uint32_t MacroMask2 = 127;

  // The effective node name: the first non-empty of the three overrides and
  // NodeName.
  String EffectiveNodeName() const;
};

// The eight macro names; entry i of the macro table pairs with name i.
extern const std::array<const char16_t*, 8> kMacroNames;

// The process-wide record and its lock.
SuiteSettings& Settings();
std::shared_mutex& SettingsLock();

// ---------------------------------------------------------------- loading

// Loads the record (see the file comment). Returns 0 or a negative code:
// -20192 QV9REG.DLL (or the allowed QV8REG.DLL) not loaded or without
// QVGETCFG; -20196 QVREGVER missing or not 3; any negative code of QVGETCFG;
// -20193 no configuration file path. Without quiet a failure shows the
// error dialog and ends the process with exit code 1.
std::int32_t LoadSuiteSettings(bool reread, bool force, bool quiet);

// LoadLibrary of the plain name, then of ProgramDir + name; for
// QV9REG.DLL with AllowPreviousLibrary, then the same for QV8REG.DLL.
// Returns the module handle or 0. Reads ProgramDir from the record directly.
platform::Handle LoadLocationLibrary(StringView fileName);

// The running program's own string-table entry (empty when missing).
String LoadMessageText(std::uint32_t id);

// Back to the starting values (tests only; no load may be running).
void ResetSuiteSettingsForTests();

// ---------------------------------------------------------------- accessors
String GetAppDataDir();
String GetAppDataLocalDir();
String GetTraceDir();
// ProgramDir: the suite's program folder; empty until the settings are read.
String GetProgramDir();
std::int32_t GetRequestDirCount();
const NameValueList& GetVarDefPairs();
const std::vector<String>& GetVarDefNames();
const std::vector<String>& GetVarDefValues();
const NameValueList& GetEnvironmentOptions();
const std::vector<String>& GetScriptLocnTop();
const std::vector<String>& GetScriptLocnOther();
std::int32_t GetLastLoadError();
const std::vector<String>& GetTaskEyeSkip();
const TaggedList& GetColorFrames();
// The encoding $unicode chose for one kind of file.
FileEncoding GetFileEncoding(FileKind kind);

// True on the thread that is running LoadSuiteSettings (a load cannot be
// started again from inside itself).
bool SettingsLoadRunningOnThisThread();

// ---------------------------------------------------------------- QV9REG binding
// The exports are bound by name at run time with the pointer types of
// locator/qv9reg.h (QVGETCFG_FN, QVREGVER_FN); the library is never linked.
inline constexpr std::int32_t kReaderInterfaceVersion = 3;
inline constexpr std::size_t kLocationBufferChars = 256;
inline constexpr std::size_t kLocationMessageChars = 4097;

// Result codes of the load (their absolute values number their messages).
inline constexpr std::int32_t kErrNoLocationLibrary = -20192;
inline constexpr std::int32_t kErrNoConfigFileName = -20193;
inline constexpr std::int32_t kErrLibraryVersion = -20196;

}  // namespace qv
