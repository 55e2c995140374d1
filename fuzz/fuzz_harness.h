// The one analysis that every fuzz entry and the replay driver run: the
// bytes of an input as if they were a mapped file, in dump or in recovery
// mode, with the output channels bound to a null writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace segsniff::fuzz {

// Binds the channels to a null writer and moves the process into a fresh
// scratch directory, where recovery mode writes its carved files.  Runs once,
// at the first input: a libFuzzer process that only supervises jobs keeps
// its working directory for their logs.
void prepare_fuzzing();

// How an input is analysed: the marker walk of dump mode, plain carving, or
// carving with -fragments (in blocks of fragment_block bytes unless the
// input holds a boot sector).
enum class Mode { dump, recover, fragments };
inline constexpr std::uint64_t fragment_block = 512;

// Analyses `size` bytes at `data` as scan_file would after mapping them.
// Carved files are removed afterwards, so the scratch directory stays empty.
// Traps when the analysis leaves the process-wide byte order changed.
void analyse_input(const std::uint8_t* data, std::size_t size, Mode mode);

// Whether carving with -fragments stays fast on this input: the search may
// decode every block once per block for each stream start, so the FF D8
// pairs times the square of the blocks is kept under a budget.
bool fragments_within_budget(const std::uint8_t* data, std::size_t size);

// The same analysis through the JSON printer (-json), its output captured
// and read back: traps unless it is JSON Lines, each line one object with no
// key twice in any object of it.
void analyse_input_as_json(const std::uint8_t* data, std::size_t size, bool recovery);

}  // namespace segsniff::fuzz
