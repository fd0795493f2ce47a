// The `Search` class: many games with their search trees, searched in rounds
// whose leaves Python evaluates. Every call checks its arguments, takes
// access, and runs the engine's search with the interpreter released.

#include "search_object.hpp"

#include <unistd.h>

#include <cmath>
#include <new>
#include <thread>

#include "arguments.hpp"
#include "batch/action_input.hpp"
#include "batch/buffer_view.hpp"
#include "errors.hpp"
#include "float_input.hpp"
#include "game/scores.hpp"
#include "owned.hpp"
#include "released.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

PySearchObject* as_search(PyObject* self) { return reinterpret_cast<PySearchObject*>(self); }

// Generous, and far below what would make the trees or the buffers overflow.
constexpr std::uint64_t MAX_THREADS = 1024;
constexpr std::uint64_t MAX_GAMES = std::uint64_t{1} << 16;
constexpr std::uint64_t MAX_LEAVES = 256;
constexpr std::uint64_t MIN_NODES = std::uint64_t{1} << 16;  // room for any root's children

// --- construction and lifetime ---

constexpr Parameter::Kind KEYWORD = Parameter::Kind::KeywordOnly;
constexpr Parameter PARAMETERS[] = {
    {"num_games"},
    {"threads"},
    {"seed"},
    {"simulations", KEYWORD, false},
    {"leaves", KEYWORD, false},
    {"exploration", KEYWORD, false},
    {"noise_alpha", KEYWORD, false},
    {"noise_fraction", KEYWORD, false},
    {"temperature", KEYWORD, false},
    {"reward_mode", KEYWORD, false},
    {"autoreset", KEYWORD, false},
    {"max_nodes", KEYWORD, false},
};

bool to_float(PyObject* value, const char* parameter, double minimum, double maximum, float& out) {
    double read = out;
    if (value != nullptr && !to_real(value, parameter, minimum, maximum, read)) return false;
    out = static_cast<float>(read);
    return true;
}

// The settings from the constructor's arguments, SearchConfig's defaults
// where one is left out; false with the exception set.
bool read_config(PyObject* args, PyObject* kwargs, search::SearchConfig& config) {
    PyObject* values[std::size(PARAMETERS)];
    if (!parse_arguments({"Search()", PARAMETERS}, args, kwargs, values)) return false;
    search::PuctSettings& tree = config.tree;
    std::uint64_t games = 0, threads = 0, simulations = config.simulations, leaves = config.leaves,
                  max_nodes = tree.max_nodes;
    std::size_t reward = static_cast<std::size_t>(tree.reward);
    const bool read =
        to_bounded(values[0], "num_games", 1, MAX_GAMES, games) &&
        to_bounded(values[1], "threads", 1, MAX_THREADS, threads) && to_index(values[2], "seed", config.seed) &&
        (values[3] == nullptr || to_bounded(values[3], "simulations", 1, UINT16_MAX, simulations)) &&
        (values[4] == nullptr || to_bounded(values[4], "leaves", 1, MAX_LEAVES, leaves)) &&
        to_float(values[5], "exploration", 0, 1e6, tree.exploration) &&
        to_float(values[6], "noise_alpha", 1e-3, 1e3, tree.noise_alpha) &&
        to_float(values[7], "noise_fraction", 0, 1, tree.noise_fraction) &&
        to_float(values[8], "temperature", 0, 100, tree.temperature) &&
        (values[9] == nullptr || to_choice(values[9], "reward_mode", game::REWARD_MODE_NAMES, reward)) &&
        (values[10] == nullptr || to_flag(values[10], "autoreset", config.autoreset)) &&
        (values[11] == nullptr || to_bounded(values[11], "max_nodes", MIN_NODES, UINT32_MAX - 1, max_nodes));
    if (!read) return false;
    config.games = static_cast<std::size_t>(games);
    config.threads = static_cast<std::size_t>(std::min(threads, games));  // a worker without a game only waits
    config.simulations = static_cast<std::uint32_t>(simulations);
    config.leaves = static_cast<std::uint32_t>(leaves);
    tree.max_nodes = static_cast<std::uint32_t>(max_nodes);
    tree.reward = static_cast<game::RewardMode>(reward);
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores != 0 && config.threads > cores &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "%zu threads on %u cores: the workers will wait for each other; use at most %u",
                         config.threads, cores, cores) < 0) {
        return false;
    }
    return true;
}

