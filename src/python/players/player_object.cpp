// The `Player` class: builds a player from keyword settings and chooses moves
// for game states given as bytes, with the interpreter released while it
// thinks.

#include "player_object.hpp"

#include <array>
#include <atomic>
#include <cmath>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "panic.hpp"
#include "released.hpp"
#include "game/game.hpp"
#include "game/scores.hpp"

namespace players_binding {

namespace {

using players::PlayerKind;
using players::PlayoutPolicy;

constexpr std::array<std::string_view, 3> KIND_NAMES = {"random", "greedy", "mcts"};
constexpr std::array<std::string_view, 2> PLAYOUT_NAMES = {"random", "greedy"};
constexpr std::uint32_t MAX_THREADS = 256;
constexpr unsigned long long MIN_NODES = 1024;

PlayerObject* as_player(PyObject* self) { return reinterpret_cast<PlayerObject*>(self); }

template <std::size_t N>
std::optional<std::size_t> find_name(const std::array<std::string_view, N>& names, const char* name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) return i;
    }
    return std::nullopt;
}

// Settings from the constructor's arguments; false with ValueError set
// when one is out of range.
bool read_settings(const char* kind, const char* playout, const char* reward_mode, unsigned long long simulations,
                   double seconds, unsigned long long threads, double exploration, double widening,
                   unsigned long long max_nodes, players::PlayerSettings& out) {
    const auto kind_index = find_name(KIND_NAMES, kind);
    const auto playout_index = find_name(PLAYOUT_NAMES, playout);
    const auto reward = game::reward_mode_from_name(reward_mode);
    if (!kind_index) {
        PyErr_Format(PyExc_ValueError, "kind must be one of random, greedy, mcts, not '%s'", kind);
    } else if (!playout_index) {
        PyErr_Format(PyExc_ValueError, "playout must be random or greedy, not '%s'", playout);
    } else if (!reward) {
        PyErr_Format(PyExc_ValueError, "reward_mode must be one of score, win_share, rank, not '%s'", reward_mode);
    } else if (!std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
        PyErr_SetString(PyExc_ValueError, "seconds must be between 0 (no time budget) and 86400");
    } else if (seconds == 0 && (simulations < 1 || simulations > UINT32_MAX)) {
        PyErr_SetString(PyExc_ValueError, "simulations must be between 1 and 2**32 - 1");
    } else if (threads < 1 || threads > MAX_THREADS) {
        PyErr_Format(PyExc_ValueError, "threads must be between 1 and %u", MAX_THREADS);
    } else if (!std::isfinite(exploration) || exploration < 0) {
        PyErr_SetString(PyExc_ValueError, "exploration must be a finite number >= 0");
    } else if (!std::isfinite(widening) || widening < 0) {
        PyErr_SetString(PyExc_ValueError, "widening must be a finite number >= 0 (0: consider every move)");
    } else if (max_nodes < MIN_NODES || max_nodes > UINT32_MAX) {
        PyErr_Format(PyExc_ValueError, "max_nodes must be between %llu and 2**32 - 1", MIN_NODES);
    } else {
        out.kind = static_cast<PlayerKind>(*kind_index);
        out.search.playout = static_cast<PlayoutPolicy>(*playout_index);
        out.search.reward = *reward;
        out.search.simulations = static_cast<std::uint32_t>(std::min<unsigned long long>(simulations, UINT32_MAX));
        out.search.seconds = seconds;
        out.search.threads = static_cast<std::uint32_t>(threads);
        out.search.exploration = exploration;
        out.search.widening = widening;
        out.search.max_nodes = static_cast<std::uint32_t>(max_nodes);
        return true;
    }
    return false;
}

PyObject* player_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"kind",      "seed",        "simulations", "seconds",   "threads",
                                     "playout",   "reward_mode", "exploration", "widening",  "max_nodes",
                                     nullptr};
    const char* kind = nullptr;
    unsigned long long seed = 0, simulations = 1000, threads = 1, max_nodes = 1u << 22;
    double seconds = 0, exploration = 1.0, widening = 2.0;
    const char* playout = "random";
    const char* reward_mode = "rank";
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "s|$KKdKssddK:Player", const_cast<char**>(keywords), &kind,
                                     &seed, &simulations, &seconds, &threads, &playout, &reward_mode,
                                     &exploration, &widening, &max_nodes)) {
        return nullptr;
    }
    players::PlayerSettings settings;
    if (!read_settings(kind, playout, reward_mode, simulations, seconds, threads, exploration, widening, max_nodes,
                       settings)) {
        return nullptr;
    }
    return binding::guarded([&]() -> PyObject* {
        std::unique_ptr<players::Player> player = players::make_player(settings, seed);
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        PlayerObject* object = as_player(self);
        new (&object->settings) players::PlayerSettings(settings);
        new (&object->player) std::unique_ptr<players::Player>(std::move(player));
        new (&object->busy) std::atomic<bool>(false);
        new (&object->last_simulations) std::atomic<std::uint64_t>(0);
        return self;
    });
}

