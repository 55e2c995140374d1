#include "jpeg/libjpeg_session.h"

#include <jerror.h>

#include <utility>

namespace segsniff {

namespace {

// What the library is given when the pieces are used up: an EOI marker, so
// that it ends the image instead of asking again.
constexpr JOCTET closing_eoi[] = {0xFF, JPEG_EOI};

}  // namespace

LibjpegSession::LibjpegSession(std::vector<StreamPiece> pieces, int restart_shift)
    : restart_shift_(restart_shift) {
  for (StreamPiece& piece : pieces)
    if (!piece.bytes.empty()) pieces_.push_back(piece);  // a fill must give at least one byte

  cinfo_.err = jpeg_std_error(&errors_);
  errors_.error_exit = error_exit;
  errors_.emit_message = emit_message;
  errors_.output_message = output_message;
  cinfo_.client_data = this;
  run([](jpeg_decompress_struct& cinfo) { jpeg_create_decompress(&cinfo); });
  if (failed_) return;

  source_.init_source = init_source;
  source_.fill_input_buffer = fill_input_buffer;
  source_.skip_input_data = skip_input_data;
  source_.resync_to_restart =
      restart_shift == no_restart_shift ? jpeg_resync_to_restart : take_shifted_restart;
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

void LibjpegSession::count_damage() {
  if (!ran_out_ && damage_warnings_++ == 0) first_damage_at_ = position();
}

// Called when the marker met is not the restart marker the library counts
// on.  A restart marker is swallowed (the library then resets its decoder
// state as after a good one), and counted as damage unless its number is
// the shifted one; any other marker goes to the library's rule.
boolean LibjpegSession::take_shifted_restart(j_decompress_ptr cinfo, int desired) {
  const int marker = cinfo->unread_marker;
  if (marker < JPEG_RST0 || marker > JPEG_RST0 + 7) return jpeg_resync_to_restart(cinfo, desired);
  LibjpegSession& session = of(reinterpret_cast<j_common_ptr>(cinfo));
  if (((marker - JPEG_RST0 - desired) & 7) != session.restart_shift_) session.count_damage();
  cinfo->unread_marker = 0;
  return TRUE;
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
