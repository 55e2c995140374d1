// libFuzzer entry: the carving of one file (every FF D8 pair walked as a
// stream, complete streams written into the scratch directory).
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  segsniff::fuzz::analyse_input(data, size, /*recovery=*/true);
  return 0;
}
