// NORVACONNECT.exe and its message dialog on the real Win32 API (Wine):
// the program started from the share \\SRV\NORVA, its dialogs read from
// outside through window messages, pictures of the dialogs kept under
// build/.../artifacts/, and the dialog window's behaviour in this process.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "dialog_watch.h"
#include "platform/seam.h"
#include "resources/string_tables.h"

using qv::platform::DialogRequest;

namespace {

const std::wstring kShare = L"\\\\SRV\\NORVA\\";

std::wstring Wide(const qv::String& s) { return std::wstring(s.begin(), s.end()); }

// A dialog shows its message with CR LF line breaks.
std::wstring AsShown(const qv::String& text) {
  std::wstring out;
  for (char16_t c : text) {
    if (c == u'\r')
      out += L"\r\n";
    else
      out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::wstring ArtifactFolder() {
  std::wstring folder = qvtest::ProgramFolder() + L"..\\artifacts\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

bool WriteText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(f);
  return ok;
}

// The share: NORVACONNECT.exe in its root, TARVEX with QTCFG.INI naming
// \\SRV\NORVA, and NETBIN when asked for.
void StageShare(bool withNetbin) {
  RemoveTree(kShare + L"TARVEX");
  RemoveTree(kShare + L"NETBIN");
  DeleteFileW((kShare + L"QVLINK.INI").c_str());
  ASSERT_TRUE(CreateDirectoryW((kShare + L"TARVEX").c_str(), nullptr));
  ASSERT_TRUE(WriteText(kShare + L"TARVEX\\QTCFG.INI",
                        "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n"));
  ASSERT_TRUE(WriteText(kShare + L"TARVEX\\TARVEX.CFG", "; test configuration\r\n$request_dir REQUEST\r\n"));
  if (withNetbin) {
    ASSERT_TRUE(CreateDirectoryW((kShare + L"NETBIN").c_str(), nullptr));
  }
  ASSERT_TRUE(CopyFileW((qvtest::ProgramFolder() + L"NORVACONNECT.exe").c_str(), (kShare + L"NORVACONNECT.exe").c_str(),
                        FALSE))
      << GetLastError();
  // The configuration reader loads the location library from beside the
  // program, as an administrator deploys them.
  ASSERT_TRUE(CopyFileW((qvtest::ProgramFolder() + L"QV9REG.DLL").c_str(), (kShare + L"QV9REG.DLL").c_str(), FALSE))
      << GetLastError();
}

std::wstring ReadRegText(HKEY root, const wchar_t* key, const wchar_t* value) {
  wchar_t buffer[1024] = {0};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return L"<missing>";
  return buffer;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data(65536, '\0');
  DWORD got = 0;
  ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
  CloseHandle(f);
  data.resize(got);
  return data;
}

std::wstring KnownPath(int csidl) {
  wchar_t path[MAX_PATH] = {0};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
  return path;
}

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kEnvironment[] = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Both programs folders named in Shell Folders, each with a Velmora folder
// (the suite's installer creates it), and no shortcut yet.
std::vector<std::wstring> StageStartMenus() {
  std::vector<std::wstring> links;
  struct Menu {
    HKEY root;
    const wchar_t* value;
    int csidl;
  };
  for (const Menu& m : {Menu{HKEY_LOCAL_MACHINE, L"Common Programs", CSIDL_COMMON_PROGRAMS},
                        Menu{HKEY_CURRENT_USER, L"Programs", CSIDL_PROGRAMS}}) {
    const std::wstring folder = KnownPath(m.csidl);
    HKEY key = nullptr;
    if (RegCreateKeyExW(m.root, kShellFolders, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key, m.value, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    CreateDirectoryW((folder + L"\\Velmora").c_str(), nullptr);
    links.push_back(folder + L"\\Velmora\\Norva Application Data folder.lnk");
    DeleteFileW(links.back().c_str());
  }
  return links;
}

struct LinkSeen {
  std::wstring target, workingFolder, description, iconPath;
  int icon = -1;
};

LinkSeen ReadLink(const std::wstring& path) {
  LinkSeen seen;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        wchar_t text[1024];
        text[0] = 0;
        link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
        seen.target = text;
        text[0] = 0;
        link->GetWorkingDirectory(text, 1024);
        seen.workingFolder = text;
        text[0] = 0;
        link->GetDescription(text, 1024);
        seen.description = text;
        text[0] = 0;
        link->GetIconLocation(text, 1024, &seen.icon);
        seen.iconPath = text;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return seen;
}

struct ProgramRun {
  qvtest::DialogSeen dialog;
  DWORD exitCode = 0xFFFFFFFF;
  bool ended = false;
};

// Starts \\SRV\NORVA\NORVACONNECT.exe with the arguments, reads the first
// dialog it shows, takes its picture and waits, without touching anything,
// for the program to end by itself.
ProgramRun RunFromShare(const std::wstring& arguments, const std::wstring& picture) {
  ProgramRun run;
  std::wstring commandLine = L"\"" + kShare + L"NORVACONNECT.exe\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return run;
  }
  CloseHandle(pi.hThread);
  HWND dialog = nullptr;
  for (int i = 0; i < 300 && !dialog; ++i) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
    dialog = qvtest::FindProcessDialog(pi.dwProcessId, L"  NORVACONNECT");
  }
  if (dialog) {
    Sleep(300);  // painted
    run.dialog = qvtest::ReadDialog(dialog);
    EXPECT_TRUE(qvtest::CaptureWindow(dialog, ArtifactFolder() + picture));
  }
  run.ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  if (!run.ended) TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hProcess);
  return run;
}

TEST(NorvaConnectProgram, FailingIdentityCheckClosesItselfWithExitCodeOne) {
  StageShare(false);
  const ProgramRun run = RunFromShare(L"/q", L"connect-failure-error-ok.bmp");
  ASSERT_NE(run.dialog.window, nullptr) << "no dialog appeared";
  EXPECT_EQ(run.dialog.title, L"  NORVACONNECT: Error");
  EXPECT_EQ(run.dialog.message, AsShown(*qv::resources::ConnectText(64915)));
  EXPECT_EQ(run.dialog.detail, L"");
  EXPECT_EQ(run.dialog.buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_TRUE(run.ended) << "the failure dialog did not close by itself";
  EXPECT_EQ(run.exitCode, 1u);
}

TEST(NorvaConnectProgram, PreparedShareIsConnectedAndRecorded) {
  StageShare(true);
  const std::vector<std::wstring> links = StageStartMenus();
  HKEY env = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironment, 0, KEY_WRITE, &env) == ERROR_SUCCESS) {
    // Left over from an earlier connection to a local share: removed by the run.
    RegSetValueExW(env, L"TarvexLocal", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"C:\\OLD\\"), 18);
    RegSetValueExW(env, L"TarvexDrive", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"C:"), 6);
    RegCloseKey(env);
  }
  const std::wstring ini = KnownPath(CSIDL_COMMON_APPDATA) + L"\\Norva\\NORVACONNECT.INI";
  const std::string expectedIni =
      "[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n\r\n[DO_NOT_EDIT_OR_CHANGE_UNCname]\r\n\r\n"
      "Recreate_This_File_By_Running=\\\\servername\\NORVA\\NorvaConnect.exe\r\n";

  for (int runNumber = 1; runNumber <= 2; ++runNumber) {
    SCOPED_TRACE(runNumber == 1 ? "first run" : "second run");
    const ProgramRun run = RunFromShare(L"/q", runNumber == 1 ? L"connect-success-information.bmp" : L"connect-again.bmp");
    ASSERT_NE(run.dialog.window, nullptr) << "no dialog appeared";
    EXPECT_EQ(run.dialog.title, L"  NORVACONNECT: Information");
    EXPECT_EQ(run.dialog.message, L"Connected successfully to \\\\SRV\\NORVA\\");
    EXPECT_EQ(run.dialog.buttons, (std::vector<std::wstring>{L"OK"}));
    EXPECT_TRUE(run.ended) << "the success dialog did not close by itself";
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_EQ(ReadFileBytes(ini), expectedIni);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, L"Software\\Norva\\Installers\\Appdata", L"UNCname"),
              L"\\\\SRV\\NORVA\\TARVEX\\");
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, L"Software\\Norva\\Installers\\Netbin", L"UNCname"),
              L"\\\\SRV\\NORVA\\NETBIN\\");
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, L"Software\\Norva\\Installers\\SharePath", L"UNCname"),
              L"\\\\SRV\\NORVA\\");
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, kEnvironment, L"TarvexDir"), L"\\\\SRV\\NORVA\\TARVEX\\");
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, kEnvironment, L"TarvexLocal"), L"<missing>");
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, kEnvironment, L"TarvexDrive"), L"<missing>");
    for (const std::wstring& path : links) {
      SCOPED_TRACE(std::string(path.begin(), path.end()));
      const LinkSeen link = ReadLink(path);
      EXPECT_EQ(link.target, L"\\\\SRV\\NORVA\\TARVEX");
      EXPECT_EQ(link.workingFolder, L"\\\\SRV\\NORVA\\");
      EXPECT_EQ(link.description, L"Shows the \\\\SRV\\NORVA\\TARVEX\\ folder in Explorer");
      EXPECT_EQ(link.iconPath, L"\\\\SRV\\NORVA\\TARVEX");
      EXPECT_EQ(link.icon, 0);
    }
  }
}

