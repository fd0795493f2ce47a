// Random playouts checked turn by turn against the slow reference rules.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "game/game.hpp"
#include "reference.hpp"

namespace game {
namespace {

std::set<std::size_t> accepted_grid_indices(const Game& game) {
    std::set<std::size_t> out;
    for (std::size_t g = 0; g < NUM_GRID_POSITIONS; ++g) {
        Game copy = game;
        if (!copy.step(g)) out.insert(g);
    }
    return out;
}

void check_invariants(const Game& game) {
    for (std::size_t k = 0; k < 4; ++k) {
        const Agent& agent = game.agents[k];
        ASSERT_EQ(agent.placed, 21 - __builtin_popcount(agent.remaining));
        ASSERT_EQ(agent.cells - BOARD_MASK, Bitboard{});
        for (std::size_t other = k + 1; other < 4; ++other) ASSERT_FALSE(agent.cells.intersects(game.agents[other].cells));
    }
}

class Playout : public ::testing::TestWithParam<unsigned> {};

TEST_P(Playout, StepAcceptsExactlyTheReferenceMoves) {
    std::mt19937 rng(GetParam());
    Game game;
    std::size_t turns = 0;
    while (!game.over()) {
        ASSERT_LT(++turns, 400u);
        const std::size_t mover = game.current;
        const std::set<std::size_t> legal = reference::legal_grid_indices(game, mover);
        if (game.agents[mover].done) {
            ASSERT_TRUE(legal.empty()) << "done agent " << mover << " still has moves";
            ASSERT_EQ(accepted_grid_indices(game).size(), NUM_GRID_POSITIONS);
            ASSERT_FALSE(game.step(std::nullopt));
            continue;
        }
        ASSERT_FALSE(legal.empty()) << "agent " << mover << " not done but stuck";
        ASSERT_EQ(accepted_grid_indices(game), legal);
        for (std::size_t k = 0; k < 4; ++k) {
            ASSERT_EQ(game.agents[k].done, reference::legal_grid_indices(game, k).empty()) << k;
        }
        auto pick = legal.begin();
        std::advance(pick, std::uniform_int_distribution<std::size_t>(0, legal.size() - 1)(rng));
        ASSERT_FALSE(game.step(*pick));
        ASSERT_EQ(game.current, (mover + 1) % 4);
        check_invariants(game);
    }
    for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(reference::legal_grid_indices(game, k).empty());
}

INSTANTIATE_TEST_SUITE_P(Seeds, Playout, ::testing::Range(1u, 9u));

}  // namespace
}  // namespace game
