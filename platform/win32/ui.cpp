// Message boxes, windows and the connect program's message dialog.
#include <vector>

#include "platform/win32/win32_platform.h"

namespace qv::platform::win32 {

namespace {

HWND ToHWND(Handle window) { return reinterpret_cast<HWND>(window); }

constexpr std::uint16_t kBitYes = 1u << 0, kBitNo = 1u << 1, kBitOk = 1u << 2, kBitCancel = 1u << 3,
                        kBitAbort = 1u << 4, kBitRetry = 1u << 5, kBitIgnore = 1u << 6, kBitHelp = 1u << 10;
constexpr std::uint16_t kKnownButtons = kBitYes | kBitNo | kBitOk | kBitCancel | kBitAbort | kBitRetry | kBitIgnore |
                                        kBitHelp;

// CR LF, a lone CR and a lone LF each become one line feed, the line break
// of a message box.
String LineFeeds(StringView text) {
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The message box of a thread that shows the given title; with no title,
// the thread's first message box (MessageBoxW then shows its own caption).
struct BoxSearch {
  const String* title;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  wchar_t className[16] = {};
  if (::GetClassNameW(window, className, 16) == 0 || lstrcmpW(className, L"#32770") != 0) return TRUE;
  if (search->title->empty()) {
    search->found = window;
    return FALSE;
  }
  // InternalGetWindowText reads the stored title without sending a message.
  std::vector<wchar_t> text(search->title->size() + 2);
  int got = ::InternalGetWindowText(window, text.data(), static_cast<int>(text.size()));
  if (FromW(text.data(), static_cast<std::size_t>(got > 0 ? got : 0)) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

int Win32Platform::MessageBox(const String& text, const String& caption, std::uint32_t style) {
  return ::MessageBoxW(nullptr, W(text), W(caption), style);
}

Handle Win32Platform::FindWindow(const String& className, const String& title) {
  return reinterpret_cast<Handle>(::FindWindowW(WOrNull(className), WOrNull(title)));
}

Handle Win32Platform::FindWindowByTitle(const String& title) {
  return reinterpret_cast<Handle>(::FindWindowW(nullptr, W(title)));  // "" is a title, not "any"
}

bool Win32Platform::EndDialog(Handle window, int result) { return ::EndDialog(ToHWND(window), result) != FALSE; }

std::uintptr_t Win32Platform::SendCopyData(Handle window, std::uintptr_t dataWord, const Bytes& data) {
  COPYDATASTRUCT copy{};
  copy.dwData = dataWord;
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = data.empty() ? nullptr : const_cast<std::uint8_t*>(data.data());
  return static_cast<std::uintptr_t>(::SendMessageW(ToHWND(window), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)));
}

MessageBoxForm PlanDialog(const DialogRequest& request) {
  MessageBoxForm form;
  const std::uint16_t b = request.buttons & kKnownButtons;
  auto has = [b](std::uint16_t bit) { return (b & bit) != 0; };

  // The message-box button set closest to the requested buttons.
  std::uint32_t buttons = MB_OK;
  if (has(kBitAbort) || has(kBitIgnore))
    buttons = MB_ABORTRETRYIGNORE;
  else if (has(kBitYes) || has(kBitNo))
    buttons = has(kBitCancel) ? MB_YESNOCANCEL : MB_YESNO;
  else if (has(kBitRetry))
    buttons = MB_RETRYCANCEL;
  else if (has(kBitCancel))
    buttons = MB_OKCANCEL;
  if (has(kBitHelp)) buttons |= MB_HELP;

  std::uint32_t icon = 0;
  switch (request.kind) {
    case 0: icon = MB_ICONWARNING; break;
    case 1: icon = MB_ICONERROR; break;
    case 2: icon = MB_ICONINFORMATION; break;
    case 3: icon = MB_ICONQUESTION; break;
    default: break;
  }
  form.style = buttons | icon | MB_TASKMODAL | MB_SETFOREGROUND;

  form.text = LineFeeds(request.message);
  if (!request.detail.empty()) form.text += u"\n\n" + LineFeeds(request.detail);

  // The button that carries the countdown: of the buttons laid out in the
  // order OK, Yes, No, Cancel, Abort, Retry, Ignore, Help, the leftmost one
  // that qualifies. A running-up countdown belongs to OK or Yes; a running-
  // down one to No, Cancel or Abort, or to OK when OK is the only button.
  if (request.seconds > 0) {
    if (has(kBitOk))
      form.countdownResult = kIdOk;
    else if (has(kBitYes))
      form.countdownResult = kIdYes;
  } else if (request.seconds < 0) {
    if (has(kBitNo))
      form.countdownResult = kIdNo;
    else if (has(kBitCancel))
      form.countdownResult = kIdCancel;
    else if (has(kBitAbort))
      form.countdownResult = kIdAbort;
    else if (b == kBitOk)
      form.countdownResult = kIdOk;
  }
  if (form.countdownResult != 0) {
    std::int64_t s = request.seconds < 0 ? -static_cast<std::int64_t>(request.seconds) : request.seconds;
    std::int64_t ms = s * 1000;
    form.countdownMs = static_cast<std::uint32_t>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms);
  }
  return form;
}

namespace {

// The closer of a counting-down box: waits for the countdown, then ends the
// box shown by the dialog thread. It finds the box by owner thread, dialog
// class and title, and uses nothing that sends messages to that thread
// except EndDialog itself.
struct BoxCloser {
  DWORD boxThread;
  const String* title;
  int result;
  DWORD countdownMs;
  HANDLE done;  // set by the dialog thread once the box has returned
};

DWORD WINAPI CloseBoxWhenDue(LPVOID param) {
  const auto* closer = static_cast<const BoxCloser*>(param);
  if (::WaitForSingleObject(closer->done, closer->countdownMs) == WAIT_OBJECT_0) return 0;
  // The box may still be on its way up when the time runs out.
  do {
    BoxSearch search{closer->title, nullptr};
    ::EnumThreadWindows(closer->boxThread, FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found && ::EndDialog(search.found, closer->result)) return 0;
  } while (::WaitForSingleObject(closer->done, 50) == WAIT_TIMEOUT);
  return 0;
}

}  // namespace

// The plain message-box form of the connect program's message dialog: the
// same text, title, icon kind and buttons, and a countdown that ends the box
// with the result of the button that carries it. Used when the dialog
// window itself cannot be created (connect_dialog.cpp).
int ShowDialogAsMessageBox(const DialogRequest& request) {
  const MessageBoxForm form = PlanDialog(request);
  BoxCloser closer{::GetCurrentThreadId(), &request.title, form.countdownResult, form.countdownMs, nullptr};
  HANDLE thread = nullptr;
  if (form.countdownResult != 0) {
    closer.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (closer.done) thread = ::CreateThread(nullptr, 0, CloseBoxWhenDue, &closer, 0, nullptr);
  }
  int result = ::MessageBoxW(nullptr, W(form.text), W(request.title), form.style);
  if (thread) {
    ::SetEvent(closer.done);
    // The closer may be inside EndDialog, which waits for this thread to
    // handle its messages: keep handling sent messages until it has ended.
    for (;;) {
      DWORD r = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
      if (r != WAIT_OBJECT_0 + 1) break;
      MSG message;
      ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ::CloseHandle(thread);
  }
  if (closer.done) ::CloseHandle(closer.done);
  return result;
}

}  // namespace qv::platform::win32
