// Hostile inputs, analysed in both modes the way the fuzz targets do it:
// each in a heap buffer of exactly its size (a sanitizer build catches a
// read of even one byte past its end), each twice (nothing may depend on
// memory layout or on state left by a previous file), each leaving the byte
// order as it found it, and each printing in proportion to its size.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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
    analyse_mapped_bytes(CarvedInput{exact.get(), content.size()}, recovery, run,
                         text_printer());
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
    // A walk through garbage gives up after 31 illegal markers.
    {"illegal-markers-forever",
     [] { return Bytes{0xFF, 0xD8}.append(repeated(Bytes{0xFF, 0xFE, 0x00, 0x02}, 40)); }},
    // Each stream is carved, each pair inside later streams tried again.
    {"streams-back-to-back", [] { return repeated(Bytes{0xFF, 0xD8, 0xFF, 0xD9}, 100); }},
    {"heads-without-end",
     [] { return repeated(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x11}, 500); }},
    // Segment ends before the magic (lengths 0 to 5) or far past the file.
    {"application-lengths-below-the-magic",
     [] {
       Bytes b{0xFF, 0xD8};
       for (std::uint16_t length = 0; length < 6; ++length) b.be16(0xFFE1).be16(length).text("Exif");
       return b.be16(0xFFE2).be16(0xFFFF).text("QVCS").raw({0x00, 0x00});
     }},
    {"scan-ends-on-ff", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}.fill(64, 0xFF); }},
    {"qvcs-model-without-terminator",
     [] { return Bytes{0xFF, 0xD8}.be16(0xFFE1).be16(22).text("QVCS").raw({0x00, 0x00}).fill(14, 'Q'); }},
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
  const fs::path dir = fs::path(source_dir()) / "fuzz" / "regressions";
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
