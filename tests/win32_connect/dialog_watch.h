// Watching the connect program's dialogs from outside, as an administrator
// (or a screen reader) sees them: finding the dialog window of a process,
// reading its title and label texts through window messages, and taking a
// picture of it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

struct DialogSeen {
  HWND window = nullptr;
  std::wstring title;
  std::wstring message;          // the message label's text
  std::wstring detail;           // the detail label's text ("" when hidden)
  std::vector<std::wstring> buttons;  // captions of the shown buttons, left to right
};

// The first visible dialog window (#32770) of the process whose title
// begins with titlePrefix; nullptr when there is none.
HWND FindProcessDialog(DWORD processId, const std::wstring& titlePrefix);

// Reads the texts with WM_GETTEXT, which works across processes.
DialogSeen ReadDialog(HWND dialog);

// Writes the window's screen area as a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::wstring& bmpPath);

// The folder of this program, with a trailing backslash.
std::wstring ProgramFolder();

}  // namespace qvtest
