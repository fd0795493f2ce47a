#include "panic.hpp"

namespace binding {

PyObject* raise_panic(const char* message) {
    if (PyObject* type = panic_exception()) PyErr_SetString(type, message);
    return nullptr;
}

}  // namespace binding