void player_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PlayerObject* object = as_player(self);
    object->player.~unique_ptr();
    object->busy.~atomic();
    object->last_simulations.~atomic();
    object->settings.~PlayerSettings();
    type->tp_free(self);
    Py_DECREF(type);
}

// Claims the player for one call; false with RuntimeError set when another
// thread holds it.
bool claim(PlayerObject* object) {
    bool expected = false;
    if (object->busy.compare_exchange_strong(expected, true, std::memory_order_acquire)) return true;
    PyErr_SetString(PyExc_RuntimeError, "this player is choosing a move in another thread; "
                                        "use one player per thread");
    return false;
}

// The game of `state` (the bytes of PyVexlan.to_bytes()), or none with
// TypeError or ValueError set.
std::optional<game::Game> read_state(PyObject* state) {
    if (!PyBytes_Check(state)) {
        PyErr_Format(PyExc_TypeError, "state must be bytes from PyVexlan.to_bytes(), not '%s'",
                     Py_TYPE(state)->tp_name);
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(state));
    auto position = game::Game::from_bytes(std::span(data, static_cast<std::size_t>(PyBytes_GET_SIZE(state))));
    if (!position) PyErr_SetString(PyExc_ValueError, "state is not a game state written by PyVexlan.to_bytes()");
    return position;
}

PyObject* player_act(PyObject* self, PyObject* state) {
    const std::optional<game::Game> position = read_state(state);
    if (!position) return nullptr;
    if (position->over()) {
        PyErr_SetString(PyExc_ValueError, "the game is over: there is no move to choose");
        return nullptr;
    }
    if (position->is_done(position->seat_to_move())) {
        PyErr_Format(PyExc_ValueError, "agent %zu, the agent to move, is done: it can only pass with step(None)",
                     position->seat_to_move());
        return nullptr;
    }
    PlayerObject* object = as_player(self);
    if (!claim(object)) return nullptr;
    Py_INCREF(self);  // the search outlives no reference, even if the caller drops its own meanwhile
    std::optional<players::GridIndex> move;
    const bool searched = binding::run_released([&] { move = object->player->choose(*position); });
    object->last_simulations.store(object->player->last_simulations(), std::memory_order_relaxed);
    object->busy.store(false, std::memory_order_release);
    Py_DECREF(self);
    if (!searched) return nullptr;
    if (!move) return binding::raise_panic("a player found no move for a seat that has one");
    return PyLong_FromUnsignedLong(*move);
}

PyObject* player_reseed(PyObject* self, PyObject* seed_argument) {
    const unsigned long long seed = PyLong_AsUnsignedLongLongMask(seed_argument);
    if (seed == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return nullptr;
    PlayerObject* object = as_player(self);
    if (!claim(object)) return nullptr;
    object->player->reseed(seed);
    object->busy.store(false, std::memory_order_release);
    Py_RETURN_NONE;
}

PyObject* player_last_simulations(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(as_player(self)->last_simulations.load(std::memory_order_relaxed));
}

PyMethodDef METHODS[] = {
    {"act", player_act, METH_O,
     "act($self, state, /)\n--\n\nThe grid index, in the mover's frame, of the move chosen for the agent to move in "
     "the game whose PyVexlan.to_bytes() is `state`."},
    {"reseed", player_reseed, METH_O,
     "reseed($self, seed, /)\n--\n\nRestarts the player's random choices from `seed` (taken modulo 2**64)."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef GETSET[] = {
    {"last_simulations", player_last_simulations, nullptr,
     "Simulations run by the last act() of a tree search, over all its threads; 0 otherwise.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_new, reinterpret_cast<void*>(player_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(player_dealloc)},
    {Py_tp_methods, METHODS},
    {Py_tp_getset, GETSET},
    {Py_tp_doc, const_cast<char*>("Player(kind, *, seed=0, simulations=1000, seconds=0.0, threads=1, "
                                  "playout='random', reward_mode='rank', exploration=1.0, widening=2.0, "
                                  "max_nodes=4194304)\n--\n\nAn engine player; see vexlan_rl.players.")},
    {0, nullptr},
};

PyType_Spec SPEC = {
    "vexlan_rl._players.Player", sizeof(PlayerObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, SLOTS,
};

}  // namespace

PyTypeObject* player_type() {
    static std::atomic<PyObject*> created{nullptr};
    if (PyObject* existing = created.load(std::memory_order_acquire)) return reinterpret_cast<PyTypeObject*>(existing);
    PyObject* fresh = PyType_FromSpec(&SPEC);
    if (fresh == nullptr) return nullptr;
    PyObject* expected = nullptr;
    if (!created.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
        Py_DECREF(fresh);  // another thread won the race
        return reinterpret_cast<PyTypeObject*>(expected);
    }
    return reinterpret_cast<PyTypeObject*>(fresh);  // kept for the life of the process
}

}  // namespace players_binding
