#include "shell/run_command_line.h"

#include "device/copy_device.h"
#include "device/show_drive_geometry.h"
#include "jpeg/decode_check.h"
#include "jpeg/scan_file.h"
#include "platform/equal_ignoring_case.h"
#include "shell/carving_progress.h"
#include "shell/channels.h"
#include "shell/exit_status.h"
#include "shell/json_printer.h"
#include "shell/text_printer.h"

namespace segsniff {

namespace {

bool is_option(const char* argument, const char* word) {
  return platform::equal_ignoring_case(argument, word);
}

bool is_help_option(const char* argument) {
  return is_option(argument, "-h") || is_option(argument, "-help") ||
         is_option(argument, "--help");
}

bool is_version_option(const char* argument) {
  return is_option(argument, "-version") || is_option(argument, "--version");
}

// The banner: the version line, then the contact text, which ends with a
// line break of its own and so leaves an empty line.
void print_banner() {
  out_stream << "segsniff version 1.18 from date 2002-10-06 ( devinf memmap )" << "\n";
  out_stream << "report problems with the command line and the output they concern\n" << "\n";
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

bool takes_arguments(const char* argument) {
  return is_option(argument, "-outdir") || is_option(argument, "-copy") ||
         is_option(argument, "-info");
}

// The option word at argv[j] that takes arguments: announced (unless
// standard output holds JSON documents) and carried out.  Returns how many
// arguments it used, itself included, or 0 when its arguments are missing
// (nothing is printed then; the caller shows the usage).  The arguments are
// used as they stand, even when they begin with a dash.
int run_option_with_arguments(int argc, const char* const* argv, int j, CarvingRun& carving,
                              RunOutcome& outcome, Printer& printer, bool announce) {
  const char* word = argv[j];
  if (is_option(word, "-outdir")) {
    if (j + 1 >= argc) return 0;
    const char* folder = argv[j + 1];
    if (announce) out_stream << "Option -outdir found (folder '" << shown(folder) << "')\n";
    outcome.record(use_output_folder(folder, carving, printer));
    return 2;
  }
  if (is_option(word, "-copy")) {
    if (j + 2 >= argc) return 0;
    const char* source = argv[j + 1];
    const char* destination = argv[j + 2];
    if (announce)
      out_stream << "Command -copy found (source '" << shown(source) << "', dest '"
                 << shown(destination) << "')\n";
    outcome.record(copy_device(source, destination, printer));
    return 3;
  }
  if (j + 1 >= argc) return 0;  // -info
  const char* source = argv[j + 1];
  if (announce) out_stream << "Command -info found (source '" << shown(source) << "')\n";
  outcome.record(show_drive_geometry(source, printer));
  return 2;
}

}  // namespace

void print_usage(OutputStream& stream) {
  stream << "usage: segsniff [options] [filenames]\n";
  stream << "valid usages are:\n";
  stream << "segsniff <filenames>\n";
  stream << "    scans all given files as jpeg files and dumps many useless infos\n";
  stream << "segsniff -recover <filenames>\n";
  stream << "    scans all given files and extracts all enclosed jpeg files into\n";
  stream << "    the current directory on disk\n";
  stream << "segsniff -copy <source> <destfile>    (use for example \\\\.\\x: for drive x:)\n";
  stream << "    copies a file or device\n";
  stream << "    use for example \\\\.\\x: for drive x:\n";
  stream << "    use for example \\\\.\\physicaldrive2 for the third disc\n";
  stream << "segsniff -info <source>\n";
  stream << "    shows the drive geometry and size of a drive\n";
}

int run_command_line(int argc, const char* const* argv) {
  // A run that begins with -json writes JSON Lines from its first byte.
  if (argc <= 1 || !is_option(argv[1], "-json")) print_banner();
  if (argc <= 1) {
    print_usage(err_stream);
    return exit_status_usage;
  }

  RunOutcome outcome;
  TextPrinter text_printer;
  JsonPrinter json_printer;
  Printer* printer = &text_printer;
  bool json = false;  // "-json": the listing from here on is JSON Lines
  bool recovery = false;
  bool options_ended = false;  // after "--" every argument is a file name
  CarvingRun carving;
  CarvingProgress progress;
  if (CarvingProgress::wanted()) carving.progress = &progress;
  for (int j = 1; j < argc;) {
    const char* argument = argv[j];
    if (argument[0] != '-' || options_ended) {
      json_printer.set_carving(recovery);
      outcome.record(scan_file(argument, recovery, carving, *printer));
      j += 1;
    } else if (is_option(argument, "--")) {
      options_ended = true;
      j += 1;
    } else if (is_help_option(argument)) {
      print_usage(out_stream);
      return outcome.status();
    } else if (is_version_option(argument)) {
      return outcome.status();  // the banner has been printed
    } else if (is_option(argument, "-json")) {
      json = true;
      printer = &json_printer;
      j += 1;
    } else if (is_option(argument, "-recover")) {
      if (!json) out_stream << "Option -recover found\n";
      recovery = true;
      j += 1;
    } else if (is_option(argument, "-fragments")) {
      if (!json) out_stream << "Option -fragments found\n";
      carving.fragments = true;
      if (!decode_check_available()) {
        err_stream << "-fragments is not available: this build has no JPEG decoder\n";
        outcome.record(false);
      }
      j += 1;
    } else if (takes_arguments(argument)) {
      const int used =
          run_option_with_arguments(argc, argv, j, carving, outcome, *printer, !json);
      if (used == 0) {
        print_usage(err_stream);
        return exit_status_usage;
      }
      j += used;
    } else {
      err_stream << "Unknown option " << shown(argument) << "\n";
      print_usage(err_stream);
      return exit_status_usage;
    }
  }
  return outcome.status();
}

}  // namespace segsniff
