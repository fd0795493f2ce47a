#include "players/playout_evaluator.hpp"

#include "game/fault.hpp"

namespace players {

SeatValues PlayoutEvaluator::evaluate(const game::Game& leaf, std::span<const GridIndex>, std::span<float> priors) {
    uniform_priors(priors);
    game::Game position = leaf;
    return play_out(position);
}

SeatValues PlayoutEvaluator::play_out(game::Game& position) {
    while (!position.over()) {
        if (!turn_.read(position)) throw game::Fault("A seat to move in a playout has no placement");
        const std::size_t chosen = policy_ == PlayoutPolicy::Greedy
                                       ? best_move(turn_, &stream_)
                                       : stream_.below(static_cast<std::uint32_t>(turn_.moves.size()));
        play(position, turn_.grid_index(position, chosen));
    }
    return outcome_values(position, mode_);
}

}  // namespace players
