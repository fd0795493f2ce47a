#pragma once

#include <cstddef>
#include <cstdint>

#include "game/game.hpp"

namespace game {

// The last placement of a game, found from its position alone; the state
// holds no move list, yet it fixes the last move of any game reached by play:
// - Who moved last. A seat places on every turn until it is done and only
//   passes after that, and turns go round the seats in order, so seat k's
//   placements fill its first `placed` turns, the last of them turn
//   4 (placed - 1) + k of the game; the seat with the latest such turn made
//   the last placement.
// - What it placed. The game keeps each seat's latest piece type, and a
//   seat's own pieces never share an edge, so each piece is one
//   edge-connected group of its cells: exactly one group has that piece's
//   shape.
struct LastPlacement {
    enum class Status : std::uint8_t {
        Found,
        NoneYet,     // no placement has been made
        Unreadable,  // a loaded position whose cells do not hold the recorded latest piece
    };
    Status status = Status::NoneYet;
    std::size_t seat = 0;
    std::uint16_t grid_index = 0;  // in `seat`'s own frame
};

LastPlacement last_placement(const Game& game);

}  // namespace game
