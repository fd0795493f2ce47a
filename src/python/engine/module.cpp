// The extension module `vexlan_rl._engine`: what the engine knows that the
// Python layers would otherwise write again: the orientations' shapes, the
// observation's layout, the score bounds, and rules that read or move a
// PyVexlan in place.

#include "arguments.hpp"
#include "compat.h"
#include "errors.hpp"
#include "game/last_placement.hpp"
#include "game/observation_bytes.hpp"
#include "game/scores.hpp"
#include "game_object.hpp"
#include "module_slots.hpp"
#include "owned.hpp"

namespace binding {

namespace {

constexpr Parameter GAME[] = {{"game", Parameter::Kind::Positional}};

PyObject* last_placement(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* argument = nullptr;
        if (!parse_arguments({"last_placement()", GAME}, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        const BorrowedGame borrowed(argument, "game", AccessKind::Shared);
        if (!borrowed.ok()) return nullptr;
        const game::LastPlacement found = game::last_placement(borrowed.game());
        switch (found.status) {
            case game::LastPlacement::Status::NoneYet:
                Py_RETURN_NONE;
            case game::LastPlacement::Status::Found:
                return Py_BuildValue("(nI)", static_cast<Py_ssize_t>(found.seat), unsigned{found.grid_index});
            case game::LastPlacement::Status::Unreadable:
                break;
        }
        return PyErr_Format(PyExc_ValueError,
                            "agent %zu's cells hold no piece of the kind it placed last standing alone, so this "
                            "state was not reached by play", found.seat);
    });
}

PyObject* pass_done_seats(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* argument = nullptr;
        if (!parse_arguments({"pass_done_seats()", GAME}, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        const BorrowedGame borrowed(argument, "game", AccessKind::Exclusive);
        if (!borrowed.ok()) return nullptr;
        borrowed.game().pass_done_seats();
        Py_RETURN_NONE;
    });
}

#define FUNCTION(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef FUNCTIONS[] = {
    {"last_placement", FUNCTION(last_placement), METH_FASTCALL | METH_KEYWORDS,
     "last_placement(game, /)\n--\n\nThe last placement made in `game` as (agent, grid index in that agent's "
     "frame), found from the position alone; None before the first. ValueError for a loaded position whose "
     "cells do not hold the piece recorded as that agent's latest."},
    {"pass_done_seats", FUNCTION(pass_done_seats), METH_FASTCALL | METH_KEYWORDS,
     "pass_done_seats(game, /)\n--\n\nPasses the turn of every done agent in turn, until the agent to move can "
     "place a piece or the game is over."},
    {nullptr, nullptr, 0, nullptr},
};

// --- constants ---

PyObject* shape(std::initializer_list<std::size_t> extents) {
    Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(extents.size())));
    if (!tuple) return nullptr;
    Py_ssize_t at = 0;
    for (std::size_t extent : extents) {
        PyObject* item = PyLong_FromSize_t(extent);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), at++, item);
    }
    return tuple.release();
}

// ((piece name, ((row, column), ...)), ...): every orientation's cells with
// its bounding box at the top left, in orientation order.
PyObject* orientations() {
    const game::ActionSet& set = game::ActionSet::get();
    Owned table(PyTuple_New(game::NUM_ORIENTATIONS));
    if (!table) return nullptr;
    for (std::size_t o = 0; o < game::NUM_ORIENTATIONS; ++o) {
        const game::Action& shape = set.at_origin(o);
        Owned cells(PyTuple_New(game::cell_count(shape.piece)));
        if (!cells) return nullptr;
        Py_ssize_t at = 0;
        for (unsigned cell : shape.cells.ones()) {
            PyObject* pair = Py_BuildValue("(II)", cell / game::ROW_STRIDE, cell % game::ROW_STRIDE);
            if (pair == nullptr) return nullptr;
            PyTuple_SET_ITEM(cells.get(), at++, pair);
        }
        const std::string_view name = game::name(shape.piece);
        PyObject* entry = Py_BuildValue("(s#O)", name.data(), static_cast<Py_ssize_t>(name.size()), cells.get());
        if (entry == nullptr) return nullptr;
        PyTuple_SET_ITEM(table.get(), static_cast<Py_ssize_t>(o), entry);
    }
    return table.release();
}

bool add(PyObject* module, const char* name, PyObject* value) {
    Owned owned(value);
    return owned && PyModule_AddObjectRef(module, name, owned.get()) == 0;
}

int exec_module(PyObject* module) {
    return guarded_status([&] {
        const bool added =
            add(module, "NUM_SEATS", PyLong_FromSize_t(game::NUM_SEATS)) &&
            add(module, "BOARD_SIZE", PyLong_FromSize_t(game::BOARD_SIZE)) &&
            add(module, "PLANES_SHAPE", shape({game::PLANES, game::BOARD_SIZE, game::BOARD_SIZE})) &&
            add(module, "PIECES_SHAPE", shape({game::NUM_SEATS, game::NUM_PIECE_TYPES})) &&
            add(module, "DONE_SHAPE", shape({game::DONE_SIZE})) &&
            add(module, "MAX_LEGAL_ACTIONS", PyLong_FromSize_t(game::ActionSet::get().actions.size())) &&
            add(module, "SCORE_RANGE", Py_BuildValue("(ii)", game::LOWEST_SCORE, game::HIGHEST_SCORE)) &&
            add(module, "ORIENTATIONS", orientations());
        return added && vexlan_type() != nullptr ? 0 : -1;
    });
}

PyModuleDef DEFINITION = {
    PyModuleDef_HEAD_INIT, "_engine", "What the engine knows, for the Python layers.", 0, FUNCTIONS,
    module_slots<exec_module>(), nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace binding

PyMODINIT_FUNC PyInit__engine(void) { return PyModuleDef_Init(&binding::DEFINITION); }
