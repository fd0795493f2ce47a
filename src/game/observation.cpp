#include "game/game.hpp"

#include "game/actions/legal_placements.hpp"

namespace game {

// Observer o's frame is the absolute board turned o quarter turns
// counter-clockwise; in it, seat k's start cell is START_CELLS[k], so the
// placement rule applies unchanged to the turned boards.
Observation Game::observe(std::size_t observer) const {
    Observation view;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const std::size_t seat = (observer + k) % NUM_SEATS;
        view.occupied[k] = cells_in_frame(seat, observer % NUM_SEATS);
        view.pieces[k] = seats_[seat].remaining;
        view.done[k] = seats_[seat].done;
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
    list_legal_placements(*actions_, observation.blocked[0], observation.corners[0], observation.pieces[0], moves);
}

}  // namespace game
