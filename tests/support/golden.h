// Golden-output helpers: run the built program in a fresh directory with
// fixture files and compare its whole output byte for byte, or capture the
// channels of in-process calls.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "shell/text_printer.h"
#include "support/bytes.h"

namespace segsniff::test {

struct FixtureFile {
  std::string name;
  std::string content;
  FixtureFile(std::string n, const Bytes& b) : name(std::move(n)), content(b.str()) {}
  FixtureFile(std::string n, std::string c) : name(std::move(n)), content(std::move(c)) {}
};

// A fresh temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;  // empty when missing
  bool exists(const std::string& name) const;
  std::vector<std::string> list() const;  // sorted names

 private:
  std::string path_;
};

struct RunResult {
  std::string out;  // standard output (or both, when merged)
  std::string err;  // standard error (empty when merged)
  int status = -1;  // exit status, or 128 + signal
};

// In a forked child whose descriptors are set up: replaces the process by
// the built segsniff with `args` and LC_ALL=C (exit status 127 if it cannot).
[[noreturn]] void exec_segsniff(const std::vector<std::string>& args);

// Starts segsniff with `args` in `dir` (LC_ALL=C) in a forked child, in
// which `prepare` first sets up the descriptors and signals the test wants.
pid_t start_segsniff(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::function<void()>& prepare);
// Waits for it: its exit status, or 128 + the signal that ended it.
int wait_for_segsniff(pid_t child);

// Runs segsniff in `dir` with its three streams on a pseudo-terminal in raw
// mode (no line-ending translation), after `prepare` has moved those that
// should go elsewhere; returns what the terminal got.  Expects status 0.
std::string run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args,
                            const std::function<void()>& prepare);

// Runs a shell command; returns its first line of output (both streams).
std::string first_line_of(const std::string& command);

// A shell command run when the scope ends: detaches a loop device or
// unmounts a file system a test set up (declare it after the ScratchDir
// that holds the device's file or the mount point).
struct AtScopeEnd {
  std::string command;
  ~AtScopeEnd() { first_line_of(command); }
};

// Runs segsniff with `args` in `dir` (LC_ALL=C, no standard input).  With
// merge, standard error goes where standard output goes (interleaving).
RunResult run_segsniff(const ScratchDir& dir, const std::vector<std::string>& args,
                       bool merge = false);

// A fresh directory holding `files`, then run_segsniff.
RunResult run_with_files(const std::vector<FixtureFile>& files,
                         const std::vector<std::string>& args, bool merge = false);

// Byte for byte; names the first differing line and column, shows both lines.
::testing::AssertionResult same_text(const std::string& have, const std::string& want);

// The lines of `text` that hold one of `kept` (a carving's candidates,
// files and failures, say), each from that text on: a walk that ends on a
// failed read leaves its line open, so a kept text may start inside a line.
std::string kept_lines(const std::string& text, std::initializer_list<const char*> kept);

std::string banner();      // what every run starts with on standard output
std::string usage_text();  // the thirteen usage lines

// "reading file <name>:", "Filelen <size> Bytes", "file size <size> bytes".
std::string reading_lines(const std::string& name, std::size_t size);

// The printer of in-process calls: the text listing, through the channels
// (which CapturedOutput captures).  It holds no state, so one serves all.
inline TextPrinter& text_printer() {
  static TextPrinter printer;
  return printer;
}

// Captures everything the channels print during its lifetime (in-process).
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  std::string out() const;
  std::string err() const;
  std::string all() const;  // both, in program order
};

// The shared corpus of real camera files; empty when it is not there.
std::string corpus_dir();
std::vector<std::string> corpus_files();  // full paths of the *.jpg files, sorted

}  // namespace segsniff::test
