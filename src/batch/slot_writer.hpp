#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "batch/buffers.hpp"
#include "game/game.hpp"

namespace batch {

// The grid index of every dense index: 60 KB that stay in cache, where the
// placements themselves take 2.4 MB.
std::vector<std::uint16_t> grid_indices(const game::ActionSet& set);

// Writes what a learner reads of `position` into slot `slot` of `buffers`:
// the seat to move, its observation, and its legal moves as grid indices
// (`grid` from grid_indices) in the observation's move order. `moves` is
// scratch space with room for every placement.
void write_slot(const game::Game& position, Buffers& buffers, std::size_t slot, const std::vector<std::uint16_t>& grid,
                std::vector<std::uint16_t>& moves);

}  // namespace batch
