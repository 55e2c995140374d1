#include "jpeg/libjpeg_session.h"

#include <jerror.h>
// The marker reader's count of bytes skipped (skipping_to_marker).
#include <jpegint.h>

#include <algorithm>
#include <utility>

namespace segsniff {

namespace {

// What the library is given when the pieces are used up: an EOI marker, so
// that it ends the image instead of asking again.
constexpr JOCTET closing_eoi[] = {0xFF, JPEG_EOI};

}  // namespace

LibjpegSession::LibjpegSession(std::vector<StreamPiece> pieces, AtEnd at_end) : at_end_(at_end) {
  for (StreamPiece& piece : pieces)
    if (!piece.bytes.empty()) pieces_.push_back(piece);  // a fill must give at least one byte

  cinfo_.err = jpeg_std_error(&errors_);
  errors_.error_exit = error_exit;
  errors_.emit_message = emit_message;
  errors_.output_message = output_message;
  cinfo_.client_data = this;
  run([](jpeg_decompress_struct& cinfo) { jpeg_create_decompress(&cinfo); });
  if (failed_) return;
  if (at_end == AtEnd::suspend) {
    arena_ = std::make_unique<LibjpegArena>();
    arena_->attach(cinfo_);
  }

  source_.init_source = init_source;
  source_.fill_input_buffer = fill_input_buffer;
  source_.skip_input_data = skip_input_data;
  source_.resync_to_restart = jpeg_resync_to_restart;
  source_.term_source = term_source;
  source_.next_input_byte = nullptr;
  source_.bytes_in_buffer = 0;
  cinfo_.src = &source_;
}

LibjpegSession::~LibjpegSession() {
  // Destroying frees only the library's own pools; it cannot raise an error.
  jpeg_destroy_decompress(&cinfo_);
}

LibjpegSession& LibjpegSession::of(j_common_ptr cinfo) {
  return *static_cast<LibjpegSession*>(cinfo->client_data);
}

void LibjpegSession::error_exit(j_common_ptr cinfo) {
  LibjpegSession& session = of(cinfo);
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  session.error_ = text;
  std::longjmp(session.escape_, 1);
}

// Level -1 is a warning (corrupt data the library worked around); higher
// levels are trace messages, which are not wanted.
void LibjpegSession::emit_message(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  LibjpegSession& session = of(cinfo);
  const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (cinfo->err->msg_code == JWRN_HIT_MARKER && decompress->unread_marker == JPEG_EOI &&
      !session.ran_out_ && session.met_eoi_at_ == no_position) {
    session.met_eoi_at_ = session.position();
    if (session.met_eoi_at_ == no_position) session.met_eoi_at_ = 0;
  } else if (cinfo->err->msg_code == JWRN_EXTRANEOUS_DATA) {
    // The library skipped bytes looking for a marker (a restart marker that
    // did not come, say) and stands at the marker it found: the damage
    // began where the skipping did.
    session.count_damage(static_cast<std::uint64_t>(cinfo->err->msg_parm.i[0]));
  } else {
    session.count_damage();
  }
  if (session.warnings_++ > 0) return;
  session.first_warning_at_ = session.position();
  if (!session.warning_texts_) return;
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  session.first_warning_ = text;
}

void LibjpegSession::output_message(j_common_ptr) {}

void LibjpegSession::count_damage(std::uint64_t skipped) {
  if (ran_out_ || damage_warnings_++ > 0) return;
  first_damage_at_ = position();
  // Not back past the start of the piece being read.
  if (first_damage_at_ == no_position || skipped == 0 || current_piece_ >= pieces_.size()) return;
  const Offset origin = pieces_[current_piece_].origin;
  first_damage_at_ = first_damage_at_ - origin > skipped ? first_damage_at_ - skipped : origin;
}

void LibjpegSession::init_source(j_decompress_ptr) {}
void LibjpegSession::term_source(j_decompress_ptr) {}

boolean LibjpegSession::fill_input_buffer(j_decompress_ptr cinfo) {
  LibjpegSession& session = of(reinterpret_cast<j_common_ptr>(cinfo));
  if (session.next_piece_ < session.pieces_.size()) {
    session.current_piece_ = session.next_piece_++;
    const StreamPiece& piece = session.pieces_[session.current_piece_];
    cinfo->src->next_input_byte = piece.bytes.data();
    cinfo->src->bytes_in_buffer = piece.bytes.size();
    return TRUE;
  }
  const bool first_time = !session.ran_out_;
  session.ran_out_ = true;  // set first: the warning below is not damage
  // Suspended: the library backs up to the start of the MCU it was reading,
  // keeping what the source still holds (next_input_byte on).
  if (session.at_end_ == AtEnd::suspend) return FALSE;
  if (first_time) WARNMS(cinfo, JWRN_JPEG_EOF);
  session.current_piece_ = session.pieces_.size();
  cinfo->src->next_input_byte = closing_eoi;
  cinfo->src->bytes_in_buffer = sizeof closing_eoi;
  return TRUE;
}

// Skips whole pieces while the count reaches past the current one.
void LibjpegSession::skip_input_data(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = cinfo->src;
  auto left = static_cast<std::size_t>(count);
  while (left > source->bytes_in_buffer) {
    left -= source->bytes_in_buffer;
    fill_input_buffer(cinfo);
    if (of(reinterpret_cast<j_common_ptr>(cinfo)).ran_out_) return;  // the closing EOI stays
  }
  source->next_input_byte += left;
  source->bytes_in_buffer -= left;
}

void LibjpegSession::add_piece(StreamPiece piece) {
  if (piece.bytes.empty()) return;  // a fill must give at least one byte
  pieces_.push_back(piece);
  ran_out_ = false;
}

// The pieces before the one being read are not kept: the library never goes
// back to them.
void LibjpegSession::save(State& state) const {
  if (arena_ == nullptr || failed_) return;
  arena_->save(cinfo_, state.decoder);
  state.source = source_;
  state.errors = errors_;
  const std::size_t first = std::min(current_piece_, pieces_.size());
  state.pieces.assign(pieces_.begin() + static_cast<std::ptrdiff_t>(first), pieces_.end());
  state.next_piece = next_piece_ - first;
  state.ran_out = ran_out_;
  state.warnings = warnings_;
  state.first_warning_at = first_warning_at_;
  state.damage_warnings = damage_warnings_;
  state.first_damage_at = first_damage_at_;
  state.met_eoi_at = met_eoi_at_;
}

void LibjpegSession::restore(const State& state) {
  if (arena_ == nullptr) return;
  arena_->restore(cinfo_, state.decoder);
  source_ = state.source;
  errors_ = state.errors;
  pieces_ = state.pieces;
  next_piece_ = state.next_piece;
  current_piece_ = 0;
  ran_out_ = state.ran_out;
  warnings_ = state.warnings;
  first_warning_at_ = state.first_warning_at;
  damage_warnings_ = state.damage_warnings;
  first_damage_at_ = state.first_damage_at;
  met_eoi_at_ = state.met_eoi_at;
  failed_ = false;
  error_.clear();
}

bool LibjpegSession::skipping_to_marker() const {
  return cinfo_.marker != nullptr && cinfo_.marker->discarded_bytes > 0;
}

Offset LibjpegSession::position() const {
  if (current_piece_ >= pieces_.size() || source_.next_input_byte == nullptr) {
    if (ran_out_ || pieces_.empty()) return no_position;
    // Before the first fill: the start of the first piece.
    return pieces_.front().origin;
  }
  const StreamPiece& piece = pieces_[current_piece_];
  if (piece.origin == no_position) return no_position;
  return piece.origin + static_cast<Offset>(source_.next_input_byte - piece.bytes.data());
}

}  // namespace segsniff
