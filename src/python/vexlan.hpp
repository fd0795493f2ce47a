#pragma once

#include "borrow.hpp"
#include "compat.h"
#include "game/game.hpp"
#include "panic.hpp"

namespace binding {

// A Python game object: one engine game held by value, and the flag that
// arbitrates access to it (step, reset and __setstate__ exclusive; every
// other member shared).
struct PyVexlanObject {
    PyObject_HEAD
    game::Game game;
    BorrowFlag borrow;
};

// The class, created with its class attributes on first call; borrowed, or
// null with an exception set.
PyTypeObject* vexlan_type();

// A new PyVexlan holding `game`.
PyObject* new_vexlan(PyTypeObject* type, const game::Game& game);

inline PyVexlanObject* as_vexlan(PyObject* self) { return reinterpret_cast<PyVexlanObject*>(self); }

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
