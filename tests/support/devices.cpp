#include "support/devices.h"

#include <cstdio>

namespace segsniff::test {

std::string first_line_of(const std::string& command) {
  std::string line;
  if (std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char text[256];
    if (std::fgets(text, sizeof text, pipe) != nullptr) line = text;
    ::pclose(pipe);
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

LoopDevice::LoopDevice(const std::string& file, const std::string& options) {
  const std::string answer = first_line_of("losetup --find --show " + options + " " + file);
  if (answer.rfind("/dev/loop", 0) == 0) name_ = answer;
  else why_ = "cannot attach a loop device: " + answer;
}

LoopDevice::~LoopDevice() {
  if (ok()) first_line_of("losetup --detach " + name_);
}

Mount::Mount(const std::string& source, const std::string& at, const std::string& options)
    : at_(at) {
  const std::string type = source == "tmpfs" ? "-t tmpfs " : "";
  const std::string answer =
      first_line_of("mount " + type + (options.empty() ? "" : "-o " + options + " ") + source +
                    " " + at + " && echo mounted");
  if (answer != "mounted") why_ = "cannot mount " + source + ": " + answer;
}

Mount::~Mount() {
  // Lazy: a descriptor a failed test left open must not keep it mounted.
  if (ok()) first_line_of("umount --lazy " + at_);
}

}  // namespace segsniff::test
