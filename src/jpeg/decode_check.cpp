#include "jpeg/decode_check.h"

#include <vector>

#include "jpeg/libjpeg_session.h"

namespace segsniff {

namespace {

// The library keeps a whole progressive image's coefficients in memory; a
// made-up frame size must not make it take more than this.
constexpr long decoder_memory_limit = 512L << 20;

// Output rows taken per call; the samples are thrown away.
constexpr int rows_per_read = 16;

// Pieces of the input that make up the stream; a run that does not lie
// wholly in the input gives an empty piece (the library then runs out).
std::vector<StreamPiece> pieces_of(const ByteRegion& input, const ByteRuns& runs) {
  std::vector<StreamPiece> pieces;
  pieces.reserve(runs.size());
  for (const ByteRun& run : runs) pieces.push_back({input.bytes(run.offset, run.length), run.offset});
  return pieces;
}

// Reads every output row into a scratch buffer of the session's own pool.
void decode_all_rows(jpeg_decompress_struct& cinfo) {
  cinfo.mem->max_memory_to_use = decoder_memory_limit;
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = 8;
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&cinfo);
  const JDIMENSION row_bytes = cinfo.output_width * static_cast<JDIMENSION>(cinfo.output_components);
  JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                               row_bytes, rows_per_read);
  while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, rows_per_read);
  jpeg_finish_decompress(&cinfo);
}

}  // namespace

bool decode_check_available() { return true; }

#define SEGSNIFF_TEXT_OF(x) #x
#define SEGSNIFF_VERSION_TEXT(x) SEGSNIFF_TEXT_OF(x)

std::pair<std::string, std::string> decode_check_library() {
#ifdef LIBJPEG_TURBO_VERSION
  return {"libjpeg-turbo", SEGSNIFF_VERSION_TEXT(LIBJPEG_TURBO_VERSION)};
#else
  return {"libjpeg", SEGSNIFF_VERSION_TEXT(JPEG_LIB_VERSION)};
#endif
}

DecodeCheck decode_check(const ByteRegion& input, const ByteRuns& runs) {
  LibjpegSession session(pieces_of(input, runs));
  if (!session.run(decode_all_rows)) return {DecodeClass::not_decodable, session.error()};
  if (session.warnings() > 0) return {DecodeClass::warnings, session.first_warning()};
  return {DecodeClass::clean, {}};
}

}  // namespace segsniff
