#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "game/game.hpp"

namespace players {

// A grid index in the mover's own frame: what Game::step takes.
using GridIndex = std::uint16_t;
static_assert(game::NUM_GRID_POSITIONS <= UINT16_MAX);

// The position as the seat to move sees it, with its legal placements as
// dense indices in that frame. Players fill one per decision; the vector
// keeps its capacity, so a turn allocates nothing once it has grown.
struct Turn {
    game::Observation view;
    std::vector<std::uint16_t> moves;

    // Fills the turn for the seat to move; false when it has no placement
    // (the game is over or that seat is done), and then `moves` is empty.
    bool read(const game::Game& position);

    GridIndex grid_index(const game::Game& position, std::size_t move) const {
        return static_cast<GridIndex>(position.action_set().actions[moves[move]].grid_index);
    }
};

// Plays `action` for the seat to move, then passes for every seat that is
// done, so that the next seat to move has a placement or the game is over.
// A refused action is an internal fault: players only offer listed moves.
void play(game::Game& position, std::optional<GridIndex> action);

}  // namespace players
