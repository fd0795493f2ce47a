#include "batch_object.hpp"

#include <initializer_list>
#include <new>
#include <string_view>
#include <unistd.h>

#include "action_input.hpp"
#include "arguments.hpp"
#include "buffer_view.hpp"
#include "game/scores.hpp"
#include "owned.hpp"
#include "panic.hpp"
#include "released.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

PyBatchObject* as_batch(PyObject* self) { return reinterpret_cast<PyBatchObject*>(self); }

// Generous, and far below what would make the slices or the buffers overflow.
constexpr std::size_t MAX_THREADS = 1024;
constexpr std::size_t MAX_GAMES = std::size_t{1} << 20;

// --- construction and lifetime ---

bool to_count(PyObject* value, const char* parameter, std::size_t maximum, std::size_t& out) {
    std::uint64_t count = 0;
    if (!to_index(value, parameter, count)) return false;
    if (count == 0 || count > maximum) {
        PyErr_Format(PyExc_ValueError, "%s must be from 1 to %zu, got %llu", parameter, maximum,
                     static_cast<unsigned long long>(count));
        return false;
    }
    out = static_cast<std::size_t>(count);
    return true;
}

bool to_reward_mode(PyObject* value, game::RewardMode& out) {
    std::string_view name;
    if (!to_text(value, "reward_mode", name)) return false;
    if (const auto mode = game::reward_mode_from_name(name)) {
        out = *mode;
        return true;
    }
    PyErr_Format(PyExc_ValueError, "Unknown reward mode %R; expected one of 'score', 'win_share', 'rank'", value);
    return false;
}

PyObject* batch_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"num_games", "threads", "seed", "reward_mode", "autoreset", "dense_mask",
                                         nullptr};
        PyObject *games = nullptr, *threads = nullptr, *seed = nullptr, *mode = nullptr;
        int autoreset = 1, dense_mask = 0;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|pp:Batch", const_cast<char**>(keywords), &games,
                                         &threads, &seed, &mode, &autoreset, &dense_mask)) {
            return nullptr;
        }
        batch::BatchConfig config;
        std::uint64_t seed_value = 0;
        if (!to_count(games, "num_games", MAX_GAMES, config.games) ||
            !to_count(threads, "threads", MAX_THREADS, config.threads) || !to_index(seed, "seed", seed_value) ||
            !to_reward_mode(mode, config.reward_mode)) {
            return nullptr;
        }
        config.seed = seed_value;
        config.autoreset = autoreset != 0;
        config.dense_mask = dense_mask != 0;

        Owned self(type->tp_alloc(type, 0));
        if (!self) return nullptr;
        PyBatchObject* object = as_batch(self.get());
        new (&object->engine) std::unique_ptr<batch::GameBatch>();
        new (&object->actions) std::vector<std::int64_t>(config.games);
        new (&object->borrow) BorrowFlag(0);
        object->creator = getpid();
        object->engine = std::make_unique<batch::GameBatch>(config);
        return self.release();
    });
}

void batch_deallocate(PyObject* self) {
    PyBatchObject* object = as_batch(self);
    // In a forked child the workers were never copied: joining them would
    // wait forever, so the engine is left behind instead.
    if (object->creator != getpid() && object->engine && object->engine->config().threads > 1) {
        static_cast<void>(object->engine.release());
    }
    deallocate<PyBatchObject>(self);
}

// Exclusive access to a batch that can run here; false with RuntimeError set.
bool usable(PyObject* self, Access& access) {
    if (!access.ok()) return false;
    const PyBatchObject* object = as_batch(self);
    if (object->creator != getpid() && object->engine->config().threads > 1) {
        PyErr_SetString(PyExc_RuntimeError,
                        "A batch's worker threads do not survive fork(); build a new batch in this process");
        return false;
    }
    return true;
}

bool to_slot(PyObject* self, PyObject* value, std::size_t& out) {
    std::uint64_t slot = 0;
    if (!to_index(value, "slot", slot)) return false;
    const std::size_t games = as_batch(self)->engine->size();
    if (slot >= games) {
        PyErr_Format(PyExc_IndexError, "Slot %llu out of range for a batch of %zu games",
                     static_cast<unsigned long long>(slot), games);
        return false;
    }
    out = static_cast<std::size_t>(slot);
    return true;
}

