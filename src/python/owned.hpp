#pragma once

#include "compat.h"

namespace binding {

// A strong reference, released when it goes out of scope.
class Owned {
public:
    Owned() = default;
    explicit Owned(PyObject* object) : object_(object) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    void reset(PyObject* object) {
        Py_XDECREF(object_);
        object_ = object;
    }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference over to the caller.
    PyObject* release() {
        PyObject* object = object_;
        object_ = nullptr;
        return object;
    }

private:
    PyObject* object_ = nullptr;
};

}  // namespace binding