// --------------------------------------------- the dialog in this process

// Shows the request; `act` runs on another thread once the dialog is up.
int ShowWith(const DialogRequest& request, const std::function<void(HWND)>& act) {
  std::atomic<bool> done{false};
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && !dialog && !done; ++i, Sleep(50))
      dialog = qvtest::FindProcessDialog(GetCurrentProcessId(), Wide(request.title));
    if (!dialog) {
      ADD_FAILURE() << "the dialog did not appear";
      return;
    }
    Sleep(300);
    act(dialog);
  });
  const int result = qv::platform::Current().ShowDialog(request);
  done = true;
  helper.join();
  return result;
}

DialogRequest Request(const char16_t* title, std::uint8_t kind, std::uint16_t buttons, int seconds) {
  DialogRequest r;
  r.title = title;
  r.kind = kind;
  r.buttons = buttons;
  r.seconds = seconds;
  return r;
}

TEST(ConnectDialogWindow, QuestionWithRedCountdownAnswersNo) {
  DialogRequest r = Request(u"  NORVACONNECT: Error", 1, 1 | 2, -2);
  r.message = qv::Format(*qv::resources::ConnectText(64942), u"M:", u"M:", u"\\\\SRV");
  r.width = 600;
  const int result = ShowWith(r, [&](HWND dialog) {
    const qvtest::DialogSeen seen = qvtest::ReadDialog(dialog);
    EXPECT_EQ(seen.message, AsShown(r.message));
    EXPECT_EQ(seen.buttons, (std::vector<std::wstring>{L"Yes", L"No"}));
    RECT outer;
    GetWindowRect(dialog, &outer);
    EXPECT_EQ(outer.right - outer.left, 600 * static_cast<int>(GetDeviceCaps(GetDC(dialog), LOGPIXELSY)) / 96);
    EXPECT_TRUE(qvtest::CaptureWindow(dialog, ArtifactFolder() + L"dialog-question-error-yesno.bmp"));
  });
  EXPECT_EQ(result, 7);
}

