#include "vexlan.hpp"

#include <new>
#include <string>

#include "arguments.hpp"
#include "game/observation_bytes.hpp"
#include "game/scores.hpp"
#include "observation.hpp"
#include "owned.hpp"
#include "scores.hpp"
#include "seat_list.hpp"
#include "state.hpp"
#include "type_setup.hpp"

namespace binding {

// --- construction and lifetime ---

PyObject* new_vexlan(PyTypeObject* type, const game::Game& game) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_vexlan(self)->game) game::Game(game);
    new (&as_vexlan(self)->borrow) BorrowFlag();
    return self;
}

namespace {

PyObject* vexlan_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature SIGNATURE = {"PyVexlan.__new__()", {}};
        if (!parse_arguments(SIGNATURE, args, kwargs, {})) return nullptr;
        return new_vexlan(type, game::Game());
    });
}

// --- methods that drive the game ---

PyObject* reset(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature SIGNATURE = {"PyVexlan.reset()", {}};
        if (!parse_arguments(SIGNATURE, args, nargsf, kwnames, {})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Exclusive, AfterFork::Rebuild);
        if (!access.ok()) return nullptr;
        as_vexlan(self)->game.reset();
        Py_RETURN_NONE;
    });
}

PyObject* step(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"action_idx"}};
        static constexpr Signature SIGNATURE = {"PyVexlan.step()", PARAMETERS};
        PyObject* argument = nullptr;
        if (!parse_arguments(SIGNATURE, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Exclusive);
        if (!access.ok()) return nullptr;
        std::optional<std::uint64_t> action;
        if (!to_optional_index(argument, "action_idx", action)) return nullptr;
        if (const auto refused = as_vexlan(self)->game.step(action)) {
            PyErr_SetString(PyExc_AssertionError, ("Invalid action: " + std::string(refused->message)).c_str());
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

// The text that render() prints, without its final newline.
PyObject* text(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature SIGNATURE = {"PyVexlan.text()", {}};
        if (!parse_arguments(SIGNATURE, args, nargsf, kwnames, {})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        const std::string text = as_vexlan(self)->game.text();
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

// --- properties ---

PyObject* get_agents(PyObject* self, void*) {
    return read_game(self, [](const game::Game&) -> PyObject* {
        Owned list(PyList_New(static_cast<Py_ssize_t>(game::NUM_SEATS)));
        if (!list) return nullptr;
        for (std::size_t k = 0; k < game::NUM_SEATS; ++k) {
            PyObject* item = PyLong_FromSize_t(k);
            if (item == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), item);
        }
        return list.release();
    });
}

PyObject* get_agent_selection(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) { return PyLong_FromSize_t(game.seat_to_move()); });
}

PyObject* get_terminations(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) {
        return seat_list([&](std::size_t k) { return PyBool_FromLong(game.is_done(k)); });
    });
}

PyObject* get_is_over(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) { return PyBool_FromLong(game.over()); });
}

PyObject* get_ply(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) { return PyLong_FromUnsignedLong(game.ply()); });
}

// --- the class ---

