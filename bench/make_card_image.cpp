// A reproducible disk image for the carving benchmark, with a manifest of
// every JPEG stream placed in it.
//
//   make_card_image <card|sparse> <MiB> <seed> <corpus dir or -> <image> <manifest>
//
// card:   a memory card that is mostly photos: generated baseline JPEGs of
//         0.3 to 3.5 MiB (a third with an Exif thumbnail, some cut off in
//         their scan data), the real corpus files among them, one image
//         whose scan data holds an FF D9 pair, all at 512-byte sector
//         boundaries with zero slack, and now and then a run of random or
//         zero bytes between them (deleted data, file system tables).
// sparse: the same kinds of images, but few of them, between tens of MiB of
//         random and zero filler: the carving is bound by the scan.
//
// Manifest lines: "<offset> <length> <kind> <source>", kinds:
//   complete     a whole stream that the carving must recover byte for byte
//   thumbnail    the Exif thumbnail inside the complete stream before it
//   truncated    a stream cut off inside its scan data
//   eoi-in-scan  a whole stream whose scan data holds an FF D9 pair, so the
//                carving rule (skip to the first FF D9) cannot get it whole
// The same arguments give the same bytes on every machine.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t sector = 512;
constexpr std::uint64_t mib = 1 << 20;

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  std::uint64_t between(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

void be16(Bytes& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void le16(Bytes& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void le32(Bytes& out, std::uint32_t v) {
  le16(out, v & 0xFFFF);
  le16(out, v >> 16);
}
void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void text(Bytes& out, const char* s) { out.insert(out.end(), s, s + std::strlen(s)); }

// Entropy-coded data as an encoder writes it: every FF byte stuffed with 00,
// and a restart marker FF D0..D7 every `interval` bytes.
Bytes scan_data(Random& random, std::uint64_t size) {
  Bytes out;
  out.reserve(size + size / 128);
  constexpr std::uint64_t interval = 8192;
  unsigned restart = 0;
  std::uint64_t word = 0;
  for (std::uint64_t i = 0; i < size; ++i) {
    if (i % 8 == 0) word = random.next();
    const auto b = static_cast<std::uint8_t>(word >> (8 * (i % 8)));
    out.push_back(b);
    if (b == 0xFF) out.push_back(0x00);
    if (i % interval == interval - 1) {
      out.push_back(0xFF);
      out.push_back(static_cast<std::uint8_t>(0xD0 + restart++ % 8));
    }
  }
  return out;
}

// An Exif APP1 payload (little-endian TIFF) whose IFD1 points at `thumbnail`.
Bytes exif_payload(const Bytes& thumbnail) {
  Bytes p;
  text(p, "Exif");
  p.push_back(0);
  p.push_back(0);
  text(p, "II");
  le16(p, 42);
  le32(p, 8);                   // IFD0 at 8
  le16(p, 1);                   // IFD0: one entry
  le16(p, 0x0112), le16(p, 3), le32(p, 1), le16(p, 1), le16(p, 0);  // Orientation 1
  le32(p, 26);                  // IFD1 at 8 + 2 + 12 + 4
  le16(p, 3);                   // IFD1: three entries
  le16(p, 0x0103), le16(p, 3), le32(p, 1), le16(p, 6), le16(p, 0);  // Compression: JPEG
  le16(p, 0x0201), le16(p, 4), le32(p, 1), le32(p, 68);             // thumbnail offset
  le16(p, 0x0202), le16(p, 4), le32(p, 1), le32(p, static_cast<std::uint32_t>(thumbnail.size()));
  le32(p, 0);                   // no IFD after IFD1; thumbnail at 26 + 2 + 36 + 4 = 68
  append(p, thumbnail);
  return p;
}

void segment(Bytes& out, unsigned marker, const Bytes& payload) {
  be16(out, marker);
  be16(out, static_cast<unsigned>(payload.size() + 2));
  append(out, payload);
}

// A baseline JPEG stream: SOI, APP1 Exif with the thumbnail (or APP0 JFIF),
// DQT, SOF0, DHT, SOS, `scan` and EOI.
Bytes baseline_jpeg(Random& random, const Bytes& scan, const Bytes* thumbnail) {
  Bytes out;
  be16(out, 0xFFD8);
  if (thumbnail != nullptr) {
    segment(out, 0xFFE1, exif_payload(*thumbnail));
  } else {
    Bytes jfif;
    text(jfif, "JFIF");
    for (std::uint8_t b : {0, 1, 1, 1, 0, 72, 0, 72, 0, 0}) jfif.push_back(b);
    segment(out, 0xFFE0, jfif);
  }
  Bytes dqt{0x00};
  for (int i = 0; i < 64; ++i) dqt.push_back(static_cast<std::uint8_t>(random.between(1, 255)));
  segment(out, 0xFFDB, dqt);
  segment(out, 0xFFC0, {0x08, 0x07, 0x80, 0x0A, 0x00, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01,
                        0x03, 0x11, 0x01});
  Bytes dht{0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  for (std::uint8_t v = 0; v < 12; ++v) dht.push_back(v);
  segment(out, 0xFFC4, dht);
  segment(out, 0xFFDD, {0x00, 0x40});
  segment(out, 0xFFDA, {0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00});
  append(out, scan);
  be16(out, 0xFFD9);
  return out;
}

// Where the carving rule ends a stream that starts at 0: segments skipped by
// their lengths, the scan data skipped to its first FF D9 pair.  Used only to
// tell which corpus files the rule recovers whole.
std::uint64_t carving_rule_end(const Bytes& b) {
  std::uint64_t p = 2;
  while (p + 2 <= b.size()) {
    const unsigned marker = b[p] << 8 | b[p + 1];
    if (marker == 0xFFD9) return p + 2;
    if (marker == 0xFFDD) { p += 6; continue; }
    if (p + 4 > b.size()) break;
    p += 2 + (b[p + 2] << 8 | b[p + 3]);
    if (marker == 0xFFDA) {
      while (p + 1 < b.size() && !(b[p] == 0xFF && b[p + 1] == 0xD9)) ++p;
    }
  }
  return 0;
}

class CardImage {
 public:
  CardImage(const char* image, const char* manifest) : image_(image, std::ios::binary), manifest_(manifest) {
    manifest_ << "# offset length kind source\n";
  }
  bool ok() const { return image_.good() && manifest_.good(); }
  std::uint64_t offset() const { return offset_; }

  void place(const Bytes& bytes, const char* kind, const std::string& source) {
    manifest_ << offset_ << ' ' << bytes.size() << ' ' << kind << ' ' << source << '\n';
    put(bytes);
  }
  void note(std::uint64_t at, std::uint64_t length, const char* kind, const std::string& source) {
    manifest_ << at << ' ' << length << ' ' << kind << ' ' << source << '\n';
  }
  void put(const Bytes& bytes) {
    image_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    offset_ += bytes.size();
  }
  void zeros(std::uint64_t n) { put(Bytes(n, 0)); }
  void random_bytes(Random& random, std::uint64_t n) {
    Bytes chunk(n);
    for (std::uint64_t i = 0; i < n; i += 8) {
      std::uint64_t word = random.next();
      std::memcpy(chunk.data() + i, &word, n - i < 8 ? n - i : 8);
    }
    put(chunk);
  }
  void filler(Random& random, std::uint64_t n) {
    for (std::uint64_t left = n; left > 0;) {
      std::uint64_t piece = left < 16 * mib ? left : 16 * mib;
      random.chance(50) ? random_bytes(random, piece) : zeros(piece);
      left -= piece;
    }
  }
  void align() { zeros((sector - offset_ % sector) % sector); }

 private:
  std::ofstream image_;
  std::ofstream manifest_;
  std::uint64_t offset_ = 0;
};

std::vector<std::pair<std::string, Bytes>> read_corpus(const char* dir) {
  std::vector<std::pair<std::string, Bytes>> files;
  if (std::strcmp(dir, "-") == 0 || !std::filesystem::is_directory(dir)) return files;
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    std::ifstream f(path, std::ios::binary);
    files.emplace_back(path.filename().string(),
                       Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7 || (std::strcmp(argv[1], "card") != 0 && std::strcmp(argv[1], "sparse") != 0)) {
    std::fprintf(stderr, "usage: %s <card|sparse> <MiB> <seed> <corpus dir or -> <image> <manifest>\n",
                 argv[0]);
    return 1;
  }
  const bool card = std::strcmp(argv[1], "card") == 0;
  const std::uint64_t size = std::strtoull(argv[2], nullptr, 10) * mib;
  Random random(std::strtoull(argv[3], nullptr, 10));
  const auto corpus = read_corpus(argv[4]);
  CardImage image(argv[5], argv[6]);
  if (!image.ok()) {
    std::perror("make_card_image");
    return 1;
  }

  const std::uint64_t largest = 4 * mib;  // room kept for one more image
  std::size_t next_corpus = 0;
  bool eoi_in_scan_placed = false;
  for (unsigned n = 0; image.offset() + largest < size; ++n) {
    image.align();
    const std::string name = "generated-" + std::to_string(n);
    if (!corpus.empty() && next_corpus < corpus.size() && n % (card ? 12 : 3) == 1) {
      const auto& [source, bytes] = corpus[next_corpus++];
      image.place(bytes, carving_rule_end(bytes) == bytes.size() ? "complete" : "eoi-in-scan", source);
    } else {
      const std::uint64_t scan_size = card ? random.between(300 * 1024, 3500 * 1024)
                                           : random.between(200 * 1024, 2 * mib);
      Bytes scan = scan_data(random, scan_size);
      if (!eoi_in_scan_placed && n == 5) {  // an FF D9 pair in mid-scan, as damage leaves one
        scan[scan.size() / 2] = 0xFF;
        scan[scan.size() / 2 + 1] = 0xD9;
        eoi_in_scan_placed = true;
        image.place(baseline_jpeg(random, scan, nullptr), "eoi-in-scan", name);
      } else if (random.chance(33)) {
        Bytes thumbnail = baseline_jpeg(random, scan_data(random, random.between(3000, 12000)), nullptr);
        Bytes jpeg = baseline_jpeg(random, scan, &thumbnail);
        const std::uint64_t at = image.offset();
        image.place(jpeg, "complete", name);
        // The thumbnail lies after SOI (2), the APP1 marker and length (4)
        // and the Exif header and TIFF structure (6 + 68).
        image.note(at + 2 + 4 + 6 + 68, thumbnail.size(), "thumbnail", name);
      } else if (random.chance(7)) {
        Bytes jpeg = baseline_jpeg(random, scan, nullptr);
        jpeg.resize(jpeg.size() * random.between(60, 95) / 100);
        image.place(jpeg, "truncated", name);
        image.filler(random, random.between(1, 64) * 1024);
      } else {
        image.place(baseline_jpeg(random, scan, nullptr), "complete", name);
      }
    }
    // Between images: sector slack, sometimes deleted data; far more of it
    // in a sparse image.
    if (card) {
      if (random.chance(25)) {
        image.align();
        image.filler(random, random.between(1, 512) * sector);
      }
    } else {
      image.filler(random, std::min(random.between(8, 40) * mib, size - image.offset()));
    }
  }
  image.filler(random, size - image.offset());
  return image.ok() ? 0 : 1;
}