// --- methods ---

PyObject* step(PyObject* self, PyObject* actions) {
    PyBatchObject* object = as_batch(self);
    Access access(object->borrow, AccessKind::Exclusive);
    if (!usable(self, access) || !read_actions(actions, object->actions)) return nullptr;
    std::optional<batch::IllegalAction> refused;
    if (!run_released([&] { refused = object->engine->step(object->actions); })) return nullptr;
    if (refused) {
        PyErr_Format(PyExc_ValueError, "Invalid action %lld in slot %zu: Action index not available",
                     static_cast<long long>(refused->action), refused->slot);
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* step_random(PyObject* self, PyObject*) {
    PyBatchObject* object = as_batch(self);
    Access access(object->borrow, AccessKind::Exclusive);
    if (!usable(self, access)) return nullptr;
    if (!run_released([&] { object->engine->step_random(); })) return nullptr;
    Py_RETURN_NONE;
}

PyObject* reset(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"seed", nullptr};
    PyObject* seed = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:reset", const_cast<char**>(keywords), &seed)) return nullptr;
    std::optional<std::uint64_t> seed_value;
    if (!to_optional_index(seed, "seed", seed_value)) return nullptr;
    PyBatchObject* object = as_batch(self);
    Access access(object->borrow, AccessKind::Exclusive);
    if (!usable(self, access)) return nullptr;
    if (!run_released([&] { object->engine->reset(seed_value); })) return nullptr;
    Py_RETURN_NONE;
}

PyObject* state(PyObject* self, PyObject* slot) {
    return guarded([&]() -> PyObject* {
        Access access(as_batch(self)->borrow, AccessKind::Shared);
        std::size_t index = 0;
        if (!access.ok() || !to_slot(self, slot, index)) return nullptr;
        const game::StateBytes bytes = as_batch(self)->engine->state(index);
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<Py_ssize_t>(bytes.size()));
    });
}

