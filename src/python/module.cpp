// The extension module `vexlan_rl._vexlan`: no functions and no state of its
// own; its execution step adds the two classes and lists them in __all__.

#include "compat.h"
#include "module_slots.hpp"
#include "observation.hpp"
#include "owned.hpp"
#include "errors.hpp"
#include "vexlan.hpp"

namespace binding {

namespace {

// Appends `name` to the module's __all__ (creating it) and binds it to `type`.
bool add_class(PyObject* module, const char* name, PyTypeObject* type) {
    if (type == nullptr) return false;
    Owned all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all.reset(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    Owned text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
    return PyObject_SetAttrString(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_Format(PyExc_TypeError, "expected a module object, got '%s'", Py_TYPE(module)->tp_name);
        return -1;
    }
    if (!add_class(module, "PyVexlan", vexlan_type()) || !add_class(module, "PyObservation", observation_type())) {
        return -1;
    }
    // Not listed in __all__: reachable for `except` clauses only.
    PyObject* panic = panic_exception();
    return panic != nullptr ? PyModule_AddObjectRef(module, "PanicException", panic) : -1;
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_vexlan", "", 0, nullptr, module_slots<exec_module>(), nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__vexlan(void) { return PyModuleDef_Init(&binding::DEFINITION); }

#if PY_VERSION_HEX >= 0x030F0000 && defined(PyMODEXPORT_FUNC) && defined(Py_mod_name)
// The slot-based export form of the same module.
PyMODEXPORT_FUNC PyModExport__vexlan(void) {
#ifdef PyABIInfo_VAR
    static PyABIInfo_VAR(abi_info);
#endif
    static PyModuleDef_Slot slots[] = {
#ifdef PyABIInfo_VAR
        {Py_mod_abi, &abi_info},
#endif
        {Py_mod_name, const_cast<char*>("_vexlan")},
        {Py_mod_doc, const_cast<char*>("")},
        {Py_mod_exec, reinterpret_cast<void*>(binding::exec_module)},
        {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
        {Py_mod_gil, Py_MOD_GIL_NOT_USED},
        {0, nullptr},
    };
    return slots;
}
#endif
