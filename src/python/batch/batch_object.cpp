#include "batch_object.hpp"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <string_view>
#include <thread>

#include "action_input.hpp"
#include "arguments.hpp"
#include "buffer_view.hpp"
#include "errors.hpp"
#include "game/scores.hpp"
#include "owned.hpp"
#include "released.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

PyBatchObject* as_batch(PyObject* self) { return reinterpret_cast<PyBatchObject*>(self); }

// Generous, and far below what would make the slices or the buffers overflow.
constexpr std::uint64_t MAX_THREADS = 1024;
constexpr std::uint64_t MAX_GAMES = std::uint64_t{1} << 20;

// The memory this process could still have: what the kernel says is
// available, or else all of it.
std::size_t available_memory() {
    if (std::FILE* info = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        unsigned long long kilobytes = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, info) != nullptr) {
            found = std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1;
        }
        std::fclose(info);
        if (found) return static_cast<std::size_t>(kilobytes) * 1024;
    }
    return static_cast<std::size_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// --- construction and lifetime ---

// The settings from the constructor's arguments; false with the exception set.
bool read_config(PyObject* args, PyObject* kwargs, batch::BatchConfig& config) {
    static constexpr Parameter PARAMETERS[] = {
        {"num_games"}, {"threads"}, {"seed"}, {"reward_mode"}, {"autoreset", Parameter::Kind::PositionalOrKeyword, false},
        {"dense_mask", Parameter::Kind::PositionalOrKeyword, false},
    };
    PyObject* values[std::size(PARAMETERS)];
    if (!parse_arguments({"Batch()", PARAMETERS}, args, kwargs, values)) return false;
    std::uint64_t games = 0, threads = 0;
    std::size_t mode = 0;
    if (!to_bounded(values[0], "num_games", 1, MAX_GAMES, games) ||
        !to_bounded(values[1], "threads", 1, MAX_THREADS, threads) || !to_index(values[2], "seed", config.seed) ||
        !to_choice(values[3], "reward_mode", game::REWARD_MODE_NAMES, mode) ||
        (values[4] != nullptr && !to_flag(values[4], "autoreset", config.autoreset)) ||
        (values[5] != nullptr && !to_flag(values[5], "dense_mask", config.dense_mask))) {
        return false;
    }
    config.games = static_cast<std::size_t>(games);
    // A worker without a game of its own would only wait.
    config.threads = static_cast<std::size_t>(std::min(threads, games));
    config.reward_mode = static_cast<game::RewardMode>(mode);
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores != 0 && config.threads > cores &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "%zu threads on %u cores: the workers will wait for each other; use at most %u",
                         config.threads, cores, cores) < 0) {
        return false;
    }
    const std::size_t needed = batch::GameBatch::memory_needed(config), available = available_memory();
    if (needed > available) {
        char message[200];
        std::snprintf(message, sizeof message,
                      "A batch of %zu games%s needs about %.1f GB of memory, more than the %.1f GB available",
                      config.games, config.dense_mask ? " with dense masks" : "", static_cast<double>(needed) / 1e9,
                      static_cast<double>(available) / 1e9);
        PyErr_SetString(PyExc_MemoryError, message);
        return false;
    }
    return true;
}

PyObject* batch_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        batch::BatchConfig config;
        if (!read_config(args, kwargs, config)) return nullptr;
        auto engine = std::make_unique<batch::GameBatch>(config);
        std::vector<std::int64_t> actions(config.games);
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        PyBatchObject* object = as_batch(self);
        new (&object->engine) std::unique_ptr<batch::GameBatch>(std::move(engine));
        new (&object->actions) std::vector<std::int64_t>(std::move(actions));
        new (&object->borrow) BorrowFlag();
        object->creator = getpid();
        return self;
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

