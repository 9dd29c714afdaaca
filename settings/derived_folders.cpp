// The folders that follow from AppDataDir when the configuration file does
// not name them, the local temporary and trace folders, the local forms of
// the shared folders, the NTFS test of the request volume and the path-macro
// table.
#include <algorithm>

#include "platform/local_path.h"
#include "platform/seam.h"
#include "settings/config_reader.h"
#include "settings/load_facts.h"

namespace qv::settings {

using platform::Current;

namespace {

thread_local LoadFacts* t_loadFacts = nullptr;

// Creates the folder and its missing parents; failures are left to the
// folder's users to notice.
void CreateFolders(StringView path) {
  platform::Platform& os = Current();
  String folder = WithoutTrailingBackslash(path);
  if (folder.empty() || os.DirectoryExists(folder)) return;
  std::vector<String> missing;
  while (!folder.empty() && !os.DirectoryExists(folder)) {
    missing.push_back(folder);
    const std::size_t cut = folder.find_last_of(u'\\');
    if (cut == String::npos || cut < 2) break;
    // Stop at a drive root ("C:") or at \\SERVER\SHARE.
    folder.resize(cut);
    if (folder.size() == 2 && folder[1] == u':') break;
    if (folder.size() > 2 && folder[0] == u'\\' && folder[1] == u'\\' &&
        std::count(folder.begin() + 2, folder.end(), u'\\') < 2)
      break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) os.CreateDirectory(*it);
}

String LocalForm(StringView folder) {
  String local;
  if (folder.empty() || GetLocalPath(folder, local) != 0) return String();
  return local;
}

// The root that GetVolumeInformationW needs for a path: "X:\" or
// \\SERVER\SHARE\; empty when the path has neither form.
String VolumeRoot(StringView path) {
  if (path.size() < 2) return String();
  if (path[1] == u':') return String(path.substr(0, 2)) + u"\\";
  if (path[1] != u'\\') return String();
  int backslashes = 0;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (path[i] == u'\\' && ++backslashes == 4) return String(path.substr(0, i + 1));
  return String(path);
}

}  // namespace

LoadFacts::LoadFacts() : outer_(t_loadFacts) { t_loadFacts = this; }

LoadFacts::~LoadFacts() { t_loadFacts = outer_; }

void LoadFacts::OpenedFileIn(StringView path) {
  if (!t_loadFacts) return;
  const std::size_t cut = path.find_last_of(u'\\');
  t_loadFacts->openedFolder_ = cut == StringView::npos ? String() : String(path.substr(0, cut));
}

bool LoadFacts::FolderExists(StringView folder) {
  if (!t_loadFacts || t_loadFacts->openedFolder_.empty()) return false;
  return EqualsNoCaseAscii(WithoutTrailingBackslash(folder), t_loadFacts->openedFolder_);
}

void FillTempAndTraceFolders(SuiteSettings& s) {
  platform::Platform& os = Current();
  if (s.LocalTempDir.empty()) {
    s.LocalTempDir = s.GfaxDir;
    s.LocalTempSource = kTempFromGfax;
  }
  if (s.LocalTempDir.empty()) {
    s.LocalTempDir = u"C:\\FAXTEMP";
    s.LocalTempSource = kTempBuiltIn;
  }
  CreateFolders(s.LocalTempDir);

  // A temporary name must be formed in the folder (unique number 1: the
  // name CFG1.TMP, nothing created), and a file of that name is removed;
  // otherwise the system's temporary folder stands in and the rejected one
  // is kept for the record.
  s.LocalTempRejected.clear();
  String probe;
  if (os.GetTempFileName(s.LocalTempDir, u"CFG", probe, 1) == platform::kOk) {
    if (os.FileExists(probe)) os.DeleteFile(probe);
  } else {
    s.LocalTempRejected = s.LocalTempDir;
    String system;
    os.GetTempPath(system);
    s.LocalTempDir = system;
    if (s.LocalTempSource < kTempSystemAdded) s.LocalTempSource += kTempSystemAdded;
  }
  s.LocalTempDir = WithTrailingBackslash(s.LocalTempDir);

  s.TraceDir = s.TraceDirOption.empty() ? s.AppDataDir : s.TraceDirOption;
  // The trace folder is created when it is missing. Usually it is the Tarvex
  // folder, from which this load has just opened the configuration file: the
  // open has answered the folder test (on a file server one round trip
  // fewer), and only another folder is tested.
  if (!LoadFacts::FolderExists(s.TraceDir)) CreateFolders(s.TraceDir);
}

void FillRequestNumbers(SuiteSettings& s) {
  const std::int32_t n = std::min(s.RequestDirCount, 15);
  s.RequestDirNumbers.clear();
  for (std::int32_t i = 1; i <= n; ++i) s.RequestDirNumbers.push_back(i);
  if (s.SendOrder.empty())
    for (std::int32_t i = 0; i <= n; ++i) s.SendOrder.push_back(i);
}

void FillDerivedFolders(SuiteSettings& s) {
  auto fill = [&](String& field, StringView tail) {
    if (field.empty()) field = ApplyDriveMapping(s, s.AppDataDir + String(tail));
  };
  fill(s.RequestDir, u"CALLBACK\\");
  if (s.ActiveDir.empty()) s.ActiveDir = s.RequestDir + u"ACTIVE\\";
  fill(s.PostOfficeDir, u"MAIL\\");
  fill(s.CertificatesDir, u"CERTIFICATES\\");
  fill(s.ScriptsDir, u"SCRIPTS\\");
  fill(s.DefaultProfileFile, u"FAX.USR");
  fill(s.UserProfilesDir, u"");
  fill(s.LogDir, u"LOG\\");
  fill(s.UserJobsDir, u"USERJOBS\\");

  s.RequestDirLocal = LocalForm(s.RequestDir);
  auto localOrSelf = [](const String& folder) {
    String local = LocalForm(folder);
    return local.empty() ? folder : local;
  };
  s.UserProfilesLocal = localOrSelf(s.UserProfilesDir);
  s.UserJobsLocal = localOrSelf(s.UserJobsDir);
  s.PostOfficeLocal = localOrSelf(s.PostOfficeDir);

  const String root = VolumeRoot(s.RequestDirLocal.empty() ? s.RequestDir : s.RequestDirLocal);
  if (!root.empty()) {
    std::uint32_t flags = 0;
    String fileSystem;
    if (Current().GetVolumeInformation(root, flags, fileSystem) == platform::kOk)
      s.RequestVolumeIsNtfs = fileSystem.find(u"NTFS") != String::npos;
  }
}

void BuildMacroTable(SuiteSettings& s) {
  if (s.MacroTableBuilt) return;
  s.MacroTableBuilt = true;
  const String* values[8] = {&s.AppDataDir, &s.RequestDir,      &s.UserJobsDir, &s.UserProfilesDir,
                             &s.PostOfficeDir, &s.CertificatesDir, &s.LogDir,    &s.ScriptsDir};
  for (std::size_t i = 0; i < 8; ++i) {
    if (s.MacroMask1 & (1u << i)) s.MacroTable[i] = String(1, s.MacroChar1) + kMacroNames[i];
    if (s.MacroMask2 & (1u << i)) s.MacroTable[8 + i] = String(1, s.MacroChar2) + kMacroNames[i];
  }
  for (std::size_t i = 0; i < 8; ++i) s.MacroTable[16 + i] = WithoutTrailingBackslash(*values[i]);
  for (std::size_t i = 0; i < 8; ++i) {
    if (!(s.MacroMask1 & (1u << i))) continue;
    const String local = LocalForm(*values[i]);
    if (!local.empty()) s.MacroTable[24 + i] = WithoutTrailingBackslash(local);
  }
}

}  // namespace qv::settings
