// QV9TRACE.DLL for tests: the three exports of the external trace library
// with the C calling convention, recording what they are given, plus a few
// exports through which a test reads the record and chooses a refusal.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#define QV_EXPORT extern "C" __declspec(dllexport)

namespace {

std::mutex g_lock;
std::vector<std::u16string> g_calls;
int g_refuseAt = 0;  // the nth PostQVTRACE answers 0; 0: none
int g_posts = 0;

std::u16string Text(const char16_t* text) { return text ? std::u16string(text) : std::u16string(u"(null)"); }

std::u16string Number(std::int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

void Record(std::u16string call) {
  std::lock_guard guard(g_lock);
  g_calls.push_back(std::move(call));
}

}  // namespace

QV_EXPORT void InitQVTRACE(const char16_t* traceName) { Record(u"InitQVTRACE " + Text(traceName)); }

QV_EXPORT void GetDestination(char16_t* buffer) {
  Record(u"GetDestination");
  if (!buffer) return;
  const std::u16string where = u"QV9TRACE test double";
  where.copy(buffer, where.size());
  buffer[where.size()] = u'\0';
}

QV_EXPORT std::uint8_t PostQVTRACE(std::int32_t kind, const char16_t* line) {
  std::lock_guard guard(g_lock);
  g_calls.push_back(u"PostQVTRACE " + Number(kind) + u" " + Text(line));
  return ++g_posts == g_refuseAt ? 0 : 1;
}

// ---- for tests
QV_EXPORT void QV9TRACE_DoubleReset(int refuseAt) {
  std::lock_guard guard(g_lock);
  g_calls.clear();
  g_posts = 0;
  g_refuseAt = refuseAt;
}

QV_EXPORT int QV9TRACE_DoubleCallCount() {
  std::lock_guard guard(g_lock);
  return static_cast<int>(g_calls.size());
}

// Copies call `index` (NUL-terminated, cut to fit); its length, or -1.
QV_EXPORT int QV9TRACE_DoubleCall(int index, char16_t* buffer, int capacity) {
  std::lock_guard guard(g_lock);
  if (index < 0 || static_cast<std::size_t>(index) >= g_calls.size() || !buffer || capacity < 1) return -1;
  const std::u16string& call = g_calls[static_cast<std::size_t>(index)];
  const std::size_t n = std::min(call.size(), static_cast<std::size_t>(capacity - 1));
  call.copy(buffer, n);
  buffer[n] = u'\0';
  return static_cast<int>(n);
}
