// What step keeps beside the seats (each seat's first legal placement and
// its cells turned into every frame), against a rebuild from scratch after
// every move of random games, from the start and from loaded states.

#include <gtest/gtest.h>

#include <random>

#include "game/game.hpp"
#include "random_play.hpp"

namespace game {
namespace {

// A game built anew from the same seats searches every first legal placement
// and turns every frame from scratch; Game's equality compares those too.
void expect_same_as_rebuilt(const Game& game) {
    const std::optional<Game> rebuilt = Game::set_up(game.position());
    ASSERT_TRUE(rebuilt);
    ASSERT_EQ(*rebuilt, game);
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

}  // namespace
}  // namespace game
