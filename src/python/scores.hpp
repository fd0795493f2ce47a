#pragma once

#include <cstddef>

#include "compat.h"

namespace binding {

// PyVexlan.outcome(mode).
PyObject* outcome(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

// The read-only properties `scores` and `rewards`.
PyObject* get_scores(PyObject* self, void*);
PyObject* get_rewards(PyObject* self, void*);

}  // namespace binding
