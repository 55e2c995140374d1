// Runs one command with its standard output and standard error going into
// one pipe, counts the bytes that come out, and prints one line:
//
//   <output bytes> <wall s> <cpu s> <peak RSS KiB> <end>
//
// where <end> is "exit N", "signal N", "cap" (the output passed the cap and
// the command was killed; the byte count is then a lower bound) or
// "timeout" (likewise, for the wall time).  CPU time and peak memory are
// the command's own (wait4), not this helper's.
//
//   measure_run <cap bytes> <timeout s> <command> [arguments...]
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <cap bytes> <timeout s> <command> [arguments...]\n", argv[0]);
    return 2;
  }
  const unsigned long long cap = std::strtoull(argv[1], nullptr, 10);
  const double timeout = std::strtod(argv[2], nullptr);

  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    std::perror("pipe");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    ::dup2(pipe_fds[1], 1);
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::execvp(argv[3], argv + 3);
    std::_Exit(127);
  }
  ::close(pipe_fds[1]);

  unsigned long long bytes = 0;
  std::string end;
  static char buffer[1 << 16];
  for (;;) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > timeout) {
      end = "timeout";
      break;
    }
    pollfd fd{pipe_fds[0], POLLIN, 0};
    if (::poll(&fd, 1, 100) <= 0) continue;
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n <= 0) break;  // the command closed its output: it is ending
    bytes += static_cast<unsigned long long>(n);
    if (bytes > cap) {
      end = "cap";
      break;
    }
  }
  if (!end.empty()) ::kill(child, SIGKILL);
  ::close(pipe_fds[0]);

  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (end.empty())
    end = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status));
  std::printf("%llu %.3f %.3f %ld %s\n", bytes, wall, cpu, usage.ru_maxrss, end.c_str());
  return 0;
}
