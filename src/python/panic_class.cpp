#include <atomic>

#include "panic.hpp"

namespace binding {

PyObject* panic_exception() {
    static std::atomic<PyObject*> created{nullptr};
    if (PyObject* existing = created.load(std::memory_order_acquire)) return existing;
    PyObject* fresh = PyErr_NewExceptionWithDoc(
        "vexlan_rl._vexlan.PanicException",
        "An internal fault of the engine. Only the call that met it was abandoned.", PyExc_BaseException, nullptr);
    if (fresh == nullptr) return nullptr;
    PyObject* expected = nullptr;
    if (!created.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
        Py_DECREF(fresh);  // another thread won the race
        return expected;
    }
    return fresh;  // kept for the life of the process
}

}  // namespace binding
