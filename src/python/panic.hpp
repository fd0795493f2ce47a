#pragma once

#include <cxxabi.h>

#include <exception>
#include <new>

#include "compat.h"

namespace binding {

// PanicException: how an internal fault of the engine reaches Python. Its
// base is BaseException, so `except Exception` does not swallow it. Created
// once per process on first need; returns a borrowed reference, or null
// with an exception set. Each extension module links one definition: the
// game module creates the class, the others look up the game module's.
PyObject* panic_exception();

// Raises PanicException(message); always returns null.
PyObject* raise_panic(const char* message);

// Runs `body` (a callable returning a new reference or null with an
// exception set) so that no C++ exception crosses into the interpreter.
// The one exception let through is the forced unwind with which the C
// library ends a thread (the interpreter does so to a thread that takes it
// back while finalizing): swallowing it aborts the process, and a panic
// raised there would have no thread state to go to. For the same reason
// this is not noexcept.
template <class Body>
PyObject* guarded(Body&& body) {
    try {
        return body();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        return raise_panic(fault.what());
    } catch (...) {
        return raise_panic("unknown internal fault");
    }
}

}  // namespace binding
