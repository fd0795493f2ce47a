#include "players/evaluator.hpp"

#include <algorithm>

namespace players {

SeatValues outcome_values(const game::Game& finished, game::RewardMode mode) {
    SeatValues out = game::outcome_from_scores(finished.scores(), mode);
    if (mode == game::RewardMode::Score) {
        constexpr float low = game::LOWEST_SCORE, high = game::HIGHEST_SCORE;
        for (float& value : out) value = (value - low) / (high - low);
    }
    return out;
}

void uniform_priors(std::span<float> priors) {
    std::fill(priors.begin(), priors.end(), priors.empty() ? 0.0f : 1.0f / static_cast<float>(priors.size()));
}

}  // namespace players
