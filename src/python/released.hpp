#pragma once

#include <cstring>
#include <exception>
#include <new>

#include "compat.h"
#include "panic.hpp"

namespace binding {

// Runs `work` (engine code only: no Python object, no C API call) with the
// interpreter released, so that other threads run meanwhile. Returns false
// with PanicException or MemoryError set if it threw.
//
// Not noexcept and no catch (...), on purpose: a thread that takes the
// interpreter back while it shuts down is ended by a forced unwind, which
// must pass through this frame untouched.
template <class Work>
bool run_released(Work&& work) {
    enum class Failure { None, NoMemory, Fault } failure = Failure::None;
    char message[256] = {};
    PyThreadState* thread = PyEval_SaveThread();
    try {
        work();
    } catch (const std::bad_alloc&) {
        failure = Failure::NoMemory;
    } catch (const std::exception& fault) {
        failure = Failure::Fault;
        std::strncpy(message, fault.what(), sizeof message - 1);
    }
    PyEval_RestoreThread(thread);
    if (failure == Failure::NoMemory) PyErr_NoMemory();
    if (failure == Failure::Fault) raise_panic(message);
    return failure == Failure::None;
}

}  // namespace binding
