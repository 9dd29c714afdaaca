// A trace monitor: a window of class "TTraceForm" that shows the trace
// lines programs send it by WM_COPYDATA (data word 1 for a normal line,
// 129 for a highlighted one), marks the highlighted ones and can save them.
//
//   tracemonitor.exe [/log:FILE]   run the monitor; with /log every line is
//                                  also appended to FILE as it arrives, as
//                                  "<data word> <text>" in UTF-8 (FILE is
//                                  created empty once the window exists)
//   tracemonitor.exe /close        close a running monitor and wait for it;
//                                  exit code 0 when one was closed, 1 if none
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"TTraceForm";
constexpr int kListId = 100;
constexpr int kMenuSave = 201;
constexpr int kMenuClear = 202;
constexpr int kMenuExit = 203;
constexpr ULONG_PTR kHighlighted = 129;
constexpr std::size_t kMaxLineChars = 2049;  // the senders' buffer, NUL included
constexpr int kMaxLines = 20000;

HWND g_list = nullptr;
HFONT g_font = nullptr;
HFONT g_bold = nullptr;
std::wstring g_logPath;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

bool AppendToFile(const std::wstring& path, const std::string& bytes, DWORD disposition) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

// The text of a copy-data record: at most the senders' buffer, up to the
// first NUL; anything malformed gives false.
bool LineOf(const COPYDATASTRUCT* copy, std::wstring& text) {
  if (!copy || !copy->lpData || copy->cbData < 2 || copy->cbData % 2 != 0) return false;
  const std::size_t chars = copy->cbData / 2;
  if (chars > kMaxLineChars) return false;
  const auto* data = static_cast<const wchar_t*>(copy->lpData);
  std::size_t length = 0;
  while (length < chars && data[length] != L'\0') ++length;
  text.assign(data, length);
  return true;
}

void AddLine(const std::wstring& text, ULONG_PTR kind) {
  if (::SendMessageW(g_list, LB_GETCOUNT, 0, 0) >= kMaxLines) ::SendMessageW(g_list, LB_DELETESTRING, 0, 0);
  const LRESULT index = ::SendMessageW(g_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0) {
    ::SendMessageW(g_list, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(kind));
    ::SendMessageW(g_list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  }
  if (!g_logPath.empty()) AppendToFile(g_logPath, std::to_string(kind) + " " + Utf8(text) + "\r\n", OPEN_ALWAYS);
}

void SaveLines(HWND window) {
  wchar_t path[MAX_PATH] = L"trace.txt";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = L"txt";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!::GetSaveFileNameW(&dialog)) return;
  std::string bytes = "\xEF\xBB\xBF";
  const LRESULT count = ::SendMessageW(g_list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = ::SendMessageW(g_list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(g_list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    const bool marked = static_cast<ULONG_PTR>(::SendMessageW(g_list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0)) ==
                        kHighlighted;
    bytes += (marked ? "* " : "  ") + Utf8(text) + "\r\n";
  }
  if (!AppendToFile(path, bytes, CREATE_ALWAYS))
    ::MessageBoxW(window, L"The lines could not be saved.", L"Trace monitor", MB_OK | MB_ICONERROR);
}

void DrawLine(const DRAWITEMSTRUCT* item) {
  if (item->itemID == static_cast<UINT>(-1)) return;
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  const bool marked = item->itemData == kHighlighted;
  ::FillRect(item->hDC, &item->rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  const LRESULT length = ::SendMessageW(item->hwndItem, LB_GETTEXTLEN, item->itemID, 0);
  std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
  if (length > 0) ::SendMessageW(item->hwndItem, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  text.insert(0, marked ? L"\x25BA " : L"   ");
  ::SetBkMode(item->hDC, TRANSPARENT);
  ::SetTextColor(item->hDC, selected ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : marked ? RGB(192, 0, 0) : RGB(0, 0, 0));
  HGDIOBJ old = ::SelectObject(item->hDC, marked ? g_bold : g_font);
  RECT r = item->rcItem;
  r.left += 2;
  ::DrawTextW(item->hDC, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SelectObject(item->hDC, old);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      g_list = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT |
                                     LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_EXTENDEDSEL,
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                                 reinterpret_cast<LPCREATESTRUCTW>(lParam)->hInstance, nullptr);
      ::SendMessageW(g_list, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), FALSE);
      return g_list ? 0 : -1;
    }
    case WM_SIZE:
      ::MoveWindow(g_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      measure->itemHeight = 16;
      return TRUE;
    }
    case WM_DRAWITEM:
      DrawLine(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COPYDATA: {
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      std::wstring text;
      if (!LineOf(copy, text)) return FALSE;
      AddLine(text, copy->dwData);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kMenuSave: SaveLines(window); return 0;
        case kMenuClear: ::SendMessageW(g_list, LB_RESETCONTENT, 0, 0); return 0;
        case kMenuExit: ::DestroyWindow(window); return 0;
        default: break;
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Asks a running monitor to close and waits (a bounded while) until its
// window has gone.
int CloseRunningMonitor() {
  HWND window = ::FindWindowW(kClassName, nullptr);
  if (!window) return 1;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  HANDLE process = pid ? ::OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (process) {
    ::WaitForSingleObject(process, 30000);
    ::CloseHandle(process);
  } else {
    for (int i = 0; i < 300 && ::IsWindow(window); ++i) ::Sleep(100);
  }
  return 0;
}

HMENU BuildMenu() {
  HMENU file = ::CreatePopupMenu();
  ::AppendMenuW(file, MF_STRING, kMenuSave, L"&Save lines as...");
  ::AppendMenuW(file, MF_STRING, kMenuClear, L"&Clear");
  ::AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(file, MF_STRING, kMenuExit, L"E&xit");
  HMENU bar = ::CreateMenu();
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  return bar;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (_wcsicmp(arg.c_str(), L"/close") == 0) return CloseRunningMonitor();
    if (arg.size() > 5 && _wcsnicmp(arg.c_str(), L"/log:", 5) == 0) g_logPath = arg.substr(5);
  }
  if (argv) ::LocalFree(argv);

  g_font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW bold{};
  ::GetObjectW(g_font, sizeof bold, &bold);
  bold.lfWeight = FW_BOLD;
  g_bold = ::CreateFontIndirectW(&bold);

  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  if (!::RegisterClassW(&wc)) return 2;
  HWND window = ::CreateWindowExW(0, kClassName, L"Trace monitor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  900, 500, nullptr, BuildMenu(), instance, nullptr);
  if (!window) return 2;
  // The empty log tells a waiting script that the window can be found.
  if (!g_logPath.empty() && !AppendToFile(g_logPath, std::string(), CREATE_ALWAYS)) return 2;
  ::ShowWindow(window, show);
  ::UpdateWindow(window);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (g_bold) ::DeleteObject(g_bold);
  return 0;
}
