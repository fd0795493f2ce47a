// What step keeps beside the agents (each seat's first legal placement and
// its cells turned into every frame), against a rebuild from scratch after
// every move of random games, from the start and from loaded states; the
// first legal placements also against the reference rules.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "game/game.hpp"
#include "random_play.hpp"
#include "reference.hpp"

namespace game {
namespace {

void expect_same_as_rebuilt(const Game& game) {
    Game rebuilt = game;
    rebuilt.update_derived();
    ASSERT_EQ(rebuilt.first_legal, game.first_legal);
    ASSERT_EQ(rebuilt.turned_cells, game.turned_cells);
    ASSERT_EQ(rebuilt, game);
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        if (game.agents[k].done) {
            ASSERT_EQ(game.first_legal[k], Game::NO_PLACEMENT) << k;
            continue;
        }
        // Legal for seat k by the reference rules, read in its own frame.
        const std::uint16_t own_frame = game.actions->seat_maps[(NUM_SEATS - k) % NUM_SEATS][game.first_legal[k]];
        ASSERT_TRUE(reference::legal_grid_indices(game, k).contains(game.actions->actions[own_frame].grid_index)) << k;
    }
}

void play_and_check(Game game, std::mt19937& rng) {
    for (int turn = 0; !game.over(); ++turn) {
        ASSERT_LT(turn, 400);
        test_support::play_random_turn(game, rng);
        SCOPED_TRACE(::testing::Message() << "turn " << turn);
        ASSERT_NO_FATAL_FAILURE(expect_same_as_rebuilt(game));
    }
}

TEST(DerivedState, StepKeepsWhatARebuildFinds) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        ASSERT_NO_FATAL_FAILURE(expect_same_as_rebuilt(Game()));
        ASSERT_NO_FATAL_FAILURE(play_and_check(Game(), rng));
    }
}

// A loaded state, taken from a game at a random turn, plays on as the
// original would, the incremental state agreeing with a rebuild throughout.
TEST(DerivedState, LoadedStatesPlayOnWithTheSameState) {
    std::mt19937 rng(21);
    for (int n = 0; n < 3; ++n) {
        Game game;
        const int stop = std::uniform_int_distribution<int>(10, 60)(rng);
        for (int turn = 0; turn < stop && !game.over(); ++turn) test_support::play_random_turn(game, rng);
        const std::optional<Game> loaded = Game::from_bytes(game.to_bytes());
        ASSERT_TRUE(loaded);
        ASSERT_EQ(*loaded, game);
        ASSERT_NO_FATAL_FAILURE(play_and_check(*loaded, rng));
    }
}

// A seat not done without a placement on record, as hand-written fields can
// leave it, is searched again by the next step instead of read out of range.
TEST(DerivedState, MissingRecordIsSearchedAgain) {
    Game game;
    game.first_legal[1] = Game::NO_PLACEMENT;
    ASSERT_FALSE(game.step(0));
    ASSERT_NO_FATAL_FAILURE(expect_same_as_rebuilt(game));
    EXPECT_FALSE(game.agents[1].done);
}

}  // namespace
}  // namespace game
