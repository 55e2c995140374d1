// Fixtures are built byte by byte: Bytes{}.be16(0xFFD8).text("JFIF")...
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace segsniff::test {

class Bytes {
 public:
  Bytes() = default;
  Bytes(std::initializer_list<std::uint8_t> bytes) : data_(bytes) {}

  Bytes& u8(std::uint8_t b) { data_.push_back(b); return *this; }
  Bytes& raw(std::initializer_list<std::uint8_t> bytes) {
    data_.insert(data_.end(), bytes);
    return *this;
  }
  Bytes& be16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v)); }
  Bytes& le16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
  Bytes& be32(std::uint32_t v) { return be16(static_cast<std::uint16_t>(v >> 16)).be16(static_cast<std::uint16_t>(v)); }
  Bytes& le32(std::uint32_t v) { return le16(static_cast<std::uint16_t>(v)).le16(static_cast<std::uint16_t>(v >> 16)); }
  // 16/32-bit values in a TIFF structure's byte order.
  Bytes& u16(bool intel, std::uint16_t v) { return intel ? le16(v) : be16(v); }
  Bytes& u32(bool intel, std::uint32_t v) { return intel ? le32(v) : be32(v); }
  Bytes& text(std::string_view s) { data_.insert(data_.end(), s.begin(), s.end()); return *this; }
  Bytes& fill(std::size_t n, std::uint8_t b) { data_.insert(data_.end(), n, b); return *this; }
  Bytes& append(const Bytes& other) { data_.insert(data_.end(), other.data_.begin(), other.data_.end()); return *this; }
  // A JPEG segment: marker, length (counting itself) and payload.
  Bytes& segment(std::uint16_t marker, const Bytes& payload) {
    return be16(marker).be16(static_cast<std::uint16_t>(payload.size() + 2)).append(payload);
  }

  std::size_t size() const { return data_.size(); }
  const std::uint8_t* data() const { return data_.data(); }
  std::uint8_t& operator[](std::size_t i) { return data_[i]; }
  const std::vector<std::uint8_t>& vector() const { return data_; }
  std::string str() const { return std::string(data_.begin(), data_.end()); }

 private:
  std::vector<std::uint8_t> data_;
};

}  // namespace segsniff::test
