#include "action_input.hpp"

#include <bit>
#include <limits>
#include <string_view>

#include "owned.hpp"

namespace binding {

namespace {

struct IntegerFormat {
    std::size_t size;
    bool is_signed;
    bool big_endian;
};

// The struct-module integer codes, with an optional byte-order prefix.
bool integer_format(const char* format, std::size_t item_size, IntegerFormat& out) {
    std::string_view code = format != nullptr ? format : "B";
    bool big_endian = std::endian::native == std::endian::big;
    if (!code.empty() && std::string_view("@=<>!").find(code.front()) != std::string_view::npos) {
        if (code.front() == '<') big_endian = false;
        if (code.front() == '>' || code.front() == '!') big_endian = true;
        code.remove_prefix(1);
    }
    if (code.size() != 1 || std::string_view("bBhHiIlLqQnN").find(code.front()) == std::string_view::npos) {
        return false;
    }
    if (item_size != 1 && item_size != 2 && item_size != 4 && item_size != 8) return false;
    out = {item_size, code.front() >= 'a', big_endian};
    return true;
}

std::int64_t read_integer(const unsigned char* item, const IntegerFormat& format) {
    std::uint64_t bits = 0;
    for (std::size_t b = 0; b < format.size; ++b) {
        const std::size_t significance = format.big_endian ? format.size - 1 - b : b;
        bits |= static_cast<std::uint64_t>(item[b]) << (8 * significance);
    }
    if (format.is_signed) {
        const unsigned unused = 64 - 8 * static_cast<unsigned>(format.size);
        return static_cast<std::int64_t>(bits << unused) >> unused;
    }
    return bits > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(bits);
}

bool wrong_count(std::size_t expected, Py_ssize_t given) {
    PyErr_Format(PyExc_ValueError, "Expected %zu actions, one per game, got %zd", expected, given);
    return false;
}

bool read_buffer(PyObject* value, std::span<std::int64_t> out) {
    Py_buffer view;
    if (PyObject_GetBuffer(value, &view, PyBUF_FORMAT | PyBUF_STRIDES) < 0) return false;
    struct Release {
        Py_buffer* view;
        ~Release() { PyBuffer_Release(view); }
    } release{&view};
    IntegerFormat format;
    if (!integer_format(view.format, static_cast<std::size_t>(view.itemsize), format)) {
        PyErr_Format(PyExc_TypeError, "Actions must be integers, got a buffer of format '%s'",
                     view.format != nullptr ? view.format : "B");
        return false;
    }
    if (view.ndim != 1) {
        PyErr_Format(PyExc_ValueError, "Actions must be one-dimensional, got %d dimensions", view.ndim);
        return false;
    }
    if (static_cast<std::size_t>(view.shape[0]) != out.size()) return wrong_count(out.size(), view.shape[0]);
    const auto* start = static_cast<const unsigned char*>(view.buf);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = read_integer(start + static_cast<Py_ssize_t>(i) * view.strides[0], format);
    }
    return true;
}

bool read_sequence(PyObject* value, std::span<std::int64_t> out) {
    // A private tuple, so that another thread changing a list cannot pull
    // items away while they are read.
    Owned items(PySequence_Tuple(value));
    if (!items) {
        PyErr_Format(PyExc_TypeError, "Actions must be a buffer or sequence of integers, not '%s'",
                     Py_TYPE(value)->tp_name);
        return false;
    }
    const Py_ssize_t count = PyTuple_GET_SIZE(items.get());
    if (static_cast<std::size_t>(count) != out.size()) return wrong_count(out.size(), count);
    for (Py_ssize_t i = 0; i < count; ++i) {
        Owned index(PyNumber_Index(PyTuple_GET_ITEM(items.get(), i)));
        if (!index) return false;
        int overflow = 0;
        const long long action = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
        if (action == -1 && PyErr_Occurred()) return false;
        out[static_cast<std::size_t>(i)] = overflow > 0   ? std::numeric_limits<std::int64_t>::max()
                                           : overflow < 0 ? std::numeric_limits<std::int64_t>::min()
                                                          : action;
    }
    return true;
}

}  // namespace

bool read_actions(PyObject* value, std::span<std::int64_t> out) {
    return PyObject_CheckBuffer(value) ? read_buffer(value, out) : read_sequence(value, out);
}

}  // namespace binding
