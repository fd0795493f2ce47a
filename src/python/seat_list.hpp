#pragma once

#include "compat.h"
#include "game/actions/action_set.hpp"
#include "owned.hpp"

namespace binding {

// A new list of one entry per seat, agent 0 first; `item(k)` gives seat k's
// entry as a new reference, or null with an exception set.
template <class Item>
PyObject* seat_list(Item&& item) {
    Owned list(PyList_New(game::NUM_SEATS));
    if (!list) return nullptr;
    for (std::size_t k = 0; k < game::NUM_SEATS; ++k) {
        PyObject* entry = item(k);
        if (entry == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), entry);
    }
    return list.release();
}

}  // namespace binding
