#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "compat.h"
#include "players/player.hpp"

namespace players_binding {

// `Player`: one engine player and the settings it was made from. Its state
// (random stream, node pool) is used by one call at a time: `busy` turns a
// second, concurrent call away instead of sharing it. Holds no Python
// references.
struct PlayerObject {
    PyObject_HEAD
    players::PlayerSettings settings;
    std::unique_ptr<players::Player> player;
    std::atomic<bool> busy;
    std::atomic<std::uint64_t> last_simulations;
};

// The type, made on first use; borrowed, or null with an exception set.
PyTypeObject* player_type();

}  // namespace players_binding
