#pragma once

#include <string_view>

#include "compat.h"

namespace binding {

// Writes all of `bytes` to file descriptor `fd` with the interpreter
// released, so other threads run while a full pipe blocks the write. A
// signal that interrupts it runs the Python handlers; the write then resumes
// from the bytes already written, unless a handler raised. Returns None, or
// null with the exception set.
//
// Must be called outside `guarded`, and never from a noexcept function: if
// the interpreter is finalizing when this thread takes it back, the thread
// is ended by a forced unwind that has to pass through every frame.
PyObject* write_all(int fd, std::string_view bytes);

}  // namespace binding
