// Decodes a baseline scan a few MCUs at a time and shows, for every block,
// its mean sample (the block's DC term as libjpeg decodes it at one eighth
// of the size).  That is all the fragment search looks at: whether the
// blocks decoded from a stretch of bytes continue the picture above them.
//
// The stream is given as byte runs of the input, the first starting at the
// SOI and holding the whole header.  The decoder is handed a frame header
// whose size is rewritten so that each row of the decoded picture is a
// short run of MCUs (`row_mcus`, a divisor of the MCU count): the scan's
// bytes are the same, only the library's idea of where a row ends changes,
// and the search sees the picture in steps of a few MCUs instead of a whole
// row of MCUs, which can span many clusters.  MCU number m of the scan is
// at row m / mcus_per_row, column m % mcus_per_row of the real picture.
//
// The decoder is resumable (LibjpegSession's resumable sessions): it stops
// where the runs given so far end, in the middle of a row if need be, and
// goes on when more runs are fed to it; its whole state can be kept and
// gone back to.  The fragment search feeds a photo's data block by block,
// keeps the state at the blocks where the photo may have been cut, and
// tries every block after such a place from there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg/frame_header.h"

namespace segsniff {

// A decoder's whole state, as McuRowDecoder::save keeps it (a copy of the
// library's memory for the decoder, a dozen KiB).
class McuRowDecoderState {
 public:
  McuRowDecoderState();
  ~McuRowDecoderState();
  McuRowDecoderState(const McuRowDecoderState& other);
  McuRowDecoderState& operator=(const McuRowDecoderState& other);

 private:
  friend class McuRowDecoder;
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

class McuRowDecoder {
 public:
  // `header` must describe a single sequential scan (single_sequential_scan);
  // `first` starts at its SOI and holds the whole header.
  McuRowDecoder(const ByteRegion& input, const FrameHeader& header, ByteRun first);
  ~McuRowDecoder();
  McuRowDecoder(const McuRowDecoder&) = delete;
  McuRowDecoder& operator=(const McuRowDecoder&) = delete;

  // Reads the header and gets the library ready; false if it gave up.
  bool start();

  // Decodes the next row_mcus() MCUs.  False when the scan is complete, the
  // library gave up (failed()), or the runs fed so far are used up
  // (ran_out(); feeding more goes on from there).
  bool next_row();

  // The stream goes on with `run`.
  void feed(ByteRun run);

  // Keeps the state reached; goes back to a state kept.
  void save(McuRowDecoderState& state) const;
  void restore(const McuRowDecoderState& state);

  std::uint32_t total_mcus() const;   // MCUs in the scan
  std::uint32_t mcus_done() const;    // MCUs decoded so far
  int row_mcus() const;               // MCUs per decoded row
  int components() const;
  int blocks_wide(int component) const;  // the component's sampling factors
  int blocks_high(int component) const;

  // Mean sample (0..255) of block (y, x) of `component` in MCU j of the
  // row decoded last (0 <= j < row_mcus()).
  std::uint8_t block_mean(int j, int component, int y, int x) const {
    const auto c = static_cast<std::size_t>(component);
    return rows_[c][y * scale_[c]][(j * h_[c] + x) * scale_[c]];
  }

  // Input offset up to which the library has taken bytes (a few more may sit
  // in its bit buffer); no_position once the runs are used up.
  Offset position() const;
  bool ran_out() const;        // the runs fed so far are used up
  bool failed() const;
  const std::string& error() const;
  int warnings() const;        // everything the library warned about
  const std::string& first_warning() const;
  // Damage the library worked around in the bytes it was given (not the
  // premature end when the runs were used up), and where it first saw it.
  int damage_warnings() const;
  Offset first_damage_at() const;
  // Where the library stood when the scan data ran into the stream's EOI
  // marker before the MCU count was reached; no_position if it did not.
  Offset met_eoi_at() const;
  // The library is skipping bytes in search of a marker (damage it has not
  // warned about yet).
  bool skipping_to_marker() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  // The library's output rows of the row decoded last, per component, with
  // the sampling factor and sample size that place a block in them.
  std::array<std::uint8_t* const*, 4> rows_{};
  std::array<int, 4> h_{}, scale_{};
};

// Whether this build can decode at all (it was built with libjpeg).
bool mcu_row_decoder_available();

}  // namespace segsniff
