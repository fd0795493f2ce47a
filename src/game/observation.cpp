#include "game/game.hpp"

namespace game {

// Observer o's frame is the absolute board turned o quarter turns
// counter-clockwise; in it, seat k's start cell is START_CELLS[k], so the
// placement rule applies unchanged to the turned boards.
Observation Game::observe(std::size_t agent) const {
    Observation view;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const Agent& seat = agents[(agent + k) % NUM_SEATS];
        view.occupied[k] = turn_counter_clockwise(seat.cells, agent);
        view.pieces[k] = seat.remaining;
        view.done[k] = seat.done;
    }
    const Bitboard all = view.occupied[0] | view.occupied[1] | view.occupied[2] | view.occupied[3];
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const PlacementMasks masks = PlacementMasks::of(all, view.occupied[k], START_CELLS[k]);
        view.blocked[k] = masks.blocked;
        view.corners[k] = masks.corners;
    }
    return view;
}

// Dense indices in the observer's frame, ordered by corner cell, then
// catalogue index, then candidate list order; each legal placement once.
void Game::observed_moves(const Observation& observation, std::vector<std::uint16_t>& moves) const {
    moves.clear();
    // A done seat has no placement left; spare it the fruitless search.
    if (observation.done[0]) return;
    Bitboard blocked = observation.blocked[0];
    const std::uint32_t remaining = observation.pieces[0];
    for (unsigned x : observation.corners[0].ones()) {
        for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
            if ((remaining >> j & 1) == 0) continue;
            for (std::uint16_t i : actions->candidates_for(x, j)) {
                if (!actions->actions[i].cells.intersects(blocked)) moves.push_back(i);
            }
        }
        // Every placement covering x is now listed; blocking x keeps a
        // placement that also covers a later corner from being listed again.
        blocked |= Bitboard::single(x);
    }
}

}  // namespace game
