// One block of memory that holds everything a libjpeg decompressor allocates
// once it has been created, so that its whole state can be saved and put
// back by copying bytes.
//
// The fragment search tries hundreds of blocks as the continuation of one
// place in a photo's data.  The library has no way to copy a decoder, but it
// allocates every table, buffer and module through the method pointers of
// its memory manager (jpeglib.h, struct jpeg_memory_mgr).  Aimed at this
// arena right after jpeg_create_decompress, those calls take memory from one
// block; the decoder's state is then that block, the decompress struct and
// the two modules made by jpeg_create_decompress itself (the marker reader
// and the input controller, of which only the public parts change once the
// scan data is being read).  Put back in place, every pointer in the block
// is valid again.
//
// Virtual arrays (multi-scan and buffered-image decoding) are not served:
// asking for one is an error, and such frames are not decoded this way.
#pragma once

// jpeglib.h needs the declarations of stdio.h and stddef.h before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

#include <array>
#include <memory>
#include <vector>

namespace segsniff {

class LibjpegArena {
 public:
  // Bytes the arena holds; a decoder of a baseline frame at one eighth of
  // its size takes a few tens of KiB.
  static constexpr std::size_t capacity = std::size_t{256} << 10;

  LibjpegArena();
  ~LibjpegArena();
  LibjpegArena(const LibjpegArena&) = delete;
  LibjpegArena& operator=(const LibjpegArena&) = delete;

  // Aims the allocations of `cinfo` here (call right after
  // jpeg_create_decompress).  The arena must outlive the decompressor.
  void attach(jpeg_decompress_struct& cinfo);

  // The decompressor's state: saved with save(), put back with restore().
  // The public parts of the two modules are kept as bytes (their types are
  // the library's internal ones).
  struct Saved {
    jpeg_decompress_struct cinfo{};
    std::array<unsigned char, 64> marker{};
    std::array<unsigned char, 64> inputctl{};
    std::size_t used = 0;
    std::vector<unsigned char> bytes;
  };
  void save(const jpeg_decompress_struct& cinfo, Saved& saved) const;
  void restore(jpeg_decompress_struct& cinfo, const Saved& saved);

 private:
  struct Manager;
  static Manager& manager_of(j_common_ptr cinfo);
  static void* alloc_small(j_common_ptr cinfo, int pool_id, std::size_t size);
  static JSAMPARRAY alloc_sarray(j_common_ptr cinfo, int pool_id, JDIMENSION samples_per_row,
                                 JDIMENSION rows);
  static JBLOCKARRAY alloc_barray(j_common_ptr cinfo, int pool_id, JDIMENSION blocks_per_row,
                                  JDIMENSION rows);
  static jvirt_sarray_ptr request_virt_sarray(j_common_ptr cinfo, int, boolean, JDIMENSION,
                                              JDIMENSION, JDIMENSION);
  static jvirt_barray_ptr request_virt_barray(j_common_ptr cinfo, int, boolean, JDIMENSION,
                                              JDIMENSION, JDIMENSION);
  static void realize_virt_arrays(j_common_ptr cinfo);
  static void free_pool(j_common_ptr cinfo, int pool_id);
  static void self_destruct(j_common_ptr cinfo);
  void* take(j_common_ptr cinfo, std::size_t size);

  std::unique_ptr<Manager> manager_;
  std::unique_ptr<unsigned char[]> block_;
  std::size_t used_ = 0;
};

}  // namespace segsniff
