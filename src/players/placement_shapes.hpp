#pragma once

#include <cstdint>
#include <vector>

#include "game/actions/action_set.hpp"

namespace players {

// What the greedy score needs of a placement, made once per process from the
// action set and read-only after, so that scoring a move shifts no boards:
// its cells, the cells it blocks for its own seat (the cells and their edge
// neighbours) and the cells touching it only at a corner, where its seat may
// attach next. Indexed by dense index, in the same frame as the placement.
struct PlacementShape {
    game::Bitboard cells;
    game::Bitboard own_blocked;
    game::Bitboard corner_cells;
    std::uint8_t size = 0;  // cell count
};

// The table for the process-wide action set; concurrent first callers wait
// for one build.
const std::vector<PlacementShape>& placement_shapes();

}  // namespace players
