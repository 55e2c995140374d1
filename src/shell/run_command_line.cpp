#include "shell/run_command_line.h"

#include "device/copy_device.h"
#include "device/show_drive_geometry.h"
#include "jpeg/decode_check.h"
#include "jpeg/scan_file.h"
#include "platform/equal_ignoring_case.h"
#include "shell/carving_progress.h"
#include "shell/carving_report.h"
#include "shell/channels.h"
#include "shell/exit_status.h"
#include "shell/json_printer.h"
#include "shell/report_printer.h"
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
  return is_option(argument, "-outdir") || is_option(argument, "-report") ||
         is_option(argument, "-copy") || is_option(argument, "-info") ||
         is_option(argument, "-blocksize");
}

// The block sizes -blocksize takes: those of FAT and exFAT clusters.
constexpr std::uint64_t smallest_block = 512;
constexpr std::uint64_t largest_block = 32u << 20;

// A decimal byte count that is a power of two in that range, or 0.
std::uint64_t parse_block_size(const char* text) {
  std::uint64_t n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || n > largest_block) return 0;
    n = n * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  const bool power_of_two = n != 0 && (n & (n - 1)) == 0;
  return power_of_two && n >= smallest_block && n <= largest_block ? n : 0;
}

// "-report": the carving report and the printers that feed it, one in
// front of each listing (text or JSON), while a report is open; every
// other printer call goes straight to the listing.
struct Reporting {
  Reporting(Printer& text, Printer& json, std::string line)
      : text_feed(text, report), json_feed(json, report), command_line(std::move(line)) {}
  CarvingReport report;
  ReportPrinter text_feed;
  ReportPrinter json_feed;
  std::string command_line;

  // The printer for the next input (carved or dumped), copy or query.
  Printer& printer_for(Printer& listing, bool json, bool carved) {
    if (!report.is_open()) return listing;
    ReportPrinter& feed = json ? json_feed : text_feed;
    feed.next_input_carved(carved);
    return feed;
  }
};

// "-report <file>": the report open so far is closed (it describes the
// carvings up to here) and `file` describes the carvings from here on.
// When it cannot be made, later inputs are not carved until another report
// is given: their files would be written without the report asked for.
bool switch_report(const char* file, Reporting& reporting, CarvingRun& carving) {
  const bool closed = reporting.report.close();
  carving.report = file;
  if (!carving_report_available()) {
    err_stream << "-report is not available: this build has no XML writer or SHA-256\n";
    carving.report_failed = true;
    return false;
  }
  carving.report_failed = !reporting.report.open(file, reporting.command_line);
  return closed && !carving.report_failed;
}

// The option word at argv[j] that takes arguments: announced (unless
// standard output holds JSON documents) and carried out.  Returns how many
// arguments it used, itself included, or 0 when its arguments are missing
// or unusable (the caller shows the usage).  The arguments are used as they
// stand, even when they begin with a dash.
int run_option_with_arguments(int argc, const char* const* argv, int j, CarvingRun& carving,
                              RunOutcome& outcome, Reporting& reporting, Printer& listing,
                              bool announce) {
  const char* word = argv[j];
  Printer& printer = reporting.printer_for(listing, !announce, /*carved=*/false);
  if (is_option(word, "-blocksize")) {
    if (j + 1 >= argc) return 0;
    const char* text = argv[j + 1];
    const std::uint64_t bytes = parse_block_size(text);
    if (bytes == 0) {
      err_stream << "-blocksize takes a power of two from " << smallest_block << " to "
                 << largest_block << " bytes, not '" << shown(text) << "'\n";
      return 0;
    }
    if (announce) out_stream << "Option -blocksize found (" << bytes << " bytes)\n";
    carving.block_size = bytes;
    return 2;
  }
  if (is_option(word, "-report")) {
    if (j + 1 >= argc) return 0;
    const char* file = argv[j + 1];
    if (announce) out_stream << "Option -report found (file '" << shown(file) << "')\n";
    outcome.record(switch_report(file, reporting, carving));
    return 2;
  }
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
  Reporting reporting(text_printer, json_printer, command_line_text(argc, argv));
  // Every way out of the loop closes the report first: the document is
  // complete when the run ends (also at the usage text).
  const auto finish = [&](int status) {
    outcome.record(reporting.report.close());
    return status == exit_status_usage ? status : outcome.status();
  };
  bool recovery = false;
  bool options_ended = false;  // after "--" every argument is a file name
  CarvingRun carving;
  CarvingProgress progress;
  if (CarvingProgress::wanted()) carving.progress = &progress;
  for (int j = 1; j < argc;) {
    reporting.report.stop_if_asked();
    const char* argument = argv[j];
    if (argument[0] != '-' || options_ended) {
      json_printer.set_carving(recovery);
      outcome.record(
          scan_file(argument, recovery, carving, reporting.printer_for(*printer, json, recovery)));
      j += 1;
    } else if (is_option(argument, "--")) {
      options_ended = true;
      j += 1;
    } else if (is_help_option(argument)) {
      print_usage(out_stream);
      return finish(exit_status_ok);
    } else if (is_version_option(argument)) {
      return finish(exit_status_ok);  // the banner has been printed
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
          run_option_with_arguments(argc, argv, j, carving, outcome, reporting, *printer, !json);
      if (used == 0) {
        print_usage(err_stream);
        return finish(exit_status_usage);
      }
      j += used;
    } else {
      err_stream << "Unknown option " << shown(argument) << "\n";
      print_usage(err_stream);
      return finish(exit_status_usage);
    }
  }
  return finish(exit_status_ok);
}

}  // namespace segsniff
