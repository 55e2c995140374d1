#include "jpeg/mcu_row_decoder.h"

#include <array>
#include <vector>

#include "jpeg/libjpeg_session.h"

namespace segsniff {

namespace {

// The library refuses frames larger than this in either direction.
constexpr std::uint32_t largest_dimension = 65500;

// Offsets of the frame height within the SOF segment: FF Cn, length (2), P (1).
constexpr Offset sof_size_offset = 5;
constexpr std::uint64_t sof_size_bytes = 4;  // height (2), width (2)

// The fewest MCUs per decoded row that keep the rewritten frame within the
// library's limits; always a divisor of the MCU count, so that the scan ends
// exactly where the rewritten picture does.  The real row length is one such
// divisor, so there is always an answer.
std::uint32_t choose_row_mcus(const FrameHeader& h) {
  const std::uint32_t per_row = h.mcus_per_row();
  const std::uint64_t total = std::uint64_t{per_row} * h.mcu_rows();
  const std::uint32_t mcu_width = 8u * static_cast<std::uint32_t>(h.max_h());
  const std::uint32_t mcu_height = 8u * static_cast<std::uint32_t>(h.max_v());
  const std::uint64_t max_rows = largest_dimension / mcu_height;
  for (std::uint32_t k = 1; k < per_row; ++k)
    if (total % k == 0 && total / k <= max_rows && k * mcu_width <= largest_dimension) return k;
  return per_row;
}

}  // namespace

struct McuRowDecoder::State {
  std::array<std::uint8_t, sof_size_bytes> new_size{};
  std::unique_ptr<LibjpegSession> session;
  std::uint32_t total = 0;
  std::uint32_t done = 0;
  std::uint32_t row_mcus = 1;
  int components = 0;
  std::array<int, 4> h{}, v{}, scale{};
  std::array<JSAMPARRAY, 4> rows{};
  Offset last_position = no_position;
  const ByteRegion* input = nullptr;
};

struct McuRowDecoderState::Parts {
  LibjpegSession::State session;
  std::uint32_t done = 0;
  Offset last_position = no_position;
};

McuRowDecoderState::McuRowDecoderState() : parts_(std::make_unique<Parts>()) {}
McuRowDecoderState::~McuRowDecoderState() = default;
McuRowDecoderState::McuRowDecoderState(const McuRowDecoderState& other)
    : parts_(std::make_unique<Parts>(*other.parts_)) {}
McuRowDecoderState& McuRowDecoderState::operator=(const McuRowDecoderState& other) {
  *parts_ = *other.parts_;
  return *this;
}

McuRowDecoder::McuRowDecoder(const ByteRegion& input, const FrameHeader& header, ByteRun first)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.input = &input;
  s.row_mcus = choose_row_mcus(header);
  s.total = header.mcus_per_row() * header.mcu_rows();
  s.components = header.components;
  const std::uint32_t width = s.row_mcus * 8u * static_cast<std::uint32_t>(header.max_h());
  const std::uint32_t height = s.total / s.row_mcus * 8u * static_cast<std::uint32_t>(header.max_v());
  s.new_size = {static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width)};

  // The first run holds the header: split it around the frame size.
  std::vector<StreamPiece> pieces;
  const Offset size_at = header.sof_at + sof_size_offset;
  if (first.offset <= size_at && size_at + sof_size_bytes <= first.end()) {
    pieces.push_back({input.bytes(first.offset, size_at - first.offset), first.offset});
    pieces.push_back({s.new_size, no_position});
    const Offset rest = size_at + sof_size_bytes;
    pieces.push_back({input.bytes(rest, first.end() - rest), rest});
  }
  s.session = std::make_unique<LibjpegSession>(std::move(pieces), LibjpegSession::AtEnd::suspend);
  s.session->drop_warning_texts();
}

McuRowDecoder::~McuRowDecoder() = default;

bool McuRowDecoder::start() {
  State& s = *state_;
  const bool started = s.session->run([&s](jpeg_decompress_struct& cinfo) {
    jpeg_read_header(&cinfo, TRUE);
    cinfo.raw_data_out = TRUE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
    jpeg_start_decompress(&cinfo);
    for (int c = 0; c < s.components && c < cinfo.num_components; ++c) {
      jpeg_component_info& comp = cinfo.comp_info[c];
      const auto i = static_cast<std::size_t>(c);
      s.h[i] = comp.h_samp_factor;
      s.v[i] = comp.v_samp_factor;
      s.scale[i] = comp.DCT_scaled_size;
      const JDIMENSION width = comp.width_in_blocks * static_cast<JDIMENSION>(comp.DCT_scaled_size);
      const JDIMENSION height = static_cast<JDIMENSION>(comp.v_samp_factor * comp.DCT_scaled_size);
      s.rows[i] = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             width, height);
    }
  });
  for (std::size_t i = 0; i < 4; ++i) {
    rows_[i] = s.rows[i];
    h_[i] = s.h[i];
    scale_[i] = s.scale[i];
  }
  return started;
}

bool McuRowDecoder::next_row() {
  State& s = *state_;
  if (s.done >= s.total) return false;
  JDIMENSION read = 0;
  const bool ok = s.session->run([&s, &read](jpeg_decompress_struct& cinfo) {
    const auto lines = static_cast<JDIMENSION>(cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size);
    read = jpeg_read_raw_data(&cinfo, s.rows.data(), lines);
  });
  if (!ok || read == 0) return false;  // failed, or suspended where the runs end
  s.done += s.row_mcus;
  if (!s.session->ran_out()) s.last_position = s.session->position();
  return true;
}

void McuRowDecoder::feed(ByteRun run) {
  State& s = *state_;
  s.session->add_piece({s.input->bytes(run.offset, run.length), run.offset});
}

void McuRowDecoder::save(McuRowDecoderState& state) const {
  const State& s = *state_;
  s.session->save(state.parts_->session);
  state.parts_->done = s.done;
  state.parts_->last_position = s.last_position;
}

void McuRowDecoder::restore(const McuRowDecoderState& state) {
  State& s = *state_;
  s.session->restore(state.parts_->session);
  s.done = state.parts_->done;
  s.last_position = state.parts_->last_position;
}

std::uint32_t McuRowDecoder::total_mcus() const { return state_->total; }
std::uint32_t McuRowDecoder::mcus_done() const { return state_->done; }
int McuRowDecoder::row_mcus() const { return static_cast<int>(state_->row_mcus); }
int McuRowDecoder::components() const { return state_->components; }
int McuRowDecoder::blocks_wide(int c) const { return state_->h[static_cast<std::size_t>(c)]; }
int McuRowDecoder::blocks_high(int c) const { return state_->v[static_cast<std::size_t>(c)]; }


Offset McuRowDecoder::position() const {
  return state_->session->ran_out() ? no_position : state_->last_position;
}
bool McuRowDecoder::ran_out() const { return state_->session->ran_out(); }
bool McuRowDecoder::failed() const { return state_->session->failed(); }
const std::string& McuRowDecoder::error() const { return state_->session->error(); }
int McuRowDecoder::warnings() const { return state_->session->warnings(); }
const std::string& McuRowDecoder::first_warning() const { return state_->session->first_warning(); }
int McuRowDecoder::damage_warnings() const { return state_->session->damage_warnings(); }
Offset McuRowDecoder::first_damage_at() const { return state_->session->first_damage_at(); }
Offset McuRowDecoder::met_eoi_at() const { return state_->session->met_eoi_at(); }
bool McuRowDecoder::skipping_to_marker() const { return state_->session->skipping_to_marker(); }

bool mcu_row_decoder_available() { return true; }

}  // namespace segsniff
