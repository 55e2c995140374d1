#include "shell/run_command_line.h"

#include <strings.h>

#include "device/copy_device.h"
#include "device/show_drive_geometry.h"
#include "jpeg/decode_check.h"
#include "jpeg/scan_file.h"
#include "shell/carving_progress.h"
#include "shell/channels.h"
#include "shell/exit_status.h"

namespace segsniff {

namespace {

constexpr const char* version_line =
    "segsniff version 1.18 from date 2002-10-06 ( devinf memmap )";
constexpr const char* contact_text =
    "report problems with the command line and the output they concern\n";

bool is_option(const char* argument, const char* word) {
  return ::strcasecmp(argument, word) == 0;
}

// The exit status of a run that did not end in the usage text: whether any
// operation the user asked for failed, standard output included.
class RunOutcome {
 public:
  void record(bool succeeded) { failed_ = failed_ || !succeeded; }
  int status() {
    flush_output();  // the last of standard output may still fail
    return failed_ || output_failed() ? exit_status_failed : exit_status_ok;
  }

 private:
  bool failed_ = false;
};

}  // namespace

void print_usage() {
  err_stream << "usage: segsniff [options] [filenames]\n";
  err_stream << "valid usages are:\n";
  err_stream << "segsniff <filenames>\n";
  err_stream << "    scans all given files as jpeg files and dumps many useless infos\n";
  err_stream << "segsniff -recover <filenames>\n";
  err_stream << "    scans all given files and extracts all enclosed jpeg files into\n";
  err_stream << "    the current directory on disk\n";
  err_stream << "segsniff -copy <source> <destfile>    (use for example \\\\.\\x: for drive x:)\n";
  err_stream << "    copies a file or device\n";
  err_stream << "    use for example \\\\.\\x: for drive x:\n";
  err_stream << "    use for example \\\\.\\physicaldrive2 for the third disc\n";
  err_stream << "segsniff -info <source>\n";
  err_stream << "    shows the drive geometry and size of a drive\n";
}

int run_command_line(int argc, const char* const* argv) {
  out_stream << version_line << "\n";
  out_stream << contact_text << "\n";
  if (argc <= 1) {
    print_usage();
    return exit_status_usage;
  }

  RunOutcome outcome;
  bool recovery = false;
  CarvingRun carving;
  CarvingProgress progress;
  if (CarvingProgress::wanted()) carving.progress = &progress;
  for (int j = 1; j < argc;) {
    const char* argument = argv[j];
    if (argument[0] != '-') {
      outcome.record(scan_file(argument, recovery, carving));
      j += 1;
    } else if (is_option(argument, "-recover")) {
      out_stream << "Option -recover found\n";
      recovery = true;
      j += 1;
    } else if (is_option(argument, "-fragments")) {
      out_stream << "Option -fragments found\n";
      carving.fragments = true;
      if (!decode_check_available()) {
        err_stream << "-fragments is not available: this build has no JPEG decoder\n";
        outcome.record(false);
      }
      j += 1;
    } else if (is_option(argument, "-outdir")) {
      if (j + 1 >= argc) {
        print_usage();
        return exit_status_usage;
      }
      const char* folder = argv[j + 1];
      out_stream << "Option -outdir found (folder '" << folder << "')\n";
      outcome.record(use_output_folder(folder, carving));
      j += 2;
    } else if (is_option(argument, "-copy")) {
      if (j + 2 >= argc) {
        print_usage();
        return exit_status_usage;
      }
      const char* source = argv[j + 1];
      const char* destination = argv[j + 2];
      out_stream << "Command -copy found (source '" << source << "', dest '" << destination
                 << "')\n";
      outcome.record(copy_device(source, destination));
      j += 3;
    } else if (is_option(argument, "-info")) {
      if (j + 1 >= argc) {
        print_usage();
        return exit_status_usage;
      }
      const char* source = argv[j + 1];
      out_stream << "Command -info found (source '" << source << "')\n";
      outcome.record(show_drive_geometry(source));
      j += 2;
    } else {
      err_stream << "Unknown option " << argument << "\n";
      print_usage();
      return exit_status_usage;
    }
  }
  return outcome.status();
}

}  // namespace segsniff
