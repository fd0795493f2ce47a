#pragma once

#include "compat.h"

namespace binding {

// The slots of every extension module of the package: its execution step,
// no subinterpreters (the classes are process-wide objects, shared by every
// import), and no need of the GIL.
template <int (*Exec)(PyObject*)>
PyModuleDef_Slot* module_slots() {
    static PyModuleDef_Slot slots[] = {
        {Py_mod_exec, reinterpret_cast<void*>(Exec)},
#ifdef Py_mod_multiple_interpreters
        {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#ifdef Py_mod_gil
        {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
        {0, nullptr},
    };
    return slots;
}

}  // namespace binding
