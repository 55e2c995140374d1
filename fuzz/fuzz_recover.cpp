// libFuzzer entry: the carving of one file (every FF D8 pair walked as a
// stream, complete streams written into the scratch directory), and, where
// it stays fast, the carving with -fragments (photos followed across gaps,
// in blocks of 512 bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_harness.h"

namespace {

// The carving rule walks every FF D8 pair to the end of its stream, and a
// stream may run through the pairs after it (a SOI marker inside the marker
// sequence is listed and passed over), so k pairs in n bytes cost up to
// k * n: a few kilobytes of stacked FF D8 pairs print millions of lines and
// write megabytes of files, by design and with no limit.  That is time, not
// a fault, so such inputs are left out here (the dump target still takes
// them): pairs times size is kept under a budget that runs in well under the
// time limit even with the sanitizers.
constexpr std::size_t work_budget = 1u << 20;

bool carving_work_within_budget(const std::uint8_t* data, std::size_t size) {
  std::size_t pairs = 0;
  for (std::size_t p = 0; p + 1 < size; ++p) {
    const void* hit = std::memchr(data + p, 0xFF, size - 1 - p);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (data[p + 1] == 0xD8 && ++pairs * size > work_budget) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!carving_work_within_budget(data, size)) return -1;  // not kept in the corpus
  segsniff::fuzz::analyse_input(data, size, segsniff::fuzz::Mode::recover);
  if (segsniff::fuzz::fragments_within_budget(data, size))
    segsniff::fuzz::analyse_input(data, size, segsniff::fuzz::Mode::fragments);
  return 0;
}
