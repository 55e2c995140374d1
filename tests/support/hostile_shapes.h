// Crafted inputs whose listing would grow faster than their size if the
// limits on nested structures multiplied: one builder per shape, each
// scaled to a target size.  The tests run them small and check the bound;
// bench/make_hostile_input writes them at any size for the benchmark and
// the fuzz seeds.
#pragma once

#include <cstddef>
#include <span>

#include "support/bytes.h"

namespace segsniff::test {

struct HostileShape {
  const char* name;
  const char* what;  // the mechanism it stresses, one line
  // About `size` bytes of the shape (never more; a little less where the
  // structure does not divide evenly, and at least a minimal instance).
  Bytes (*make)(std::size_t size);
};

// Invariants: names unique, lower case with dashes (they name files); every
// builder yields a file that begins with FF D8.
std::span<const HostileShape> hostile_shapes();

const HostileShape* find_hostile_shape(const char* name);

}  // namespace segsniff::test
