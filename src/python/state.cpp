// Saving, restoring, copying and printing a game. Pickling needs nothing
// more than __getstate__ and __setstate__: the default object reduction
// makes a fresh PyVexlan() and hands it the saved state.

#include "state.hpp"

#include <unistd.h>

#include <optional>
#include <span>
#include <string>

#include "arguments.hpp"
#include "vexlan.hpp"
#include "write_all.hpp"

namespace binding {

namespace {

// Game::from_bytes of a bytes argument; on failure the exception is set.
std::optional<game::Game> restore(PyObject* argument, const char* parameter) {
    std::span<const std::uint8_t> bytes;
    if (!to_byte_span(argument, parameter, bytes)) return std::nullopt;
    auto restored = game::Game::from_bytes(bytes);
    if (!restored) PyErr_SetString(PyExc_ValueError, "Not a game state written by to_bytes() of this version");
    return restored;
}

PyObject* new_game_object(const game::Game& game) {
    PyTypeObject* type = vexlan_type();
    return type != nullptr ? new_vexlan(type, game) : nullptr;
}

// The state bytes under shared access, for the method named `qualname`.
PyObject* save(PyObject* self, const char* qualname, PyObject* const* args, std::size_t nargsf,
               PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        if (!parse_arguments({qualname, {}}, args, nargsf, kwnames, {})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        const game::StateBytes state = as_vexlan(self)->game.to_bytes();
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(state.data()),
                                         static_cast<Py_ssize_t>(state.size()));
    });
}

// A copy under shared access, for the method named `qualname` with no
// parameter or the one parameter `ignored`, whose value is never read.
PyObject* copy_of(PyObject* self, const char* qualname, const char* ignored, PyObject* const* args,
                  std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const Parameter parameters[] = {{ignored}};
        PyObject* unused = nullptr;
        const Signature signature = {qualname, std::span(parameters, ignored != nullptr ? 1 : 0)};
        if (!parse_arguments(signature, args, nargsf, kwnames, {&unused, ignored != nullptr ? 1u : 0u})) {
            return nullptr;
        }
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        return new_game_object(as_vexlan(self)->game);
    });
}

}  // namespace

// --- state bytes and pickling ---

PyObject* to_bytes(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return save(self, "PyVexlan.to_bytes()", args, nargsf, kwnames);
}

PyObject* get_state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return save(self, "PyVexlan.__getstate__()", args, nargsf, kwnames);
}

PyObject* set_state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"state"}};
        PyObject* argument = nullptr;
        if (!parse_arguments({"PyVexlan.__setstate__()", PARAMETERS}, args, nargsf, kwnames, {&argument, 1})) {
            return nullptr;
        }
        Access access(as_vexlan(self)->borrow, AccessKind::Exclusive, AfterFork::Rebuild);
        if (!access.ok()) return nullptr;
        const auto restored = restore(argument, "state");
        if (!restored) return nullptr;
        as_vexlan(self)->game = *restored;
        Py_RETURN_NONE;
    });
}

PyObject* from_bytes(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"data"}};
        PyObject* argument = nullptr;
        if (!parse_arguments({"PyVexlan.from_bytes()", PARAMETERS}, args, nargsf, kwnames, {&argument, 1})) {
            return nullptr;
        }
        const auto restored = restore(argument, "data");
        return restored ? new_game_object(*restored) : nullptr;
    });
}

// --- copies ---

PyObject* copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return copy_of(self, "PyVexlan.copy()", nullptr, args, nargsf, kwnames);
}

PyObject* shallow_copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return copy_of(self, "PyVexlan.__copy__()", nullptr, args, nargsf, kwnames);
}

PyObject* deep_copy(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return copy_of(self, "PyVexlan.__deepcopy__()", "_memo", args, nargsf, kwnames);
}

// --- printing ---

PyObject* render(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    std::string text;
    PyObject* formatted = guarded([&]() -> PyObject* {
        if (!parse_arguments({"PyVexlan.render()", {}}, args, nargsf, kwnames, {})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        text = as_vexlan(self)->game.text() + '\n';
        Py_RETURN_NONE;
    });
    if (formatted == nullptr) return nullptr;
    Py_DECREF(formatted);
    // Straight to file descriptor 1 with no buffer of our own, so nothing is
    // left behind if the process ends abruptly.
    return write_all(STDOUT_FILENO, text);
}

}  // namespace binding