#define VECTORCALL_METHOD(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef METHODS[] = {
    {"reset", VECTORCALL_METHOD(reset), METH_FASTCALL | METH_KEYWORDS, "reset($self)\n--\n\n"},
    {"step", VECTORCALL_METHOD(step), METH_FASTCALL | METH_KEYWORDS, "step($self, action_idx)\n--\n\n"},
    {"observe", VECTORCALL_METHOD(observe), METH_FASTCALL | METH_KEYWORDS, "observe($self, agent_idx)\n--\n\n"},
    {"legal_actions", VECTORCALL_METHOD(legal_actions), METH_FASTCALL | METH_KEYWORDS,
     "legal_actions($self, agent_idx)\n--\n\nThe legal grid indices of `agent_idx` in its own frame, in the "
     "order of `observe`'s search."},
    {"outcome", VECTORCALL_METHOD(outcome), METH_FASTCALL | METH_KEYWORDS,
     "outcome($self, mode)\n--\n\nThe final rewards in `mode`, one of `reward_modes`, None until the game is over."},
    {"to_bytes", VECTORCALL_METHOD(to_bytes), METH_FASTCALL | METH_KEYWORDS,
     "to_bytes($self)\n--\n\nThe game state as bytes, restore it with `from_bytes`."},
    {"__getstate__", VECTORCALL_METHOD(get_state), METH_FASTCALL | METH_KEYWORDS,
     "__getstate__($self)\n--\n\nPickles the game as its `to_bytes` state."},
    {"__setstate__", VECTORCALL_METHOD(set_state), METH_FASTCALL | METH_KEYWORDS,
     "__setstate__($self, state)\n--\n\n"},
    {"from_bytes", VECTORCALL_METHOD(from_bytes), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_bytes(data)\n--\n\n"},
    {"copy", VECTORCALL_METHOD(copy), METH_FASTCALL | METH_KEYWORDS,
     "copy($self)\n--\n\nAn independent copy of the game."},
    {"__copy__", VECTORCALL_METHOD(shallow_copy), METH_FASTCALL | METH_KEYWORDS, "__copy__($self)\n--\n\n"},
    {"__deepcopy__", VECTORCALL_METHOD(deep_copy), METH_FASTCALL | METH_KEYWORDS,
     "__deepcopy__($self, _memo)\n--\n\n"},
    {"render", VECTORCALL_METHOD(render), METH_FASTCALL | METH_KEYWORDS, "render($self)\n--\n\n"},
    {"text", VECTORCALL_METHOD(text), METH_FASTCALL | METH_KEYWORDS,
     "text($self)\n--\n\nThe text that `render` prints, without its final newline."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef PROPERTIES[] = {
    {"agents", get_agents, nullptr, nullptr, nullptr},
    {"agent_selection", get_agent_selection, nullptr, nullptr, nullptr},
    {"terminations", get_terminations, nullptr, nullptr, nullptr},
    {"is_over", get_is_over, nullptr, nullptr, nullptr},
    {"ply", get_ply, nullptr, "The number of placements made so far, by all agents.", nullptr},
    {"scores", get_scores, nullptr, "Every agent's official score as if the game ended now.", nullptr},
    {"rewards", get_rewards, nullptr, "The score of every agent that is done, None for the others.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("PyVexlan()\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(vexlan_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<PyVexlanObject>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_methods, METHODS},
    {Py_tp_getset, PROPERTIES},
    {0, nullptr},
};

PyType_Spec SPEC = {
    "vexlan_rl._vexlan.PyVexlan",
    sizeof(PyVexlanObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    SLOTS,
};

PyObject* tuple_of_longs(std::initializer_list<std::size_t> values) {
    Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    if (!tuple) return nullptr;
    Py_ssize_t position = 0;
    for (std::size_t value : values) {
        PyObject* item = PyLong_FromSize_t(value);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), position++, item);
    }
    return tuple.release();
}

// A tuple of interned str, item j being text(j).
template <class Text>
PyObject* tuple_of_texts(std::size_t count, Text&& text) {
    Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(count)));
    if (!tuple) return nullptr;
    for (std::size_t j = 0; j < count; ++j) {
        const std::string_view name = text(j);
        PyObject* item = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
        if (item == nullptr) return nullptr;
        PyUnicode_InternInPlace(&item);
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(j), item);
    }
    return tuple.release();
}

bool set_class_attributes(PyTypeObject* object) {
    return
        set_class_attribute(object, "num_actions", PyLong_FromSize_t(game::NUM_GRID_POSITIONS)) &&
        set_class_attribute(object, "action_grid_shape",
                            tuple_of_longs({game::NUM_ORIENTATIONS, game::BOARD_SIZE, game::BOARD_SIZE})) &&
        set_class_attribute(object, "reward_modes",
                            tuple_of_texts(game::REWARD_MODE_NAMES.size(),
                                           [](std::size_t j) { return game::REWARD_MODE_NAMES[j]; })) &&
        set_class_attribute(object, "piece_names", tuple_of_texts(game::NUM_PIECE_TYPES, [](std::size_t j) {
                                return game::name(game::ALL_PIECE_TYPES[j]);
                            }));
}

}  // namespace

PyTypeObject* vexlan_type() { return type_from_spec<&SPEC, set_class_attributes>(); }

}  // namespace binding