// Access to a batch that can run here; false with RuntimeError set.
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
    const std::size_t games = as_batch(self)->engine->size();
    Owned index(PyNumber_Index(value));
    if (!index) return false;
    int overflow = 0;
    const long long slot = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (slot == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || slot < 0 || static_cast<unsigned long long>(slot) >= games) {
        PyErr_Format(PyExc_IndexError, "Slot %R out of range for a batch of %zu games", index.get(), games);
        return false;
    }
    out = static_cast<std::size_t>(slot);
    return true;
}

constexpr Parameter SLOT[] = {{"slot", Parameter::Kind::Positional}};

// --- methods ---

PyObject* step(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"actions", Parameter::Kind::Positional}};
        PyObject* actions = nullptr;
        if (!parse_arguments({"Batch.step()", PARAMETERS}, args, nargsf, kwnames, {&actions, 1})) return nullptr;
        PyBatchObject* object = as_batch(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access) || !read_actions(actions, object->actions)) return nullptr;
        std::optional<batch::IllegalAction> refused;
        if (!run_released([&](common::Interrupt&) { refused = object->engine->step(object->actions); })) return nullptr;
        if (refused) {
            Owned given(action_at(actions, refused->slot));
            if (!given) return nullptr;
            PyErr_Format(PyExc_ValueError, "Invalid action %S in slot %zu: Action index not available", given.get(),
                         refused->slot);
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* step_random(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        if (!parse_arguments({"Batch.step_random()", {}}, args, nargsf, kwnames, {})) return nullptr;
        PyBatchObject* object = as_batch(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access)) return nullptr;
        if (!run_released([&](common::Interrupt&) { object->engine->step_random(); })) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* reset(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"seed", Parameter::Kind::PositionalOrKeyword, false}};
        PyObject* seed = nullptr;
        if (!parse_arguments({"Batch.reset()", PARAMETERS}, args, nargsf, kwnames, {&seed, 1})) return nullptr;
        std::optional<std::uint64_t> seed_value;
        if (seed != nullptr && !to_optional_index(seed, "seed", seed_value)) return nullptr;
        PyBatchObject* object = as_batch(self);
        Access access(object->borrow, AccessKind::Exclusive, AfterFork::Rebuild);
        if (!usable(self, access)) return nullptr;
        if (!run_released([&](common::Interrupt&) { object->engine->reset(seed_value); })) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* slot = nullptr;
        if (!parse_arguments({"Batch.state()", SLOT}, args, nargsf, kwnames, {&slot, 1})) return nullptr;
        Access access(as_batch(self)->borrow, AccessKind::Shared);
        std::size_t index = 0;
        if (!access.ok() || !to_slot(self, slot, index)) return nullptr;
        const game::StateBytes bytes = as_batch(self)->engine->state(index);
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<Py_ssize_t>(bytes.size()));
    });
}

PyObject* legal(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* slot = nullptr;
        if (!parse_arguments({"Batch.legal()", SLOT}, args, nargsf, kwnames, {&slot, 1})) return nullptr;
        Access access(as_batch(self)->borrow, AccessKind::Shared);
        std::size_t index = 0;
        if (!access.ok() || !to_slot(self, slot, index)) return nullptr;
        const batch::Buffers& buffers = as_batch(self)->engine->buffers();
        return buffer_view(self, {buffers.legal_actions.data() + index * buffers.max_legal, "H", sizeof(std::uint16_t),
                                  1, {static_cast<Py_ssize_t>(buffers.legal_count[index])}});
    });
}

PyObject* load(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"slot"}, {"state"}};
        PyObject* values[2];
        if (!parse_arguments({"Batch.load()", PARAMETERS}, args, nargsf, kwnames, values)) return nullptr;
        Access access(as_batch(self)->borrow, AccessKind::Exclusive);
        std::size_t index = 0;
        std::span<const std::uint8_t> bytes;
        if (!usable(self, access) || !to_slot(self, values[0], index) || !to_byte_span(values[1], "state", bytes)) {
            return nullptr;
        }
        if (!as_batch(self)->engine->load(index, bytes)) {
            PyErr_SetString(PyExc_ValueError, "Invalid game state");
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

// A batch's workers and buffers are not to be shared by two objects, and
// copying them all is rarely what is meant: copies are refused, as pickles are.
PyObject* refuse_copy(PyObject*, PyObject* const*, std::size_t, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "A Batch cannot be copied; make a new one, and move games with state() and load()");
    return nullptr;
}

