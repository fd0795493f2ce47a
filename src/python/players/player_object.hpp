#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "borrow.hpp"
#include "compat.h"
#include "players/player.hpp"

namespace binding {

// `Player`: one engine player and the settings it was made from. Its state
// (random stream, node pool) is used by one call at a time, under the borrow
// flag. Holds no Python references.
struct PlayerObject {
    PyObject_HEAD
    players::PlayerSettings settings;
    std::unique_ptr<players::Player> player;
    std::atomic<std::uint64_t> last_simulations;
    BorrowFlag borrow;
};

// The class, made on first call; borrowed, or null with an exception set.
PyTypeObject* player_type();

}  // namespace binding
