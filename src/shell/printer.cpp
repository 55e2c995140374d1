#include "shell/printer.h"

namespace segsniff {

void Printer::finding(Channel channel, Offset at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfinding(channel, at, format, args);
  va_end(args);
}

}  // namespace segsniff