PyObject* search_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        search::SearchConfig config;
        if (!read_config(args, kwargs, config)) return nullptr;
        std::unique_ptr<search::SearchBatch> engine;
        if (!run_released([&](common::Interrupt&) { engine = std::make_unique<search::SearchBatch>(config); })) {
            return nullptr;
        }
        std::vector<std::int64_t> actions(config.games);
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        PySearchObject* object = as_search(self);
        new (&object->engine) std::unique_ptr<search::SearchBatch>(std::move(engine));
        new (&object->actions) std::vector<std::int64_t>(std::move(actions));
        new (&object->priors) std::vector<float>();
        new (&object->values) std::vector<float>();
        new (&object->borrow) BorrowFlag();
        object->creator = getpid();
        return self;
    });
}

void search_deallocate(PyObject* self) {
    PySearchObject* object = as_search(self);
    // In a forked child the workers were never copied: joining them would
    // wait forever, so the engine is left behind instead.
    if (object->creator != getpid() && object->engine && object->engine->config().threads > 1) {
        static_cast<void>(object->engine.release());
    }
    deallocate<PySearchObject>(self);
}

// Access to a search that can run here; false with RuntimeError set.
bool usable(PyObject* self, Access& access) {
    if (!access.ok()) return false;
    const PySearchObject* object = as_search(self);
    if (object->creator != getpid() && object->engine->config().threads > 1) {
        PyErr_SetString(PyExc_RuntimeError,
                        "A search's worker threads do not survive fork(); build a new search in this process");
        return false;
    }
    return true;
}

// --- methods ---

PyObject* select(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        if (!parse_arguments({"Search.select()", {}}, args, nargsf, kwnames, {})) return nullptr;
        PySearchObject* object = as_search(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access)) return nullptr;
        if (object->engine->pending_rows() > 0) {
            PyErr_SetString(PyExc_RuntimeError, "The last round's leaves wait for expand(); evaluate them first");
            return nullptr;
        }
        std::size_t rows = 0;
        if (!run_released([&](common::Interrupt& interrupt) { rows = object->engine->select(interrupt); })) {
            return nullptr;
        }
        return PyLong_FromSize_t(rows);
    });
}

PyObject* expand(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"priors"}, {"values"}};
        PyObject* values[2];
        if (!parse_arguments({"Search.expand()", PARAMETERS}, args, nargsf, kwnames, values)) return nullptr;
        PySearchObject* object = as_search(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access) || !read_floats(values[0], "priors", object->priors) ||
            !read_floats(values[1], "values", object->values)) {
            return nullptr;
        }
        if (object->engine->pending_rows() == 0) {
            PyErr_SetString(PyExc_RuntimeError, "No leaves wait for an evaluation; call select() first");
            return nullptr;
        }
        std::optional<std::string> refused;
        if (!run_released([&](common::Interrupt& interrupt) {
                refused = object->engine->check(object->priors, object->values);
                if (!refused) object->engine->expand(object->priors, object->values, interrupt);
            })) {
            return nullptr;
        }
        if (refused) {
            PyErr_SetString(PyExc_ValueError, refused->c_str());
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* step(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"actions", Parameter::Kind::Positional}};
        PyObject* actions = nullptr;
        if (!parse_arguments({"Search.step()", PARAMETERS}, args, nargsf, kwnames, {&actions, 1})) return nullptr;
        PySearchObject* object = as_search(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access) || !read_actions(actions, object->actions)) return nullptr;
        if (object->engine->pending_rows() > 0) {
            PyErr_SetString(PyExc_RuntimeError, "The last round's leaves wait for expand(); finish the search first");
            return nullptr;
        }
        std::optional<batch::IllegalAction> refused;
        if (!run_released([&](common::Interrupt& interrupt) {
                refused = object->engine->step(object->actions, interrupt);
            })) {
            return nullptr;
        }
        if (refused) {
            Owned given(action_at(actions, refused->slot));
            if (!given) return nullptr;
            PyErr_Format(PyExc_ValueError, "Invalid action %S in game %zu: not a legal move at its root", given.get(),
                         refused->slot);
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* reset(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"seed", Parameter::Kind::PositionalOrKeyword, false}};
        PyObject* seed = nullptr;
        if (!parse_arguments({"Search.reset()", PARAMETERS}, args, nargsf, kwnames, {&seed, 1})) return nullptr;
        std::optional<std::uint64_t> seed_value;
        if (seed != nullptr && !to_optional_index(seed, "seed", seed_value)) return nullptr;
        PySearchObject* object = as_search(self);
        Access access(object->borrow, AccessKind::Exclusive);
        if (!usable(self, access)) return nullptr;
        if (!run_released([&](common::Interrupt&) { object->engine->reset(seed_value); })) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* load(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"game"}, {"state"}};
        PyObject* values[2];
        if (!parse_arguments({"Search.load()", PARAMETERS}, args, nargsf, kwnames, values)) return nullptr;
        PySearchObject* object = as_search(self);
        Access access(object->borrow, AccessKind::Exclusive);
        std::uint64_t index = 0;
        std::span<const std::uint8_t> bytes;
        if (!usable(self, access) || !to_bounded(values[0], "game", 0, object->engine->size() - 1, index) ||
            !to_byte_span(values[1], "state", bytes)) {
            return nullptr;
        }
        if (object->engine->pending_rows() > 0) {
            PyErr_SetString(PyExc_RuntimeError, "The last round's leaves wait for expand(); finish the search first");
            return nullptr;
        }
        if (!object->engine->load(static_cast<std::size_t>(index), bytes)) {
            PyErr_SetString(PyExc_ValueError, "Invalid game state");
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* state(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"game", Parameter::Kind::Positional}};
        PyObject* game = nullptr;
        if (!parse_arguments({"Search.state()", PARAMETERS}, args, nargsf, kwnames, {&game, 1})) return nullptr;
        Access access(as_search(self)->borrow, AccessKind::Shared);
        const search::SearchBatch& engine = *as_search(self)->engine;
        std::uint64_t index = 0;
        if (!access.ok() || !to_bounded(game, "game", 0, engine.size() - 1, index)) return nullptr;
        const game::StateBytes bytes = engine.tree(static_cast<std::size_t>(index)).root().to_bytes();
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<Py_ssize_t>(bytes.size()));
    });
}

