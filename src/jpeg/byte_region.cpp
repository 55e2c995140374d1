#include "jpeg/byte_region.h"

#include "shell/channels.h"

namespace segsniff {

bool intel_order = false;

void fail_int16(ByteRegion& r) {
  err_stream << "get_int16() fails for end of data\n";
  r.fail();
}

void fail_int32(ByteRegion& r) {
  err_stream << "get_int32() fails for end of data\n";
  r.fail();
}

}  // namespace segsniff
