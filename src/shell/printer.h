// The printer: the one interface through which the decoders, the file
// driver, the carving, the copy and the drive report say what they find.
//
// The calls are semantic: each carries the decoded data of one step of the
// walk, in the order the walk meets it, and the printer decides how it
// looks.  The text printer (text_printer.h) writes today's listing through
// the channels and ignores what the listing never showed; a structured
// printer builds nested nodes from the same calls.  Decoders narrate as
// they walk: they read a field and make its call at once, so the calls come
// in file order, nested as the structures nest.
//
// Nesting.  Calls that open a node have a matching close that is made on
// every way out (the decoders use scope guards):
//   file_begin .. file_end                one input
//     walk_begin .. walk_end              one marker walk (the file's, a
//                                         carving candidate's, a thumbnail's,
//                                         the JPEGTables value's)
//       marker                            opens the node of one segment; it
//                                         lasts until the next marker or
//                                         walk_end
//         tiff_begin .. tiff_end          the TIFF structure of an Exif block
//           ifd_chain_begin .. ifd_chain_end   a chain of IFDs
//             ifd_begin .. ifd_end        one IFD
//               tiff_entry                opens the node of one entry; it
//                                         lasts until the next tiff_entry or
//                                         ifd_end
//                 ifd_pointer             a sub-IFD pointer: its chain follows
//                 embedded_begin .. embedded_end   a thumbnail, JPEGTables or
//                                         Maker Note: a walk or an IFD inside
//                                         (a Maker Note read by its layout:
//                                         maker_note_layout, then its IFD)
//         qvcs_data ...                   a QVCS segment: its fields, its
//           embedded_begin .. embedded_end   directory (one IFD)
//     carving_candidate                   opens the node of one candidate of a
//                                         carving run: its walk and, when the
//                                         walk ended on EOI, carved_output
//                                         (with -fragments: carved_output or
//                                         photo_left_out, after a
//                                         fragments_block_size that precedes
//                                         all candidates); it lasts until
//                                         the next candidate or file_end
//   copy_begin .. copy_end                one -copy
//   drive_geometry, drive_failed          one -info, no node around them
//   output_folder_failed                  one -outdir that failed, likewise
// Every other call belongs to the innermost open node.  One exception to
// the pairing: when the mapped input loses its bytes (the file shrinks, the
// device fails), the analysis is abandoned where it stood, without running
// its scope guards; file_shrank or file_read_error says so, and file_end,
// which follows, closes whatever is still open.
//
// Offsets.  Every Offset is a position in the input: bytes from the first
// byte of the file (no_position: none).  Where the listing shows an offset
// from the start of a stream or a TIFF structure, that offset comes too,
// under its own name (marker's in_stream, IfdInfo::tiff_offset).  All
// integers are fixed-width.
//
// Findings.  Every complaint the listing prints -- reader failures, illegal
// markers, refused offsets, cut loops, limits, the "Ooops" lines, warnings
// -- is a finding: its exact text (indentation and line feed included),
// written as a printf format literal at the call site so that a line of
// output leads to its code, with the position where it happened and the
// channel the text listing prints it on.  A finding belongs to the
// innermost open node.
//
// Names and bytes from outside the program (file names, magic numbers,
// camera models, ascii values) come as they are; the text printer shows
// them through the display filter (channels.h).
//
// Composition.  ForwardingPrinter (forwarding_printer.h) passes every call
// on to another printer; an observer derives from it, overrides the calls
// it wants to see and calls the base to pass them on.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <span>
#include <string_view>

#include "exif/tag_table.h"
#include "jpeg/byte_region.h"
#include "jpeg/recover_jpeg_streams.h"
#include "platform/drive_geometry.h"
#include "shell/channel.h"
#include "shell/printer_records.h"

namespace segsniff {

class Printer {
 public:
  virtual ~Printer() = default;

