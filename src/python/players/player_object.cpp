// The `Player` class: builds a player from keyword settings and chooses moves
// for a PyVexlan read in place, with the interpreter released while it thinks.

#include "player_object.hpp"

#include <cstdio>
#include <new>
#include <optional>
#include <string>

#include "arguments.hpp"
#include "errors.hpp"
#include "game_object.hpp"
#include "owned.hpp"
#include "released.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

using players::SearchSettings;

PlayerObject* as_player(PyObject* self) { return reinterpret_cast<PlayerObject*>(self); }

constexpr Parameter::Kind KEYWORD = Parameter::Kind::KeywordOnly;
constexpr Parameter PARAMETERS[] = {
    {"kind"},
    {"seed", KEYWORD, false},
    {"simulations", KEYWORD, false},
    {"seconds", KEYWORD, false},
    {"threads", KEYWORD, false},
    {"playout", KEYWORD, false},
    {"reward_mode", KEYWORD, false},
    {"exploration", KEYWORD, false},
    {"widening", KEYWORD, false},
    {"max_nodes", KEYWORD, false},
};

// The settings from the constructor's arguments, the defaults of
// SearchSettings where one is left out; false with the exception set.
bool read_settings(PyObject* const values[], players::PlayerSettings& out, std::uint64_t& seed) {
    SearchSettings& search = out.search;
    std::size_t kind = 0, playout = 0, reward = static_cast<std::size_t>(search.reward);
    std::uint64_t simulations = search.simulations, threads = search.threads, max_nodes = search.max_nodes;
    double seconds = search.seconds;
    const bool read = to_choice(values[0], "kind", players::PLAYER_KIND_NAMES, kind) &&
                      (values[1] == nullptr || to_index(values[1], "seed", seed)) &&
                      (values[3] == nullptr || to_real(values[3], "seconds", 0, SearchSettings::MAX_SECONDS, seconds)) &&
                      // A time budget makes the simulation count moot.
                      (values[2] == nullptr || seconds > 0 ||
                       to_bounded(values[2], "simulations", 1, UINT32_MAX, simulations)) &&
                      (values[4] == nullptr || to_bounded(values[4], "threads", 1, SearchSettings::MAX_THREADS, threads)) &&
                      (values[5] == nullptr || to_choice(values[5], "playout", players::PLAYOUT_NAMES, playout)) &&
                      (values[6] == nullptr || to_choice(values[6], "reward_mode", game::REWARD_MODE_NAMES, reward)) &&
                      (values[7] == nullptr || to_real(values[7], "exploration", 0, HUGE_VAL, search.exploration)) &&
                      (values[8] == nullptr || to_real(values[8], "widening", 0, HUGE_VAL, search.widening)) &&
                      (values[9] == nullptr ||
                       to_bounded(values[9], "max_nodes", SearchSettings::MIN_NODES, UINT32_MAX, max_nodes));
    if (!read) return false;
    out.kind = static_cast<players::PlayerKind>(kind);
    search.playout = static_cast<players::PlayoutPolicy>(playout);
    search.reward = static_cast<game::RewardMode>(reward);
    search.simulations = static_cast<std::uint32_t>(simulations);
    search.seconds = seconds;
    search.threads = static_cast<std::uint32_t>(threads);
    search.max_nodes = static_cast<std::uint32_t>(max_nodes);
    return true;
}

PyObject* player_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        PyObject* values[std::size(PARAMETERS)];
        if (!parse_arguments({"Player()", PARAMETERS}, args, kwargs, values)) return nullptr;
        players::PlayerSettings settings;
        std::uint64_t seed = 0;
        if (!read_settings(values, settings, seed)) return nullptr;
        std::unique_ptr<players::Player> player = players::make_player(settings, seed);
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        PlayerObject* object = as_player(self);
        new (&object->settings) players::PlayerSettings(settings);
        new (&object->player) std::unique_ptr<players::Player>(std::move(player));
        new (&object->last_simulations) std::atomic<std::uint64_t>(0);
        new (&object->borrow) BorrowFlag();
        return self;
    });
}

// --- methods ---

PyObject* act(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter GAME[] = {{"game", Parameter::Kind::Positional}};
        PyObject* argument = nullptr;
        if (!parse_arguments({"Player.act()", GAME}, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        std::optional<game::Game> position;
        {
            const BorrowedGame borrowed(argument, "game", AccessKind::Shared);
            if (!borrowed.ok()) return nullptr;
            position = borrowed.game();  // the search thinks on its own copy, leaving the game free
        }
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
        // Every choice starts its search afresh, so one that a fork cut short leaves nothing behind.
        Access access(object->borrow, AccessKind::Exclusive, AfterFork::Rebuild);
        if (!access.ok()) return nullptr;
        std::optional<players::GridIndex> move;
        const bool searched = run_released([&](common::Interrupt& interrupt) {
            move = object->player->choose(*position, interrupt);
        });
        object->last_simulations.store(object->player->last_simulations(), std::memory_order_relaxed);
        if (!searched) return nullptr;
        if (!move) return raise_panic("a player found no move for a seat that has one");
        return PyLong_FromUnsignedLong(*move);
    });
}

