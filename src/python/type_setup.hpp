#pragma once

#include <atomic>

#include "compat.h"

namespace binding {

// The object that `Make` returns (a new reference, or null with an exception
// set), made on the first call and kept for the process: every class and
// exception type of the package is made this way. Returns a borrowed
// reference, or null with an exception set. Concurrent first calls may each
// make one; the first kept wins and the others are dropped.
template <PyObject* (*Make)()>
PyObject* made_once() {
    static std::atomic<PyObject*> made{nullptr};
    if (PyObject* existing = made.load(std::memory_order_acquire)) return existing;
    PyObject* fresh = Make();
    if (fresh == nullptr) return nullptr;
    PyObject* expected = nullptr;
    if (!made.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
        Py_DECREF(fresh);
        return expected;
    }
    return fresh;
}

// A class made from `Spec`; `Finish` then sets its class attributes (true on
// success, false with an exception set).
inline bool no_class_attributes(PyTypeObject*) { return true; }

template <PyType_Spec* Spec, bool (*Finish)(PyTypeObject*) = no_class_attributes>
PyObject* make_type() {
    PyObject* type = PyType_FromSpec(Spec);
    if (type != nullptr && !Finish(reinterpret_cast<PyTypeObject*>(type))) Py_CLEAR(type);
    return type;
}

template <PyType_Spec* Spec, bool (*Finish)(PyTypeObject*) = no_class_attributes>
PyTypeObject* type_from_spec() {
    return reinterpret_cast<PyTypeObject*>(made_once<make_type<Spec, Finish>>());
}

// Stores `value` (a new reference, or null when creating it failed) as the
// class attribute `name`. A failure becomes RuntimeError "An error occurred
// while initializing `<Class>.<name>`" caused by the original error.
bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value);

// GC support for instances that hold no Python references: every class of
// the package is GC-tracked, and its instances visit their heap type.
int traverse_type_only(PyObject* self, visitproc visit, void* arg);

// Deallocation shared by the classes: untrack, destroy, free, drop the type.
template <class Object>
void deallocate(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    reinterpret_cast<Object*>(self)->~Object();
    type->tp_free(self);
    Py_DECREF(type);
}

}  // namespace binding
