// The fuzz target bodies. Each takes one input of any bytes, runs one parser
// of the system on it (on a fresh in-memory machine where the parser reads
// files) and checks the properties that must hold for every input. A broken
// property goes to FuzzFail, which aborts in a libFuzzer program (so the
// input is kept as a crash) and throws FuzzFailure in the replay tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::fuzz {

struct FuzzFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// How a broken property is reported: abort (default) or throw FuzzFailure.
void SetThrowOnFailure(bool enabled);
[[noreturn]] void FuzzFail(const std::string& what);
inline void FuzzCheck(bool condition, const char* what) {
  if (!condition) FuzzFail(what);
}

// printf-style diagnostics on stderr when QV_FUZZ_TRACE is set (replaying
// one input by hand); silent otherwise.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Splits an input into parts at the separator line "\n--\n" (the
// multi-file targets: one part per file).
std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts);

}  // namespace qv::fuzz

extern "C" {
int Fuzz_tfilebase(const std::uint8_t* data, std::size_t size);
int Fuzz_includes(const std::uint8_t* data, std::size_t size);
int Fuzz_suite_settings(const std::uint8_t* data, std::size_t size);
int Fuzz_ini(const std::uint8_t* data, std::size_t size);
int Fuzz_message_markup(const std::uint8_t* data, std::size_t size);
int Fuzz_qvgetcfg(const std::uint8_t* data, std::size_t size);
int Fuzz_alerts(const std::uint8_t* data, std::size_t size);
}
