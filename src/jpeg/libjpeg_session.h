// One libjpeg decompressor that reads its stream from pieces of the mapped
// input, in place, and whose faults come back to the caller.
//
// Source: the stream is a list of pieces (runs of the mapped input, and a
// few bytes made up by the caller, such as a rewritten frame size), handed
// to the library one piece per fill, never copied.  When the pieces are used
// up the library is told "Premature end of JPEG file" (a warning, as its own
// memory source does) and given an EOI marker, so it finishes the image with
// empty blocks.
//
// Resumable sessions (AtEnd::suspend), for following a stream piece by
// piece and trying many continuations of one place in it: every allocation
// of the library goes to a LibjpegArena, and when the pieces are used up the
// library is not given an EOI but suspended, as by a data source that has
// no more bytes yet; the decoder then stands at the start of the MCU it
// could not finish.  More pieces can be added and the decoding resumed;
// save() keeps the whole state reached, restore() goes back to a state kept.
//
// Errors: the library's error exit jumps back into LibjpegSession::run with
// the message text; warnings are counted and the first one is kept with the
// input offset the library had reached.  Nothing is printed and the process
// never ends in the library.
#pragma once

// jpeglib.h needs the declarations of stdio.h and stddef.h before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/libjpeg_arena.h"

namespace segsniff {

struct StreamPiece {
  std::span<const std::uint8_t> bytes;
  Offset origin = no_position;  // input offset of bytes[0]; no_position for made-up bytes
};

class LibjpegSession {
 public:
  enum class AtEnd { close, suspend };
  explicit LibjpegSession(std::vector<StreamPiece> pieces, AtEnd at_end = AtEnd::close);
  ~LibjpegSession();
  LibjpegSession(const LibjpegSession&) = delete;
  LibjpegSession& operator=(const LibjpegSession&) = delete;

  jpeg_decompress_struct& cinfo() { return cinfo_; }

  // Calls step(cinfo) with the library's error exit aimed here: true when
  // the step returned, false when the library gave up (error() says why;
  // the session is then dead and every later run fails at once, until a
  // restore).  A step must not own anything that needs a destructor: a
  // jump out of the library skips the frames in between.
  template <typename Step>
  bool run(Step&& step) {
    if (failed_) return false;
    if (setjmp(escape_) != 0) {
      failed_ = true;
      return false;
    }
    step(cinfo_);
    return true;
  }

  // The text of the first warning is not wanted (it costs a formatting).
  void drop_warning_texts() { warning_texts_ = false; }

  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  int warnings() const { return warnings_; }
  const std::string& first_warning() const { return first_warning_; }
  Offset first_warning_at() const { return first_warning_at_; }
  bool ran_out() const { return ran_out_; }  // the pieces were used up (or suspended there)
  // Warnings about the stream itself, leaving out the premature end and
  // whatever follows from it once the pieces are used up; and the input
  // offset where the first of them began.
  int damage_warnings() const { return damage_warnings_; }
  Offset first_damage_at() const { return first_damage_at_; }
  // Whether the scan data ran into an EOI marker of the stream (not the one
  // made up when the pieces ran out), and where the library then stood.
  // Not counted as damage.
  bool met_eoi() const { return met_eoi_at_ != no_position; }
  Offset met_eoi_at() const { return met_eoi_at_; }
  // The library is skipping bytes in search of a marker (a restart marker
  // that did not come where the MCU count put it): damage it will warn
  // about once it finds one.
  bool skipping_to_marker() const;

  // Input offset of the next byte the library will take, as far as it has
  // committed its reading (it may hold a few bytes more in its bit buffer);
  // no_position inside made-up bytes.
  Offset position() const;

  // Resumable sessions only.  A piece after those given so far.
  void add_piece(StreamPiece piece);
  // The session's whole state; kept by save(), put back by restore().
  struct State {
    LibjpegArena::Saved decoder;
    jpeg_source_mgr source{};
    jpeg_error_mgr errors{};
    std::vector<StreamPiece> pieces;  // the piece being read and those after it
    std::size_t next_piece = 0;       // the next piece to serve, in `pieces`
    bool ran_out = false;
    int warnings = 0;
    Offset first_warning_at = no_position;
    int damage_warnings = 0;
    Offset first_damage_at = no_position;
    Offset met_eoi_at = no_position;
  };
  void save(State& state) const;
  void restore(const State& state);

 private:
  static void error_exit(j_common_ptr cinfo);
  static void emit_message(j_common_ptr cinfo, int level);
  static void output_message(j_common_ptr cinfo);
  static void init_source(j_decompress_ptr cinfo);
  static boolean fill_input_buffer(j_decompress_ptr cinfo);
  static void skip_input_data(j_decompress_ptr cinfo, long count);
  static void term_source(j_decompress_ptr cinfo);
  // Counts a damage warning; the damage began `skipped` bytes before the
  // library's position.
  void count_damage(std::uint64_t skipped = 0);
  static LibjpegSession& of(j_common_ptr cinfo);

  // Resumable sessions: where the decompressor allocates (it is destroyed
  // in the destructor's body, before the members go).
  std::unique_ptr<LibjpegArena> arena_;

  std::vector<StreamPiece> pieces_;
  std::size_t next_piece_ = 0;
  std::size_t current_piece_ = 0;  // pieces_.size() while serving the closing EOI
  bool ran_out_ = false;
  AtEnd at_end_ = AtEnd::close;

  jpeg_decompress_struct cinfo_{};
  jpeg_error_mgr errors_{};
  jpeg_source_mgr source_{};
  std::jmp_buf escape_{};
  bool failed_ = false;
  std::string error_;
  int warnings_ = 0;
  std::string first_warning_;
  Offset first_warning_at_ = no_position;
  int damage_warnings_ = 0;
  Offset met_eoi_at_ = no_position;
  bool warning_texts_ = true;
  Offset first_damage_at_ = no_position;
};

}  // namespace segsniff
