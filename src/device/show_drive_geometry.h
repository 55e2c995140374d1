#pragma once

namespace segsniff {

// "-info": prints the geometry and size of a drive.
void show_drive_geometry(const char* source);

}  // namespace segsniff
