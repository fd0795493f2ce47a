// Observations checked against the absolute placement masks and the slow
// reference rules, at positions of random playouts and in hand-made cases.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "game/game.hpp"
#include "reference.hpp"

namespace game {
namespace {

using reference::Cell;

Bitboard board_of(std::initializer_list<Cell> cells) {
    Bitboard b;
    for (auto [r, c] : cells) b |= Bitboard::single(cell_index(r, c));
    return b;
}

// The dense index of the placement covering exactly `cells`.
std::uint16_t placement(const Game& game, std::initializer_list<Cell> cells) {
    const Bitboard wanted = board_of(cells);
    for (std::size_t i = 0; i < game.action_set().actions.size(); ++i) {
        if (game.action_set().actions[i].cells == wanted) return static_cast<std::uint16_t>(i);
    }
    ADD_FAILURE() << "no such placement";
    return 0;
}

std::vector<std::uint16_t> moves_of(const Game& game, std::size_t observer) {
    std::vector<std::uint16_t> moves;
    game.observed_moves(game.observe(observer), moves);
    return moves;
}

void expect_same_view(const Observation& a, const Observation& b) {
    EXPECT_EQ(a.occupied, b.occupied);
    EXPECT_EQ(a.corners, b.corners);
    EXPECT_EQ(a.blocked, b.blocked);
    EXPECT_EQ(a.pieces, b.pieces);
    EXPECT_EQ(a.done, b.done);
}

// Every plane against the engine's absolute masks turned into the frame, and
// the frame itself cell by cell against the reference turn.
void check_planes(const Game& game, std::size_t observer, const Observation& view) {
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t a = (observer + k) % 4;
        const PlacementMasks masks = game.placement_masks(a);
        ASSERT_EQ(view.occupied[k], turn_counter_clockwise(game.cells(a), observer)) << k;
        ASSERT_EQ(view.blocked[k], turn_counter_clockwise(masks.blocked, observer)) << k;
        ASSERT_EQ(view.corners[k], turn_counter_clockwise(masks.corners, observer)) << k;
        ASSERT_EQ(view.pieces[k], game.pieces_in_hand(a)) << k;
        ASSERT_EQ(view.done[k], game.is_done(a)) << k;
        std::vector<Cell> absolute;
        for (Cell cell : reference::cells_of(view.occupied[k])) absolute.push_back(reference::turn_clockwise(cell, observer));
        std::sort(absolute.begin(), absolute.end());
        ASSERT_EQ(absolute, reference::cells_of(game.cells(a))) << k;
    }
}

// The moves are the reference's legal placements, each once, ordered by the
// lowest corner cell they cover, then catalogue index, then dense index.
void check_moves(const Game& game, std::size_t observer, const Observation& view,
                 const std::vector<std::uint16_t>& moves) {
    std::set<std::size_t> grid;
    for (std::uint16_t i : moves) grid.insert(game.action_set().actions[i].grid_index);
    ASSERT_EQ(grid.size(), moves.size()) << "a move is listed twice";
    ASSERT_EQ(grid, reference::legal_grid_indices(game, observer));
    std::tuple<unsigned, std::size_t, std::uint16_t> previous{};
    for (std::size_t n = 0; n < moves.size(); ++n) {
        const Action& action = game.action_set().actions[moves[n]];
        const Bitboard touched = action.cells & view.corners[0];
        ASSERT_FALSE(touched.is_empty());
        const std::tuple key{*touched.ones().begin(), catalogue_index(action.piece), moves[n]};
        if (n > 0) ASSERT_LT(previous, key) << "at " << n;
        previous = key;
    }
}

// Plays uniformly among the listed moves and checks every observer at about
// one position in eight, and at the end.
void check_random_game(unsigned seed) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution check_here(1.0 / 8);
    Game game;
    std::vector<std::uint16_t> moves;
    for (std::size_t turns = 0; !game.over(); ++turns) {
        ASSERT_LT(turns, 400u);
        if (check_here(rng)) {
            for (std::size_t observer = 0; observer < 4; ++observer) {
                const Observation view = game.observe(observer);
                game.observed_moves(view, moves);
                ASSERT_NO_FATAL_FAILURE(check_planes(game, observer, view)) << "observer " << observer;
                ASSERT_NO_FATAL_FAILURE(check_moves(game, observer, view, moves)) << "observer " << observer;
            }
        }
        const std::size_t mover = game.seat_to_move();
        game.observed_moves(game.observe(mover), moves);
        ASSERT_EQ(moves.empty(), game.is_done(mover));
        if (moves.empty()) {
            ASSERT_FALSE(game.step(std::nullopt));
            continue;
        }
        const std::uint16_t pick = moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
        ASSERT_FALSE(game.step(game.action_set().actions[pick].grid_index));
    }
    for (std::size_t observer = 0; observer < 4; ++observer) {
        ASSERT_NO_FATAL_FAILURE(check_planes(game, observer, game.observe(observer)));
        EXPECT_TRUE(moves_of(game, observer).empty());
    }
}

// One test for all seeds: the action set is built once per test process.
TEST(Observation, RandomPositionsMatchMasksAndReference) {
    for (unsigned seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        ASSERT_NO_FATAL_FAILURE(check_random_game(seed));
    }
}

