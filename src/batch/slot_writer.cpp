#include "batch/slot_writer.hpp"

#include "game/observation_bytes.hpp"

namespace batch {

std::vector<std::uint16_t> grid_indices(const game::ActionSet& set) {
    std::vector<std::uint16_t> grid(set.actions.size());
    for (std::size_t d = 0; d < grid.size(); ++d) grid[d] = static_cast<std::uint16_t>(set.actions[d].grid_index);
    return grid;
}

void write_slot(const game::Game& position, Buffers& buffers, std::size_t slot, const std::vector<std::uint16_t>& grid,
                std::vector<std::uint16_t>& moves) {
    const game::Observation view = position.observe(position.seat_to_move());
    buffers.agent[slot] = static_cast<std::uint8_t>(position.seat_to_move());
    game::write_observation(view, buffers.observation.data() + slot * game::PLANES_SIZE,
                            buffers.pieces.data() + slot * game::PIECES_SIZE,
                            buffers.done.data() + slot * game::DONE_SIZE);
    position.observed_moves(view, moves);
    std::uint16_t* row = buffers.legal_actions.data() + slot * buffers.max_legal;
    for (std::size_t j = 0; j < moves.size(); ++j) row[j] = grid[moves[j]];
    buffers.legal_count[slot] = static_cast<std::int32_t>(moves.size());
}

}  // namespace batch
