// Writes the settings record as JSON.
#include "settings/settings_json.h"

#include <cstdio>

#include "settings/service_identity.h"

namespace qv {

namespace {

class JsonWriter {
 public:
  std::string Finish() {
    out_ += "\n}\n";
    return std::move(out_);
  }

  void Member(const char* name) {
    out_ += first_ ? "{\n  \"" : ",\n  \"";
    first_ = false;
    out_ += name;
    out_ += "\": ";
  }

  void Str(StringView s) {
    out_ += '"';
    for (char c : ToUtf8(s)) {
      const auto u = static_cast<unsigned char>(c);
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out_ += buf;
          } else {
            out_ += c;
          }
      }
    }
    out_ += '"';
  }
  void Num(long long v) { out_ += std::to_string(v); }
  void UNum(unsigned long long v) { out_ += std::to_string(v); }
  void Bool(bool v) { out_ += v ? "true" : "false"; }
  void Raw(const char* text) { out_ += text; }

  // name: value helpers
  void operator()(const char* name, const String& v) { Member(name), Str(v); }
  void operator()(const char* name, bool v) { Member(name), Bool(v); }
  void operator()(const char* name, std::int32_t v) { Member(name), Num(v); }
  void operator()(const char* name, std::uint32_t v) { Member(name), UNum(v); }
  void operator()(const char* name, std::uint64_t v) { Member(name), UNum(v); }
  void operator()(const char* name, std::uint8_t v) { Member(name), Bool(v != 0); }
  void operator()(const char* name, char16_t v) { Member(name), Str(String(1, v)); }
  void operator()(const char* name, const std::vector<String>& list) {
    Member(name);
    Array(list.size(), [&](std::size_t i) { Str(list[i]); });
  }
  template <std::size_t N>
  void operator()(const char* name, const std::array<String, N>& list) {
    Member(name);
    Array(N, [&](std::size_t i) { Str(list[i]); });
  }
  void operator()(const char* name, const std::vector<std::int32_t>& list) {
    Member(name);
    Array(list.size(), [&](std::size_t i) { Num(list[i]); });
  }
  void operator()(const char* name, const NameValueList& list) {
    Member(name);
    Array(list.Size(), [&](std::size_t i) { Str(list.Text(i)); });
  }
  void operator()(const char* name, const TaggedList& list) {
    Member(name);
    Array(list.size(), [&](std::size_t i) {
      out_ += "{\"text\": ";
      Str(list[i].text);
      out_ += ", \"tag\": ";
      Num(list[i].tag);
      out_ += '}';
    });
  }

  template <typename F>
  void Array(std::size_t n, F item) {
    out_ += '[';
    for (std::size_t i = 0; i < n; ++i) {
      if (i) out_ += ", ";
      item(i);
    }
    out_ += ']';
  }

 private:
  std::string out_;
  bool first_ = true;
};

std::vector<String> DriveLetters(const std::array<char16_t, 5>& letters, std::int32_t count) {
  std::vector<String> out;
  for (std::int32_t i = 0; i < count && i < 5; ++i) out.emplace_back(1, letters[static_cast<std::size_t>(i)]);
  return out;
}

}  // namespace

