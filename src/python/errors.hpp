#pragma once

#include <exception>

#include "compat.h"

namespace binding {

// PanicException: how an internal fault of the engine reaches Python. Its
// base is BaseException, so `except Exception` does not swallow it. Made
// once per process; returns a borrowed reference, or null with an exception
// set. The game module makes the class; the others take the game module's,
// so that one `except` clause catches the faults of every module.
PyObject* panic_exception();

// Raises PanicException(message); always returns null.
PyObject* raise_panic(const char* message);

// Sets the Python exception for a C++ one that engine work threw: MemoryError
// for memory that could not be had, OSError for what the system refused (a
// thread it would not start, say), PanicException for anything else, which
// is an internal fault.
void set_error(const std::exception_ptr& failure);

// The exception being handled, to be called only inside a catch (...)
// handler. One that is not a C++ exception has no exception_ptr: that is the
// forced unwind with which the C library ends a thread (the interpreter does
// so to a thread that takes it back while finalizing), and it is rethrown,
// since swallowing it aborts the process and an error raised there would
// have no thread state to go to. Told apart this way rather than by
// `catch (abi::__forced_unwind&)`, which binds a reference to an object that
// does not exist.
inline std::exception_ptr caught() {
    std::exception_ptr failure = std::current_exception();
    if (!failure) throw;
    return failure;
}

// Runs `body` (a callable returning a new reference or null with an exception
// set) so that no C++ exception crosses into the interpreter. Every entry
// point of every module runs inside it. Not noexcept, so that the forced
// unwind passes through.
template <class Body>
PyObject* guarded(Body&& body) {
    try {
        return body();
    } catch (...) {
        set_error(caught());
        return nullptr;
    }
}

// The same for a body that returns 0, or -1 with an exception set (slots
// such as tp_init or getbuffer).
template <class Body>
int guarded_status(Body&& body) {
    try {
        return body();
    } catch (...) {
        set_error(caught());
        return -1;
    }
}

}  // namespace binding
