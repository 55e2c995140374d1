// The benchmark helpers' way into their input: the whole file mapped
// read-only, as segsniff itself maps it.  A file that cannot be opened or
// mapped, or is shorter than the helper needs, is reported with perror and
// leaves the object empty (ok() false).
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

class MappedFile {
 public:
  MappedFile(const char* path, std::uint64_t min_size) {
    fd_ = ::open(path, O_RDONLY);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < min_size) {
      std::perror(path);
      return;
    }
    void* map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd_, 0);
    if (map == MAP_FAILED) {
      std::perror("mmap");
      return;
    }
    base_ = static_cast<const std::uint8_t*>(map);
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~MappedFile() {
    if (base_ != nullptr) ::munmap(const_cast<std::uint8_t*>(base_), static_cast<std::size_t>(size_));
    if (fd_ >= 0) ::close(fd_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool ok() const { return base_ != nullptr; }
  const std::uint8_t* base() const { return base_; }
  std::uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  const std::uint8_t* base_ = nullptr;
  std::uint64_t size_ = 0;
};
