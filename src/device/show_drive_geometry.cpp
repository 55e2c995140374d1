#include "device/show_drive_geometry.h"

namespace segsniff {

// Placeholder until the drive report lands.
void show_drive_geometry(const char*) {}

}  // namespace segsniff
