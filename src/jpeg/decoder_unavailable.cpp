// Stands in for the files that call libjpeg in a build without it: every
// decode check says `unavailable`, and no decoder can be started.
#include "jpeg/decode_check.h"
#include "jpeg/mcu_row_decoder.h"

namespace segsniff {

bool decode_check_available() { return false; }

std::pair<std::string, std::string> decode_check_library() { return {}; }

DecodeCheck decode_check(const ByteRegion&, const ByteRuns&) {
  return {DecodeClass::unavailable, "decoding is not available in this build"};
}

struct McuRowDecoder::State {
  std::string no_text;
};

struct McuRowDecoderState::Parts {};
McuRowDecoderState::McuRowDecoderState() : parts_(std::make_unique<Parts>()) {}
McuRowDecoderState::~McuRowDecoderState() = default;
McuRowDecoderState::McuRowDecoderState(const McuRowDecoderState&) : parts_(std::make_unique<Parts>()) {}
McuRowDecoderState& McuRowDecoderState::operator=(const McuRowDecoderState&) { return *this; }

McuRowDecoder::McuRowDecoder(const ByteRegion&, const FrameHeader&, ByteRun)
    : state_(std::make_unique<State>()) {}
McuRowDecoder::~McuRowDecoder() = default;
bool McuRowDecoder::start() { return false; }
bool McuRowDecoder::next_row() { return false; }
void McuRowDecoder::feed(ByteRun) {}
void McuRowDecoder::save(McuRowDecoderState&) const {}
void McuRowDecoder::restore(const McuRowDecoderState&) {}
std::uint32_t McuRowDecoder::total_mcus() const { return 0; }
std::uint32_t McuRowDecoder::mcus_done() const { return 0; }
int McuRowDecoder::row_mcus() const { return 1; }
int McuRowDecoder::components() const { return 0; }
int McuRowDecoder::blocks_wide(int) const { return 1; }
int McuRowDecoder::blocks_high(int) const { return 1; }
Offset McuRowDecoder::position() const { return no_position; }
bool McuRowDecoder::ran_out() const { return false; }
bool McuRowDecoder::failed() const { return true; }
const std::string& McuRowDecoder::error() const { return state_->no_text; }
int McuRowDecoder::warnings() const { return 0; }
const std::string& McuRowDecoder::first_warning() const { return state_->no_text; }
int McuRowDecoder::damage_warnings() const { return 0; }
Offset McuRowDecoder::first_damage_at() const { return no_position; }
Offset McuRowDecoder::met_eoi_at() const { return no_position; }
bool McuRowDecoder::skipping_to_marker() const { return false; }

bool mcu_row_decoder_available() { return false; }

}  // namespace segsniff
