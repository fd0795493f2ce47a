#pragma once

#include <cstdint>
#include <span>

#include "compat.h"

namespace binding {

// Reads one action per slot into `out` from `value`: any object exporting a
// one-dimensional buffer of integers (numpy arrays, array.array, memoryview
// slices of any stride, ctypes arrays; any width and byte order) of exactly
// out.size() items, or else a sequence of that many ints. Values beyond the
// 64-bit signed range are kept as the nearest such value, which no grid
// index equals. On failure the exception is set: TypeError or ValueError for
// what is no list of actions, or whatever reading an item raised; `out` may
// then be partly written.
bool read_actions(PyObject* value, std::span<std::int64_t> out);

// The action that `value` (as read_actions accepted it) gives slot `slot`,
// as a Python int exactly as given: a new reference, or null with the
// exception set.
PyObject* action_at(PyObject* value, std::size_t slot);

}  // namespace binding