TEST(Observation, FreshGameLooksTheSameFromEverySeat) {
    const Game g;
    std::vector<std::uint16_t> covering_start;
    for (std::size_t i = 0; i < g.action_set().actions.size(); ++i) {
        if (g.action_set().actions[i].cells.contains(0)) covering_start.push_back(static_cast<std::uint16_t>(i));
    }
    ASSERT_EQ(covering_start.size(), 58u);
    const unsigned start_cells[4] = {0, 19, 418, 399};
    for (std::size_t observer = 0; observer < 4; ++observer) {
        const Observation view = g.observe(observer);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_TRUE(view.occupied[k].is_empty());
            EXPECT_TRUE(view.blocked[k].is_empty());
            EXPECT_EQ(view.corners[k], Bitboard::single(start_cells[k]));
            EXPECT_EQ(view.pieces[k], 0x1FFFFFu);
            EXPECT_FALSE(view.done[k]);
        }
        EXPECT_EQ(moves_of(g, observer), covering_start) << observer;
    }
}

TEST(Observation, FramesTurnEachSeatsStartCellToTheTopLeft) {
    Game g;
    ASSERT_FALSE(g.step(0));  // agent 0: I1 on (0, 0)
    ASSERT_FALSE(g.step(0));  // agent 1: I1 on (0, 19)
    const Observation one = g.observe(1);
    EXPECT_EQ(one.occupied[0], board_of({{0, 0}}));    // agent 1
    EXPECT_EQ(one.occupied[3], board_of({{19, 0}}));   // agent 0
    EXPECT_EQ(one.corners[0], board_of({{1, 1}}));
    EXPECT_EQ(one.corners[1], board_of({{0, 19}}));    // agent 2, still at its start cell
    const Observation three = g.observe(3);
    EXPECT_EQ(three.occupied[1], board_of({{0, 19}}));  // agent 0
    EXPECT_EQ(three.occupied[2], board_of({{19, 19}}));  // agent 1
    EXPECT_EQ(three.corners[0], board_of({{0, 0}}));     // agent 3, still at its start cell
    EXPECT_EQ(three.corners[1], board_of({{1, 18}}));
    const Observation two = g.observe(2);
    EXPECT_EQ(two.occupied[2], board_of({{19, 19}}));  // agent 0
    EXPECT_EQ(two.occupied[3], board_of({{19, 0}}));   // agent 1
}

TEST(Observation, CoveredStartCellIsNoCornerAndDoneObserverHasNoMoves) {
    // Agent 0 covers agent 1's start cell (0, 19) before agent 1 has moved.
    const Game g = *Game::set_up(Position{.cells = {board_of({{0, 18}, {0, 19}, {1, 17}}), {}, {}, {}}});
    ASSERT_TRUE(g.is_done(1));
    EXPECT_TRUE(g.observe(1).done[0]);
    EXPECT_TRUE(moves_of(g, 1).empty());

    // Read as if it were not done, the seat still finds nothing to attach to.
    Observation own = g.observe(1);
    own.done[0] = false;
    EXPECT_TRUE(own.corners[0].is_empty());
    std::vector<std::uint16_t> moves = {1, 2, 3};  // stale contents are dropped
    g.observed_moves(own, moves);
    EXPECT_TRUE(moves.empty());
    EXPECT_TRUE(g.observe(0).corners[1].is_empty());
    EXPECT_TRUE(g.observe(2).corners[3].is_empty());

    // A seat marked done lists nothing, even where a placement would fit.
    const Game fresh = *Game::set_up(Position{.done = {false, false, true, false}});
    EXPECT_TRUE(moves_of(fresh, 2).empty());
    EXPECT_FALSE(moves_of(fresh, 3).empty());
}

TEST(Observation, PlacementOnTwoCornersIsListedOnceAndSeatsSeeOnePicture) {
    Game g;
    const std::size_t i3_standing = g.action_set().actions[placement(g, {{1, 1}, {2, 1}, {3, 1}})].grid_index;
    // Every agent plays I1 on its start cell, then I3 down from (1, 1), each
    // in its own frame: the position looks the same from every seat.
    for (std::uint64_t action : {std::uint64_t{0}, std::uint64_t{i3_standing}}) {
        for (std::size_t k = 0; k < 4; ++k) ASSERT_FALSE(g.step(action)) << k;
    }
    const Observation view = g.observe(0);
    EXPECT_EQ(view.corners[0], board_of({{0, 2}, {4, 0}, {4, 2}}));
    // U from (4, 0) round to (4, 2) covers the corners on both sides of (4, 1).
    const std::uint16_t u = placement(g, {{4, 0}, {5, 0}, {5, 1}, {5, 2}, {4, 2}});
    ASSERT_EQ((g.action_set().actions[u].cells & view.corners[0]).count(), 2u);
    const std::vector<std::uint16_t> moves = moves_of(g, 0);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), u), 1);
    for (std::size_t observer = 1; observer < 4; ++observer) {
        expect_same_view(g.observe(observer), view);
        EXPECT_EQ(moves_of(g, observer), moves) << observer;
    }
}

}  // namespace
}  // namespace game
