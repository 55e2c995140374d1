#include "shell/report_record.h"

namespace segsniff {

namespace {

class SpoolWriter {
 public:
  explicit SpoolWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
  void text(const std::string& s) {
    u64(s.size());
    out_.insert(out_.end(), s.begin(), s.end());
  }

 private:
  std::vector<std::uint8_t>& out_;
};

// Reads fields in order; a read past the end fails this and every later
// read, and yields zeros.
class SpoolReader {
 public:
  explicit SpoolReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  bool at_end() const { return at_ == bytes_.size(); }
  std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
  std::uint64_t u64() { return take(8); }
  std::int64_t i64() { return static_cast<std::int64_t>(take(8)); }
  std::string text() {
    const std::uint64_t size = u64();
    if (failed_ || size > bytes_.size() - at_) return fail(), std::string();
    std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), size);
    at_ += size;
    return s;
  }

 private:
  std::uint64_t take(std::size_t n) {
    if (failed_ || n > bytes_.size() - at_) return fail(), 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{bytes_[at_ + i]} << (8 * i);
    at_ += n;
    return v;
  }
  void fail() { failed_ = true; }

  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

constexpr std::size_t size_field = 4;

}  // namespace

bool FileRecord::operator==(const FileRecord& o) const {
  return name == o.name && number == o.number && input == o.input && runs == o.runs &&
         create_error == o.create_error && written == o.written && write_error == o.write_error &&
         digest == o.digest && frame == o.frame && exif == o.exif &&
         decode.kind == o.decode.kind && decode.message == o.decode.message && host == o.host;
}

void encode_record(const FileRecord& record, std::vector<std::uint8_t>& out) {
  const std::size_t start = out.size();
  out.resize(start + size_field);
  SpoolWriter w(out);
  w.text(record.name);
  w.i64(record.number);
  w.u64(record.input);
  w.u64(record.runs.size());
  for (const ByteRun& run : record.runs) {
    w.u64(run.offset);
    w.u64(run.length);
  }
  w.i64(record.create_error);
  w.u64(record.written);
  w.i64(record.write_error);
  w.u8(record.digest.has_value());
  if (record.digest)
    for (std::uint8_t byte : *record.digest) w.u8(byte);
  w.u8(record.frame.has_value());
  if (record.frame) {
    w.u64(record.frame->marker);
    w.u8(record.frame->precision);
    w.u64(record.frame->width);
    w.u64(record.frame->height);
    w.u8(record.frame->components);
  }
  w.u8(record.exif);
  w.u8(static_cast<std::uint8_t>(record.decode.kind));
  w.text(record.decode.message);
  w.u8(record.host.has_value());
  if (record.host) {
    w.i64(record.host->number);
    w.text(record.host->name);
  }
  const auto size = static_cast<std::uint32_t>(out.size() - start);
  for (std::size_t i = 0; i < size_field; ++i)
    out[start + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

std::uint32_t encoded_record_size(std::span<const std::uint8_t, 4> head) {
  return std::uint32_t{head[0]} | std::uint32_t{head[1]} << 8 | std::uint32_t{head[2]} << 16 |
         std::uint32_t{head[3]} << 24;
}

bool decode_record(std::span<const std::uint8_t> bytes, FileRecord& record) {
  if (bytes.size() < size_field ||
      encoded_record_size(bytes.first<size_field>()) != bytes.size())
    return false;
  SpoolReader r(bytes.subspan(size_field));
  record = FileRecord{};
  record.name = r.text();
  record.number = r.i64();
  record.input = static_cast<std::uint32_t>(r.u64());
  const std::uint64_t run_count = r.u64();
  for (std::uint64_t i = 0; i < run_count && !r.failed(); ++i) {
    const Offset offset = r.u64();
    record.runs.push_back({offset, r.u64()});
  }
  record.create_error = static_cast<int>(r.i64());
  record.written = r.u64();
  record.write_error = static_cast<int>(r.i64());
  if (r.u8() != 0) {
    platform::Sha256Digest digest{};
    for (std::uint8_t& byte : digest) byte = r.u8();
    record.digest = digest;
  }
  if (r.u8() != 0) {
    RecordFrame frame;
    frame.marker = static_cast<std::uint16_t>(r.u64());
    frame.precision = r.u8();
    frame.width = static_cast<std::uint16_t>(r.u64());
    frame.height = static_cast<std::uint16_t>(r.u64());
    frame.components = r.u8();
    record.frame = frame;
  }
  record.exif = r.u8() != 0;
  const std::uint8_t kind = r.u8();
  if (kind > static_cast<std::uint8_t>(DecodeClass::unavailable)) return false;
  record.decode.kind = static_cast<DecodeClass>(kind);
  record.decode.message = r.text();
  if (r.u8() != 0) {
    RecordHost host;
    host.number = r.i64();
    host.name = r.text();
    record.host = host;
  }
  return !r.failed() && r.at_end();
}

}  // namespace segsniff
