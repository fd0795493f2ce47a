#pragma once

#include "compat.h"

namespace binding {

// Stores `value` (a new reference, or null when creating it failed) as the
// class attribute `name`. A failure becomes RuntimeError "An error occurred
// while initializing `<Class>.<name>`" caused by the original error.
bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value);

// GC support for instances that hold no Python references.
int traverse_type_only(PyObject* self, visitproc visit, void* arg);

// Deallocation shared by both classes: untrack, destroy, free, drop the type.
template <class Object>
void deallocate(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    reinterpret_cast<Object*>(self)->~Object();
    type->tp_free(self);
    Py_DECREF(type);
}

}  // namespace binding
