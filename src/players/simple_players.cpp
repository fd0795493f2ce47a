#include "players/simple_players.hpp"

#include "players/greedy_heuristic.hpp"

namespace players {

std::optional<GridIndex> RandomPlayer::choose(const game::Game& position, common::Interrupt&) {
    if (!turn_.read(position)) return std::nullopt;
    return turn_.grid_index(position, stream_.below(static_cast<std::uint32_t>(turn_.moves.size())));
}

std::optional<GridIndex> GreedyPlayer::choose(const game::Game& position, common::Interrupt&) {
    if (!turn_.read(position)) return std::nullopt;
    return turn_.grid_index(position, best_move(turn_, nullptr));
}

}  // namespace players
