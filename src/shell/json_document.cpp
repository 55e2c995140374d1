#include "shell/json_document.h"

#include <rapidjson/encodings.h>
#include <rapidjson/memorystream.h>

#include <cstring>

#include "shell/channels.h"

namespace segsniff {

namespace {

struct NullStream {
  using Ch = char;
  void Put(char) {}
};

bool is_utf8(std::string_view bytes) {
  rapidjson::MemoryStream in(bytes.data(), bytes.size());
  NullStream out;
  while (in.Tell() < bytes.size())
    if (!rapidjson::UTF8<>::Validate(in, out)) return false;
  return true;
}

}  // namespace

void JsonLineStream::Flush() {
  out_stream << std::string_view(buffer_, used_);
  used_ = 0;
}

void JsonDocument::push(JsonNode node) {
  if (frames_.size() == depth_) frames_.emplace_back();
  Frame& frame = frames_[depth_++];
  frame.node = node;
  frame.array = nullptr;
  frame.findings.clear();
  frame.memo = Memo{};
}

void JsonDocument::begin_line() {
  writer_.StartObject();
  push(JsonNode::line);
}

void JsonDocument::end_array() {
  Frame& frame = frames_[depth_ - 1];
  if (frame.array == nullptr) return;
  writer_.EndArray();
  frame.array = nullptr;
}

JsonWriter& JsonDocument::field(const char* key) {
  end_array();
  writer_.Key(key);
  return writer_;
}

JsonWriter& JsonDocument::item(const char* key) {
  Frame& frame = frames_[depth_ - 1];
  if (frame.array == nullptr || std::strcmp(frame.array, key) != 0) {
    end_array();
    writer_.Key(key);
    writer_.StartArray();
    frame.array = key;
  }
  return writer_;
}

void JsonDocument::open_object(const char* key, JsonNode node) {
  field(key).StartObject();
  push(node);
}

void JsonDocument::open_item(const char* array_key, JsonNode node) {
  item(array_key).StartObject();
  push(node);
}

void JsonDocument::close() {
  Frame& frame = frames_[depth_ - 1];
  end_array();
  if (!frame.findings.empty()) {
    writer_.Key("findings");
    writer_.StartArray();
    for (const JsonFinding& finding : frame.findings) {
      writer_.StartObject();
      writer_.Key("text");
      text(finding.text);
      writer_.Key("offset");
      number_or_null(finding.at);
      writer_.Key("channel");
      writer_.String(finding.channel == Channel::out ? "out" : "err");
      writer_.EndObject();
    }
    writer_.EndArray();
    frame.findings.clear();
  }
  writer_.EndObject();
  --depth_;
  if (depth_ == 0) end_line();
}

// The Writer has flushed the stream at the end of its top-level value.
void JsonDocument::end_line() {
  stream_.Put('\n');
  stream_.Flush();
  writer_.Reset(stream_);
}

bool JsonDocument::close_inside(JsonNode node) {
  if (!is_open(node)) return false;
  while (top() != node) close();
  return true;
}

bool JsonDocument::close_inside_either(JsonNode a, JsonNode b) {
  if (!is_open(a) && !is_open(b)) return false;
  while (top() != a && top() != b) close();
  return true;
}

void JsonDocument::close_all() {
  while (depth_ > 0) close();
}

bool JsonDocument::is_open(JsonNode node) const {
  for (std::size_t i = 0; i < depth_; ++i)
    if (frames_[i].node == node) return true;
  return false;
}

bool JsonDocument::add_finding(JsonFinding finding) {
  if (depth_ == 0) return false;
  frames_[depth_ - 1].findings.push_back(std::move(finding));
  return true;
}

void JsonDocument::number_or_null(Offset value) {
  if (value == no_position) writer_.Null();
  else writer_.Uint64(value);
}

bool JsonDocument::text(std::string_view bytes) {
  if (is_utf8(bytes)) {
    string(bytes);
    return true;
  }
  scratch_.clear();
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x80) {
      scratch_ += c;
    } else {
      scratch_ += static_cast<char>(0xC0 | byte >> 6);
      scratch_ += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  string(scratch_);
  return false;
}

void JsonDocument::text_field(const char* key, const char* hex_key, std::string_view bytes) {
  field(key);
  if (text(bytes)) return;
  field(hex_key);
  hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

void JsonDocument::hex(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  scratch_.resize(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    scratch_[2 * i] = digits[bytes[i] >> 4];
    scratch_[2 * i + 1] = digits[bytes[i] & 0x0F];
  }
  string(scratch_);
}

}  // namespace segsniff