PyObject* reseed(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter SEED[] = {{"seed", Parameter::Kind::Positional}};
        PyObject* argument = nullptr;
        if (!parse_arguments({"Player.reseed()", SEED}, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        std::uint64_t seed = 0;
        if (!to_index(argument, "seed", seed)) return nullptr;
        PlayerObject* object = as_player(self);
        Access access(object->borrow, AccessKind::Exclusive, AfterFork::Rebuild);
        if (!access.ok()) return nullptr;
        object->player->reseed(seed);
        Py_RETURN_NONE;
    });
}

PyObject* get_last_simulations(PyObject* self, void*) {
    return guarded([&] {
        return PyLong_FromUnsignedLongLong(as_player(self)->last_simulations.load(std::memory_order_relaxed));
    });
}

// --- the class ---

// A tuple of str, one per name.
template <std::size_t N>
PyObject* tuple_of_names(const std::array<std::string_view, N>& names) {
    Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(N)));
    if (!tuple) return nullptr;
    for (std::size_t j = 0; j < N; ++j) {
        PyObject* item = PyUnicode_FromStringAndSize(names[j].data(), static_cast<Py_ssize_t>(names[j].size()));
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(j), item);
    }
    return tuple.release();
}

PyObject* default_settings() {
    const SearchSettings defaults;
    const std::string_view playout = players::PLAYOUT_NAMES[static_cast<std::size_t>(defaults.playout)];
    const std::string_view reward = game::REWARD_MODE_NAMES[static_cast<std::size_t>(defaults.reward)];
    return Py_BuildValue("{sIsdsIss#ss#sdsdsI}", "simulations", defaults.simulations, "seconds", defaults.seconds,
                         "threads", defaults.threads, "playout", playout.data(),
                         static_cast<Py_ssize_t>(playout.size()), "reward_mode", reward.data(),
                         static_cast<Py_ssize_t>(reward.size()), "exploration", defaults.exploration, "widening",
                         defaults.widening, "max_nodes", defaults.max_nodes);
}

bool set_class_attributes(PyTypeObject* type) {
    return set_class_attribute(type, "KINDS", tuple_of_names(players::PLAYER_KIND_NAMES)) &&
           set_class_attribute(type, "PLAYOUTS", tuple_of_names(players::PLAYOUT_NAMES)) &&
           set_class_attribute(type, "DEFAULTS", default_settings()) &&
           set_class_attribute(type, "MAX_SECONDS", PyFloat_FromDouble(SearchSettings::MAX_SECONDS)) &&
           set_class_attribute(type, "MAX_THREADS", PyLong_FromUnsignedLong(SearchSettings::MAX_THREADS)) &&
           set_class_attribute(type, "MIN_NODES", PyLong_FromUnsignedLong(SearchSettings::MIN_NODES));
}

#define METHOD(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef METHODS[] = {
    {"act", METHOD(act), METH_FASTCALL | METH_KEYWORDS,
     "act($self, game, /)\n--\n\nThe grid index, in the mover's frame, of the move chosen for the agent to move in "
     "`game`, a PyVexlan."},
    {"reseed", METHOD(reseed), METH_FASTCALL | METH_KEYWORDS,
     "reseed($self, seed, /)\n--\n\nRestarts the player's random choices from `seed`, 0 to 2**64 - 1."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef GETSET[] = {
    {"last_simulations", get_last_simulations, nullptr,
     "Simulations run by the last act() of a tree search, over all its threads; 0 otherwise.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The class's docstring and text signature, with the defaults of SearchSettings.
const char* player_doc() {
    static const std::string doc = [] {
        const SearchSettings defaults;
        // Python's repr of a float: always with a point.
        const auto real = [](double value) {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", value);
            return std::string(text) + (std::string_view(text).find_first_of(".e") == std::string_view::npos ? ".0" : "");
        };
        return "Player(kind, *, seed=0, simulations=" + std::to_string(defaults.simulations) +
               ", seconds=" + real(defaults.seconds) + ", threads=" + std::to_string(defaults.threads) +
               ", playout='" + std::string(players::PLAYOUT_NAMES[static_cast<std::size_t>(defaults.playout)]) +
               "', reward_mode='" + std::string(game::REWARD_MODE_NAMES[static_cast<std::size_t>(defaults.reward)]) +
               "', exploration=" + real(defaults.exploration) + ", widening=" + real(defaults.widening) +
               ", max_nodes=" + std::to_string(defaults.max_nodes) +
               ")\n--\n\nAn engine player; see vexlan_rl.players. Its settings' defaults and bounds are class "
               "attributes.";
    }();
    return doc.c_str();
}

PyType_Slot SLOTS[] = {
    {Py_tp_new, reinterpret_cast<void*>(player_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<PlayerObject>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_methods, METHODS},
    {Py_tp_getset, GETSET},
    {Py_tp_doc, nullptr},  // player_doc(), set when the class is made
    {0, nullptr},
};

PyType_Spec SPEC = {"vexlan_rl._players.Player", sizeof(PlayerObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, SLOTS};

PyObject* make_player_type() {
    for (PyType_Slot& slot : SLOTS) {
        if (slot.slot == Py_tp_doc) slot.pfunc = const_cast<char*>(player_doc());
    }
    return make_type<&SPEC, set_class_attributes>();
}

}  // namespace

PyTypeObject* player_type() { return reinterpret_cast<PyTypeObject*>(made_once<make_player_type>()); }

}  // namespace binding
