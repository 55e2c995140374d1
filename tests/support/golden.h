// Golden-output helpers: run the built program in a fresh directory with
// fixture files and compare its whole output byte for byte, or capture the
// channels of in-process calls.
#pragma once

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "shell/text_printer.h"
#include "support/bytes.h"

namespace segsniff::test {

// A whole file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);

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

// Where the build put things, as this system names them (the build's paths
// are Unix paths; under wine they are turned into the drive letter wine
// gives them).
std::string build_path(const char* path);  // any path the build wrote in
std::string binary_path();        // the built segsniff
std::string source_dir();         // the checkout
std::string sample_jpeg_path();   // the sample picture the build made

// The null device: "/dev/null", or "NUL".
std::string null_device();

// A symbolic link at `link` to `target` (a folder when `to_folder`).  The
// C++ library of mingw-w64 has none to make; Windows' own call makes them.
void make_symlink(const std::string& target, const std::string& link, bool to_folder = false);

#ifndef _WIN32
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
#else
// Runs segsniff in `dir` with the given standard handles (HANDLEs; null
// for a handle the program is started without) and waits for it; returns
// its exit status.
int run_segsniff_with_handles(const ScratchDir& dir, const std::vector<std::string>& args,
                              void* output, void* error);

// Text as a console program writes it, each line feed after a CR, with
// those CRs taken out; a line feed without its CR fails the test.
std::string from_text_mode(const std::string& raw, const char* stream);

// Under wine: runs a command of the Unix machine underneath through
// /bin/sh and returns the first line of its output (both streams), "" when
// there is no such machine (on Windows itself).
std::string host_first_line_of(const std::string& command);

// A command of the Unix machine run when the scope ends (see above).
struct AtScopeEnd {
  std::string command;
  ~AtScopeEnd() { host_first_line_of(command); }
};

// Under wine: the Unix path of a Windows path, and back; "" elsewhere.
std::string unix_path_of(const std::string& windows_path);
std::string windows_path_of(const std::string& unix_path);

bool under_wine();
#endif

// Runs segsniff with `args` in `dir` (LC_ALL=C, no standard input).  With
// merge, standard error goes where standard output goes (interleaving).
// On Windows each line of both streams must end in CR LF, as a console
// program writes text; the CRs before line feeds are taken out, so that
// the texts compare with the same expectations as on Linux.
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
