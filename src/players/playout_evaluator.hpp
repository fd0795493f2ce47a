#pragma once

#include <cstdint>
#include <vector>

#include "common/random_stream.hpp"
#include "players/evaluator.hpp"
#include "players/greedy_heuristic.hpp"
#include "players/player.hpp"

namespace players {

// Judges a position by playing it out once to the end, every seat moving at
// random or greedily (ties drawn at random), and taking the outcome in the
// chosen reward mode. Priors are uniform: a playout says nothing about
// single moves. The draws come from the evaluator's own stream, so a seeded
// evaluator gives the same values for the same positions.
class PlayoutEvaluator final : public Evaluator {
public:
    PlayoutEvaluator(PlayoutPolicy policy, game::RewardMode mode, std::uint64_t seed = 0)
        : policy_(policy), mode_(mode), stream_(seed) {}

    void reseed(std::uint64_t seed) { stream_.reseed(seed); }

    SeatValues evaluate(const game::Game& leaf, std::span<const GridIndex> moves, std::span<float> priors) override;

    // The same values, playing `position` itself out: for a caller whose
    // position is a scratch copy already, which spares a copy a playout.
    SeatValues play_out(game::Game& position);

private:
    PlayoutPolicy policy_;
    game::RewardMode mode_;
    common::RandomStream stream_;
    Turn turn_;
};
}  // namespace players
