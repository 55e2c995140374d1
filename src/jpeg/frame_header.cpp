#include "jpeg/frame_header.h"

#include <algorithm>

namespace segsniff {

namespace {

// Camera headers hold a dozen segments; a walk through this many has gone
// astray in data that only looks like segments.
constexpr int max_header_segments = 256;

constexpr std::uint8_t marker_sof0 = 0xC0, marker_sof1 = 0xC1, marker_sof15 = 0xCF;
constexpr std::uint8_t marker_dht = 0xC4, marker_jpg = 0xC8, marker_dac = 0xCC;
constexpr std::uint8_t marker_rst0 = 0xD0, marker_rst7 = 0xD7;
constexpr std::uint8_t marker_soi = 0xD8, marker_eoi = 0xD9, marker_sos = 0xDA, marker_dri = 0xDD;
constexpr std::uint8_t marker_tem = 0x01;

std::uint16_t be16_at(const ByteRegion& r, Offset p) {
  return static_cast<std::uint16_t>(r.byte_at(p) << 8 | r.byte_at(p + 1));
}

bool is_frame_marker(std::uint8_t m) {
  return m >= marker_sof0 && m <= marker_sof15 && m != marker_dht && m != marker_jpg &&
         m != marker_dac;
}

// SOF payload: P (1), Y (2), X (2), Nf (1), then Nf times C (1), HV (1), Tq (1).
bool read_frame(const ByteRegion& r, Offset payload, std::uint16_t length, FrameHeader& h) {
  if (length < 8) return false;
  h.precision = r.byte_at(payload);
  h.height = be16_at(r, payload + 1);
  h.width = be16_at(r, payload + 3);
  h.components = r.byte_at(payload + 5);
  if (h.components < 1 || h.components > 4 || length != 8 + 3 * h.components) return false;
  for (int c = 0; c < h.components; ++c) {
    const std::uint8_t hv = r.byte_at(payload + 6 + 3 * static_cast<Offset>(c) + 1);
    h.component[static_cast<std::size_t>(c)] = {static_cast<std::uint8_t>(hv >> 4),
                                                 static_cast<std::uint8_t>(hv & 0x0F)};
  }
  return true;
}

// SOS payload: Ns (1), Ns times Cs (1), TdTa (1), then Ss (1), Se (1), AhAl (1).
bool read_scan(const ByteRegion& r, Offset payload, std::uint16_t length, FrameHeader& h) {
  if (length < 6) return false;
  h.scan_components = r.byte_at(payload);
  if (length != 6 + 2 * h.scan_components) return false;
  const Offset tail = payload + 1 + 2 * static_cast<Offset>(h.scan_components);
  h.full_spectrum = r.byte_at(tail) == 0 && r.byte_at(tail + 1) == 63 && r.byte_at(tail + 2) == 0;
  return true;
}

}  // namespace

int FrameHeader::max_h() const {
  int m = 0;
  for (int c = 0; c < components; ++c) m = std::max<int>(m, component[static_cast<std::size_t>(c)].h);
  return m;
}

int FrameHeader::max_v() const {
  int m = 0;
  for (int c = 0; c < components; ++c) m = std::max<int>(m, component[static_cast<std::size_t>(c)].v);
  return m;
}

bool FrameHeader::single_sequential_scan() const {
  if (sof_type != marker_sof0 && sof_type != marker_sof1) return false;
  if (precision != 8 || width == 0 || height == 0 || !full_spectrum) return false;
  for (int c = 0; c < components; ++c) {
    const FrameComponent& f = component[static_cast<std::size_t>(c)];
    if (f.h < 1 || f.h > 4 || f.v < 1 || f.v > 4) return false;
  }
  if (components == 1) return component[0].h == 1 && component[0].v == 1 && scan_components == 1;
  return scan_components == components;
}

std::uint32_t FrameHeader::mcus_per_row() const {
  if (!single_sequential_scan()) return 0;
  const std::uint32_t mcu_width = 8u * static_cast<std::uint32_t>(max_h());
  return (width + mcu_width - 1) / mcu_width;
}

std::uint32_t FrameHeader::mcu_rows() const {
  if (!single_sequential_scan()) return 0;
  const std::uint32_t mcu_height = 8u * static_cast<std::uint32_t>(max_v());
  return (height + mcu_height - 1) / mcu_height;
}

// Segment after segment: FF, the marker (fill bytes FF before it allowed),
// and for all but the standalone markers a length that counts itself.  The
// position moves on by at least two bytes each time, inside the input.
bool read_frame_header(const ByteRegion& input, Offset soi, FrameHeader& header) {
  header = FrameHeader{};
  if (!input.holds(soi, 2) || input.byte_at(soi) != 0xFF || input.byte_at(soi + 1) != marker_soi)
    return false;
  Offset p = soi + 2;
  for (int segment = 0; segment < max_header_segments; ++segment) {
    while (input.holds(p, 2) && input.byte_at(p) == 0xFF && input.byte_at(p + 1) == 0xFF) ++p;
    if (!input.holds(p, 2) || input.byte_at(p) != 0xFF) return false;
    const std::uint8_t m = input.byte_at(p + 1);
    if (m == marker_soi || m == marker_eoi) return false;
    if ((m >= marker_rst0 && m <= marker_rst7) || m == marker_tem) {
      p += 2;
      continue;
    }
    if (!input.holds(p + 2, 2)) return false;
    const std::uint16_t length = be16_at(input, p + 2);
    if (length < 2 || !input.holds(p + 2, length)) return false;
    const Offset payload = p + 4;
    if (is_frame_marker(m) && header.sof_at == no_position) {
      header.sof_at = p;
      header.sof_type = m;
      if (!read_frame(input, payload, length, header)) return false;
    } else if (m == marker_dri) {
      if (length != 4) return false;
      header.restart_interval = be16_at(input, payload);
    } else if (m == marker_sos) {
      header.sos_at = p;
      header.data_at = p + 2 + length;
      return header.sof_at != no_position && read_scan(input, payload, length, header);
    }
    p += 2 + static_cast<Offset>(length);
  }
  return false;
}

}  // namespace segsniff
