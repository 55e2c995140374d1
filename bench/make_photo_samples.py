#!/usr/bin/env python3
"""Camera-sized sample photos for the used-card benchmark.

The camera files of the test corpus are scaled-down copies (2 KB to 180 KB);
a card full of them has thousands of tiny photos of one or two clusters,
where fragmentation hardly matters.  This script makes photos of the sizes a
camera writes (0.3 to 3 MB) from the nature photographs of Debian's
mate-backgrounds package, encoded the way cameras encode them, and gives
each the Exif block (with its embedded thumbnail) of a corpus file:

  * each source picture is decoded once (djpeg) and cropped in four ways;
  * each crop is encoded by cjpeg with one of four "camera" profiles:
      a  4:2:0, quality 92, standard Huffman tables, no restart markers
      b  4:2:2, quality 95, standard tables, no restart markers
      c  4:2:0, quality 90, standard tables, a restart marker every MCU row
      d  4:2:0, quality 88, optimised Huffman tables, a restart marker
         every 8 MCUs
    (standard tables, as most cameras write them, make every photo's
    entropy-coded data decode as any other's: the hard case for a carver);
  * the JFIF segment cjpeg writes is replaced by the first APP1 Exif segment
    of a corpus file, chosen in turn.

The output is the same on every run.  Needs libjpeg-turbo-progs (djpeg,
cjpeg) and mate-backgrounds:

    apt-get install -y libjpeg-turbo-progs mate-backgrounds
    bench/make_photo_samples.py OUTDIR [--corpus ../shared/corpus]
"""
import argparse
import os
import random
import struct
import subprocess
import sys

NOISE = 6
SOURCES = "/usr/share/backgrounds/mate/nature"
PROFILES = {
    "a": ["-quality", "92", "-sample", "2x2,1x1,1x1"],
    "b": ["-quality", "95", "-sample", "2x1,1x1,1x1"],
    "c": ["-quality", "90", "-sample", "2x2,1x1,1x1", "-restart", "1"],
    "d": ["-quality", "88", "-sample", "2x2,1x1,1x1", "-optimize", "-restart", "8B"],
}
# (left, top, right, bottom) as fractions of the picture, one per profile
CROPS = {"a": (0.0, 0.0, 1.0, 1.0), "b": (0.1, 0.05, 0.9, 0.95),
         "c": (0.25, 0.2, 1.0, 1.0), "d": (0.0, 0.15, 0.75, 0.9)}


def read_ppm(data):
    """(width, height, rows of RGB bytes) of a binary PPM."""
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit("djpeg gave no 8-bit PPM")
    w, h = int(fields[1]), int(fields[2])
    return w, h, [data[pos + y * 3 * w:pos + (y + 1) * 3 * w] for y in range(h)]


def add_sensor_noise(pixels, seed, k=NOISE):
    """Pixels with uniform noise of +-k levels (about what a camera sensor
    adds at low ISO): the values are squeezed into 0..255-2k and a random
    0..2k is added to each byte as one big-integer sum, which cannot carry
    from byte to byte."""
    squeeze = bytes(round(v * (255 - 2 * k) / 255) for v in range(256))
    spread = bytes(v % (2 * k + 1) for v in range(256))
    noise = random.Random(seed).randbytes(len(pixels)).translate(spread)
    total = int.from_bytes(pixels.translate(squeeze), "big") + int.from_bytes(noise, "big")
    return total.to_bytes(len(pixels), "big")


def crop_ppm(w, h, rows, box):
    l, t, r, b = box
    x0, y0 = int(w * l) // 16 * 16, int(h * t) // 16 * 16
    x1, y1 = int(w * r) // 16 * 16, int(h * b) // 16 * 16
    head = b"P6\n%d %d\n255\n" % (x1 - x0, y1 - y0)
    pixels = b"".join(row[3 * x0:3 * x1] for row in rows[y0:y1])
    return head + add_sensor_noise(pixels, seed=x0 * 7919 + y0 * 104729 + w)


def first_exif_segment(path):
    d = open(path, "rb").read()
    i = 2
    while i + 4 <= len(d) and d[i] == 0xFF:
        m, n = d[i + 1], struct.unpack(">H", d[i + 2:i + 4])[0]
        if m == 0xE1 and d[i + 4:i + 10] == b"Exif\0\0":
            return d[i:i + 2 + n]
        if m == 0xDA:
            break
        i += 2 + n
    return None


def strip_jfif(jpeg):
    """The stream without its SOI and leading APP0 JFIF segment."""
    assert jpeg[:2] == b"\xff\xd8"
    i = 2
    if jpeg[i:i + 2] == b"\xff\xe0":
        i += 2 + struct.unpack(">H", jpeg[i + 2:i + 4])[0]
    return jpeg[i:]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("outdir")
    ap.add_argument("--corpus", default=os.path.join(os.path.dirname(__file__), "..", "..", "shared", "corpus"))
    ap.add_argument("--sources", default=SOURCES)
    a = ap.parse_args()
    sources = sorted(f for f in os.listdir(a.sources) if f.lower().endswith(".jpg"))
    if not sources:
        raise SystemExit(f"no source photos in {a.sources}: apt-get install -y mate-backgrounds")
    exifs = [s for s in (first_exif_segment(os.path.join(a.corpus, f))
                         for f in sorted(os.listdir(a.corpus)) if f.endswith(".jpg")) if s]
    if not exifs:
        raise SystemExit(f"no Exif blocks in {a.corpus}")
    os.makedirs(a.outdir, exist_ok=True)
    n = total = 0
    for src in sources:
        ppm = subprocess.run(["djpeg", "-ppm", os.path.join(a.sources, src)],
                             stdout=subprocess.PIPE, check=True).stdout
        w, h, rows = read_ppm(ppm)
        for profile, options in PROFILES.items():
            cropped = crop_ppm(w, h, rows, CROPS[profile])
            coded = subprocess.run(["cjpeg"] + options, input=cropped, stdout=subprocess.PIPE,
                                   check=True).stdout
            photo = b"\xff\xd8" + exifs[n % len(exifs)] + strip_jfif(coded)
            name = "%s_%s.jpg" % (os.path.splitext(src)[0], profile)
            with open(os.path.join(a.outdir, name), "wb") as f:
                f.write(photo)
            n += 1
            total += len(photo)
    print(f"{n} sample photos, {total / n / 1e6:.2f} MB on average, in {a.outdir}", file=sys.stderr)


if __name__ == "__main__":
    main()
