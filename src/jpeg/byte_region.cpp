#include "jpeg/byte_region.h"

#include <cstring>

#include "shell/printer.h"

namespace segsniff {

bool intel_order = false;

void fail_int16(ByteRegion& r, Printer& printer) {
  printer.finding(Channel::err, r.cursor(), "get_int16() fails for end of data\n");
  r.fail();
}

void fail_int32(ByteRegion& r, Printer& printer) {
  printer.finding(Channel::err, r.cursor(), "get_int32() fails for end of data\n");
  r.fail();
}

Offset find_byte_pair(const ByteRegion& r, Offset from, Offset to, std::uint8_t first,
                      std::uint8_t second) {
  if (r.end_ - r.begin_ < 2) return no_position;
  if (from < r.begin_) from = r.begin_;
  if (to > r.end_ - 1) to = r.end_ - 1;  // a pair starts before the last byte
  if (from >= to) return no_position;
  const std::uint8_t* start = r.input_ + from;
  const std::uint8_t* last = r.input_ + to;  // the byte after `last - 1` is still in the window
  for (const std::uint8_t* p = start; p < last; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, first, static_cast<std::size_t>(last - p)));
    if (p == nullptr) break;
    if (p[1] == second) return from + static_cast<Offset>(p - start);
  }
  return no_position;
}

}  // namespace segsniff
