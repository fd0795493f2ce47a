#include "errors.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

PyObject* make_panic_exception() {
    return PyErr_NewExceptionWithDoc("vexlan_rl._vexlan.PanicException",
                                     "An internal fault of the engine. Only the call that met it was abandoned.",
                                     PyExc_BaseException, nullptr);
}

}  // namespace

PyObject* panic_exception() { return made_once<make_panic_exception>(); }

}  // namespace binding
