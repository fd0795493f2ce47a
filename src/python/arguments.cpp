#include "arguments.hpp"

#include "owned.hpp"

namespace binding {

namespace {

void add_note(const char* parameter) {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) return;
    Owned note(PyUnicode_FromFormat("while processing '%s'", parameter));
    Owned result(note ? PyObject_CallMethod(raised, "add_note", "O", note.get()) : nullptr);
    if (!result) PyErr_Clear();
    PyErr_SetRaisedException(raised);
}

bool too_many_positional(const char* qualname, std::size_t expected, std::size_t given) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zu %s given", qualname, expected, given,
                 given == 1 ? "was" : "were");
    return false;
}

bool wrong_type(PyObject* value, const char* parameter, const char* expected) {
    if (value == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    } else {
        Owned name(PyType_GetQualName(Py_TYPE(value)));
        if (name) PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
    }
    add_note(parameter);
    return false;
}

}  // namespace

bool parse_arguments(const char* qualname, const char* parameter, PyObject* const* args, std::size_t nargsf,
                     PyObject* kwnames, PyObject** value) {
    const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    const std::size_t expected = parameter != nullptr ? 1 : 0;
    if (nargs > expected) return too_many_positional(qualname, expected, nargs);
    PyObject* found = nargs == 1 ? args[0] : nullptr;
    const Py_ssize_t nkw = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, i);
        if (parameter == nullptr || PyUnicode_CompareWithASCIIString(keyword, parameter) != 0) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", qualname, keyword);
            return false;
        }
        if (found != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", qualname, parameter);
            return false;
        }
        found = args[nargs + static_cast<std::size_t>(i)];
    }
    if (parameter != nullptr && found == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s missing 1 required positional argument: '%s'", qualname, parameter);
        return false;
    }
    if (value != nullptr) *value = found;
    return true;
}

bool parse_no_arguments(const char* qualname, PyObject* args, PyObject* kwargs) {
    const auto nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (nargs > 0) return too_many_positional(qualname, 0, nargs);
    if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
        PyObject* keyword = nullptr;
        Py_ssize_t position = 0;
        PyDict_Next(kwargs, &position, &keyword, nullptr);
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", qualname, keyword);
        return false;
    }
    return true;
}

bool to_index(PyObject* value, const char* parameter, std::uint64_t& out) {
    Owned index(PyLong_Check(value) ? Py_NewRef(value) : PyNumber_Index(value));
    if (index) {
        const unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
        if (converted != static_cast<unsigned long long>(-1) || !PyErr_Occurred()) {
            out = converted;
            return true;
        }
    }
    add_note(parameter);
    return false;
}

bool to_optional_index(PyObject* value, const char* parameter, std::optional<std::uint64_t>& out) {
    if (value == Py_None) {
        out.reset();
        return true;
    }
    std::uint64_t index = 0;
    if (!to_index(value, parameter, index)) return false;
    out = index;
    return true;
}

bool to_text(PyObject* value, const char* parameter, std::string_view& out) {
    if (!PyUnicode_Check(value)) return wrong_type(value, parameter, "str");
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &size);
    if (text == nullptr) {
        add_note(parameter);
        return false;
    }
    out = std::string_view(text, static_cast<std::size_t>(size));
    return true;
}

bool to_byte_span(PyObject* value, const char* parameter, std::span<const std::uint8_t>& out) {
    if (!PyBytes_Check(value)) return wrong_type(value, parameter, "bytes");
    out = std::span(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(value)),
                    static_cast<std::size_t>(PyBytes_GET_SIZE(value)));
    return true;
}

}  // namespace binding
