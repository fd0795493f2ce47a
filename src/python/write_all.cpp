#include "write_all.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "released.hpp"

namespace binding {

PyObject* write_all(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = 0;
        int error = 0;
        if (!run_released([&](common::Interrupt&) {
                written = ::write(fd, bytes.data() + done, bytes.size() - done);
                error = errno;
            })) {
            return nullptr;
        }
        if (written >= 0) {
            done += static_cast<std::size_t>(written);
        } else if (error != EINTR) {
            errno = error;
            return PyErr_SetFromErrno(PyExc_OSError);
        } else if (PyErr_CheckSignals() < 0) {
            return nullptr;
        }
    }
    Py_RETURN_NONE;
}

}  // namespace binding
