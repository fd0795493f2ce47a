#pragma once

#include <atomic>

#include "compat.h"

namespace binding {

// Stores `value` (a new reference, or null when creating it failed) as the
// class attribute `name`. A failure becomes RuntimeError "An error occurred
// while initializing `<Class>.<name>`" caused by the original error.
bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value);

// The class made from `Spec`, created on first call (by the module's
// execution step, under the import lock) and kept for the process;
// borrowed, or null with an exception set.
template <PyType_Spec* Spec>
PyTypeObject* type_from_spec() {
    static std::atomic<PyTypeObject*> type{nullptr};
    if (PyTypeObject* existing = type.load(std::memory_order_acquire)) return existing;
    auto* created = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(Spec));
    if (created != nullptr) type.store(created, std::memory_order_release);
    return created;
}

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
