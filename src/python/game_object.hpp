#pragma once

#include <optional>

#include "borrow.hpp"
#include "compat.h"
#include "game/game.hpp"

namespace binding {

// A Python game object: one engine game held by value, and the flag that
// arbitrates access to it (step, reset and __setstate__ exclusive; every
// other member shared). The batch, players and engine modules read and
// change it in place too: every module is built from the same source, so the
// layout is the same.
struct PyVexlanObject {
    PyObject_HEAD
    game::Game game;
    BorrowFlag borrow;
};

inline PyVexlanObject* as_vexlan(PyObject* self) { return reinterpret_cast<PyVexlanObject*>(self); }

// vexlan_rl._vexlan.PyVexlan: the game module makes it, the other modules
// look it up there. Borrowed, or null with an exception set.
PyTypeObject* vexlan_type();

// A PyVexlan given as argument `parameter`, held under its borrow flag for
// as long as this lives. Fails (ok() false, exception set) with TypeError
// when `object` is not a PyVexlan, or with the flag's RuntimeError.
class BorrowedGame {
public:
    BorrowedGame(PyObject* object, const char* parameter, AccessKind kind, AfterFork after_fork = AfterFork::Refuse);

    bool ok() const { return access_ && access_->ok(); }
    game::Game& game() const { return as_vexlan(object_)->game; }

private:
    PyObject* object_;
    std::optional<Access> access_;
};

}  // namespace binding
