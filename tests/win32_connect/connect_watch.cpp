// qv_connect_watch: starts a program (normally NORVACONNECT.exe), prints
// every dialog it shows (title, message, buttons) as an administrator would
// read it, and ends with the program's exit code. Used by the demo, where
// no one looks at the screen.
//   qv_connect_watch.exe <command line of the program>
#include <windows.h>

#include <cstdio>
#include <string>

#include "dialog_watch.h"

namespace {

void Print(const std::wstring& text) {
  // One console line per text line; the dialog's CR LF become new lines.
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr,
                                                                 nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(utf8.empty() ? 0 : utf8.size() - 1);
  std::string out;
  for (char c : utf8)
    if (c != '\r') out.push_back(c);
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: qv_connect_watch <program> [arguments]\n", stderr);
    return 2;
  }
  std::wstring commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += L' ';
    commandLine += argv[i];
  }
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "cannot start the program (error %lu)\n", GetLastError());
    return 2;
  }
  CloseHandle(pi.hThread);
  HWND last = nullptr;
  // Dialogs come and go until the program ends; each is printed once.
  while (WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT) {
    HWND dialog = qvtest::FindProcessDialog(pi.dwProcessId, L"  ");
    if (!dialog || dialog == last) continue;
    Sleep(100);  // let it finish its layout
    const qvtest::DialogSeen seen = qvtest::ReadDialog(dialog);
    last = dialog;
    Print(L"  dialog \"" + seen.title + L"\" [");
    for (std::size_t i = 0; i < seen.buttons.size(); ++i) Print((i ? L" " : L"") + seen.buttons[i]);
    Print(L"]\n");
    std::wstring indented = L"    ";
    for (wchar_t c : seen.message) {
      indented += c;
      if (c == L'\n') indented += L"    ";
    }
    Print(indented + L"\n");
  }
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  std::printf("  exit code %lu\n", code);
  return static_cast<int>(code);
}
