#pragma once

#include <array>
#include <cstddef>

#include "compat.h"

namespace binding {

// The shape and element type of one of a batch's buffers.
struct BufferLayout {
    void* data;
    const char* format;  // a struct-module code: "B", "?", "i", "H" or "f"
    std::size_t item_size;
    int dimensions;
    std::array<Py_ssize_t, 4> shape;
};

// The exporter class behind the views, created on first call; borrowed, or
// null with an exception set.
PyTypeObject* buffer_type();

// A read-only memoryview of `layout`'s memory that keeps `owner` alive for
// as long as the view, or anything made from it, exists.
PyObject* buffer_view(PyObject* owner, const BufferLayout& layout);

}  // namespace binding
