#include "released.hpp"

#include <atomic>

#include "owned.hpp"

namespace binding {

bool on_main_thread() {
    // Read once from threading.main_thread(): the C API has no public call for it.
    static std::atomic<unsigned long> main_ident{0};
    unsigned long ident = main_ident.load(std::memory_order_relaxed);
    if (ident == 0) {
        PyObject* raised = PyErr_GetRaisedException();
        Owned threading(PyImport_ImportModule("threading"));
        Owned thread(threading ? PyObject_CallMethod(threading.get(), "main_thread", nullptr) : nullptr);
        Owned number(thread ? PyObject_GetAttrString(thread.get(), "ident") : nullptr);
        ident = number ? PyLong_AsUnsignedLong(number.get()) : 0;
        PyErr_Clear();  // without the answer, no signal checks: the work still runs
        PyErr_SetRaisedException(raised);
        if (ident == static_cast<unsigned long>(-1)) ident = 0;
        main_ident.store(ident, std::memory_order_relaxed);
    }
    return ident != 0 && PyThread_get_thread_ident() == ident;
}

bool SignalCheck::check(void* self) {
    auto* signals = static_cast<SignalCheck*>(self);
    if (signals->raised != nullptr) return true;
    PyEval_RestoreThread(signals->thread);
    if (PyErr_CheckSignals() < 0) signals->raised = PyErr_GetRaisedException();
    signals->thread = PyEval_SaveThread();
    return signals->raised != nullptr;
}

}  // namespace binding
