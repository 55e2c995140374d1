#include "exif_writer.h"

#include <stdexcept>

namespace segsniff::sample {
namespace {

constexpr std::uint8_t marker_app1 = 0xE1;
constexpr std::uint32_t tiff_header_size = 8;
constexpr std::uint32_t entry_size = 12;
constexpr std::size_t inline_value_size = 4;  // values up to this size sit in the entry

void put_le16(ByteVector& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put_le32(ByteVector& out, std::uint32_t v) {
  put_le16(out, static_cast<std::uint16_t>(v));
  put_le16(out, static_cast<std::uint16_t>(v >> 16));
}
std::uint32_t even(std::size_t n) { return static_cast<std::uint32_t>(n + (n & 1)); }

std::uint32_t item_size(const TiffItem& item) {
  if (item.is_blob) return even(item.blob.size());
  std::uint32_t size = 2 + entry_size * static_cast<std::uint32_t>(item.entries.size()) + 4;
  for (const TiffEntry& e : item.entries)
    if (e.data.size() > inline_value_size) size += even(e.data.size());
  return size;
}

}  // namespace

TiffEntry ascii_entry(std::uint16_t tag, std::string_view text) {
  TiffEntry e{tag, TiffType::ascii, static_cast<std::uint32_t>(text.size() + 1), {}, -1};
  e.data.assign(text.begin(), text.end());
  e.data.push_back(0);
  return e;
}

TiffEntry byte_entry(std::uint16_t tag, std::initializer_list<std::uint8_t> values) {
  return {tag, TiffType::byte, static_cast<std::uint32_t>(values.size()), ByteVector(values), -1};
}

TiffEntry undefined_entry(std::uint16_t tag, std::string_view bytes) {
  return {tag, TiffType::undefined, static_cast<std::uint32_t>(bytes.size()),
          ByteVector(bytes.begin(), bytes.end()), -1};
}

TiffEntry short_entry(std::uint16_t tag, std::initializer_list<std::uint16_t> values) {
  TiffEntry e{tag, TiffType::short_, static_cast<std::uint32_t>(values.size()), {}, -1};
  for (std::uint16_t v : values) put_le16(e.data, v);
  return e;
}

TiffEntry long_entry(std::uint16_t tag, std::initializer_list<std::uint32_t> values) {
  TiffEntry e{tag, TiffType::long_, static_cast<std::uint32_t>(values.size()), {}, -1};
  for (std::uint32_t v : values) put_le32(e.data, v);
  return e;
}

TiffEntry rational_entry(std::uint16_t tag,
                         std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> values) {
  TiffEntry e{tag, TiffType::rational, static_cast<std::uint32_t>(values.size()), {}, -1};
  for (auto [numerator, denominator] : values) {
    put_le32(e.data, numerator);
    put_le32(e.data, denominator);
  }
  return e;
}

TiffEntry srational_entry(std::uint16_t tag,
                          std::initializer_list<std::pair<std::int32_t, std::int32_t>> values) {
  TiffEntry e{tag, TiffType::srational, static_cast<std::uint32_t>(values.size()), {}, -1};
  for (auto [numerator, denominator] : values) {
    put_le32(e.data, static_cast<std::uint32_t>(numerator));
    put_le32(e.data, static_cast<std::uint32_t>(denominator));
  }
  return e;
}

TiffEntry pointer_entry(std::uint16_t tag, int target) {
  return {tag, TiffType::long_, 1, ByteVector(4, 0), target};
}

ByteVector write_tiff(const std::vector<TiffItem>& items) {
  std::vector<std::uint32_t> offsets;
  std::uint32_t position = tiff_header_size;
  for (const TiffItem& item : items) {
    offsets.push_back(position);
    position += item_size(item);
  }
  auto offset_of = [&](int index) -> std::uint32_t {
    if (index < 0) return 0;
    if (static_cast<std::size_t>(index) >= items.size()) throw std::out_of_range("no such TIFF item");
    return offsets[static_cast<std::size_t>(index)];
  };

  ByteVector out{'I', 'I', 42, 0};
  put_le32(out, items.empty() ? 0 : offsets[0]);
  for (const TiffItem& item : items) {
    if (item.is_blob) {
      out.insert(out.end(), item.blob.begin(), item.blob.end());
      if (item.blob.size() % 2 != 0) out.push_back(0);
      continue;
    }
    // Values that do not fit the entry follow the next-IFD field.
    std::uint32_t value_position = static_cast<std::uint32_t>(out.size()) + 2 +
                                   entry_size * static_cast<std::uint32_t>(item.entries.size()) + 4;
    ByteVector values;
    put_le16(out, static_cast<std::uint16_t>(item.entries.size()));
    for (const TiffEntry& e : item.entries) {
      put_le16(out, e.tag);
      put_le16(out, static_cast<std::uint16_t>(e.type));
      put_le32(out, e.count);
      if (e.points_to >= 0) {
        put_le32(out, offset_of(e.points_to));
      } else if (e.data.size() <= inline_value_size) {
        ByteVector field = e.data;
        field.resize(inline_value_size, 0);  // left-aligned, zero-padded
        out.insert(out.end(), field.begin(), field.end());
      } else {
        put_le32(out, value_position + static_cast<std::uint32_t>(values.size()));
        values.insert(values.end(), e.data.begin(), e.data.end());
        if (e.data.size() % 2 != 0) values.push_back(0);
      }
    }
    put_le32(out, offset_of(item.next));
    out.insert(out.end(), values.begin(), values.end());
  }
  return out;
}

ByteVector exif_app1_segment(const std::vector<TiffItem>& items) {
  ByteVector payload{'E', 'x', 'i', 'f', 0, 0};
  ByteVector tiff = write_tiff(items);
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return make_segment(marker_app1, payload);
}

}  // namespace segsniff::sample
