// The extension module `vexlan_rl._search`: the Search class, a PUCT search
// over many games whose leaves a Python evaluator judges in batches. The
// Python layer is vexlan_rl.search.

#include "batch/buffer_view.hpp"
#include "compat.h"
#include "module_slots.hpp"
#include "search_object.hpp"

namespace binding {

namespace {

int exec_module(PyObject* module) {
    PyTypeObject* type = search_type();
    if (type == nullptr || buffer_type() == nullptr) return -1;
    return PyModule_AddObjectRef(module, "Search", reinterpret_cast<PyObject*>(type));
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_search", "A tree search over many games whose leaves are judged in batches.", 0,
    nullptr, module_slots<exec_module>(), nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__search(void) { return PyModuleDef_Init(&binding::DEFINITION); }
