#include "float_input.hpp"

#include <bit>
#include <cstring>
#include <string_view>

namespace binding {

namespace {

// "f" in the native byte order, with or without a prefix that says so.
bool native_float(const char* format) {
    std::string_view code = format != nullptr ? format : "B";
    constexpr std::string_view native = std::endian::native == std::endian::little ? "@=<" : "@=>!";
    if (code.size() == 2 && native.find(code.front()) != std::string_view::npos) code.remove_prefix(1);
    return code == "f";
}

}  // namespace

bool read_floats(PyObject* value, const char* parameter, std::vector<float>& out) {
    Py_buffer view;
    if (PyObject_GetBuffer(value, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
        PyErr_Format(PyExc_TypeError, "'%s' must be a C-contiguous float32 buffer, not %.100s", parameter,
                     Py_TYPE(value)->tp_name);
        return false;
    }
    const bool floats = view.itemsize == sizeof(float) && native_float(view.format);
    if (floats) {
        out.resize(static_cast<std::size_t>(view.len) / sizeof(float));
        std::memcpy(out.data(), view.buf, out.size() * sizeof(float));
    } else {
        PyErr_Format(PyExc_TypeError, "'%s' must hold float32 items, not format '%s'", parameter,
                     view.format != nullptr ? view.format : "B");
    }
    PyBuffer_Release(&view);
    return floats;
}

}  // namespace binding
