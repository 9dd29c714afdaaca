// The connect program's message dialog as a real window: kind icon, bold
// blue message, optional detail text, a light-grey button bar and the
// green/red countdown bars under the button that carries them.
//
// The window is a dialog (DialogBoxIndirectParamW over an empty template),
// so the modal loop, keyboard navigation and EndDialog are the system's.
// Where everything goes is decided by LayoutMessageDialog
// (platform/dialog_layout.h); this file measures the texts, creates the
// controls and moves them. The labels are ordinary STATIC children whose
// window text is the message as shown, so screen readers and UI automation
// read it.
#include <algorithm>
#include <array>
#include <vector>

#include "platform/dialog_layout.h"
#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

namespace {

constexpr UINT kWmDpiChanged = 0x02E0;
constexpr UINT_PTR kTimerGreen = 1;
constexpr UINT_PTR kTimerRed = 2;
constexpr int kIdMessage = 100;
constexpr int kIdDetail = 101;
constexpr COLORREF kMessageColour = RGB(0, 83, 196);
constexpr COLORREF kBarColour = RGB(240, 240, 240);
constexpr COLORREF kBarBorderColour = RGB(218, 218, 218);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

// The buttons in tab order, with the bit that asks for them; control id =
// result code.
struct ButtonDef {
  std::uint16_t bit;
  int result;
};
constexpr std::array<ButtonDef, 8> kTabOrder = {{{kDlgOk, kResultOk},
                                                 {kDlgCancel, kResultCancel},
                                                 {kDlgAbort, kResultAbort},
                                                 {kDlgRetry, kResultRetry},
                                                 {kDlgIgnore, kResultIgnore},
                                                 {kDlgHelp, kResultHelp},
                                                 {kDlgYes, kResultYes},
                                                 {kDlgNo, kResultNo}}};

const wchar_t* IconName(std::uint8_t kind) {
  switch (kind) {
    case 0: return L"Warning1";
    case 1: return L"Error1";
    case 2: return L"Information1";
    case 3: return L"Confirmation1";
    default: return nullptr;
  }
}

// The label text: the lines of the message, split at CR, LF or CR LF,
// joined by CR LF (the line break of a window text).
String LabelText(StringView text) {
  String out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

template <typename F>
F User32Export(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? ProcAs<F>(::GetProcAddress(user32, name)) : nullptr;
}

// The pixel density of the monitor the window is on.
int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Export<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow) {
    UINT dpi = getDpiForWindow(hwnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC dc = ::GetDC(hwnd);
  int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ::ReleaseDC(hwnd, dc);
  return dpi > 0 ? dpi : 96;
}

// Caption and frame sizes of the window at a density.
SIZE NonClientSize(HWND hwnd, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Export<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT r{0, 0, 100, 100};
  if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return SIZE{(r.right - r.left) - 100, (r.bottom - r.top) - 100};
}

RECT WorkArea(HWND hwnd) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  HMONITOR monitor = ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
  if (monitor && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT r{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

HFONT MakeFont(int pixels, bool bold) {
  return ::CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"Tahoma");
}

RECT ToRECT(const LayoutRect& r) { return RECT{r.left, r.top, r.left + r.width, r.top + r.height}; }

class MessageDialogWindow {
 public:
  explicit MessageDialogWindow(const DialogRequest& request)
      : request_(request), messageText_(LabelText(request.message)), detailText_(LabelText(request.detail)) {}
  ~MessageDialogWindow() { FreeResources(); }

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
      return reinterpret_cast<MessageDialogWindow*>(lParam)->Init(hwnd);
    }
    auto* self = reinterpret_cast<MessageDialogWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(msg, wParam, lParam) : FALSE;
  }

 private:
  BOOL Init(HWND hwnd) {
    hwnd_ = hwnd;
    ::SetWindowTextW(hwnd, W(request_.title));
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const DWORD labelStyle = WS_CHILD | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL;
    message_ = ::CreateWindowExW(0, L"STATIC", W(messageText_), labelStyle | WS_VISIBLE, 0, 0, 1, 1, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdMessage)), instance, nullptr);
    detail_ = ::CreateWindowExW(0, L"STATIC", W(detailText_), labelStyle | (request_.detail.empty() ? 0 : WS_VISIBLE),
                                0, 0, 1, 1, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdDetail)), instance,
                                nullptr);
    for (const ButtonDef& b : kTabOrder) {
      const bool shown = (request_.buttons & b.bit) != 0;
      HWND button = ::CreateWindowExW(0, L"BUTTON", reinterpret_cast<const wchar_t*>(ButtonCaption(b.result)),
                                      WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | (shown ? WS_VISIBLE : 0), 0, 0, 1, 1,
                                      hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.result)), instance, nullptr);
      buttons_.push_back({b.result, button});
    }
    dpi_ = WindowDpi(hwnd);
    Relayout();
    Centre();

    if (layout_.green.shown) {
      green_ = CountdownTimer(layout_.green.totalMs, layout_.green.result);
      ::SetTimer(hwnd, kTimerGreen, 100, nullptr);
    } else if (layout_.red.shown) {
      red_ = CountdownTimer(layout_.red.totalMs, layout_.red.result);
      ::SetTimer(hwnd, kTimerRed, 100, nullptr);
    }
    ::SetForegroundWindow(hwnd);
    // Focus on the first button in tab order; none is a default button.
    for (const auto& [result, button] : buttons_) {
      if (::IsWindowVisible(button)) {
        ::SetFocus(button);
        return FALSE;
      }
    }
    return TRUE;
  }

  INT_PTR Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == kResultCancel) {  // the Cancel button, the close box or Escape
          Close(kResultCancel);
          return TRUE;
        }
        for (const auto& [result, button] : buttons_) {
          if (result == id && ::IsWindowVisible(button)) {
            Close(result);
            return TRUE;
          }
        }
        return TRUE;  // Enter without a shown OK button, or anything else: ignored
      }
      case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
      case WM_ERASEBKGND:
        PaintBackground(reinterpret_cast<HDC>(wParam));
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      case WM_PRINTCLIENT:
        PaintBackground(reinterpret_cast<HDC>(wParam));
        PaintForeground(reinterpret_cast<HDC>(wParam));
        return TRUE;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd_, &ps);
        PaintForeground(dc);
        ::EndPaint(hwnd_, &ps);
        return TRUE;
      }
      case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const bool isMessage = reinterpret_cast<HWND>(lParam) == message_;
        ::SetTextColor(dc, isMessage ? kMessageColour : ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
      }
      case WM_CTLCOLORBTN:
        return reinterpret_cast<INT_PTR>(barBrush_);
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
          const int dpi = WindowDpi(hwnd_);
          if (dpi != dpi_) {
            dpi_ = dpi;
            Relayout();
          }
        }
        return FALSE;
      case kWmDpiChanged: {
        dpi_ = LOWORD(wParam) ? LOWORD(wParam) : WindowDpi(hwnd_);
        Relayout();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        if (suggested)
          ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return TRUE;
      }
      case WM_DESTROY:
        ::KillTimer(hwnd_, kTimerGreen);
        ::KillTimer(hwnd_, kTimerRed);
        return FALSE;
      default:
        return FALSE;
    }
  }

  void Close(int result) {
    ::KillTimer(hwnd_, kTimerGreen);
    ::KillTimer(hwnd_, kTimerRed);
    ::EndDialog(hwnd_, result);
  }

  void OnTimer(WPARAM id) {
    CountdownTimer* timer = id == kTimerGreen ? &green_ : id == kTimerRed ? &red_ : nullptr;
    if (!timer) return;
    const int result = timer->Tick();
    RECT bar = ToRECT(id == kTimerGreen ? layout_.green.rect : layout_.red.rect);
    ::InvalidateRect(hwnd_, &bar, TRUE);
    if (result != 0)
      Close(result);
    else if (timer->Finished())
      ::KillTimer(hwnd_, id);  // nothing to close with: the bar has run down
  }

  // Measures, lays out and moves everything at the current density.
  void Relayout() {
    const SIZE frame = NonClientSize(hwnd_, dpi_);
    const RECT work = WorkArea(hwnd_);
    DialogLayoutInput in;
    in.dpi = dpi_;
    in.designWidth = request_.width > 0 ? request_.width : 500;
    in.kind = request_.kind;
    in.buttons = request_.buttons;
    in.seconds = request_.seconds;
    in.hasDetail = !request_.detail.empty();
    in.nonClientWidth = frame.cx;
    in.nonClientHeight = frame.cy;
    in.workAreaHeight = work.bottom - work.top;

    HDC dc = ::GetDC(hwnd_);
    auto measure = [&](int label, int width, int fontPx) {
      const String& text = label == 0 ? messageText_ : detailText_;
      HFONT font = MakeFont(fontPx, label == 0);
      HGDIOBJ old = ::SelectObject(dc, font);
      RECT r{0, 0, width, 0};
      ::DrawTextW(dc, text.empty() ? L" " : W(text), -1, &r,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_EXPANDTABS);
      ::SelectObject(dc, old);
      ::DeleteObject(font);
      return static_cast<int>(r.bottom - r.top);
    };
    layout_ = LayoutMessageDialog(in, measure);
    ::ReleaseDC(hwnd_, dc);

    FreeResources();
    messageFont_ = MakeFont(layout_.messageFontPx, true);
    detailFont_ = MakeFont(layout_.detailFontPx, false);
    buttonFont_ = MakeFont(layout_.buttonFontPx, false);
    barBrush_ = ::CreateSolidBrush(kBarColour);
    if (const wchar_t* name = IconName(request_.kind)) {
      icon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), name, IMAGE_ICON, layout_.icon.width,
                                              layout_.icon.height, LR_DEFAULTCOLOR));
    }

    if (layout_.messageScrolls) UseScrollingMessage();
    ::SendMessageW(message_, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont_), FALSE);
    ::SendMessageW(detail_, WM_SETFONT, reinterpret_cast<WPARAM>(detailFont_), FALSE);
    Move(message_, layout_.message);
    Move(detail_, layout_.detail);
    for (const auto& [result, button] : buttons_) {
      ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_), FALSE);
      for (const LayoutButton& b : layout_.buttons)
        if (b.result == result) Move(button, b.rect);
    }
    ::SetWindowPos(hwnd_, nullptr, 0, 0, layout_.width, layout_.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
  }

  // A message too long for the screen goes into a read-only edit control
  // that scrolls, so the buttons stay reachable.
  void UseScrollingMessage() {
    wchar_t className[16] = {};
    ::GetClassNameW(message_, className, 16);
    if (lstrcmpiW(className, L"EDIT") == 0) return;
    ::DestroyWindow(message_);
    message_ = ::CreateWindowExW(0, L"EDIT", W(messageText_),
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
                                 0, 1, 1, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdMessage)),
                                 ::GetModuleHandleW(nullptr), nullptr);
  }

  static void Move(HWND control, const LayoutRect& r) {
    ::SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Centre() {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    RECT work{};
    if (::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info))
      work = info.rcWork;
    else
      ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = static_cast<int>(work.left) + std::max(0, static_cast<int>((work.right - work.left) - layout_.width) / 2);
    const int y = static_cast<int>(work.top) + std::max(0, static_cast<int>((work.bottom - work.top) - layout_.height) / 2);
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void PaintBackground(HDC dc) {
    RECT client;
    ::GetClientRect(hwnd_, &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
    RECT bar = ToRECT(layout_.bar);
    bar.right = client.right;
    ::FillRect(dc, &bar, barBrush_);
    RECT border{bar.left, bar.top, bar.right, bar.top + layout_.barBorder};
    HBRUSH borderBrush = ::CreateSolidBrush(kBarBorderColour);
    ::FillRect(dc, &border, borderBrush);
    ::DeleteObject(borderBrush);
  }

  void PaintForeground(HDC dc) {
    if (layout_.showIcon && icon_)
      ::DrawIconEx(dc, layout_.icon.left, layout_.icon.top, icon_, layout_.icon.width, layout_.icon.height, 0, nullptr,
                   DI_NORMAL);
    PaintCountdown(dc, layout_.green, green_, ::GetSysColor(COLOR_BTNFACE), kGreen);
    PaintCountdown(dc, layout_.red, red_, kBarColour, kRed);
  }

  static void PaintCountdown(HDC dc, const LayoutCountdown& bar, const CountdownTimer& timer, COLORREF back,
                             COLORREF fore) {
    if (!bar.shown || timer.Total() <= 0) return;
    RECT r = ToRECT(bar.rect);
    HBRUSH backBrush = ::CreateSolidBrush(back);
    ::FillRect(dc, &r, backBrush);
    ::DeleteObject(backBrush);
    const int position = std::clamp(timer.Position(), 0, timer.Total());
    RECT done = r;
    done.right = r.left + static_cast<int>(static_cast<long long>(bar.rect.width) * position / timer.Total());
    HBRUSH foreBrush = ::CreateSolidBrush(fore);
    ::FillRect(dc, &done, foreBrush);
    ::DeleteObject(foreBrush);
  }

  void FreeResources() {
    for (HFONT* font : {&messageFont_, &detailFont_, &buttonFont_}) {
      if (*font) ::DeleteObject(*font);
      *font = nullptr;
    }
    if (barBrush_) ::DeleteObject(barBrush_);
    barBrush_ = nullptr;
    if (icon_) ::DestroyIcon(icon_);
    icon_ = nullptr;
  }

  const DialogRequest& request_;
  String messageText_;
  String detailText_;
  HWND hwnd_ = nullptr;
  HWND message_ = nullptr;
  HWND detail_ = nullptr;
  std::vector<std::pair<int, HWND>> buttons_;
  int dpi_ = 96;
  DialogLayout layout_;
  CountdownTimer green_, red_;
  HFONT messageFont_ = nullptr, detailFont_ = nullptr, buttonFont_ = nullptr;
  HBRUSH barBrush_ = nullptr;
  HICON icon_ = nullptr;
};

// An empty dialog template: a popup with caption, close box and a fixed
// dialog frame; the controls are created at WM_INITDIALOG.
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD windowClass = 0;
  WORD title = 0;
};

}  // namespace

int Win32Platform::ShowDialog(const DialogRequest& request) {
  EmptyTemplate t{};
  t.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;
  t.dialog.dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW;
  t.dialog.cdit = 0;
  t.dialog.cx = 200;
  t.dialog.cy = 100;
  MessageDialogWindow window(request);
  const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &t.dialog, nullptr,
                                                   &MessageDialogWindow::Proc, reinterpret_cast<LPARAM>(&window));
  // Without a window the message still reaches the user as a message box.
  if (result == -1 || result == 0) return ShowDialogAsMessageBox(request);
  return static_cast<int>(result);
}

}  // namespace qv::platform::win32
