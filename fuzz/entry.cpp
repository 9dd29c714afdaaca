// libFuzzer's entry point for one target body (QV_FUZZ_BODY, set per
// program by fuzz/CMakeLists.txt).
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { return QV_FUZZ_BODY(data, size); }
