#include "shell/run_command_line.h"

#include <strings.h>

#include "device/copy_device.h"
#include "device/show_drive_geometry.h"
#include "jpeg/scan_file.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

bool is_option(const char* argument, const char* word) {
  return ::strcasecmp(argument, word) == 0;
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
  print_banner();
  if (argc <= 1) {
    print_usage(err_stream);
    return 1;
  }

  bool recovery = false;
  bool options_ended = false;  // after "--" every argument is a file name
  CarvingRun carving;
  for (int j = 1; j < argc;) {
    const char* argument = argv[j];
    if (argument[0] != '-' || options_ended) {
      scan_file(argument, recovery, carving);
      j += 1;
    } else if (is_option(argument, "--")) {
      options_ended = true;
      j += 1;
    } else if (is_help_option(argument)) {
      print_usage(out_stream);
      return 0;
    } else if (is_version_option(argument)) {
      return 0;  // the banner has been printed
    } else if (is_option(argument, "-recover")) {
      out_stream << "Option -recover found\n";
      recovery = true;
      j += 1;
    } else if (is_option(argument, "-copy")) {
      if (j + 2 >= argc) {
        print_usage(err_stream);
        return 1;
      }
      const char* source = argv[j + 1];
      const char* destination = argv[j + 2];
      out_stream << "Command -copy found (source '" << shown(source) << "', dest '"
                 << shown(destination) << "')\n";
      copy_device(source, destination);
      j += 3;
    } else if (is_option(argument, "-info")) {
      if (j + 1 >= argc) {
        print_usage(err_stream);
        return 1;
      }
      const char* source = argv[j + 1];
      out_stream << "Command -info found (source '" << shown(source) << "')\n";
      show_drive_geometry(source);
      j += 2;
    } else {
      err_stream << "Unknown option " << shown(argument) << "\n";
      print_usage(err_stream);
      return 1;
    }
  }
  return 0;
}

}  // namespace segsniff
