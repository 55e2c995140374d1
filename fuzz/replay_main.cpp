// Replays fuzz inputs without libFuzzer, so that the seed corpus and the
// kept crash inputs run as an ordinary test under any compiler.
//
//   segsniff_fuzz_replay <file or directory>...
//
// Every regular file (directories are searched recursively, in name order)
// is read into a heap buffer of exactly its size, so that a sanitizer build
// catches a read of even one byte past the end, and is analysed in dump
// mode, in recovery mode and (where it stays fast) with -fragments, with the
// text listing, and then in dump and recovery mode as JSON Lines.  A path that does not exist is skipped
// with a note (the shared camera corpus is not on every machine).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_harness.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> inputs_under(const fs::path& path) {
  std::vector<fs::path> found;
  if (fs::is_regular_file(path)) {
    found.push_back(path);
  } else if (fs::is_directory(path)) {
    for (const auto& entry : fs::recursive_directory_iterator(path))
      if (entry.is_regular_file()) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
  }
  return found;
}

bool replay(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::uintmax_t size = fs::file_size(path);
  std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size == 0 ? 1 : size]);
  if (!file.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size))) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const auto n = static_cast<std::size_t>(size);
  segsniff::fuzz::analyse_input(bytes.get(), n, segsniff::fuzz::Mode::dump);
  segsniff::fuzz::analyse_input(bytes.get(), n, segsniff::fuzz::Mode::recover);
  if (segsniff::fuzz::fragments_within_budget(bytes.get(), n))
    segsniff::fuzz::analyse_input(bytes.get(), n, segsniff::fuzz::Mode::fragments);
  segsniff::fuzz::analyse_input_as_json(bytes.get(), n, false);
  segsniff::fuzz::analyse_input_as_json(bytes.get(), n, true);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Resolve the paths before the harness moves into its scratch directory.
  std::vector<fs::path> paths;
  for (int i = 1; i < argc; ++i) {
    if (!fs::exists(argv[i])) {
      std::fprintf(stderr, "skipping %s: not there\n", argv[i]);
      continue;
    }
    for (auto& input : inputs_under(fs::absolute(argv[i]))) paths.push_back(input);
  }
  segsniff::fuzz::prepare_fuzzing();
  int failed = 0;
  for (const auto& path : paths)
    if (!replay(path)) ++failed;
  std::fprintf(stderr, "replayed %zu inputs in both modes\n", paths.size() - static_cast<std::size_t>(failed));
  return failed == 0 ? 0 : 1;
}
