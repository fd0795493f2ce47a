#pragma once

#include <cstddef>

#include "compat.h"

namespace binding {

// _players.play_games(players, seed, first_game, count, threads).
PyObject* play_games(PyObject* module, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

}  // namespace binding
