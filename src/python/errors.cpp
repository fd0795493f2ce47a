#include "errors.hpp"

#include <new>
#include <system_error>

namespace binding {

PyObject* raise_panic(const char* message) {
    if (PyObject* type = panic_exception()) PyErr_SetString(type, message);
    return nullptr;
}

void set_error(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::system_error& refused) {
        PyErr_Format(PyExc_OSError, "[Errno %d] %s", refused.code().value(), refused.what());
    } catch (const std::exception& fault) {
        raise_panic(fault.what());
    } catch (...) {
        raise_panic("unknown internal fault");
    }
}

}  // namespace binding
