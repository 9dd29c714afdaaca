#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "fuzz/targets.h"

namespace qv::fuzz {
namespace {
bool throwOnFailure = false;
}

void SetThrowOnFailure(bool enabled) { throwOnFailure = enabled; }

void FuzzFail(const std::string& what) {
  if (throwOnFailure) throw FuzzFailure(what);
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::abort();
}

void Trace(const char* format, ...) {
  static const bool enabled = std::getenv("QV_FUZZ_TRACE") != nullptr;
  if (!enabled) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts) {
  std::vector<std::string_view> parts;
  constexpr std::string_view kSeparator = "\n--\n";
  while (parts.size() + 1 < maxParts) {
    const std::size_t at = input.find(kSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(input.substr(0, at));
    input.remove_prefix(at + kSeparator.size());
  }
  parts.push_back(input);
  return parts;
}

}  // namespace qv::fuzz
