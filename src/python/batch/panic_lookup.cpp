#include <atomic>

#include "owned.hpp"
#include "panic.hpp"

namespace binding {

// The game module's PanicException, so that one `except` clause catches the
// faults of every module of the package.
PyObject* panic_exception() {
    static std::atomic<PyObject*> found{nullptr};
    if (PyObject* existing = found.load(std::memory_order_acquire)) return existing;
    Owned module(PyImport_ImportModule("vexlan_rl._vexlan"));
    Owned type(module ? PyObject_GetAttrString(module.get(), "PanicException") : nullptr);
    if (!type) return nullptr;
    PyObject* expected = nullptr;
    if (!found.compare_exchange_strong(expected, type.get(), std::memory_order_acq_rel)) return expected;
    return type.release();  // kept for the life of the process
}

}  // namespace binding