PyObject* refuse_copy(PyObject*, PyObject* const*, std::size_t, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "A Search cannot be copied; make a new one");
    return nullptr;
}

// --- buffers and settings ---

constexpr Py_ssize_t SEATS = game::NUM_SEATS, SIDE = game::BOARD_SIZE;

// A view of `data`: `rows`, then `extents`.
PyObject* view(PyObject* self, const void* data, const char* format, std::size_t item_size, std::size_t rows,
               std::initializer_list<Py_ssize_t> extents) {
    return guarded([&]() -> PyObject* {
        BufferLayout layout{const_cast<void*>(data), format, item_size, 1, {static_cast<Py_ssize_t>(rows)}};
        for (Py_ssize_t extent : extents) layout.shape[static_cast<std::size_t>(layout.dimensions++)] = extent;
        return buffer_view(self, layout);
    });
}

// `read(engine)` under shared access, for what a running call changes (the
// pending leaves, the counts, the temperature); RuntimeError while one runs.
template <class Read>
PyObject* read_shared(PyObject* self, Read read) {
    Access access(as_search(self)->borrow, AccessKind::Shared);
    if (!access.ok()) return nullptr;
    return read(*as_search(self)->engine);
}

// A view of one of the roots' (Roots) or the pending leaves' buffers.
template <bool Roots, auto Field>
PyObject* get_buffer(PyObject* self, const char* format, std::initializer_list<Py_ssize_t> extents) {
    return read_shared(self, [&](const search::SearchBatch& engine) {
        const auto& buffer = (Roots ? engine.roots() : engine.leaves()).*Field;
        return view(self, buffer.data(), format, sizeof(buffer[0]), Roots ? engine.size() : engine.pending_rows(),
                    extents);
    });
}

