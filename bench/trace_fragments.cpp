// What carving with -fragments decides for every candidate of an image, and
// every search the fragment search made on the way, as JSON lines (one per
// candidate) for bench/classify_fragment_misses.py:
//
//   {"soi": N, "kind": "pieces", "runs": [[offset, length], ...],
//    "why": "...", "first_stop": N,
//    "searches": [{"cut": N, "level": x, "reach": N,
//                  "chosen": N, "followed_to": N,
//                  "trials": [[block, usable, completes, rows, score], ...]}]}
//
// Offsets are bytes of the image; -1 stands for none.  The blocks are the
// boot sector's clusters, else 4096 bytes, as segsniff takes them.
//
//   trace_fragments <image>
#include <cstdio>
#include <string>

#include "jpeg/cluster_size.h"
#include "jpeg/photo_reassembly.h"
#include "mapped_file.h"

namespace {

using segsniff::no_position;
using segsniff::Offset;

long long number(Offset p) { return p == no_position ? -1 : static_cast<long long>(p); }

const char* kind_name(segsniff::PlannedPhoto::Kind kind) {
  switch (kind) {
    case segsniff::PlannedPhoto::Kind::whole: return "whole";
    case segsniff::PlannedPhoto::Kind::pieces: return "pieces";
    case segsniff::PlannedPhoto::Kind::incomplete: return "incomplete";
    case segsniff::PlannedPhoto::Kind::embedded: return "embedded";
    case segsniff::PlannedPhoto::Kind::no_frame: return "no_frame";
  }
  return "?";
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c >= ' ' ? c : ' ';
  }
  return out + "\"";
}

void print_searches(const segsniff::SearchLog::Photo& photo) {
  std::printf(", \"first_stop\": %lld, \"searches\": [", number(photo.first_stop));
  const char* comma = "";
  for (const segsniff::SearchLog::Search& s : photo.searches) {
    std::printf("%s{\"cut\": %lld, \"level\": %.3f, \"reach\": %lld, \"chosen\": %lld, "
                "\"followed_to\": %lld, \"trials\": [",
                comma, number(s.cut), s.level, number(s.trials.empty() ? no_position : s.trials.back().block),
                number(s.chosen), number(s.followed_to));
    const char* inner = "";
    for (const segsniff::SearchLog::Trial& t : s.trials) {
      std::printf("%s[%lld, %d, %d, %d, %.3f]", inner, number(t.block), t.usable ? 1 : 0,
                  t.completes ? 1 : 0, t.rows, t.score);
      inner = ", ";
    }
    std::printf("]}");
    comma = ", ";
  }
  std::printf("]");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <image>\n", argv[0]);
    return 1;
  }
  const MappedFile image(argv[1], 1);
  if (!image.ok()) return 1;
  const segsniff::ByteRegion input = segsniff::ByteRegion::over(image.base(), image.size());
  std::uint64_t block = segsniff::cluster_size_from_boot_sector(input);
  if (block == 0) block = segsniff::default_cluster_size;
  segsniff::SearchLog log;
  const std::vector<segsniff::PlannedPhoto> plan =
      segsniff::plan_photo_recovery(input, block, [](Offset) {}, &log);
  std::size_t next_log = 0;
  for (const segsniff::PlannedPhoto& photo : plan) {
    std::printf("{\"soi\": %lld, \"kind\": \"%s\", \"runs\": [", number(photo.soi), kind_name(photo.kind));
    const char* comma = "";
    for (const segsniff::ByteRun& run : photo.runs) {
      std::printf("%s[%lld, %llu]", comma, number(run.offset), static_cast<unsigned long long>(run.length));
      comma = ", ";
    }
    std::printf("], \"why\": %s", quoted(photo.why).c_str());
    // The log holds the photos searched, in the order of their SOIs.
    if (next_log < log.photos.size() && log.photos[next_log].soi == photo.soi)
      print_searches(log.photos[next_log++]);
    std::printf("}\n");
  }
  return 0;
}
