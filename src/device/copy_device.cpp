#include "device/copy_device.h"

namespace segsniff {

// Placeholder until the copy lands.
void copy_device(const char*, const char*) {}

}  // namespace segsniff