template <bool Roots>
PyObject* get_agent(PyObject* self, void*) { return get_buffer<Roots, &batch::Buffers::agent>(self, "B", {}); }
template <bool Roots>
PyObject* get_observation(PyObject* self, void*) {
    return get_buffer<Roots, &batch::Buffers::observation>(self, "B", {game::PLANES, SIDE, SIDE});
}
template <bool Roots>
PyObject* get_pieces(PyObject* self, void*) {
    return get_buffer<Roots, &batch::Buffers::pieces>(self, "B", {SEATS, game::NUM_PIECE_TYPES});
}
template <bool Roots>
PyObject* get_done(PyObject* self, void*) { return get_buffer<Roots, &batch::Buffers::done>(self, "B", {SEATS}); }
template <bool Roots>
PyObject* get_legal_count(PyObject* self, void*) {
    return get_buffer<Roots, &batch::Buffers::legal_count>(self, "i", {});
}
template <bool Roots>
PyObject* get_legal_actions(PyObject* self, void*) {
    const auto row = static_cast<Py_ssize_t>(as_search(self)->engine->roots().max_legal);
    return get_buffer<Roots, &batch::Buffers::legal_actions>(self, "H", {row});
}
PyObject* get_rewards(PyObject* self, void*) { return get_buffer<true, &batch::Buffers::rewards>(self, "f", {SEATS}); }
PyObject* get_terminated(PyObject* self, void*) {
    return get_buffer<true, &batch::Buffers::terminated>(self, "?", {});
}
PyObject* get_policy(PyObject* self, void*) {
    const search::SearchBatch& engine = *as_search(self)->engine;
    return view(self, engine.policy().data(), "f", sizeof(float), engine.size(),
                {static_cast<Py_ssize_t>(engine.roots().max_legal)});
}
PyObject* get_moves(PyObject* self, void*) {
    const search::SearchBatch& engine = *as_search(self)->engine;
    return view(self, engine.moves().data(), "q", sizeof(std::int64_t), engine.size(), {});
}
PyObject* get_prior_offsets(PyObject* self, void*) {
    return read_shared(self, [&](const search::SearchBatch& engine) {
        return view(self, engine.prior_offsets().data(), "q", sizeof(std::int64_t), engine.pending_rows() + 1, {});
    });
}
PyObject* get_leaf_games(PyObject* self, void*) {
    return read_shared(self, [&](const search::SearchBatch& engine) {
        return view(self, engine.leaf_games().data(), "i", sizeof(std::int32_t), engine.pending_rows(), {});
    });
}

PyObject* get_num_games(PyObject* self, void*) { return PyLong_FromSize_t(as_search(self)->engine->size()); }
PyObject* get_threads(PyObject* self, void*) { return PyLong_FromSize_t(as_search(self)->engine->config().threads); }
PyObject* get_simulations(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(as_search(self)->engine->config().simulations);
}
PyObject* get_leaves(PyObject* self, void*) { return PyLong_FromUnsignedLong(as_search(self)->engine->config().leaves); }
PyObject* get_pending(PyObject* self, void*) {
    return read_shared(self, [](const search::SearchBatch& engine) { return PyLong_FromSize_t(engine.pending_rows()); });
}
PyObject* get_evaluated(PyObject* self, void*) {
    return read_shared(self, [](const search::SearchBatch& engine) {
        return PyLong_FromUnsignedLongLong(engine.evaluated_rows());
    });
}
PyObject* get_requested(PyObject* self, void*) {
    return read_shared(self, [](const search::SearchBatch& engine) {
        return PyLong_FromUnsignedLongLong(engine.requested_rows());
    });
}
PyObject* get_temperature(PyObject* self, void*) {
    return read_shared(self, [](const search::SearchBatch& engine) {
        return PyFloat_FromDouble(engine.config().tree.temperature);
    });
}
int set_temperature(PyObject* self, PyObject* value, void*) {
    return guarded_status([&] {
        if (value == nullptr) {
            PyErr_SetString(PyExc_AttributeError, "temperature cannot be deleted");
            return -1;
        }
        float temperature = 0;
        Access access(as_search(self)->borrow, AccessKind::Exclusive);
        if (!access.ok() || !to_float(value, "temperature", 0, 100, temperature)) return -1;
        as_search(self)->engine->set_temperature(temperature);
        return 0;
    });
}

