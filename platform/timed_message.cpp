#include "platform/timed_message.h"

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/pos.h"

namespace qv {

using namespace platform;

namespace {
std::atomic<int> g_running{0};

// Replaces every occurrence of `what` in any letter case.
String ReplaceNoCase(StringView text, StringView what, StringView with) {
  const String upperText = Upper(text);
  const String upperWhat = Upper(what);
  String out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = upperText.find(upperWhat, from);
    if (at == String::npos) break;
    out.append(text.substr(from, at - from));
    out.append(with);
    from = at + what.size();
  }
  out.append(text.substr(from));
  return out;
}
}  // namespace

String PrepareMessageText(StringView input) {
  String text = ReplaceNoCase(input, u"<br>", u"\n");
  const std::size_t cut = text.find(u'\u00AC');
  if (cut != String::npos) text.resize(cut);
  for (;;) {
    const std::size_t open = text.find(u'<');
    if (open == String::npos) break;
    const std::size_t close = text.find(u'>', open + 1);
    if (close == String::npos) break;  // a lone '<' stays, with all after it
    text.erase(open, close - open + 1);
  }
  return text;
}

Tsimplethread::Tsimplethread(bool createSuspended, StringView caption, int seconds)
    : caption_(caption), seconds_(seconds), platform_(&Current()) {
  if (!createSuspended) Start();
}

void Tsimplethread::Start() {
  if (started_) return;
  started_ = true;
  ++g_running;
  // The worker owns copies of everything it needs; the object may go away.
  try {
    std::thread([caption = caption_, seconds = seconds_, os = platform_]() {
      try {
        const long sleeps = std::max(1L, 10L * std::labs(static_cast<long>(seconds)));
        for (long n = 0; n < sleeps; ++n) os->Sleep(100);
        // Exactly the box's title: an empty caption must not end some other window.
        const Handle window = os->FindWindowByTitle(caption);
        if (window) os->EndDialog(window, seconds <= 0 ? kIdCancel : kIdOk);
      } catch (...) {
        // A fault here leaves the box to the user; it must not end the process.
      }
      --g_running;
    }).detach();
  } catch (...) {
    --g_running;  // no thread: the caller learns it from the exception
    throw;
  }
}

int Tsimplethread::Running() { return g_running.load(); }

int ShowTimedMessage(StringView text, StringView title, std::uint32_t style, int seconds) {
  const String caption(title);
  if (seconds != 0) Tsimplethread(false, caption, seconds);
  Platform& os = Current();
  const int result = os.MessageBox(PrepareMessageText(text), caption, style);
  os.Sleep(100);
  return result;
}

}  // namespace qv
