// libFuzzer entry: the dump of one file (marker walk, segment decoders,
// Exif, QVCS and the nested streams).
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  segsniff::fuzz::analyse_input(data, size, segsniff::fuzz::Mode::dump);
  return 0;
}
