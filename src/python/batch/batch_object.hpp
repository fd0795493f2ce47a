#pragma once

#include <memory>
#include <sys/types.h>
#include <vector>

#include "batch/game_batch.hpp"
#include "borrow.hpp"
#include "compat.h"

namespace binding {

// A Python batch: the engine's batch, the actions of the step being read,
// and the flag that arbitrates access (every call but the buffer getters,
// state() and legal() is exclusive).
struct PyBatchObject {
    PyObject_HEAD
    std::unique_ptr<batch::GameBatch> engine;
    std::vector<std::int64_t> actions;
    BorrowFlag borrow;
    pid_t creator;  // worker threads exist only in the process that made them
};

// The class, made on first call; borrowed, or null with an exception set.
PyTypeObject* batch_type();

}  // namespace binding
