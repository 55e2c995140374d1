// Hostile inputs, analysed in both modes the way the fuzz targets do it:
// each in a heap buffer of exactly its size (a sanitizer build catches a
// read of even one byte past its end), each twice (the output must be the
// same: nothing may depend on memory layout or on state left by a previous
// file), and each must leave the byte order as it found it.  What they print
// must stay in proportion to their size: a few counts and offsets in a
// crafted file must not make the tool print for minutes.
//
// The generated cases below name the fault each one pins; inputs found by
// fuzzing are kept as files in fuzz/regressions and replayed the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/scan_file.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

namespace fs = std::filesystem;

// Runs one analysis inside a scratch directory (recovery writes there) and
// returns everything it printed, with the carved files' names and bytes.
std::string analyse(const std::vector<std::uint8_t>& content, bool recovery) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[content.size()]);
  std::copy(content.begin(), content.end(), exact.get());
  ScratchDir dir;
  const fs::path back = fs::current_path();
  fs::current_path(dir.path());
  std::string printed;
  {
    CapturedOutput output;
    CarvingRun run;
    analyse_mapped_bytes(CarvedInput{exact.get(), content.size(), false, 0, 0}, recovery, run);
    printed = output.all();
  }
  fs::current_path(back);
  for (const auto& name : dir.list()) printed += "carved " + name + " " + dir.read(name) + "\n";
  return printed;
}

void expect_sound_in_both_modes(const std::vector<std::uint8_t>& content) {
  ASSERT_FALSE(content.empty());
  for (bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "recovery mode" : "dump mode");
    const std::string first = analyse(content, recovery);
    EXPECT_FALSE(intel_order);
    EXPECT_LE(first.size(), 1000 * content.size() + 65536) << "printed for " << content.size()
                                                           << " bytes of input";
    EXPECT_EQ(analyse(content, recovery), first);
  }
}

Bytes repeated(const Bytes& piece, int times) {
  Bytes all;
  for (int i = 0; i < times; ++i) all.append(piece);
  return all;
}

struct HostileCase {
  const char* name;
  Bytes (*make)();
};

const HostileCase generated_cases[] = {
    // A walk that meets garbage gives up after 31 illegal markers instead
    // of skipping through a whole card image two bytes at a time.
    {"illegal-markers-forever",
     [] { return Bytes{0xFF, 0xD8}.append(repeated(Bytes{0xFF, 0xFE, 0x00, 0x02}, 40)); }},
    // A hundred complete streams back to back: each is carved, each pair
    // inside later streams is tried again, and the work stays linear.
    {"streams-back-to-back", [] { return repeated(Bytes{0xFF, 0xD8, 0xFF, 0xD9}, 100); }},
    // Truncated heads: every FF D8 starts a walk whose scan never ends.
    {"heads-without-end",
     [] { return repeated(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x11}, 500); }},
    // Application segments whose length puts their end before their magic
    // (lengths 0 to 5) or far past the end of the file.
    {"application-lengths-below-the-magic",
     [] {
       Bytes b{0xFF, 0xD8};
       for (std::uint16_t length = 0; length < 6; ++length) b.be16(0xFFE1).be16(length).text("Exif");
       return b.be16(0xFFE2).be16(0xFFFF).text("QVCS").raw({0x00, 0x00});
     }},
    // Scan data that runs into the last byte with an FF in front of it.
    {"scan-ends-on-ff", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}.fill(64, 0xFF); }},
    // A QVCS model name without its terminator, at the very end of the file.
    {"qvcs-model-without-terminator",
     [] {
       return Bytes{0xFF, 0xD8}.be16(0xFFE1).be16(22).text("QVCS").raw({0x00, 0x00}).fill(14, 'Q');
     }},
    // An Exif segment cut off inside its TIFF header, at the end of the file.
    {"exif-header-cut-off",
     [] { return Bytes{0xFF, 0xD8}.be16(0xFFE1).be16(0x0100).text("Exif").raw({0, 0, 'I', 'I', 0x2A}); }},
};

TEST(HostileInputs, GeneratedCasesAreAnalysedSoundlyInBothModes) {
  for (const auto& c : generated_cases) {
    SCOPED_TRACE(c.name);
    expect_sound_in_both_modes(c.make().vector());
  }
}

TEST(HostileInputs, KeptFuzzInputsAreAnalysedSoundlyInBothModes) {
  const fs::path dir = fs::path(SEGSNIFF_SOURCE_DIR) / "fuzz" / "regressions";
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && entry.file_size() > 0) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) GTEST_SKIP() << "no inputs kept in " << dir;
  for (const auto& path : inputs) {
    SCOPED_TRACE(path.filename().string());
    std::ifstream file(path, std::ios::binary);
    expect_sound_in_both_modes({std::istreambuf_iterator<char>(file), {}});
  }
}

}  // namespace
}  // namespace segsniff::test
