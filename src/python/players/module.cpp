// The extension module `vexlan_rl._players`: the `Player` class,
// `play_games`, the arena, and `opening`, its games' random openings. The
// Python layer is vexlan_rl.players.

#include "play_games.hpp"
#include "compat.h"
#include "module_slots.hpp"
#include "player_object.hpp"

namespace binding {

namespace {

PyMethodDef FUNCTIONS[] = {
    {"play_games", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(play_games)),
     METH_FASTCALL | METH_KEYWORDS,
     "play_games(players, seed, first_game, count, threads, *, openings=0)\n--\n\n"
     "Plays games first_game .. first_game + count - 1 between four Players on `threads` threads. Game g "
     "seats player (s + g) % 4 in seat s and seeds the players from (seed, g, player), and opens with "
     "`openings` random placements (see opening()). Returns one (players by seat, scores, win shares, places, "
     "plies, moves) tuple per game, in game order; moves are the grid indices placed, each in its mover's "
     "frame, the opening's included. Ctrl-C stops every thread within about 0.1 s."},
    {"opening", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(opening)), METH_FASTCALL | METH_KEYWORDS,
     "opening(seed, game_number, openings)\n--\n\n"
     "The first `openings` placements of game `game_number` of play_games(..., seed, ..., openings=openings), "
     "each uniform over the legal ones, as grid indices in their movers' frames; fewer if the game ends "
     "first. Games 4k .. 4k + 3, which rotate one lineup through the seats, share their opening."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    PyTypeObject* type = player_type();
    if (type == nullptr) return -1;
    return PyModule_AddObjectRef(module, "Player", reinterpret_cast<PyObject*>(type));
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_players", "Engine players and the arena; see vexlan_rl.players.", 0, FUNCTIONS,
    module_slots<exec_module>(), nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__players(void) { return PyModuleDef_Init(&binding::DEFINITION); }
