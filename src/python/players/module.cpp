// The extension module `vexlan_rl._players`: the `Player` class and
// `play_games`, the arena. The Python layer is vexlan_rl.players.

#include <array>
#include <vector>

#include "compat.h"
#include "module_slots.hpp"
#include "panic.hpp"
#include "released.hpp"
#include "owned.hpp"
#include "player_object.hpp"
#include "players/arena.hpp"

namespace players_binding {

namespace {

constexpr unsigned long long MAX_ARENA_THREADS = 256;

// A tuple of the four values of `values`, each made by `make`.
template <class Values, class Make>
PyObject* seat_tuple(const Values& values, Make make) {
    binding::Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    if (!tuple) return nullptr;
    for (std::size_t s = 0; s < values.size(); ++s) {
        PyObject* item = make(values[s]);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(s), item);
    }
    return tuple.release();
}

PyObject* record_tuple(const players::GameRecord& record) {
    const auto as_int = [](auto value) { return PyLong_FromLong(value); };
    const auto as_float = [](float value) { return PyFloat_FromDouble(value); };
    binding::Owned player(seat_tuple(record.player, as_int));
    binding::Owned scores(player ? seat_tuple(record.scores, as_int) : nullptr);
    binding::Owned win_share(scores ? seat_tuple(record.win_share, as_float) : nullptr);
    binding::Owned place(win_share ? seat_tuple(record.place, as_float) : nullptr);
    if (!place) return nullptr;
    return Py_BuildValue("(OOOOi)", player.get(), scores.get(), win_share.get(), place.get(), record.plies);
}

PyObject* play_games(PyObject*, PyObject* args, PyObject* kwargs) {
    return binding::guarded([&]() -> PyObject* {
        static const char* keywords[] = {"players", "seed", "first_game", "count", "threads", nullptr};
        PyObject* lineup = nullptr;
        unsigned long long seed = 0, first_game = 0, threads = 1;
        Py_ssize_t count = 0;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OKKnK:play_games", const_cast<char**>(keywords), &lineup,
                                         &seed, &first_game, &count, &threads)) {
            return nullptr;
        }
        PyTypeObject* type = player_type();
        if (type == nullptr) return nullptr;
        binding::Owned sequence(PySequence_Fast(lineup, "players must be a sequence of four Player objects"));
        if (!sequence) return nullptr;
        if (PySequence_Fast_GET_SIZE(sequence.get()) != static_cast<Py_ssize_t>(players::NUM_PLAYERS)) {
            PyErr_Format(PyExc_ValueError, "players must hold exactly %zu players, one per seat, not %zd",
                         players::NUM_PLAYERS, PySequence_Fast_GET_SIZE(sequence.get()));
            return nullptr;
        }
        std::array<players::PlayerSettings, players::NUM_PLAYERS> settings;
        for (std::size_t p = 0; p < players::NUM_PLAYERS; ++p) {
            PyObject* item = PySequence_Fast_GET_ITEM(sequence.get(), static_cast<Py_ssize_t>(p));
            if (!PyObject_TypeCheck(item, type)) {
                PyErr_Format(PyExc_TypeError, "players[%zu] must be a Player, not '%s'", p,
                             Py_TYPE(item)->tp_name);
                return nullptr;
            }
            settings[p] = reinterpret_cast<PlayerObject*>(item)->settings;
        }
        if (count < 0) {
            PyErr_SetString(PyExc_ValueError, "count must be >= 0");
            return nullptr;
        }
        if (threads < 1 || threads > MAX_ARENA_THREADS) {
            PyErr_Format(PyExc_ValueError, "threads must be between 1 and %llu", MAX_ARENA_THREADS);
            return nullptr;
        }
        std::vector<players::GameRecord> records(static_cast<std::size_t>(count));
        if (!binding::run_released([&] {
                common::Interrupt never;
                players::play_games(settings, seed, first_game, records, static_cast<unsigned>(threads), never);
            })) {
            return nullptr;
        }
        binding::Owned list(PyList_New(count));
        if (!list) return nullptr;
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyObject* item = record_tuple(records[static_cast<std::size_t>(i)]);
            if (item == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), i, item);
        }
        return list.release();
    });
}

PyMethodDef FUNCTIONS[] = {
    {"play_games", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(play_games)),
     METH_VARARGS | METH_KEYWORDS,
     "play_games(players, seed, first_game, count, threads)\n--\n\n"
     "Plays games first_game .. first_game + count - 1 between four Players on `threads` threads. Game g "
     "seats player (s + g) % 4 in seat s and seeds the players from (seed, g, player). Returns one "
     "(players by seat, scores, win shares, places, plies) tuple per game, in game order."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    PyTypeObject* type = player_type();
    if (type == nullptr) return -1;
    return PyModule_AddObjectRef(module, "Player", reinterpret_cast<PyObject*>(type));
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_players", "Engine players and the arena; see vexlan_rl.players.", 0, FUNCTIONS,
    binding::module_slots<exec_module>(), nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace players_binding

PyMODINIT_FUNC PyInit__players(void) { return PyModuleDef_Init(&players_binding::DEFINITION); }
