#include "jpeg/recover_jpeg_streams.h"

namespace segsniff {

// Placeholder until carving lands.
void recover_jpeg_streams(const CarvedInput&, CarvingRun&) {}

}  // namespace segsniff
