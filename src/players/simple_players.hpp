#pragma once

#include "players/player.hpp"
#include "common/random_stream.hpp"

namespace players {

// Uniform over the legal placements, from a seeded stream.
class RandomPlayer final : public Player {
public:
    explicit RandomPlayer(std::uint64_t seed) : stream_(seed) {}
    using Player::choose;
    std::optional<GridIndex> choose(const game::Game& position, common::Interrupt& interrupt) override;
    void reseed(std::uint64_t seed) override { stream_.reseed(seed); }

private:
    common::RandomStream stream_;
    Turn turn_;
};

// The best placement by the greedy score (greedy_heuristic.hpp), ties to
// the first in list order: the same position always gets the same move.
class GreedyPlayer final : public Player {
public:
    using Player::choose;
    std::optional<GridIndex> choose(const game::Game& position, common::Interrupt& interrupt) override;
    void reseed(std::uint64_t) override {}

private:
    Turn turn_;
};

}  // namespace players