// --- buffers and settings ---

// A view of one buffer: the batch's games, then `extents`.
template <auto Field>
PyObject* get_buffer(PyObject* self, const char* format, std::initializer_list<Py_ssize_t> extents) {
    return guarded([&]() -> PyObject* {
        const batch::GameBatch& engine = *as_batch(self)->engine;
        const auto& buffer = engine.buffers().*Field;
        BufferLayout layout{buffer.data(), format, sizeof(buffer[0]), 1, {static_cast<Py_ssize_t>(engine.size())}};
        for (Py_ssize_t extent : extents) layout.shape[static_cast<std::size_t>(layout.dimensions++)] = extent;
        return buffer_view(self, layout);
    });
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
    {"step", METHOD(step), METH_FASTCALL | METH_KEYWORDS,
     "step($self, actions, /)\n--\n\nPlays one grid index per game, in each mover's frame; ValueError naming "
     "the first refused slot, and no change, if any is illegal."},
    {"step_random", METHOD(step_random), METH_FASTCALL | METH_KEYWORDS,
     "step_random($self, /)\n--\n\nPlays a uniformly random legal move in every game, from each slot's own "
     "seeded stream."},
    {"reset", METHOD(reset), METH_FASTCALL | METH_KEYWORDS,
     "reset($self, /, seed=None)\n--\n\nStarts a new game in every slot; a seed restarts the random streams."},
    {"state", METHOD(state), METH_FASTCALL | METH_KEYWORDS,
     "state($self, slot, /)\n--\n\nThe 278-byte state of one slot's game."},
    {"legal", METHOD(legal), METH_FASTCALL | METH_KEYWORDS,
     "legal($self, slot, /)\n--\n\nThe legal grid indices of one slot's mover: a view of its row of legal_actions."},
    {"load", METHOD(load), METH_FASTCALL | METH_KEYWORDS,
     "load($self, /, slot, state)\n--\n\nPuts a saved game into a slot and passes its done seats."},
    {"__copy__", METHOD(refuse_copy), METH_FASTCALL | METH_KEYWORDS, "__copy__($self)\n--\n\nRefused."},
    {"__deepcopy__", METHOD(refuse_copy), METH_FASTCALL | METH_KEYWORDS, "__deepcopy__($self, memo)\n--\n\nRefused."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef PROPERTIES[] = {
    {"agent", get_agent, nullptr, "The seat to move, per game.", nullptr},
    {"observation", get_observation, nullptr,
     "Occupied, corner and blocked planes of the four seats, in the mover's frame.", nullptr},
    {"pieces", get_pieces, nullptr, "The pieces each seat still has, seats counted from the mover.", nullptr},
    {"done", get_done, nullptr, "Whether each seat is out of moves, seats counted from the mover.", nullptr},
    {"rewards", get_rewards, nullptr,
     "The four seats' outcome on the step that ended a game, else zero; absolute seat order.", nullptr},
    {"terminated", get_terminated, nullptr,
     "Whether the last step ended the game (or it is over and not reset).", nullptr},
    {"legal_count", get_legal_count, nullptr, "How many legal moves the mover has.", nullptr},
    {"legal_actions", get_legal_actions, nullptr,
     "Row i starts with the mover's legal grid indices, legal_count[i] of them.", nullptr},
    {"action_mask", get_action_mask, nullptr, "The dense action masks, or None unless built with them.", nullptr},
    {"num_games", get_num_games, nullptr, "How many games the batch steps together.", nullptr},
    {"threads", get_threads, nullptr,
     "How many threads step them, the calling thread included (never more than the games).", nullptr},
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

PyTypeObject* batch_type() { return type_from_spec<&SPEC>(); }

}  // namespace binding
