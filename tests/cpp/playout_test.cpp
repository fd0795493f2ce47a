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
        ASSERT_EQ(game.placed(k), 21 - __builtin_popcount(game.pieces_in_hand(k)));
        ASSERT_EQ(game.cells(k) - BOARD_MASK, Bitboard{});
        for (std::size_t other = k + 1; other < 4; ++other) ASSERT_FALSE(game.cells(k).intersects(game.cells(other)));
    }
}

class Playout : public ::testing::TestWithParam<unsigned> {};

TEST_P(Playout, StepAcceptsExactlyTheReferenceMoves) {
    std::mt19937 rng(GetParam());
    Game game;
    std::size_t turns = 0;
    while (!game.over()) {
        ASSERT_LT(++turns, 400u);
        const std::size_t mover = game.seat_to_move();
        const std::set<std::size_t> legal = reference::legal_grid_indices(game, mover);
        if (game.is_done(mover)) {
            ASSERT_TRUE(legal.empty()) << "done agent " << mover << " still has moves";
            ASSERT_EQ(accepted_grid_indices(game).size(), NUM_GRID_POSITIONS);
            ASSERT_FALSE(game.step(std::nullopt));
            continue;
        }
        ASSERT_FALSE(legal.empty()) << "agent " << mover << " not done but stuck";
        ASSERT_EQ(accepted_grid_indices(game), legal);
        for (std::size_t k = 0; k < 4; ++k) {
            ASSERT_EQ(game.is_done(k), reference::legal_grid_indices(game, k).empty()) << k;
        }
        auto pick = legal.begin();
        std::advance(pick, std::uniform_int_distribution<std::size_t>(0, legal.size() - 1)(rng));
        ASSERT_FALSE(game.step(*pick));
        ASSERT_EQ(game.seat_to_move(), (mover + 1) % 4);
        check_invariants(game);
    }
    for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(reference::legal_grid_indices(game, k).empty());
}

INSTANTIATE_TEST_SUITE_P(Seeds, Playout, ::testing::Range(1u, 9u));

}  // namespace
}  // namespace game
