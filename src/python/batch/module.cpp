// The extension module `vexlan_rl._batch`: the Batch class, and the length
// of a legal-move row.

#include "batch/game_batch.hpp"
#include "batch_object.hpp"
#include "buffer_view.hpp"
#include "compat.h"
#include "module_slots.hpp"

namespace binding {

namespace {

int exec_module(PyObject* module) {
    PyTypeObject* batch = batch_type();
    if (batch == nullptr || buffer_type() == nullptr) return -1;
    if (PyModule_AddObjectRef(module, "Batch", reinterpret_cast<PyObject*>(batch)) < 0) return -1;
    const auto max_legal = static_cast<long>(game::ActionSet::get().actions.size());
    return PyModule_AddIntConstant(module, "MAX_LEGAL_ACTIONS", max_legal);
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_batch", "Many games stepped together on worker threads.", 0, nullptr,
    module_slots<exec_module>(),
    nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__batch(void) { return PyModuleDef_Init(&binding::DEFINITION); }
