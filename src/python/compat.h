// Stand-ins for C API calls that the oldest supported interpreters lack.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#if PY_VERSION_HEX < 0x030C0000
// 3.11 keeps the raised exception as a (type, value, traceback) triple.
static inline PyObject* PyErr_GetRaisedException(void) {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == NULL) return NULL;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != NULL) PyException_SetTraceback(value, traceback);
    Py_DECREF(type);
    Py_XDECREF(traceback);
    return value;
}

static inline void PyErr_SetRaisedException(PyObject* exception) {
    if (exception == NULL) {
        PyErr_Clear();
        return;
    }
    PyErr_Restore(Py_NewRef((PyObject*)Py_TYPE(exception)), exception, PyException_GetTraceback(exception));
}
#endif
