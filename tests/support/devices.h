// Real devices for the tests that need them: a loop device over a file and a
// mounted file system, each released by its destructor (declare them after
// the ScratchDir that holds their files).  Where the machine does not allow
// one, why() says so for the test's skip message.
#pragma once

#include <string>

namespace segsniff::test {

// Runs a shell command and returns its first output line (both streams).
std::string first_line_of(const std::string& command);

class LoopDevice {
 public:
  // Attaches `file`, with extra losetup options (--read-only, --partscan).
  explicit LoopDevice(const std::string& file, const std::string& options = "");
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // /dev/loopN
  const std::string& why() const { return why_; }

 private:
  std::string name_, why_;
};

class Mount {
 public:
  // Mounts `source` (a device, or "tmpfs") on the existing folder `at`.
  Mount(const std::string& source, const std::string& at, const std::string& options = "");
  ~Mount();
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }

 private:
  std::string at_, why_;
};

}  // namespace segsniff::test
