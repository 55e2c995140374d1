// The carving report as a DFXML document (Digital Forensics XML, schema
// version 2.0.0-beta.0), written with libxml2's xmlTextWriter:
//
//   <dfxml xmlns=DFXML xmlns:dc=... xmlns:segsniff=... version="2.0.0-beta.0">
//     <metadata> <dc:type>Carving report</dc:type> </metadata>
//     <creator> program, version, command line, the libraries </creator>
//     <source> <image_filename segsniff:input="N" segsniff:size="S"
//              [segsniff:error="..."]>name</image_filename> ... </source>
//     <fileobject> filename, [error], [filesize], byte_runs
//       (segsniff:input="N"), [hashdigest type="sha256"], then in the
//       program's own namespace: number, [host], [frame], exif, decode
//     </fileobject> ...
//     <segsniff:counts candidates= files= bytes= failures= decoded_cleanly=/>
//     [<segsniff:stopped>why the run ended early</segsniff:stopped>]
//     [<segsniff:records_lost count=>why</segsniff:records_lost>]
//   </dfxml>
//
// Names from outside the program go through xml_text (xml_text.h): where
// bytes had to be replaced, a segsniff:hex attribute holds the name's bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/output_file.h"
#include "shell/report_record.h"

namespace segsniff {

// The namespace of the elements and attributes that are the program's own.
inline constexpr char report_namespace[] = "urn:segsniff:carving-report:1";

struct ReportHead {
  std::string program_version;
  std::string command_line;
  std::vector<std::pair<std::string, std::string>> libraries;  // name, version
};

// One input carved while the report was open.
struct ReportInput {
  std::string name;                   // as given on the command line
  std::optional<std::uint64_t> size;  // when it could be sized
  std::string error;                  // why it was not carved (whole), or empty
};

struct ReportCounts {
  std::uint64_t candidates = 0;       // FF D8 pairs tried
  std::uint64_t files = 0;            // files written whole
  std::uint64_t bytes = 0;            // bytes in them
  std::uint64_t failures = 0;         // files that could not be made or written whole
  std::uint64_t decoded_cleanly = 0;  // files written whole whose stream decodes cleanly
};

struct ReportTail {
  ReportCounts counts;
  std::string stopped;  // why the run ended before its last argument; empty when it did not
  std::uint64_t records_lost = 0;  // file records the spool could not keep
  int records_lost_error = 0;      // why (errno)
};

// Gives the next file record; false when there is none.
using NextRecord = std::function<bool(FileRecord&)>;

// Writes the whole document into `file`.  Returns 0, or the errno of the
// first write that failed (the document is then cut off there).
int write_dfxml(platform::OutputFile& file, const ReportHead& head,
                std::span<const ReportInput> inputs, const NextRecord& next_record,
                const ReportTail& tail);

// Whether this build can write the report (it has the XML writer), and
// the writer's library and version as the report names them.
bool dfxml_writer_available();
std::pair<std::string, std::string> dfxml_writer_library();

}  // namespace segsniff
