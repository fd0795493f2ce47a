#pragma once

#include <array>
#include <cstdint>

#include "borrow.hpp"
#include "compat.h"
#include "game/observation_bytes.hpp"

namespace binding {

// An observation as six 0/1 byte buffers, filled once by observe() and never
// changed. Planes are (seat, row, column) in the observer's frame, seats
// counted from the observer.
struct PyObservationObject {
    PyObject_HEAD
    std::array<std::uint8_t, game::PLANES_SIZE> planes;
    std::array<std::uint8_t, game::PIECES_SIZE> pieces;
    std::array<std::uint8_t, game::DONE_SIZE> done;
    std::array<std::uint8_t, game::NUM_GRID_POSITIONS> action_mask;
    BorrowFlag borrow;
};

// The class, created on first call; borrowed, or null with an exception set.
PyTypeObject* observation_type();

// PyVexlan.observe(agent_idx).
PyObject* observe(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

// PyVexlan.legal_actions(agent_idx): the grid indices that the mask of
// observe(agent_idx) marks, in the order the search finds them.
PyObject* legal_actions(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);

}  // namespace binding
