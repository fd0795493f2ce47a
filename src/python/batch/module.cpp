// The extension module `vexlan_rl._batch`: the Batch class, and the length
// of a legal-move row.

#include "batch/game_batch.hpp"
#include "batch_object.hpp"
#include "buffer_view.hpp"
#include "compat.h"

namespace binding {

namespace {

int exec_module(PyObject* module) {
    PyTypeObject* batch = batch_type();
    if (batch == nullptr || buffer_type() == nullptr) return -1;
    if (PyModule_AddObjectRef(module, "Batch", reinterpret_cast<PyObject*>(batch)) < 0) return -1;
    const auto max_legal = static_cast<long>(game::ActionSet::get().actions.size());
    return PyModule_AddIntConstant(module, "MAX_LEGAL_ACTIONS", max_legal);
}

PyModuleDef_Slot SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_multiple_interpreters
    // The classes are process-wide objects, shared by every import.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_batch", "Many games stepped together on worker threads.", 0, nullptr, SLOTS,
    nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__batch(void) { return PyModuleDef_Init(&binding::DEFINITION); }
