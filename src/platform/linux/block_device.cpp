#include "platform/block_device.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace segsniff::platform {

namespace {

// Stacks of devices are shallow; this bounds the walk over a table that
// changes under it.
constexpr std::size_t max_devices_walked = 64;

// /sys/dev/block/MAJ:MIN links to the device's sysfs folder.
std::string sysfs_folder(dev_t device) {
  char path[64];
  std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u", ::major(device), ::minor(device));
  return path;
}

// The first line of a small text file, without its line feed.
bool read_line(const std::string& path, std::string& line) {
  std::ifstream file(path);
  return static_cast<bool>(std::getline(file, line));
}

// A device number as sysfs writes it, "MAJ:MIN".
bool read_device_number(const std::string& path, dev_t& device) {
  std::string text;
  unsigned major_number = 0, minor_number = 0;
  if (!read_line(path, text) ||
      std::sscanf(text.c_str(), "%u:%u", &major_number, &minor_number) != 2)
    return false;
  device = ::makedev(major_number, minor_number);
  return true;
}

// A partition's sysfs folder holds a "partition" file and lies inside the
// folder of the disk it belongs to.  Anything else is its own whole disk.
dev_t whole_disk(dev_t device) {
  const std::string folder = sysfs_folder(device);
  dev_t disk = device;
  if (::access((folder + "/partition").c_str(), F_OK) == 0)
    read_device_number(folder + "/../dev", disk);
  return disk;
}

// The device a file system writes to.  Most file systems give it as the
// st_dev of their files.  Some give an anonymous number of major 0 instead
// (btrfs, FUSE drivers such as those for exFAT and NTFS, overlays, tmpfs);
// for those the mount table names the source, which counts when it is a
// block device.
dev_t filesystem_device(dev_t file_device) {
  if (::major(file_device) != 0) return file_device;
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  while (std::getline(table, line)) {
    // id parent MAJ:MIN root mount-point options [tags...] - type source options
    unsigned major_number = 0, minor_number = 0;
    if (std::sscanf(line.c_str(), "%*s %*s %u:%u", &major_number, &minor_number) != 2 ||
        ::makedev(major_number, minor_number) != file_device)
      continue;
    const std::size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    const std::size_t type_end = line.find(' ', dash + 3);
    if (type_end == std::string::npos) continue;
    const std::size_t source_end = line.find(' ', type_end + 1);
    const std::string source = line.substr(type_end + 1, source_end - type_end - 1);
    struct stat st;
    if (source.starts_with('/') && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
      return st.st_rdev;
  }
  return file_device;
}

// The devices that `device` writes its bytes onto: the members of a
// device-mapper or RAID device (its sysfs "slaves"), and for a loop device
// (or a partition of one) the device that its backing file lies on.
void add_lower_devices(dev_t device, std::vector<dev_t>& found) {
  const dev_t disk = whole_disk(device);
  for (dev_t listed : {device, disk}) {
    DIR* slaves = ::opendir((sysfs_folder(listed) + "/slaves").c_str());
    if (slaves == nullptr) continue;
    while (const dirent* entry = ::readdir(slaves)) {
      dev_t lower = 0;
      if (entry->d_name[0] != '.' &&
          read_device_number(std::string("/sys/class/block/") + entry->d_name + "/dev", lower))
        found.push_back(lower);
    }
    ::closedir(slaves);
  }
  std::string backing_file;
  struct stat st;
  if (read_line(sysfs_folder(disk) + "/loop/backing_file", backing_file) &&
      ::stat(backing_file.c_str(), &st) == 0)
    found.push_back(filesystem_device(st.st_dev));
}

// The folder a name would be created in.
std::string parent_folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool block_device_of(FileHandle handle, BlockDevice& device) {
  struct stat st;
  if (::fstat(static_cast<int>(handle.native), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  device.number = st.st_rdev;
  return true;
}

// Starting from the device of the path's file system, every device that
// writes are passed down to is visited.  One of them meets the target when
// it is the target, a partition of it, or the disk that holds the target
// partition (a file system on the whole disk overlaps each partition).
// Partitions of one disk that are not the target do not meet it: a file
// system on another partition of the card writes nowhere into the target.
bool writes_reach_device(const char* path, const BlockDevice& device) {
  struct stat st;
  if (::stat(path, &st) != 0 && ::stat(parent_folder(path).c_str(), &st) != 0) return false;
  const auto target = static_cast<dev_t>(device.number);
  const dev_t target_disk = whole_disk(target);
  std::vector<dev_t> pending{filesystem_device(st.st_dev)};
  std::vector<dev_t> seen;
  while (!pending.empty() && seen.size() < max_devices_walked) {
    const dev_t current = pending.back();
    pending.pop_back();
    if (std::find(seen.begin(), seen.end(), current) != seen.end()) continue;
    seen.push_back(current);
    if (current == target || current == target_disk || whole_disk(current) == target) return true;
    add_lower_devices(current, pending);
  }
  return false;
}

}  // namespace segsniff::platform
