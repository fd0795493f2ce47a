#pragma once

#include <array>
#include <cstdint>

#include "game/actions/action_set.hpp"
#include "game/bitboard/bitboard.hpp"

namespace game {

// One agent's view of the position, in its own frame (the board turned so
// that its start cell is at the top left). Element k is seat k counted from
// the observer: agent (observer + k) mod 4.
struct Observation {
    std::array<Bitboard, NUM_SEATS> occupied;
    std::array<Bitboard, NUM_SEATS> corners;
    std::array<Bitboard, NUM_SEATS> blocked;
    std::array<std::uint32_t, NUM_SEATS> pieces{};
    std::array<bool, NUM_SEATS> done{};
};

}  // namespace game
