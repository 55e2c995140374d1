// The JSON Lines that the JSON printer writes: one document per line,
// written as it is built by RapidJSON's streaming Writer into a fixed
// buffer, so that memory stays the same however large the document grows.
//
// A document is a tree of nodes (objects).  A node is opened under a key of
// its parent or as an element of one of its parent's arrays; its own fields
// are written as they become known, in any order, and the arrays of its
// children are opened when the first child comes and closed when a field
// or another array follows.  Findings (the complaints of the text listing)
// are kept with their node and written as its "findings" array when it is
// closed: a node's own findings are few (each decoder says a handful at
// most before its node ends), so what is kept is bounded however long the
// walk.
#pragma once

#include <rapidjson/writer.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/byte_region.h"
#include "shell/channel.h"

namespace segsniff {

// RapidJSON output stream: standard output in pieces.
class JsonLineStream {
 public:
  using Ch = char;
  void Put(char c) {
    if (used_ == sizeof buffer_) Flush();
    buffer_[used_++] = c;
  }
  void Flush();

 private:
  char buffer_[1 << 14];
  std::size_t used_ = 0;
};

using JsonWriter = rapidjson::Writer<JsonLineStream>;

enum class JsonNode {
  line,       // the document of a line (its kind is its "type" field)
  walk,       // a marker walk
  segment,    // a marker and its segment
  qvcs,       // a QVCS segment's fields
  tiff,       // the TIFF structure of an Exif block
  chain,      // a chain of IFDs
  ifd,        // one IFD
  entry,      // one entry of an IFD
  embedded,   // a thumbnail, JPEGTables, Maker Note or QVCS directory
};

struct JsonFinding {
  std::string text;  // as the listing prints it, without the line feed
  Offset at = no_position;
  Channel channel = Channel::err;
};

class JsonDocument {
 public:
  JsonDocument() : writer_(stream_) {}

  // ---- Lines
  // Starts a document (a node of kind line); closing it ends the line.
  void begin_line();
  bool line_open() const { return depth_ > 0; }

  // ---- Nodes
  void open_object(const char* key, JsonNode node);
  void open_item(const char* array_key, JsonNode node);
  // Closes the innermost node (its findings first).
  void close();
  // Closes the nodes inside the innermost node of kind `node`; false (and
  // nothing closed) when no such node is open.
  bool close_inside(JsonNode node);
  // Closes every open node, the line's included.
  void close_all();
  bool is_open(JsonNode node) const;
  // Closes the nodes inside the innermost node of kind `a` or `b`; false
  // when neither is open.
  bool close_inside_either(JsonNode a, JsonNode b);
  JsonNode top() const { return frames_[depth_ - 1].node; }
  // The kind of the node below the innermost one.
  JsonNode parent() const { return frames_[depth_ - 2].node; }
  std::size_t depth() const { return depth_; }

  // What the node remembers of itself: a position, a size and a number
  // (the walk's end, the IFD's place and entry count, ...).
  struct Memo {
    Offset at = 0;
    std::uint64_t size = 0;
    int number = 0;
  };
  Memo& memo() { return frames_[depth_ - 1].memo; }
  Memo& parent_memo() { return frames_[depth_ - 2].memo; }

  // A finding for the innermost node; false when no node is open.
  bool add_finding(JsonFinding finding);

  // ---- Fields of the innermost node
  // The key of a field; the value follows through writer().
  JsonWriter& field(const char* key);
  // An element of the node's array `key` (opened when it is not the one open).
  JsonWriter& item(const char* key);
  JsonWriter& writer() { return writer_; }

  // Values.
  void number_or_null(Offset value);  // no_position: null
  // Bytes from outside the program: the string itself when they are UTF-8,
  // else each byte as the character of that number (Latin-1).  Returns
  // whether they were UTF-8.
  bool text(std::string_view bytes);
  // A text field, with "<key>_hex" beside it when the bytes are not UTF-8.
  void text_field(const char* key, const char* hex_key, std::string_view bytes);
  void hex(std::span<const std::uint8_t> bytes);
  void string(std::string_view s) { writer_.String(s.data(), static_cast<rapidjson::SizeType>(s.size())); }

 private:
  struct Frame {
    JsonNode node = JsonNode::line;
    const char* array = nullptr;  // key of the array being filled
    std::vector<JsonFinding> findings;
    Memo memo;
  };
  void push(JsonNode node);
  void end_array();
  void end_line();

  JsonLineStream stream_;
  JsonWriter writer_;
  std::vector<Frame> frames_;  // frames_[0 .. depth_-1] are open; kept for their capacity
  std::size_t depth_ = 0;
  std::string scratch_;        // hex and Latin-1 text, reused
};

}  // namespace segsniff
