#include "dialog_watch.h"

#include <algorithm>
#include <cstdio>

namespace qvtest {

namespace {

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return L"";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           2000, &got))
    return L"";
  text.resize(std::min<std::size_t>(got, length));
  return text;
}

struct Search {
  DWORD pid;
  const std::wstring* prefix;
  HWND found;
};

BOOL CALLBACK FindTop(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (lstrcmpW(cls, L"#32770") != 0) return TRUE;
  const std::wstring title = TextOf(window);
  if (title.compare(0, s->prefix->size(), *s->prefix) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

struct ButtonAt {
  int left;
  std::wstring caption;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
  auto* buttons = reinterpret_cast<std::vector<ButtonAt>*>(param);
  wchar_t cls[16] = {};
  GetClassNameW(child, cls, 16);
  if (lstrcmpiW(cls, L"Button") != 0 || !IsWindowVisible(child)) return TRUE;
  RECT r;
  GetWindowRect(child, &r);
  buttons->push_back({r.left, TextOf(child)});
  return TRUE;
}

}  // namespace

HWND FindProcessDialog(DWORD processId, const std::wstring& titlePrefix) {
  Search s{processId, &titlePrefix, nullptr};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

DialogSeen ReadDialog(HWND dialog) {
  DialogSeen seen;
  seen.window = dialog;
  seen.title = TextOf(dialog);
  if (HWND message = GetDlgItem(dialog, 100)) seen.message = TextOf(message);
  HWND detail = GetDlgItem(dialog, 101);
  if (detail && IsWindowVisible(detail)) seen.detail = TextOf(detail);
  std::vector<ButtonAt> buttons;
  EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  std::sort(buttons.begin(), buttons.end(), [](const ButtonAt& a, const ButtonAt& b) { return a.left < b.left; });
  for (const ButtonAt& b : buttons) seen.buttons.push_back(b.caption);
  return seen;
}

bool CaptureWindow(HWND window, const std::wstring& bmpPath) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const int cx = r.right - r.left, cy = r.bottom - r.top;
  if (cx <= 0 || cy <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = cx;
  info.bmiHeader.biHeight = cy;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, cx, cy, screen, r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
    const DWORD stride = ((static_cast<DWORD>(cx) * 3 + 3) & ~3u);
    const DWORD imageSize = stride * static_cast<DWORD>(cy);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    FILE* f = ok ? _wfopen(bmpPath.c_str(), L"wb") : nullptr;
    if (f) {
      ok = fwrite(&file, sizeof(file), 1, f) == 1 && fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, f) == 1 &&
           fwrite(bits, imageSize, 1, f) == 1;
      fclose(f);
    } else {
      ok = false;
    }
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/") + 1);
}

}  // namespace qvtest
