#pragma once

#include "compat.h"
#include "errors.hpp"
#include "game_object.hpp"

namespace binding {

// A new PyVexlan holding `game`.
PyObject* new_vexlan(PyTypeObject* type, const game::Game& game);

// A property getter's body: `read` (game -> new reference) under shared
// access, with C++ exceptions turned into Python ones.
template <class Read>
PyObject* read_game(PyObject* self, Read&& read) {
    return guarded([&]() -> PyObject* {
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        return read(static_cast<const game::Game&>(as_vexlan(self)->game));
    });
}

}  // namespace binding