#define METHOD(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef METHODS[] = {
    {"select", METHOD(select), METH_FASTCALL | METH_KEYWORDS,
     "select($self, /)\n--\n\nOne round of selections: writes the new leaves into the leaf_* buffers and returns "
     "how many; 0 once every tree has its budget, when policy and moves are written."},
    {"expand", METHOD(expand), METH_FASTCALL | METH_KEYWORDS,
     "expand($self, /, priors, values)\n--\n\nHands back the evaluation of the pending leaves: float32 priors over "
     "each leaf's legal moves, one list after the other, and four float32 values in [0, 1] per leaf, seats "
     "counted from its mover. ValueError, and no change, if they do not fit."},
    {"step", METHOD(step), METH_FASTCALL | METH_KEYWORDS,
     "step($self, actions, /)\n--\n\nPlays one grid index per game at its root, keeping the subtree below it; "
     "ValueError naming the first game whose action is not legal, and no change, if any is not."},
    {"reset", METHOD(reset), METH_FASTCALL | METH_KEYWORDS,
     "reset($self, /, seed=None)\n--\n\nStarts a new game and tree in every slot, dropping leaves that wait; a "
     "seed restarts the trees' draws."},
    {"load", METHOD(load), METH_FASTCALL | METH_KEYWORDS,
     "load($self, /, game, state)\n--\n\nPuts a saved game into one slot with a new tree, and passes its done "
     "seats; ValueError, and no change, for bytes that are no valid state."},
    {"state", METHOD(state), METH_FASTCALL | METH_KEYWORDS,
     "state($self, game, /)\n--\n\nThe 278-byte state of one game's root position."},
    {"__copy__", METHOD(refuse_copy), METH_FASTCALL | METH_KEYWORDS, "__copy__($self)\n--\n\nRefused."},
    {"__deepcopy__", METHOD(refuse_copy), METH_FASTCALL | METH_KEYWORDS, "__deepcopy__($self, memo)\n--\n\nRefused."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef PROPERTIES[] = {
    {"agent", get_agent<true>, nullptr, "The seat to move at each root.", nullptr},
    {"observation", get_observation<true>, nullptr, "Each root's planes, in its mover's frame.", nullptr},
    {"pieces", get_pieces<true>, nullptr, "Each root's pieces in hand, seats counted from its mover.", nullptr},
    {"done", get_done<true>, nullptr, "Each root's seats out of moves, counted from its mover.", nullptr},
    {"legal_count", get_legal_count<true>, nullptr, "How many legal moves each root's mover has.", nullptr},
    {"legal_actions", get_legal_actions<true>, nullptr, "Row i starts with root i's legal grid indices.", nullptr},
    {"rewards", get_rewards, nullptr, "The outcome of a game the last step ended, else zero; absolute seats.", nullptr},
    {"terminated", get_terminated, nullptr, "Whether the last step ended each game.", nullptr},
    {"policy", get_policy, nullptr, "Each root's visit distribution, aligned with its legal_actions row.", nullptr},
    {"moves", get_moves, nullptr, "The move drawn for each game after the search; -1 where none.", nullptr},
    {"leaf_agent", get_agent<false>, nullptr, "The seat to move at each pending leaf.", nullptr},
    {"leaf_observation", get_observation<false>, nullptr, "Each pending leaf's planes.", nullptr},
    {"leaf_pieces", get_pieces<false>, nullptr, "Each pending leaf's pieces in hand.", nullptr},
    {"leaf_done", get_done<false>, nullptr, "Each pending leaf's seats out of moves.", nullptr},
    {"leaf_legal_count", get_legal_count<false>, nullptr, "How many legal moves each pending leaf has.", nullptr},
    {"leaf_legal_actions", get_legal_actions<false>, nullptr, "Row i starts with leaf i's legal grid indices.",
     nullptr},
    {"prior_offsets", get_prior_offsets, nullptr, "Where each leaf's priors start in expand()'s list, and the end.",
     nullptr},
    {"leaf_games", get_leaf_games, nullptr, "The game of each pending leaf.", nullptr},
    {"num_games", get_num_games, nullptr, "How many games are searched together.", nullptr},
    {"threads", get_threads, nullptr, "Threads of the tree work, the calling thread included.", nullptr},
    {"simulations", get_simulations, nullptr, "A move's budget: new visits of the root's children.", nullptr},
    {"leaves", get_leaves, nullptr, "Most leaves a tree sends to one round.", nullptr},
    {"pending", get_pending, nullptr, "Leaves waiting for expand().", nullptr},
    {"evaluated_leaves", get_evaluated, nullptr, "Leaf evaluations handed back so far.", nullptr},
    {"requested_leaves", get_requested, nullptr,
     "Leaves the trees could take in the rounds so far (leaves per round, or fewer near the budget).", nullptr},
    {"temperature", get_temperature, set_temperature,
     "Moves are drawn by visits ** (1 / temperature); 0 takes the most visited.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("Search(num_games, threads, seed, *, simulations=64, leaves=8, exploration=1.5, "
                                  "noise_alpha=0.3, noise_fraction=0.25, temperature=1.0, reward_mode='rank', "
                                  "autoreset=True, max_nodes=1048576)\n--\n\n"
                                  "A PUCT search over many games whose leaves are evaluated in batches.")},
    {Py_tp_new, reinterpret_cast<void*>(search_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(search_deallocate)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_methods, METHODS},
    {Py_tp_getset, PROPERTIES},
    {0, nullptr},
};

PyType_Spec SPEC = {
    "vexlan_rl._search.Search",
    sizeof(PySearchObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    SLOTS,
};

}  // namespace

PyTypeObject* search_type() { return type_from_spec<&SPEC>(); }

}  // namespace binding
