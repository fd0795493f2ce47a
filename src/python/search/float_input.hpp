#pragma once

#include <vector>

#include "compat.h"

namespace binding {

// Copies `value`, any object exporting a C-contiguous buffer of 32-bit
// floats (a float32 numpy array, array.array('f'), ...) of any shape, into
// `out`, so that nothing the caller does afterwards reaches the engine. On
// failure TypeError, naming `parameter`, is set; `out` may then be partly
// written.
bool read_floats(PyObject* value, const char* parameter, std::vector<float>& out);

}  // namespace binding
