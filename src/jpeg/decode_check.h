// Decode check: does a carved stream decode as a picture?
//
// The stream (one span of the input, or the byte runs it was put together
// from) is decoded by libjpeg at one eighth of its size -- every byte of
// its entropy-coded data is still read -- and classed:
//   clean          decoded to the end of image, not a word from the library
//   warnings       decoded, but the library reported damage it worked
//                  around; the first warning's text is kept
//   not_decodable  the library gave up; its error text is kept
// A build without libjpeg has only `unavailable`.
#pragma once

#include <string>
#include <utility>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"

namespace segsniff {

enum class DecodeClass { clean, warnings, not_decodable, unavailable };

struct DecodeCheck {
  DecodeClass kind = DecodeClass::unavailable;
  std::string message;  // the first warning, or the error; empty when clean
};

// False in a build without libjpeg: every check then says `unavailable`.
bool decode_check_available();

// The decoding library and its version as the carving report names them
// ({"libjpeg-turbo", "2.1.5"}, say); empty names without one.
std::pair<std::string, std::string> decode_check_library();

// Checks the stream made of `runs` of the input (in stream order).
DecodeCheck decode_check(const ByteRegion& input, const ByteRuns& runs);

// Checks the stream input[begin, end).
inline DecodeCheck decode_check(const ByteRegion& input, Offset begin, Offset end) {
  return decode_check(input, ByteRuns{ByteRun{begin, end - begin}});
}

}  // namespace segsniff
