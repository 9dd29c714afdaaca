#include "platform/files.h"

namespace qv {

using namespace platform;

String ExtractFilePath(StringView path) {
  const std::size_t slash = path.find_last_of(u'\\');
  return slash == StringView::npos ? String() : String(path.substr(0, slash + 1));
}

std::uint32_t ForceDirectories(StringView folderIn) {
  Platform& os = Current();
  const String folder = WithoutTrailingBackslash(folderIn);
  if (folder.empty()) return kErrPathNotFound;
  if (os.DirectoryExists(folder)) return kOk;
  // Stop at a drive root ("C:") or a share root ("\\SRV\SHARE"), which
  // cannot be created.
  const String parent = WithoutTrailingBackslash(ExtractFilePath(folder));
  const bool parentIsRoot = parent.size() <= 2 || (parent.size() > 2 && parent[0] == u'\\' && parent[1] == u'\\' &&
                                                    parent.find(u'\\', parent.find(u'\\', 2) + 1) == String::npos);
  if (!parent.empty() && !parentIsRoot) {
    const std::uint32_t rc = ForceDirectories(parent);
    if (rc != kOk) return rc;
  }
  const std::uint32_t rc = os.CreateDirectory(folder);
  if (rc == kOk || rc == kErrAlreadyExists) return os.DirectoryExists(folder) ? kOk : rc;
  return rc;
}

std::uint32_t WriteFileReplacing(StringView pathIn, const Bytes& contents) {
  Platform& os = Current();
  const String path(pathIn);
  String temporary;
  std::uint32_t rc = os.GetTempFileName(ExtractFilePath(path), u"QVW", temporary);
  if (rc != kOk) return rc;
  rc = os.WriteWholeFile(temporary, contents);
  if (rc == kOk) rc = os.ReplaceFileWith(temporary, path);
  if (rc != kOk) os.DeleteFile(temporary);
  return rc;
}

}  // namespace qv
