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
#include <span>
#include <string>
#include <vector>

#include "jpeg/byte_region.h"

namespace segsniff {

struct StreamPiece {
  std::span<const std::uint8_t> bytes;
  Offset origin = no_position;  // input offset of bytes[0]; no_position for made-up bytes
};

class LibjpegSession {
 public:
  // A decode that starts in the middle of a scan, after restart marker
  // RSTn, meets RST(n+1) where the library counts on RST0: `restart_shift`
  // (n+1 modulo 8) tells how the numbers in the stream run ahead of the
  // library's count, and a marker out of that sequence counts as damage.
  // With no_restart_shift the library's own rule applies.
  static constexpr int no_restart_shift = -1;
  explicit LibjpegSession(std::vector<StreamPiece> pieces, int restart_shift = no_restart_shift);
  ~LibjpegSession();
  LibjpegSession(const LibjpegSession&) = delete;
  LibjpegSession& operator=(const LibjpegSession&) = delete;

  jpeg_decompress_struct& cinfo() { return cinfo_; }

  // Calls step(cinfo) with the library's error exit aimed here: true when
  // the step returned, false when the library gave up (error() says why;
  // the session is then dead and every later run fails at once).  A step
  // must not own anything that needs a destructor: a jump out of the
  // library skips the frames in between.
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
  bool ran_out() const { return ran_out_; }  // the pieces were used up
  // Warnings about the stream itself, leaving out the premature end and
  // whatever follows from it once the pieces are used up; and the input
  // offset the library had reached at the first of them.
  int damage_warnings() const { return damage_warnings_; }
  Offset first_damage_at() const { return first_damage_at_; }
  // Whether the scan data ran into an EOI marker of the stream (not the one
  // made up when the pieces ran out), and where the library then stood: a
  // decode that starts in the middle of a scan meets the end of the photo
  // before the MCU count it was told.  Not counted as damage.
  bool met_eoi() const { return met_eoi_at_ != no_position; }
  Offset met_eoi_at() const { return met_eoi_at_; }

  // Input offset of the next byte the library will take, as far as it has
  // committed its reading (it may hold a few bytes more in its bit buffer);
  // no_position inside made-up bytes.
  Offset position() const;

 private:
  static void error_exit(j_common_ptr cinfo);
  static void emit_message(j_common_ptr cinfo, int level);
  static void output_message(j_common_ptr cinfo);
  static void init_source(j_decompress_ptr cinfo);
  static boolean fill_input_buffer(j_decompress_ptr cinfo);
  static void skip_input_data(j_decompress_ptr cinfo, long count);
  static void term_source(j_decompress_ptr cinfo);
  static boolean take_shifted_restart(j_decompress_ptr cinfo, int desired);
  void count_damage();
  static LibjpegSession& of(j_common_ptr cinfo);

  std::vector<StreamPiece> pieces_;
  std::size_t next_piece_ = 0;
  std::size_t current_piece_ = 0;  // pieces_.size() while serving the closing EOI
  bool ran_out_ = false;

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
  int restart_shift_ = no_restart_shift;
  Offset met_eoi_at_ = no_position;
  bool warning_texts_ = true;
  Offset first_damage_at_ = no_position;
};

}  // namespace segsniff
