#include "jpeg/libjpeg_arena.h"

#include <jerror.h>
// The layout of the two modules jpeg_create_decompress makes, whose public
// parts are saved with the rest of the state.
#include <jpegint.h>

#include <cstring>

namespace segsniff {

namespace {

// The library's own allocator aligns to this (its SIMD routines load and
// store whole vectors, and may touch a row up to its aligned width).
constexpr std::size_t alignment = 32;

std::size_t aligned(std::size_t n) { return (n + alignment - 1) / alignment * alignment; }

static_assert(sizeof(jpeg_marker_reader) <= sizeof(LibjpegArena::Saved::marker));
static_assert(sizeof(jpeg_input_controller) <= sizeof(LibjpegArena::Saved::inputctl));

}  // namespace

// The memory manager the library calls: its method table first, so that
// cinfo->mem points at the whole.
struct LibjpegArena::Manager {
  jpeg_memory_mgr pub{};
  jpeg_memory_mgr* original = nullptr;
  LibjpegArena* arena = nullptr;
};

LibjpegArena::LibjpegArena()
    : manager_(std::make_unique<Manager>()), block_(new unsigned char[capacity]) {}

LibjpegArena::~LibjpegArena() = default;

LibjpegArena::Manager& LibjpegArena::manager_of(j_common_ptr cinfo) {
  return *reinterpret_cast<Manager*>(cinfo->mem);
}

void LibjpegArena::attach(jpeg_decompress_struct& cinfo) {
  Manager& m = *manager_;
  m.original = cinfo.mem;
  m.arena = this;
  m.pub = *cinfo.mem;
  m.pub.alloc_small = alloc_small;
  m.pub.alloc_large = alloc_small;
  m.pub.alloc_sarray = alloc_sarray;
  m.pub.alloc_barray = alloc_barray;
  m.pub.request_virt_sarray = request_virt_sarray;
  m.pub.request_virt_barray = request_virt_barray;
  m.pub.realize_virt_arrays = realize_virt_arrays;
  m.pub.free_pool = free_pool;
  m.pub.self_destruct = self_destruct;
  cinfo.mem = &m.pub;
}

void* LibjpegArena::take(j_common_ptr cinfo, std::size_t size) {
  const std::size_t need = aligned(size);
  if (need < size || need > capacity - used_) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  void* p = block_.get() + used_;
  used_ += need;
  return p;
}

void* LibjpegArena::alloc_small(j_common_ptr cinfo, int, std::size_t size) {
  return manager_of(cinfo).arena->take(cinfo, size);
}

JSAMPARRAY LibjpegArena::alloc_sarray(j_common_ptr cinfo, int, JDIMENSION samples_per_row,
                                      JDIMENSION rows) {
  LibjpegArena& arena = *manager_of(cinfo).arena;
  auto* table = static_cast<JSAMPARRAY>(arena.take(cinfo, sizeof(JSAMPROW) * rows));
  const std::size_t row_bytes = aligned(std::size_t{samples_per_row} * sizeof(JSAMPLE));
  for (JDIMENSION r = 0; r < rows; ++r) table[r] = static_cast<JSAMPROW>(arena.take(cinfo, row_bytes));
  return table;
}

JBLOCKARRAY LibjpegArena::alloc_barray(j_common_ptr cinfo, int, JDIMENSION blocks_per_row,
                                       JDIMENSION rows) {
  LibjpegArena& arena = *manager_of(cinfo).arena;
  auto* table = static_cast<JBLOCKARRAY>(arena.take(cinfo, sizeof(JBLOCKROW) * rows));
  const std::size_t row_bytes = std::size_t{blocks_per_row} * sizeof(JBLOCK);
  for (JDIMENSION r = 0; r < rows; ++r) table[r] = static_cast<JBLOCKROW>(arena.take(cinfo, row_bytes));
  return table;
}

jvirt_sarray_ptr LibjpegArena::request_virt_sarray(j_common_ptr cinfo, int, boolean, JDIMENSION,
                                                   JDIMENSION, JDIMENSION) {
  ERREXIT(cinfo, JERR_NOT_COMPILED);
  return nullptr;
}

jvirt_barray_ptr LibjpegArena::request_virt_barray(j_common_ptr cinfo, int, boolean, JDIMENSION,
                                                   JDIMENSION, JDIMENSION) {
  ERREXIT(cinfo, JERR_NOT_COMPILED);
  return nullptr;
}

// No virtual arrays are ever handed out, so there is nothing to realize.
void LibjpegArena::realize_virt_arrays(j_common_ptr) {}

// The arena is given back as a whole when the decompressor is destroyed; the
// library's own pools hold the two modules made before attach().
void LibjpegArena::free_pool(j_common_ptr cinfo, int pool_id) {
  Manager& m = manager_of(cinfo);
  cinfo->mem = m.original;  // the library's manager finds its pools through cinfo->mem
  m.original->free_pool(cinfo, pool_id);
  cinfo->mem = &m.pub;
}

void LibjpegArena::self_destruct(j_common_ptr cinfo) {
  jpeg_memory_mgr* original = manager_of(cinfo).original;
  cinfo->mem = original;
  original->self_destruct(cinfo);
}

void LibjpegArena::save(const jpeg_decompress_struct& cinfo, Saved& saved) const {
  saved.cinfo = cinfo;
  if (cinfo.marker != nullptr) std::memcpy(saved.marker.data(), cinfo.marker, sizeof(jpeg_marker_reader));
  if (cinfo.inputctl != nullptr)
    std::memcpy(saved.inputctl.data(), cinfo.inputctl, sizeof(jpeg_input_controller));
  saved.used = used_;
  saved.bytes.assign(block_.get(), block_.get() + used_);
}

void LibjpegArena::restore(jpeg_decompress_struct& cinfo, const Saved& saved) {
  cinfo = saved.cinfo;
  if (cinfo.marker != nullptr) std::memcpy(cinfo.marker, saved.marker.data(), sizeof(jpeg_marker_reader));
  if (cinfo.inputctl != nullptr)
    std::memcpy(cinfo.inputctl, saved.inputctl.data(), sizeof(jpeg_input_controller));
  used_ = saved.used;
  if (used_ > 0) std::memcpy(block_.get(), saved.bytes.data(), used_);
}

}  // namespace segsniff