TEST(ConnectDialogWindow, ButtonsCloseBoxAndDetail) {
  struct Case {
    const char16_t* title;
    std::uint16_t buttons;
    int control;  // clicked; 0: the close box
    int expected;
  };
  const Case cases[] = {
      {u"  qvtest: Yes", 1 | 2, 6, 6},
      {u"  qvtest: No", 1 | 2, 7, 7},
      {u"  qvtest: Help", 4 | 1024, 9, 9},
      {u"  qvtest: Close box", 1 | 2, 0, 2},
      {u"  qvtest: Close box of OK", 4, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.title, c.title + std::char_traits<char16_t>::length(c.title)));
    DialogRequest r = Request(c.title, 3, c.buttons, 0);
    r.message = u"First line\rsecond line\nthird\r\nfourth";
    r.detail = u"Detail\rtext";
    const int result = ShowWith(r, [&](HWND dialog) {
      const qvtest::DialogSeen seen = qvtest::ReadDialog(dialog);
      EXPECT_EQ(seen.message, L"First line\r\nsecond line\r\nthird\r\nfourth");
      EXPECT_EQ(seen.detail, L"Detail\r\ntext");
      if (c.control)
        PostMessageW(GetDlgItem(dialog, c.control), BM_CLICK, 0, 0);
      else
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(result, c.expected);
  }
}

TEST(ConnectDialogWindow, GreenCountdownUnderOkClosesWithOk) {
  DialogRequest r = Request(u"  NORVACONNECT: Information", 2, 4, 1);
  r.message = u"Connected successfully to \\\\SRV\\NORVA\\";
  EXPECT_EQ(ShowWith(r, [](HWND) {}), 1);
}

}  // namespace
