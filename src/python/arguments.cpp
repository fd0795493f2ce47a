#include "arguments.hpp"

#include <cmath>
#include <string>

#include "owned.hpp"

namespace binding {

namespace {

using Kind = Parameter::Kind;

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

bool out_of_range(PyObject* value, const char* parameter, const std::string& range) {
    PyErr_Format(PyExc_ValueError, "%s must be %s, not %R", parameter, range.c_str(), value);
    add_note(parameter);
    return false;
}

// Matches the keyword `keyword` with `value` to its parameter.
bool take_keyword(const Signature& signature, PyObject* keyword, PyObject* value, std::span<PyObject*> values) {
    const auto& parameters = signature.parameters;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].kind == Kind::Positional || PyUnicode_CompareWithASCIIString(keyword, parameters[i].name) != 0) {
            continue;
        }
        if (values[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", signature.qualname,
                         parameters[i].name);
            return false;
        }
        values[i] = value;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", signature.qualname, keyword);
    return false;
}

// Takes the positional arguments, then checks that every required parameter got one.
bool take_positional(const Signature& signature, PyObject* const* positional, std::size_t count,
                     std::span<PyObject*> values) {
    const auto& parameters = signature.parameters;
    std::size_t accepted = 0;
    while (accepted < parameters.size() && parameters[accepted].kind != Kind::KeywordOnly) ++accepted;
    if (count > accepted) return too_many_positional(signature.qualname, accepted, count);
    for (std::size_t i = 0; i < count; ++i) values[i] = positional[i];
    return true;
}

bool check_required(const Signature& signature, std::span<PyObject*> values) {
    const auto& parameters = signature.parameters;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (values[i] != nullptr || !parameters[i].required) continue;
        PyErr_Format(PyExc_TypeError, "%s missing 1 required %s argument: '%s'", signature.qualname,
                     parameters[i].kind == Kind::KeywordOnly ? "keyword-only" : "positional", parameters[i].name);
        return false;
    }
    return true;
}

}  // namespace

bool parse_arguments(const Signature& signature, PyObject* const* args, std::size_t nargsf, PyObject* kwnames,
                     std::span<PyObject*> values) {
    for (PyObject*& value : values) value = nullptr;
    const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (!take_positional(signature, args, nargs, values)) return false;
    const Py_ssize_t nkw = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        if (!take_keyword(signature, PyTuple_GET_ITEM(kwnames, i), args[nargs + static_cast<std::size_t>(i)], values)) {
            return false;
        }
    }
    return check_required(signature, values);
}

bool parse_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, std::span<PyObject*> values) {
    for (PyObject*& value : values) value = nullptr;
    const auto nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    if (!take_positional(signature, PySequence_Fast_ITEMS(args), nargs, values)) return false;
    if (kwargs != nullptr) {
        PyObject *keyword = nullptr, *value = nullptr;
        for (Py_ssize_t position = 0; PyDict_Next(kwargs, &position, &keyword, &value);) {
            if (!take_keyword(signature, keyword, value, values)) return false;
        }
    }
    return check_required(signature, values);
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

bool to_bounded(PyObject* value, const char* parameter, std::uint64_t minimum, std::uint64_t maximum,
                std::uint64_t& out) {
    Owned index(PyLong_Check(value) ? Py_NewRef(value) : PyNumber_Index(value));
    if (!index) {
        add_note(parameter);
        return false;
    }
    const unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
    if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) {
            add_note(parameter);
            return false;
        }
        PyErr_Clear();  // negative, or beyond 64 bits: out of range like any other
    } else if (converted >= minimum && converted <= maximum) {
        out = converted;
        return true;
    }
    return out_of_range(index.get(), parameter, "from " + std::to_string(minimum) + " to " + std::to_string(maximum));
}

bool to_real(PyObject* value, const char* parameter, double minimum, double maximum, double& out) {
    const double converted = PyFloat_AsDouble(value);
    if (converted == -1.0 && PyErr_Occurred()) {
        add_note(parameter);
        return false;
    }
    if (!std::isfinite(converted) || converted < minimum || converted > maximum) {
        Owned low(PyFloat_FromDouble(minimum)), high(PyFloat_FromDouble(maximum));
        if (!low || !high) return false;
        PyErr_Format(PyExc_ValueError, "%s must be a finite number from %R to %R, not %R", parameter, low.get(),
                     high.get(), value);
        add_note(parameter);
        return false;
    }
    out = converted;
    return true;
}

bool to_flag(PyObject* value, const char* parameter, bool& out) {
    const int truth = PyObject_IsTrue(value);
    if (truth < 0) {
        add_note(parameter);
        return false;
    }
    out = truth != 0;
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

bool to_choice(PyObject* value, const char* parameter, std::span<const std::string_view> names, std::size_t& out) {
    std::string_view text;
    if (!to_text(value, parameter, text)) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) {
            out = i;
            return true;
        }
    }
    std::string listed;
    for (std::string_view name : names) listed += (listed.empty() ? "" : ", ") + std::string(name);
    PyErr_Format(PyExc_ValueError, "%s must be one of %s, not %R", parameter, listed.c_str(), value);
    add_note(parameter);
    return false;
}

bool to_byte_span(PyObject* value, const char* parameter, std::span<const std::uint8_t>& out) {
    if (!PyBytes_Check(value)) return wrong_type(value, parameter, "bytes");
    out = std::span(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(value)),
                    static_cast<std::size_t>(PyBytes_GET_SIZE(value)));
    return true;
}

}  // namespace binding
