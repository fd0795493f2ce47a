#include "type_setup.hpp"

#include "owned.hpp"

namespace binding {

bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value) {
    Owned owned(value);
    if (owned && PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), name, owned.get()) == 0) return true;
    PyObject* cause = PyErr_GetRaisedException();
    Owned class_name(PyType_GetName(type));
    if (class_name) {
        PyErr_Format(PyExc_RuntimeError, "An error occurred while initializing `%U.%s`", class_name.get(), name);
    }
    PyObject* error = PyErr_GetRaisedException();
    if (error == nullptr) {  // the name itself could not be made: keep the original error
        PyErr_SetRaisedException(cause);
        return false;
    }
    PyException_SetCause(error, cause);
    PyErr_SetRaisedException(error);
    return false;
}

int traverse_type_only(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

}  // namespace binding
