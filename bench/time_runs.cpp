// Times several commands side by side: one warm-up run of each, then
// <runs> rounds in which every command runs once, in turn, so that a change
// in the machine's load falls on all of them alike.  Standard output and
// standard error go to /dev/null.  Prints one line per command:
//
//   <median wall s> <median cpu s> <best wall s> <best cpu s>
//
// where cpu is the command's own user + system time (wait4).
//
//   time_runs <runs> [-C <folder>] <command> [arguments...] [:: [-C <folder>] <command> ...]...
//
// With -C the command runs in <folder>, which is emptied of its files
// before every run (a carving writes its files there).
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string folder;  // empty: the current folder, left as it is
  std::vector<char*> argv;
  std::vector<double> wall, cpu;
};

bool empty_folder(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    std::perror(folder.c_str());
    return false;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) != 0) std::perror(entry->d_name);
  }
  ::closedir(dir);
  return true;
}

// Runs the command once; returns false when it could not be started.
bool run_once(Command& command) {
  if (!command.folder.empty() && !empty_folder(command.folder)) return false;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!command.folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, command.folder.c_str());
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  const int error = ::posix_spawnp(&child, command.argv[0], &actions, nullptr,
                                   command.argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "%s: %s\n", command.argv[0], std::strerror(error));
    return false;
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  command.wall.push_back(wall);
  command.cpu.push_back(cpu);
  return true;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <runs> [-C <folder>] <command> [arguments...] [:: ...]...\n",
                 argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<Command> commands(1);
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "::") == 0) {
      commands.emplace_back();
    } else if (commands.back().argv.empty() && std::strcmp(argv[i], "-C") == 0 && i + 1 < argc) {
      commands.back().folder = argv[++i];
    } else {
      commands.back().argv.push_back(argv[i]);
    }
  }
  for (Command& command : commands) {
    if (command.argv.empty() || runs < 1) {
      std::fprintf(stderr, "time_runs: a command is missing, or no runs\n");
      return 2;
    }
    command.argv.push_back(nullptr);
  }
  for (Command& command : commands) {  // warm-up: page cache, binary
    if (!run_once(command)) return 1;
    command.wall.clear();
    command.cpu.clear();
  }
  for (int round = 0; round < runs; ++round)
    for (Command& command : commands)
      if (!run_once(command)) return 1;
  for (const Command& command : commands)
    std::printf("%.6f %.6f %.6f %.6f\n", median(command.wall), median(command.cpu),
                *std::min_element(command.wall.begin(), command.wall.end()),
                *std::min_element(command.cpu.begin(), command.cpu.end()));
  return 0;
}
