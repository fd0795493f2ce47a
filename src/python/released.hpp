#pragma once


#include <exception>

#include "common/interrupt.hpp"
#include "compat.h"
#include "errors.hpp"

namespace binding {

// Whether the calling thread is the interpreter's main thread, the only one
// on which Python runs signal handlers. Needs the interpreter.
bool on_main_thread();

// What an interrupt's check needs to run Python's signal handlers from
// engine work: the released thread state, and what a handler raised.
struct SignalCheck {
    PyThreadState* thread = nullptr;
    PyObject* raised = nullptr;

    // Takes the interpreter back, runs the pending signal handlers and lets
    // go again; true (stop) once a handler raised, KeyboardInterrupt say.
    static bool check(void* self);
};

// Runs `work(interrupt)` (engine code only: no Python object, no C API call)
// with the interpreter released, so that other threads run meanwhile. On the
// main thread the interrupt runs Python's signal handlers every 50 ms, so
// that long work notices Ctrl-C; work that sees it stop returns early.
// Returns false with the Python exception set if the work threw, or if a
// signal handler raised (the work's results then mean nothing).
//
// Not noexcept and no catch-all that swallows, on purpose: a thread that
// takes the interpreter back while it shuts down is ended by a forced
// unwind, which must pass through this frame untouched. Signal handlers run
// only on the main thread, which never meets that unwind.
template <class Work>
bool run_released(Work&& work) {
    SignalCheck signals;
    const bool main = on_main_thread();
    std::exception_ptr failure;
    signals.thread = PyEval_SaveThread();
    {
        common::Interrupt interrupt(main ? SignalCheck::check : nullptr, &signals);
        try {
            work(interrupt);
        } catch (...) {
            failure = caught();
        }
    }
    PyEval_RestoreThread(signals.thread);
    if (failure) {
        Py_XDECREF(signals.raised);
        set_error(failure);
        return false;
    }
    if (signals.raised != nullptr) {
        PyErr_SetRaisedException(signals.raised);
        return false;
    }
    return true;
}

}  // namespace binding
