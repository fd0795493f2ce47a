#pragma once

#include <cstddef>

#include "compat.h"

namespace binding {

// PyVexlan.to_bytes() and __getstate__(): one operation under two names.
PyObject* to_bytes(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
PyObject* get_state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
// PyVexlan.__setstate__(state).
PyObject* set_state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
// The static method PyVexlan.from_bytes(data).
PyObject* from_bytes(PyObject* unused, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
// PyVexlan.copy() and __copy__(): one operation under two names.
PyObject* copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
PyObject* shallow_copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
// PyVexlan.__deepcopy__(_memo).
PyObject* deep_copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
// PyVexlan.render().
PyObject* render(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

}  // namespace binding
