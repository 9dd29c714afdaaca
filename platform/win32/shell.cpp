// Special folders and shell links.

#include <vector>

#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace qv::platform::win32 {

namespace {

using SHGetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
using SHGetKnownFolderPathFn = HRESULT(WINAPI*)(const GUID*, DWORD, HANDLE, PWSTR*);

// Known-folder identifiers, kept here so that the programs need neither the
// export nor the identifiers on systems older than Vista.
constexpr GUID kFolderProgramData = {0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
constexpr GUID kFolderProgramFilesX86 = {
    0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};
constexpr GUID kFolderRoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
constexpr GUID kFolderCommonPrograms = {
    0x0139D44E, 0x6AFE, 0x49F2, {0x86, 0x90, 0x3D, 0xAF, 0xCA, 0xE6, 0xFF, 0xB8}};
constexpr GUID kFolderPrograms = {0xA77F5D77, 0x2E2B, 0x44C3, {0xA6, 0xA2, 0xAB, 0xA6, 0x01, 0x05, 0x4A, 0x51}};

const GUID* FolderId(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::ProgramData: return &kFolderProgramData;
    case KnownFolder::ProgramFilesX86: return &kFolderProgramFilesX86;
    case KnownFolder::RoamingAppData: return &kFolderRoamingAppData;
    case KnownFolder::CommonPrograms: return &kFolderCommonPrograms;
    case KnownFolder::Programs: return &kFolderPrograms;
  }
  return nullptr;
}

// COM for the duration of one shell-link operation. A thread that already
// runs in another apartment mode is used as it is.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

std::uint32_t Hr(HRESULT hr) { return static_cast<std::uint32_t>(hr); }

}  // namespace

std::uint32_t Win32Platform::GetFolderPathByCsidl(int csidl, String& path) {
  path.clear();
  HMODULE lib = ::LoadLibraryW(L"SHFolder.dll");
  if (!lib) return kApiUnavailable;
  auto getFolderPath = ProcAs<SHGetFolderPathFn>(::GetProcAddress(lib, "SHGetFolderPathW"));
  std::uint32_t rc = kApiUnavailable;
  if (getFolderPath) {
    wchar_t buffer[261] = {};
    rc = Hr(getFolderPath(nullptr, csidl, nullptr, 0, buffer));
    buffer[260] = L'\0';
    path = PlainPath(FromW(buffer));
  }
  ::FreeLibrary(lib);
  return rc;
}

std::uint32_t Win32Platform::GetKnownFolderPath(KnownFolder folder, String& path) {
  path.clear();
  // shell32 stays loaded once found; the export exists from Vista on.
  static const SHGetKnownFolderPathFn getKnownFolderPath = [] {
    HMODULE shell = ::LoadLibraryW(L"shell32.dll");
    return shell ? ProcAs<SHGetKnownFolderPathFn>(::GetProcAddress(shell, "SHGetKnownFolderPath")) : nullptr;
  }();
  if (!getKnownFolderPath) return kApiUnavailable;
  const GUID* id = FolderId(folder);
  if (!id) return kErrInvalidParameter;
  PWSTR found = nullptr;
  HRESULT hr = getKnownFolderPath(id, 0, nullptr, &found);
  if (SUCCEEDED(hr) && found) path = PlainPath(FromW(found));
  ::CoTaskMemFree(found);  // also allocated on failure, and null is allowed
  return SUCCEEDED(hr) ? kOk : Hr(hr);
}

std::uint32_t Win32Platform::CreateShellLink(const String& linkPath, const ShellLink& link) {
  ComScope com;
  ComPtr<IShellLinkW> shellLink;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  shellLink.OutVoid());
  if (FAILED(hr)) return Hr(hr);
  ComPtr<IPersistFile> file;
  hr = shellLink->QueryInterface(IID_IPersistFile, file.OutVoid());
  if (FAILED(hr)) return Hr(hr);

  if (FAILED(hr = shellLink->SetPath(W(link.target)))) return Hr(hr);
  if (FAILED(hr = shellLink->SetWorkingDirectory(W(link.workingDirectory)))) return Hr(hr);
  if (FAILED(hr = shellLink->SetIconLocation(W(link.iconPath), link.iconIndex))) return Hr(hr);
  if (FAILED(hr = shellLink->SetDescription(W(link.description)))) return Hr(hr);
  if (FAILED(hr = shellLink->SetArguments(W(link.arguments)))) return Hr(hr);
  if (FAILED(hr = shellLink->SetShowCmd(link.showCommand))) return Hr(hr);
  if (FAILED(hr = shellLink->SetHotkey(link.hotKey))) return Hr(hr);
  hr = file->Save(W(linkPath), FALSE);
  return SUCCEEDED(hr) ? kOk : Hr(hr);
}

std::uint32_t Win32Platform::ReadShellLink(const String& linkPath, ShellLink& link) {
  link = ShellLink{};
  ComScope com;
  ComPtr<IShellLinkW> shellLink;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  shellLink.OutVoid());
  if (FAILED(hr)) return Hr(hr);
  ComPtr<IPersistFile> file;
  hr = shellLink->QueryInterface(IID_IPersistFile, file.OutVoid());
  if (FAILED(hr)) return Hr(hr);
  if (FAILED(hr = file->Load(W(linkPath), STGM_READ))) return Hr(hr);

  std::vector<wchar_t> buffer(32768);
  const int size = static_cast<int>(buffer.size());
  auto take = [&buffer] {
    buffer.back() = L'\0';
    String s = FromW(buffer.data());
    buffer[0] = L'\0';
    return s;
  };
  buffer[0] = L'\0';
  if (FAILED(hr = shellLink->GetPath(buffer.data(), size, nullptr, SLGP_RAWPATH))) return Hr(hr);
  link.target = PlainPath(take());
  if (FAILED(hr = shellLink->GetArguments(buffer.data(), size))) return Hr(hr);
  link.arguments = take();
  if (FAILED(hr = shellLink->GetWorkingDirectory(buffer.data(), size))) return Hr(hr);
  link.workingDirectory = PlainPath(take());
  if (FAILED(hr = shellLink->GetDescription(buffer.data(), size))) return Hr(hr);
  link.description = take();
  int iconIndex = 0;
  if (FAILED(hr = shellLink->GetIconLocation(buffer.data(), size, &iconIndex))) return Hr(hr);
  link.iconPath = PlainPath(take());
  link.iconIndex = iconIndex;
  int showCommand = 0;
  if (FAILED(hr = shellLink->GetShowCmd(&showCommand))) return Hr(hr);
  link.showCommand = showCommand;
  WORD hotKey = 0;
  if (FAILED(hr = shellLink->GetHotkey(&hotKey))) return Hr(hr);
  link.hotKey = hotKey;
  return kOk;
}

}  // namespace qv::platform::win32
