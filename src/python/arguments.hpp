#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "compat.h"

namespace binding {

// One parameter of a method, function or constructor.
struct Parameter {
    enum class Kind : std::uint8_t { Positional, PositionalOrKeyword, KeywordOnly };
    const char* name;
    Kind kind = Kind::PositionalOrKeyword;
    bool required = true;  // an optional parameter left out gets a null value
};

// The parameter list of one callable, and the name its messages give it.
struct Signature {
    const char* qualname;  // e.g. "PyVexlan.step()"
    std::span<const Parameter> parameters;
};

// Checks an argument list against `signature` and sets values[i] to the
// argument given for parameter i (borrowed), or null where an optional one
// is left out; `values` has one entry per parameter. On failure raises
// TypeError in Python's own words, naming the callable. The first form takes
// a vectorcall argument list, the second a constructor's tuple and dict.
bool parse_arguments(const Signature& signature, PyObject* const* args, std::size_t nargsf, PyObject* kwnames,
                     std::span<PyObject*> values);
bool parse_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, std::span<PyObject*> values);

// Conversions of one argument. On failure the conversion's own exception is
// kept and gets the note "while processing '<parameter>'".

// An unsigned 64-bit integer: int or anything with __index__; OverflowError
// outside 0 .. 2**64 - 1.
bool to_index(PyObject* value, const char* parameter, std::uint64_t& out);
bool to_optional_index(PyObject* value, const char* parameter, std::optional<std::uint64_t>& out);
// An integer from `minimum` to `maximum`; ValueError naming the range otherwise.
bool to_bounded(PyObject* value, const char* parameter, std::uint64_t minimum, std::uint64_t maximum,
                std::uint64_t& out);
// A real number from `minimum` to `maximum`, neither infinite nor NaN.
bool to_real(PyObject* value, const char* parameter, double minimum, double maximum, double& out);
// Any object, by its truth value.
bool to_flag(PyObject* value, const char* parameter, bool& out);
bool to_text(PyObject* value, const char* parameter, std::string_view& out);
// One of `names`, by its position there; ValueError listing them otherwise.
bool to_choice(PyObject* value, const char* parameter, std::span<const std::string_view> names, std::size_t& out);
bool to_byte_span(PyObject* value, const char* parameter, std::span<const std::uint8_t>& out);

}  // namespace binding