  // ---- Findings
  //
  // A complaint: `format` and its arguments make the text exactly as the
  // listing shows it; `at` is where in the input it arose (no_position
  // where no place is known).  A printer that looks at the arguments and
  // passes them on uses va_copy: the list can be read once.
  void finding(Channel channel, Offset at, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  virtual void vfinding(Channel channel, Offset at, const char* format, std::va_list args)
      __attribute__((format(printf, 4, 0))) = 0;

  // ---- One input (file driver).  Text: standard output unless said.
  //
  // "reading file <name>:"
  virtual void file_begin(std::string_view name) = 0;
  // standard error: "Open file '<name>' for reading failed", the system
  // error report ("Last Error = ...").  file_end follows.
  virtual void file_open_failed(std::string_view name, int error) = 0;
  // standard error: "Will not carve '<name>': ..." with the reason.
  // `folder`: the output folder, or for the report's reasons the report.
  virtual void carving_refused(std::string_view name, CarvingRefusal reason,
                               std::string_view folder) = 0;
  // standard error: "GetFileSize on file '<name>' failed", the error report.
  virtual void file_size_failed(std::string_view name, int error) = 0;
  // "Filelen <size> Bytes"
  virtual void file_size(std::uint64_t size) = 0;
  // "create file mapping failed" or "create mapview of file failed" (on
  // standard output), the error report on standard error.
  virtual void file_map_failed(MapStep step, int error) = 0;
  // "file size <size> bytes": mapped, the analysis follows.
  virtual void file_mapped(std::uint64_t size) = 0;
  // The mapping lost its bytes during the analysis, which stops there: the
  // file shrank to `size_now` bytes, or the device failed to deliver the
  // page at `page_offset`.  Standard error, after ending a cut-off line of
  // standard output: "Reading file '<name>' stopped: ...".
  virtual void file_shrank(std::string_view name, std::uint64_t size_now) = 0;
  virtual void file_read_error(std::string_view name, std::uint64_t page_offset) = 0;
  // The input is done with (whatever happened).  Text: nothing.
  virtual void file_end() = 0;

  // ---- Marker walk (jpeg/scan_jpeg_markers.h)
  //
  // A walk over the window [begin, end) begins.  Text: nothing.
  virtual void walk_begin(Offset begin, Offset end) = 0;
  // A marker at `at`, `in_stream` bytes from the walk's begin (0000 from a
  // failed read).  Text: "Marker XXXX at file offset OOOOOOOO: " and the
  // marker's name line for the markers the walk knows; the line stays open
  // for every other marker.
  virtual void marker(Offset at, Offset in_stream, std::uint16_t code) = 0;
  // The walk is over: `stopped_at` is just after its End-of-Image marker
  // (bytes from there to the window's end are trailing data, which the
  // "Ooops, EOI is not at end of file" finding reports), or no_position when
  // it ran off the window, lost its position or gave up.  Text: nothing.
  virtual void walk_end(Offset stopped_at) = 0;

  // ---- Segments (jpeg/scan_*.h)
  //
  // The length field of a segment told by its length only: "  field <name>
  // has len <length>".  `field_name` is "SOF", "DHT", "SOS" or "illegal
  // marker" (a program text).
  virtual void segment_length(Offset at, const char* field_name, std::uint16_t length) = 0;
  // "  DQT has len <length>"
  virtual void dqt_length(Offset at, std::uint16_t length) = 0;
  // Decoded fields the text listing does not show.  Text: nothing.
  virtual void quantization_table(const QuantizationTable& table) = 0;
  virtual void frame(const FrameInfo& frame) = 0;
  virtual void huffman_table(const HuffmanTable& table) = 0;
  virtual void scan_header(const ScanInfo& scan) = 0;
  // "  DRI has value XXXX"
  virtual void restart_interval(Offset at, std::uint16_t interval) = 0;
  // The entropy-coded data after a scan header, `length` bytes from `at`
  // up to the FF D9 pair that ends it (or to the window's last byte):
  // "  hopefully skipping <length> bytes of compressed image data to next 0xFF."
  virtual void scan_data(Offset at, std::uint64_t length) = 0;

  // ---- Application segments (jpeg/scan_application_segment.h)
  //
  // "  APPn has len <length> and magic number XXXXXXXX ('<magic shown>')",
  // with 00000000 and '....' when the magic was not there.
  virtual void app_segment(const AppSegment& segment) = 0;
  // "    skipping jfif data of len <payload>" (negative for a length below 6)
  virtual void jfif_data(std::int64_t payload) = 0;
  // "  unknown application XXXXXXXX"
  virtual void unknown_application(std::uint32_t magic) = 0;
  // A capped hex dump of a payload: the bytes shown, and whether the payload
  // goes on beyond them.  Text: "XXYY XXYY ..." on one line, "..." at its
  // end when cut.
  virtual void payload_bytes(std::span<const std::uint8_t> shown, bool cut) = 0;

  // ---- TIFF structures (exif/*.h)
  //
  // The TIFF header of an Exif block at `at`, in Intel ("II") or Motorola
  // ("MM") byte order; tiff_end when the block is done.  Text: nothing.
  virtual void tiff_begin(Offset at, bool intel) = 0;
  virtual void tiff_end() = 0;
  // A chain of IFDs from `start_offset` (from the structure's first byte).
  // Text: nothing at the begin, "    no more IFD" at the end.
  virtual void ifd_chain_begin(IfdKind kind, std::uint32_t start_offset) = 0;
  virtual void ifd_chain_end() = 0;
  // "    found IFD with <n> tags at tiff-offset = OOOOOOOO"; ifd_end carries
  // the next-IFD offset when it could be read.  Text: nothing at the end.
  virtual void ifd_begin(const IfdInfo& ifd) = 0;
  virtual void ifd_end(bool has_next, std::uint32_t next_offset) = 0;
  // "      tag XXXX, <count> <type>, off XXXXXXXX, val <raw bytes>" and
  // "        value <values>", the raw bytes capped at 32 and the values at
  // 16 elements (exif/tiff_values.h reads them all).
  virtual void tiff_entry(const TiffEntry& entry) = 0;
  // A dictionary row matching the entry: "        <name> (<description>)"
  virtual void dictionary_entry(const TagInfo& row) = 0;
  // "      found EXIF IFD Pointer XXXXXXXX" (GPS, Interoperability alike);
  // the chain follows.
  virtual void ifd_pointer(IfdKind kind, std::uint32_t offset) = 0;
  // A nested value the walk enters, `size` bytes at `at` (signed: a QVCS
  // segment may declare less than its header).  Text: "      found EXIF
  // jpeg thumbnail of size <size>", "      found Tag 'JPEGTables' ...",
  // "      found EXIF Maker Note of size <size>", "      found Casio
  // QVCS-IFD of size <size>", and their "end of" lines.
  virtual void embedded_begin(EmbeddedKind kind, Offset at, std::int64_t size) = 0;
  virtual void embedded_end(EmbeddedKind kind, std::int64_t size) = 0;

  // ---- Maker Notes read by their maker's layout (exif/maker_note_layout.h)
  //
  // Whether this printer wants a Maker Note read by the layout its header
  // names (the maker's own directory, byte order and offset base) rather
  // than dumped as a directory at the value's position, as the text listing
  // always has.  Default: no.
  virtual bool reads_maker_note_layouts() const { return false; }
  // Which layout the note was read by, inside the maker_note node and before
  // its directory; `layout.maker` is null for a note of no known layout,
  // which is not walked.  Text: nothing (not called for the text listing).
  virtual void maker_note_layout(const MakerNoteLayout&) {}

  // ---- QVCS segments (exif/scan_qvcs_info.h)
  //
  // "    qvcs data of len <length>" (bytes from the info start to the
  // segment end, signed); its payload_bytes follow.
  virtual void qvcs_data(Offset at, std::int64_t length) = 0;
  // "Camera '<model shown>'"; `known`: one of the models the layout is from.
  virtual void qvcs_camera(std::string_view model, bool known) = 0;
  // The parameter table read as records: "QVCS: <count> par:", then
  // " par0xNNNN=<value>" per record, then the line's end.
  virtual void qvcs_parameters(std::uint16_t count) = 0;
  virtual void qvcs_parameter(std::uint16_t number, std::uint16_t value) = 0;
  virtual void qvcs_parameters_end() = 0;

  // ---- Carving (jpeg/recover_jpeg_streams.h)
  //
  // "found SOI-Marker at offset OOOOOOOO"; the candidate's walk follows.
  virtual void carving_candidate(Offset at) = 0;
  // "restore <n> bytes to file '<name>' (offset <start> to <stop>)", or for
  // a photo put together from pieces "restore <n> bytes to file '<name>'
  // from <k> byte runs" and a line "  run <i>: <n> bytes (offset <start> to
  // <stop>)" per piece; on failure "could not create file '<name>'" or
  // "error <e> ('<text>') in writing file; only written <n> byte" (all on
  // standard output); the listing is then flushed, so that a stopped run
  // keeps the line of every file it wrote.
  virtual void carved_output(const CarvedOutput& output) = 0;
  // -fragments: the block size its search works in, before the candidates:
  // "fragments: blocks of <n> bytes, the cluster size of the boot sector" or
  // "... (no boot sector found)".
  virtual void fragments_block_size(std::uint64_t block, bool from_boot_sector) = 0;
  // -fragments: a candidate that is not written, in place of carved_output:
  // "no complete photo from offset <soi>: <why>; nothing written", "inside
  // the header of the photo at offset <host>; not written on its own", "no
  // frame and scan header follow; nothing written".
  virtual void photo_left_out(PhotoLeftOut reason, Offset soi, Offset host,
                              std::string_view why) = 0;
  // standard error, with the progress line only: "carved '<name>': <n>
  // candidates tried, <n> files written (<n> bytes), <n> failures"
  virtual void carving_summary(std::string_view name, const CarvingTally& tally) = 0;
  // standard error: "Create folder '<folder>' failed", the error report.
  virtual void output_folder_failed(std::string_view folder, int error) = 0;

  // ---- Copy (device/copy_device.h)
  //
  // "Copy from File <source> to file <destination>"
  virtual void copy_begin(std::string_view source, std::string_view destination) = 0;
  // One block is about to be read: "*".
  virtual void copy_block() = 0;
  // " copied so far <n> bytes (<n> MB)", ending the line of stars.
  virtual void copy_progress(std::uint64_t bytes) = 0;
  // The source is read to its end: "\ncopied <n> bytes (<n> MB)".
  virtual void copy_done(std::uint64_t bytes) = 0;
  // standard error: the failure's line ("Open file '<source>' for reading
  // failed", "Will not copy to '<destination>': it is a block device", ...).
  virtual void copy_failed(CopyFailure failure, std::string_view source,
                           std::string_view destination) = 0;
  // The copy is over, whatever happened: the final line break.
  virtual void copy_end() = 0;

  // ---- Drive geometry (device/show_drive_geometry.h)
  //
  // "drive geometry for file '<source>':", "Media Type: <n> <media text>"
  // and the five number lines; "True disc size: ..." after them when the
  // geometry's whole cylinders fall short of the disk's true size
  // (geometry.device_size).  `media_text` ends in a line feed.
  virtual void drive_geometry(std::string_view source, const platform::DriveGeometry& geometry,
                              std::uint64_t total_bytes, const char* media_text) = 0;
  // standard error: "Open file '<source>' for getting info failed" or
  // "GET_DRIVE_GEOMETRY failed for file '<source>'".
  virtual void drive_failed(std::string_view source, DriveFailure failure) = 0;
};

}  // namespace segsniff
