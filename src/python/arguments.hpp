#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "compat.h"

namespace binding {

// Checks a vectorcall argument list against a method's parameter list: none
// (`parameter` null) or exactly one required parameter, by position or
// keyword. On success `*value` is the argument (borrowed) when there is a
// parameter. On failure raises TypeError naming `qualname`, e.g.
// "PyVexlan.step()".
bool parse_arguments(const char* qualname, const char* parameter, PyObject* const* args, std::size_t nargsf,
                     PyObject* kwnames, PyObject** value);

// The same check for a constructor without parameters, from its tuple and dict.
bool parse_no_arguments(const char* qualname, PyObject* args, PyObject* kwargs);

// Conversions of one argument. On failure the conversion's own exception is
// kept and gets the note "while processing '<parameter>'".
bool to_index(PyObject* value, const char* parameter, std::uint64_t& out);
bool to_optional_index(PyObject* value, const char* parameter, std::optional<std::uint64_t>& out);
bool to_text(PyObject* value, const char* parameter, std::string_view& out);
bool to_byte_span(PyObject* value, const char* parameter, std::span<const std::uint8_t>& out);

}  // namespace binding