PyObject* load(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"slot", "state", nullptr};
        PyObject *slot = nullptr, *state = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:load", const_cast<char**>(keywords), &slot, &state)) {
            return nullptr;
        }
        Access access(as_batch(self)->borrow, AccessKind::Exclusive);
        std::size_t index = 0;
        std::span<const std::uint8_t> bytes;
        if (!usable(self, access) || !to_slot(self, slot, index) || !to_byte_span(state, "state", bytes)) {
            return nullptr;
        }
        if (!as_batch(self)->engine->load(index, bytes)) {
            PyErr_SetString(PyExc_ValueError, "Invalid game state");
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

// --- buffers and settings ---

// A view of one buffer: the batch's games, then `extents`.
template <auto Field>
PyObject* get_buffer(PyObject* self, const char* format, std::initializer_list<Py_ssize_t> extents) {
    const batch::GameBatch& engine = *as_batch(self)->engine;
    const auto& buffer = engine.buffers().*Field;
    BufferLayout layout{buffer.data(), format, sizeof(buffer[0]), 1, {static_cast<Py_ssize_t>(engine.size())}};
    for (Py_ssize_t extent : extents) layout.shape[static_cast<std::size_t>(layout.dimensions++)] = extent;
    return buffer_view(self, layout);
}

constexpr Py_ssize_t SEATS = game::NUM_SEATS, SIDE = game::BOARD_SIZE;

PyObject* get_agent(PyObject* self, void*) { return get_buffer<&batch::Buffers::agent>(self, "B", {}); }
PyObject* get_observation(PyObject* self, void*) {
    return get_buffer<&batch::Buffers::observation>(self, "B", {game::PLANES, SIDE, SIDE});
}
PyObject* get_pieces(PyObject* self, void*) {
    return get_buffer<&batch::Buffers::pieces>(self, "B", {SEATS, game::NUM_PIECE_TYPES});
}
PyObject* get_done(PyObject* self, void*) { return get_buffer<&batch::Buffers::done>(self, "B", {SEATS}); }
PyObject* get_rewards(PyObject* self, void*) { return get_buffer<&batch::Buffers::rewards>(self, "f", {SEATS}); }
PyObject* get_terminated(PyObject* self, void*) {
    return get_buffer<&batch::Buffers::terminated>(self, "?", {});
}
PyObject* get_legal_count(PyObject* self, void*) {
    return get_buffer<&batch::Buffers::legal_count>(self, "i", {});
}
PyObject* get_legal_actions(PyObject* self, void*) {
    const auto row = static_cast<Py_ssize_t>(as_batch(self)->engine->buffers().max_legal);
    return get_buffer<&batch::Buffers::legal_actions>(self, "H", {row});
}
PyObject* get_action_mask(PyObject* self, void*) {
    if (!as_batch(self)->engine->config().dense_mask) Py_RETURN_NONE;
    return get_buffer<&batch::Buffers::action_mask>(self, "B", {game::NUM_GRID_POSITIONS});
}

PyObject* get_num_games(PyObject* self, void*) { return PyLong_FromSize_t(as_batch(self)->engine->size()); }
PyObject* get_threads(PyObject* self, void*) {
    return PyLong_FromSize_t(as_batch(self)->engine->config().threads);
}

#define METHOD(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef METHODS[] = {
    {"step", METHOD(step), METH_O,
     "step($self, actions, /)\n--\n\nPlays one grid index per game, in each mover's frame; ValueError naming "
     "the first refused slot, and no change, if any is illegal."},
    {"step_random", METHOD(step_random), METH_NOARGS,
     "step_random($self, /)\n--\n\nPlays a uniformly random legal move in every game, from each slot's own "
     "seeded stream."},
    {"reset", METHOD(reset), METH_VARARGS | METH_KEYWORDS,
     "reset($self, /, seed=None)\n--\n\nStarts a new game in every slot; a seed restarts the random streams."},
    {"state", METHOD(state), METH_O, "state($self, slot, /)\n--\n\nThe 278-byte state of one slot's game."},
    {"load", METHOD(load), METH_VARARGS | METH_KEYWORDS,
     "load($self, /, slot, state)\n--\n\nPuts a saved game into a slot and passes its done seats."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef PROPERTIES[] = {
    {"agent", get_agent, nullptr, "The seat to move, per game.",
     nullptr},
    {"observation", get_observation, nullptr,
     "Occupied, corner and blocked planes of the four seats, in the mover's frame.", nullptr},
    {"pieces", get_pieces, nullptr,
     "The pieces each seat still has, seats counted from the mover.", nullptr},
    {"done", get_done, nullptr,
     "Whether each seat is out of moves, seats counted from the mover.", nullptr},
    {"rewards", get_rewards, nullptr,
     "The four seats' outcome on the step that ended a game, else zero; absolute seat order.", nullptr},
    {"terminated", get_terminated, nullptr,
     "Whether the last step ended the game (or it is over and not reset).", nullptr},
    {"legal_count", get_legal_count, nullptr,
     "How many legal moves the mover has.", nullptr},
    {"legal_actions", get_legal_actions, nullptr,
     "Row i starts with the mover's legal grid indices, legal_count[i] of them.", nullptr},
    {"action_mask", get_action_mask, nullptr, "The dense action masks, or None unless built with them.", nullptr},
    {"num_games", get_num_games, nullptr, "How many games the batch steps together.", nullptr},
    {"threads", get_threads, nullptr, "How many threads step them, the calling thread included.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("Batch(num_games, threads, seed, reward_mode, autoreset=True, dense_mask=False)\n"
                                  "--\n\nMany games stepped together on worker threads.")},
    {Py_tp_new, reinterpret_cast<void*>(batch_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(batch_deallocate)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_methods, METHODS},
    {Py_tp_getset, PROPERTIES},
    {0, nullptr},
};

PyType_Spec SPEC = {
    "vexlan_rl._batch.Batch",
    sizeof(PyBatchObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    SLOTS,
};

}  // namespace

PyTypeObject* batch_type() {
    return type_from_spec<&SPEC>();
}

}  // namespace binding
