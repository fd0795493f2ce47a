#pragma once

// Random legal play for tests that need positions reached by real games.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "game/game.hpp"

namespace game::test_support {

// Plays one turn for the seat to move: a pass when that seat is done,
// otherwise the first accepted placement in a shuffled order.
inline void play_random_turn(Game& game, std::mt19937& rng) {
    if (game.is_done(game.seat_to_move())) {
        EXPECT_FALSE(game.step(std::nullopt)) << "a done seat refused to pass";
        return;
    }
    std::vector<std::size_t> order;
    order.reserve(game.action_set().actions.size());
    for (const Action& action : game.action_set().actions) order.push_back(action.grid_index);
    std::shuffle(order.begin(), order.end(), rng);
    for (std::size_t g : order) {
        if (!game.step(g)) return;
    }
    ADD_FAILURE() << "seat " << game.seat_to_move() << " is not done but has no accepted placement";
    Position layout = game.position();
    layout.done[game.seat_to_move()] = true;
    game = *Game::set_up(layout);
}

}  // namespace game::test_support
