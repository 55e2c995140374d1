// What the decoders tell a printer besides plain numbers: decoded segment
// fields, TIFF directories and entries, carved files, copy and drive
// failures.  Every offset is a position in the input (a ByteRegion
// position: bytes from the first byte of the file), or no_position where
// there is none; every integer has a fixed width, so that no printer
// truncates on a platform with a 32-bit long.  Records point into the
// mapped input or the caller's memory and are valid during the call only.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "exif/data_type_table.h"
#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"

namespace segsniff {

// ---- Segments of a marker walk (their fields are decoded quietly: the text
// listing shows only lengths, and a field that is not there is left out)

// A Start-of-Frame segment (FFC0, and the other frame markers FFC1..FFCF
// except FFC4, FFC8, FFCC, which the text listing calls illegal).
struct FrameComponentInfo {
  std::uint8_t id = 0;
  std::uint8_t horizontal = 0;  // sampling factors
  std::uint8_t vertical = 0;
  std::uint8_t table = 0;       // quantization table id
};

struct FrameInfo {
  Offset at = 0;                      // the segment's length field
  std::uint16_t marker = 0;           // FFC0 .. FFCF: the frame type
  std::uint8_t precision = 0;         // bits per sample
  std::uint16_t height = 0;           // lines (0: defined by a later DNL)
  std::uint16_t width = 0;            // samples per line
  std::uint8_t component_count = 0;   // as the header declares it
  std::uint8_t components_read = 0;   // of them, lying inside the segment
  std::array<FrameComponentInfo, 255> components{};
};

// One table of a Define-Huffman-Table segment (a segment may hold several).
struct HuffmanTable {
  Offset at = 0;                     // the table's class/id byte
  std::uint8_t table_class = 0;      // 0 DC (or lossless), 1 AC
  std::uint8_t id = 0;               // destination 0..3
  std::array<std::uint8_t, 16> counts{};  // codes of each length 1..16
  std::uint32_t symbol_count = 0;    // sum of counts
  bool complete = false;             // all its symbols lie inside the segment
};

// The header of a Start-of-Scan segment.
struct ScanComponentInfo {
  std::uint8_t id = 0;
  std::uint8_t dc_table = 0;
  std::uint8_t ac_table = 0;
};

struct ScanInfo {
  Offset at = 0;                     // the segment's length field
  std::uint8_t component_count = 0;  // as the header declares it
  std::uint8_t components_read = 0;  // of them, lying inside the segment
  std::array<ScanComponentInfo, 255> components{};
  bool has_spectral = false;         // the last three bytes were there
  std::uint8_t spectral_start = 0;
  std::uint8_t spectral_end = 0;
  std::uint8_t approximation_high = 0;
  std::uint8_t approximation_low = 0;
};

// One table of a Define-Quantization-Table segment.
struct QuantizationTable {
  Offset at = 0;              // the table's precision/id byte
  std::uint8_t id = 0;        // destination 0..3
  std::uint8_t precision = 0; // 0: 8-bit values, 1: 16-bit values
  std::uint16_t length = 0;   // bytes of the table with its first byte (65 or 129)
  bool complete = false;      // all its values lie inside the segment
};

// An application segment APP0..APP15.
struct AppSegment {
  Offset at = 0;              // the length field
  int number = 0;             // n of APPn
  std::uint16_t length = 0;   // as the length field says (itself included)
  bool has_magic = false;     // four payload bytes were there
  std::uint32_t magic = 0;    // those bytes read big-endian (0 without them)
};

// ---- TIFF structures (Exif blocks, Maker Notes, the QVCS directory)

// Which directory an IFD is, by how the walk reached it.
enum class IfdKind {
  main,              // the chain from the TIFF header: IFD0, IFD1, ...
  exif,              // from tag 8769
  gps,               // from tag 8825
  interoperability,  // from tag A005
  maker_note,        // a Maker Note value read as a directory
  qvcs,              // the parameter directory of a QVCS segment
};

struct IfdInfo {
  IfdKind kind = IfdKind::main;
  int index = 0;                   // place in its chain: 0 first, 1 next, ...
  Offset at = 0;                   // the entry count field
  std::uint64_t tiff_offset = 0;   // from the structure's first byte
  std::uint16_t entry_count = 0;
};

// One 12-byte entry whose data lies wholly inside the structure.
struct TiffEntry {
  Offset at = 0;                   // the entry's tag field
  std::uint16_t tag = 0;
  const DataTypeInfo* type = nullptr;  // an accepted type, never null
  std::uint32_t count = 0;
  std::uint32_t value_field = 0;   // the value field read as a number
  ByteRegion data;                 // exactly the count elements, from data.begin()
  bool intel = false;              // the structure's byte order
};

// Values nested in an entry or a segment that the walk enters.
enum class EmbeddedKind {
  thumbnail,       // tags 0201/0202: a JPEG stream, walked
  jpeg_tables,     // tag 015B: a JPEG stream of tables, walked
  maker_note,      // tag 927C: read as one IFD
  qvcs_directory,  // the QVCS parameter table read as one IFD
};

// A Maker Note read by the layout its header names.  Its directory's
// offsets count from `base`: the Exif block's TIFF header, the note's first
// byte, or a TIFF header of the note's own.
enum class MakerNoteBase { exif_tiff, note, own_tiff };

struct MakerNoteLayout {
  const char* maker = nullptr;    // "Nikon", "Olympus", ...; null: no known layout
  const char* header = nullptr;   // which of the maker's headers ("Nikon type 3", ...)
  ByteRegion note;                // the whole value
  std::uint64_t header_size = 0;  // bytes of the header in front of the directory data
  MakerNoteBase base_kind = MakerNoteBase::exif_tiff;
  Offset base = 0;                // where its offsets count from
  Offset ifd_at = no_position;    // its directory (no_position: lies nowhere)
  bool intel = false;             // its byte order
};

// ---- Files, carving, copies, drives

enum class MapStep { create_mapping, map_view };

enum class CarvingRefusal {
  output_folder_failed,  // the -outdir folder could not be made
  folder_on_device,      // the output folder lies on the device being carved
  report_failed,         // the -report file could not be made
  report_on_device,      // the -report file lies on the device being carved
};

// One file the carving wrote (or tried to write).  Its bytes are `runs`
// of the input, in file order: one run for a stream carved as it lies, the
// pieces of a photo that -fragments put together; read them through
// `input` (input.bytes(run.offset, run.length)) to hash or check them.
struct CarvedOutput {
  std::string_view name;            // the name taken (or tried last), folder included
  std::int64_t number = 0;          // the number in that name
  std::span<const ByteRun> runs;
  ByteRegion input;                 // the whole input
  std::uint64_t length = 0;         // bytes of all runs
  bool pieces = false;              // put together from pieces: listed run by run
  int create_error = 0;             // 0, or why the file could not be made
  std::uint64_t written = 0;        // bytes that reached the file
  int write_error = 0;              // 0, or why writing or closing failed
  bool succeeded() const { return create_error == 0 && write_error == 0 && written == length; }
};

// A candidate of carving with -fragments that is not written.
enum class PhotoLeftOut {
  incomplete,  // its data could not be followed to its end
  embedded,    // it lies inside the header of another photo (a thumbnail)
  no_frame,    // no frame and scan header follow its SOI
};

enum class CopyFailure {
  source_open,              // the source cannot be opened
  destination_block_device, // never written: a block device
  same_file,                // the destination is the source itself
  destination_on_source,    // the destination lies on the source device
  buffer,                   // no memory for the block buffer
  destination_create,       // the destination cannot be made
  source_read,              // a read of the source failed
  destination_write,        // a write (or the final close) failed
};

enum class DriveFailure {
  open,   // the name cannot be opened for queries
  query,  // it opened, but answers no geometry
};

}  // namespace segsniff
