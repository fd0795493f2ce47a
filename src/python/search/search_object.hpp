#pragma once

#include <memory>
#include <sys/types.h>
#include <vector>

#include "borrow.hpp"
#include "compat.h"
#include "search/search_batch.hpp"

namespace binding {

// A Python search over many games: the engine's search batch, copies of the
// last actions and evaluation read, and the flag that arbitrates access
// (every call but the buffer getters and state() is exclusive).
struct PySearchObject {
    PyObject_HEAD
    std::unique_ptr<search::SearchBatch> engine;
    std::vector<std::int64_t> actions;
    std::vector<float> priors, values;
    BorrowFlag borrow;
    pid_t creator;  // worker threads exist only in the process that made them
};

// The class, made on first call; borrowed, or null with an exception set.
PyTypeObject* search_type();

}  // namespace binding
