// The golden runner on POSIX: segsniff in a forked child, its descriptors
// set up by the test.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/golden.h"

namespace segsniff::test {

namespace fs = std::filesystem;

namespace {

}  // namespace

std::string build_path(const char* path) { return path; }
std::string null_device() { return "/dev/null"; }

void make_symlink(const std::string& target, const std::string& link, bool to_folder) {
  if (to_folder) fs::create_directory_symlink(target, link);
  else fs::create_symlink(target, link);
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "segsniff-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void exec_segsniff(const std::vector<std::string>& args) {
  const std::string binary = binary_path();
  std::vector<char*> argv{const_cast<char*>(binary.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::setenv("LC_ALL", "C", 1);
  ::execv(binary.c_str(), argv.data());
  ::_exit(127);
}

pid_t start_segsniff(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::function<void()>& prepare) {
  pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(127);
    prepare();
    exec_segsniff(args);
  }
  return child;
}

int wait_for_segsniff(pid_t child) {
  int wstatus = 0;
  ::waitpid(child, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

RunResult run_segsniff(const ScratchDir& dir, const std::vector<std::string>& args, bool merge) {
  // Beside the directory, so that the run's own output files are not in it.
  const std::string out_path = dir.path() + ".out", err_path = dir.path() + ".err";
  RunResult result;
  result.status = wait_for_segsniff(start_segsniff(dir, args, [&] {
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = merge ? out : ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
  }));
  result.out = read_file(out_path);
  if (!merge) result.err = read_file(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return result;
}

std::string run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args,
                            const std::function<void()>& prepare) {
  struct termios raw {};
  ::cfmakeraw(&raw);
  int master = -1;
  pid_t child = ::forkpty(&master, nullptr, &raw, nullptr);
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(127);
    prepare();
    exec_segsniff(args);
  }
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
  // The loop ends on EIO once the child has closed its side.
  EXPECT_EQ(wait_for_segsniff(child), 0);
  ::close(master);
  return seen;
}

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

}  // namespace segsniff::test
