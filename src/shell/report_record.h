// What the carving report says about one file the carving wrote (or tried
// to write), and the form in which it waits in the report's spool until the
// document is written at the end of the run.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jpeg/byte_runs.h"
#include "jpeg/decode_check.h"
#include "platform/sha256.h"

namespace segsniff {

// The first frame header of the stream's own marker walk (not a thumbnail's).
struct RecordFrame {
  std::uint16_t marker = 0;  // FFC0 .. FFCF
  std::uint8_t precision = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t components = 0;  // as the header declares them
  bool operator==(const RecordFrame&) const = default;
};

// The file whose stream holds this one (a thumbnail or preview inside its
// photo): its number and name.
struct RecordHost {
  std::int64_t number = 0;
  std::string name;
  bool operator==(const RecordHost&) const = default;
};

struct FileRecord {
  std::string name;           // as carved, output folder included
  std::int64_t number = 0;    // the number in its name
  std::uint32_t input = 0;    // the input it was carved from: 1 for the report's first
  ByteRuns runs;              // where its bytes lie in the input, in file order
  int create_error = 0;       // errno: the file could not be made
  std::uint64_t written = 0;  // bytes that reached the file
  int write_error = 0;        // errno: writing or closing failed
  std::optional<platform::Sha256Digest> digest;  // of the bytes written; none without a file
  std::optional<RecordFrame> frame;
  bool exif = false;          // an Exif block with its TIFF structure
  DecodeCheck decode;         // of the stream (all its runs)
  std::optional<RecordHost> host;

  std::uint64_t length() const { return total_length(runs); }
  bool succeeded() const { return create_error == 0 && write_error == 0 && written == length(); }
  bool operator==(const FileRecord&) const;
};

// The record as the spool keeps it: its size (4 bytes, little-endian), then
// its fields, integers little-endian, texts and lists after their size.
void encode_record(const FileRecord& record, std::vector<std::uint8_t>& out);

// Size of the record whose spool form begins with `head` (at least 4 bytes).
std::uint32_t encoded_record_size(std::span<const std::uint8_t, 4> head);

// Reads a record back from its spool form (the size field included).
// False when the bytes are not one whole record.
bool decode_record(std::span<const std::uint8_t> bytes, FileRecord& record);

}  // namespace segsniff
