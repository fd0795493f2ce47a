#pragma once

#include <cstddef>

#include "compat.h"

namespace binding {

// _players.play_games(players, seed, first_game, count, threads, *, openings=0).
PyObject* play_games(PyObject* module, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

// _players.opening(seed, game_number, openings).
PyObject* opening(PyObject* module, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

}  // namespace binding
