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

// The item's bits, zero- or sign-extended to 64.
std::uint64_t item_bits(const unsigned char* item, const IntegerFormat& format) {
    std::uint64_t bits = 0;
    for (std::size_t b = 0; b < format.size; ++b) {
        const std::size_t significance = format.big_endian ? format.size - 1 - b : b;
        bits |= static_cast<std::uint64_t>(item[b]) << (8 * significance);
    }
    if (!format.is_signed) return bits;
    const unsigned unused = 64 - 8 * static_cast<unsigned>(format.size);
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(bits << unused) >> unused);
}

std::int64_t read_integer(const unsigned char* item, const IntegerFormat& format) {
    const std::uint64_t bits = item_bits(item, format);
    if (format.is_signed) return static_cast<std::int64_t>(bits);
    return bits > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(bits);
}

bool wrong_count(std::size_t expected, Py_ssize_t given) {
    PyErr_Format(PyExc_ValueError, "Expected %zu actions, one per game, got %zd", expected, given);
    return false;
}

// A one-dimensional integer buffer of `value`, released on destruction.
class ActionBuffer {
public:
    explicit ActionBuffer(PyObject* value) {
        held_ = PyObject_GetBuffer(value, &view_, PyBUF_FORMAT | PyBUF_STRIDES) == 0;
        if (!held_) return;
        if (!integer_format(view_.format, static_cast<std::size_t>(view_.itemsize), format_)) {
            PyErr_Format(PyExc_TypeError, "Actions must be integers, got a buffer of format '%s'",
                         view_.format != nullptr ? view_.format : "B");
            valid_ = false;
        } else if (view_.ndim != 1) {
            PyErr_Format(PyExc_ValueError, "Actions must be one-dimensional, got %d dimensions", view_.ndim);
            valid_ = false;
        }
    }
    ActionBuffer(const ActionBuffer&) = delete;
    ActionBuffer& operator=(const ActionBuffer&) = delete;
    ~ActionBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }

    bool ok() const { return held_ && valid_; }
    std::size_t size() const { return static_cast<std::size_t>(view_.shape[0]); }
    const IntegerFormat& format() const { return format_; }
    // A C-contiguous exporter may give no strides: its stride is the item size.
    const unsigned char* item(std::size_t i) const {
        const Py_ssize_t stride = view_.strides != nullptr ? view_.strides[0] : view_.itemsize;
        return static_cast<const unsigned char*>(view_.buf) + static_cast<Py_ssize_t>(i) * stride;
    }

private:
    Py_buffer view_{};
    IntegerFormat format_{};
    bool held_ = false;
    bool valid_ = true;
};

bool read_buffer(PyObject* value, std::span<std::int64_t> out) {
    const ActionBuffer buffer(value);
    if (!buffer.ok()) return false;
    if (buffer.size() != out.size()) return wrong_count(out.size(), static_cast<Py_ssize_t>(buffer.size()));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = read_integer(buffer.item(i), buffer.format());
    return true;
}

bool read_sequence(PyObject* value, std::span<std::int64_t> out) {
    // Only a sequence of known length: an iterator could be endless.
    if (!PySequence_Check(value) || PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "Actions must be a buffer or sequence of integers, not '%s'",
                     Py_TYPE(value)->tp_name);
        return false;
    }
    const Py_ssize_t length = PySequence_Size(value);
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) != out.size()) return wrong_count(out.size(), length);
    // A private tuple, so that another thread changing a list cannot pull
    // items away while they are read.
    Owned items(PySequence_Tuple(value));
    if (!items) return false;
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

PyObject* action_at(PyObject* value, std::size_t slot) {
    if (!PyObject_CheckBuffer(value)) {
        Owned item(PySequence_GetItem(value, static_cast<Py_ssize_t>(slot)));
        return item ? PyNumber_Index(item.get()) : nullptr;
    }
    const ActionBuffer buffer(value);
    if (!buffer.ok()) return nullptr;
    if (slot >= buffer.size()) return PyErr_Format(PyExc_IndexError, "No action for slot %zu", slot);
    const std::uint64_t bits = item_bits(buffer.item(slot), buffer.format());
    return buffer.format().is_signed ? PyLong_FromLongLong(static_cast<long long>(bits))
                                     : PyLong_FromUnsignedLongLong(bits);
}

}  // namespace binding
