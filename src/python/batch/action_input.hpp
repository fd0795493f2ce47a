#pragma once

#include <cstdint>
#include <span>

#include "compat.h"

namespace binding {

// Reads one action per slot into `out` from `value`: any object exporting a
// one-dimensional buffer of integers (numpy arrays, array.array, memoryview)
// of exactly out.size() items, or else a sequence of that many ints. Values
// beyond the 64-bit range are kept as the nearest 64-bit one, which no grid
// index equals. On failure raises TypeError or ValueError, and `out` may be
// partly written.
bool read_actions(PyObject* value, std::span<std::int64_t> out);

}  // namespace binding