std::string SettingsToJson(const SuiteSettings& s) {
  JsonWriter w;
  // location and load status
  w("LastLoadError", s.LastLoadError);
  w("LastLoadMessage", s.LastLoadMessage);
  w("ConfigFile", s.ConfigFile);
  w("ConfigFileTime", s.ConfigFileTime);
  w.Member("ConfigEncoding"), w.Str(TextEncodingName(s.ConfigEncoding));
  w("SuiteIniFile", s.SuiteIniFile);
  w("AppDataDir", s.AppDataDir);
  w("AppDataDirAsLoaded", s.AppDataDirAsLoaded);
  w("AppDataLocalDir", s.AppDataLocalDir);
  w("ServerDir", s.ServerDir);
  w("NetBinDir", s.NetBinDir);
  w("ShareRoot", s.ShareRoot);
  w("ServerDirIsExpected", s.ServerDirIsExpected);
  w("LibraryFlag", s.LibraryFlag);
  w("RegisteredOwner", s.RegisteredOwner);
  w("RegisteredOrganization", s.RegisteredOrganization);
  w("UserName", s.UserName);
  w("CompanyName", s.CompanyName);
  w("UserDir", s.UserDir);
  w("ProgramDir", s.ProgramDir);
  w("NodeName", s.NodeName);
  w("NodeNameOverride1", s.NodeNameOverride1);
  w("NodeNameOverride2", s.NodeNameOverride2);
  w("NodeNameOverride3", s.NodeNameOverride3);
  w("UseMachineHive", s.UseMachineHive);
  w("AllowPreviousLibrary", s.AllowPreviousLibrary);
  w("InitialDefaultFile", s.InitialDefaultFile);
  w("ErrorDialogSeconds", s.ErrorDialogSeconds);
  w("ErrorDialogNotice", s.ErrorDialogNotice);
  w("RunsAsService", RunsAsService());
  w("TraceBaseName", TraceBaseName());
  w("ServiceNode", ServiceNode());
  w("ServiceDisplayName", ServiceDisplayName());
  // drive map and macro characters
  w("DriveMapFrom", DriveLetters(s.DriveMapFrom, s.DriveMapCount));
  w("DriveMapTo", DriveLetters(s.DriveMapTo, s.DriveMapCount));
  w("DriveMapCount", s.DriveMapCount);
  w("DriveMapLine", s.DriveMapLine);
  w("DriveMapEnabled", s.DriveMapEnabled);
  w("MacroChar1", s.MacroChar1);
  w("MacroChar2", s.MacroChar2);
  // directives
  w.Member("FileEncodings");
  w.Raw("{");
  for (std::size_t k = 0; k < kFileKindCount; ++k) {
    if (k) w.Raw(", ");
    w.Str(FileKindName(static_cast<FileKind>(k)));
    w.Raw(": ");
    w.Str(FileEncodingName(s.FileEncodings.slots[k]));
  }
  w.Raw("}");
  w("RetryParms", s.RetryParms);
  w("EmailIpMode", s.EmailIpMode);
  w("RequestDir", s.RequestDir);
  w("RequestDirCount", s.RequestDirCount);
  w("ImageOptions", s.ImageOptions);
  w("LocalTempDir", s.LocalTempDir);
  w("EmailNodeBindNames", s.EmailNodeBindNames);
  w("CountryPrefix", s.CountryPrefix);
  w("CountryCode", s.CountryCode);
  w("CountryDbOk", s.CountryDbOk);
  w("PostOfficeDir", s.PostOfficeDir);
  w("CertificatesDir", s.CertificatesDir);
  w("ScriptsDir", s.ScriptsDir);
  w("UserJobsDir", s.UserJobsDir);
  w("LogDir", s.LogDir);
  w("ConfiguredCompanyName", s.ConfiguredCompanyName);
  w("EmailESender", s.EmailESender);
  w("EmailFrom", s.EmailFrom);
  w("EmailNotify", s.EmailNotify);
  w("VarDefNames", s.VarDefNames);
  w("VarDefValues", s.VarDefValues);
  w("VarDefPairs", s.VarDefPairs);
  w("UseChannelCommands", s.UseChannelCommands);
  w("ScriptLocnTop", s.ScriptLocnTop);
  w("ScriptLocnOther", s.ScriptLocnOther);
  w("QvMsgLines", s.QvMsgLines);
  w("DisplayBoxes", s.DisplayBoxes);
  w("DnsMailPath", s.DnsMailPath);
  w("DnsDomainPath", s.DnsDomainPath);
  w("TemplateDllPath", s.TemplateDllPath);
  w("CTemplateDllPath", s.CTemplateDllPath);
  w("TemplateDllBufferSize", s.TemplateDllBufferSize);
  w("JobDllLockOptions", s.JobDllLockOptions);
  w("Fs2b", s.Fs2b);
  w("V7Html", s.V7Html);
  w("Utf8ListsAddBom", s.Utf8ListsAddBom);
  w("EmailSecurity", s.EmailSecurity);
  w("ConvertTypes", s.ConvertTypes);
  w("PdfLevel", s.PdfLevel);
  w("LockTries", s.LockTries);
  w("LockDelay", s.LockDelay);
  w("ForceTabExt", s.ForceTabExt);
  w("ForceCsvExt", s.ForceCsvExt);
  w("LibreTimeout", s.LibreTimeout);
  w("ActiveLife", s.ActiveLife);
  w("ToSendConstraints", s.ToSendConstraints);
  w("QvActive", s.QvActive);
  w("UserProfilesDir", s.UserProfilesDir);
  w("DefaultProfileFile", s.DefaultProfileFile);
  w("CpNorvaEdit", s.CpNorvaEdit);
  w("NotifyQueueName", s.NotifyQueueName);
  w("PreprocQueueName", s.PreprocQueueName);
  w("PreprocAltQueueName", s.PreprocAltQueueName);
  w("PreprocWmdcQueueName", s.PreprocWmdcQueueName);
  w("JobLogQueueName", s.JobLogQueueName);
  w("JobSummaryQueueName", s.JobSummaryQueueName);
  w("NotifyQueueLimit", s.NotifyQueueLimit);
  w("JobLogQueueLimit", s.JobLogQueueLimit);
  w("PreprocThreads", s.PreprocThreads);
  w("PreprocAltThreads", s.PreprocAltThreads);
  w("UnicodeFixFrom", s.UnicodeFixFrom);
  w("UnicodeFixCodePage", s.UnicodeFixCodePage);
  w("UnicodeFixTo", s.UnicodeFixTo);
  w("TtsDll", s.TtsDll);
  w("TtsDllArgument", s.TtsDllArgument);
  w("TtsWaveFormat", s.TtsWaveFormat);
  w("Vsp01UserName", s.Vsp01UserName);
  w("Vsp01Password", s.Vsp01Password);
  w("OmaWarning", s.OmaWarning);
  w("ColorFrames", s.ColorFrames);
  w.Member("MsmqPriorities");
  {
    static const char* const kQueues[4] = {"preproc", "altproc", "notify", "fs"};
    w.Raw("{");
    for (std::size_t q = 0; q < 4; ++q) {
      if (q) w.Raw(", ");
      w.Str(FromUtf8(kQueues[q]));
      w.Raw(": ");
      const MsmqTable& table = s.MsmqPriorities[q];
      w.Array(table.size(), [&](std::size_t i) { w.Num(table[i]); });
    }
    w.Raw("}");
  }
  w("AdConnect", s.AdConnect);
  w("AdConnectSeen", s.AdConnectSeen);
  // environment options
  w("EnvironmentOptions", s.EnvironmentOptions);
  w("TraceIndexes", s.TraceIndexes);
  w("ActiveDir", s.ActiveDir);
  w("ActiveWork", s.ActiveWork);
  w("AlternateJobAdmPath", s.AlternateJobAdmPath);
  w("UpdateLinks", s.UpdateLinks);
  w("CvsDelay", s.CvsDelay);
  w("CvSingleOpenTimeout", s.CvSingleOpenTimeout);
  w("CvtLocalCopy", s.CvtLocalCopy);
  w("CvtXlsOptions", s.CvtXlsOptions);
  w("CvtOpts", s.CvtOpts);
  w("DefaultConverterPage", s.DefaultConverterPage);
  w("DefaultConverterRes", s.DefaultConverterRes);
  w("ExternAdjustLimit", s.ExternAdjustLimit);
  w("ExternAdjustReport", s.ExternAdjustReport);
  w("ExternConsecutiveErrors", s.ExternConsecutiveErrors);
  w("ExternQueueErrors", s.ExternQueueErrors);
  w("ExternTimeouts", s.ExternTimeouts);
  w("DnsUpdLog", s.DnsUpdLog);
  w("TraceDirOption", s.TraceDirOption);
  w("FtpUploadFolder", s.FtpUploadFolder);
  w("FtpUploadMethod", s.FtpUploadMethod);
  w("GfaxDir", s.GfaxDir);
  w("BladewareService", s.BladewareService);
  w("GwRecipLimit", s.GwRecipLimit);
  w("ForcePortrait", s.ForcePortrait);
  w("FxTextExt", s.FxTextExt);
  w("JobAdminDeletion", s.JobAdminDeletion);
  w("JobDigitsDefault", s.JobDigitsDefault);
  w("TaskEyeSkip", s.TaskEyeSkip);
  w("LocalFsCopyPath", s.LocalFsCopyPath);
  w("MaxVarSpace", s.MaxVarSpace);
  w("MaxResAction", s.MaxResAction);
  w("MinutesLimit", s.MinutesLimit);
  w("NoVoipKeepalive", s.NoVoipKeepalive);
  w("UserDomain", s.UserDomain);
  w("UserDnsDomain", s.UserDnsDomain);
  w("WmTmpDir", s.WmTmpDir);
  w("ContextHelpBrowser", s.ContextHelpBrowser);
  // derived folders and the macro table
  w("LocalTempSource", s.LocalTempSource);
  w("LocalTempRejected", s.LocalTempRejected);
  w("TraceDir", s.TraceDir);
  w("RequestDirLocal", s.RequestDirLocal);
  w("PostOfficeLocal", s.PostOfficeLocal);
  w("UserProfilesLocal", s.UserProfilesLocal);
  w("UserJobsLocal", s.UserJobsLocal);
  w("RequestVolumeIsNtfs", s.RequestVolumeIsNtfs);
  w("RequestDirNumbers", s.RequestDirNumbers);
  w("SendOrder", s.SendOrder);
  w("MacroTable", s.MacroTable);
  w("MacroTableBuilt", s.MacroTableBuilt);
  w("MacroMask1", s.MacroMask1);
  w("MacroMask2", s.MacroMask2);
  return w.Finish();
}

}  // namespace qv
