#include "game/game.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace game {
namespace {

// Grid index of orientation `o` with its bounding box at (row, column).
std::uint64_t grid(std::size_t o, std::size_t row, std::size_t column) { return o * 400 + row * 20 + column; }

constexpr std::size_t I1 = 0, I2_LYING = 1, I2_STANDING = 2, O = 13, I5_LYING = 89;

// The position `layout` describes, which must be well formed.
Game set_up(const Position& layout) {
    const std::optional<Game> game = Game::set_up(layout);
    if (!game) throw std::invalid_argument("malformed test position");
    return *game;
}

TEST(Game, FreshGame) {
    const Game g;
    EXPECT_EQ(g.seat_to_move(), 0u);
    EXPECT_EQ(g.ply(), 0u);
    EXPECT_FALSE(g.over());
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(g.pieces_in_hand(k), 0x1FFFFFu);
        EXPECT_EQ(g.last_piece(k), 0);
        EXPECT_EQ(g.placed(k), 0);
        EXPECT_FALSE(g.is_done(k));
        EXPECT_TRUE(g.cells(k).is_empty());
    }
    EXPECT_EQ(set_up(Position{}), g);
}

TEST(Game, MonominoOnEveryStartCellThenRepeatedPieceIsRefused) {
    Game g;
    for (std::size_t k = 0; k < 4; ++k) {
        ASSERT_FALSE(g.step(0)) << k;
        EXPECT_EQ(g.cells(k), Bitboard::single(START_CELLS[k]));
    }
    EXPECT_EQ(g.pieces_in_hand(0), 0x1FFFFEu);
    EXPECT_EQ(g.placed(0), 1);
    EXPECT_EQ(g.last_piece(0), 1);
    EXPECT_EQ(g.ply(), 4u);
    const Game before = g;
    const auto refused = g.step(0);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, "Action index not available");
    EXPECT_EQ(g, before);
}

TEST(Game, FirstMoveMustCoverTheStartCell) {
    Game g;
    EXPECT_TRUE(g.step(grid(I1, 0, 1)));
    EXPECT_TRUE(g.step(std::nullopt));
    EXPECT_TRUE(g.step(36400));
    EXPECT_TRUE(g.step(grid(I2_LYING, 0, 19)));  // does not fit on the board
    EXPECT_EQ(g.seat_to_move(), 0u);
    EXPECT_FALSE(g.step(grid(O, 0, 0)));
    EXPECT_EQ(g.seat_to_move(), 1u);
    // The same action seen from seat 1's frame covers (0, 19).
    EXPECT_FALSE(g.step(grid(O, 0, 0)));
    EXPECT_TRUE(g.cells(1).contains(cell_index(0, 19)) && g.cells(1).contains(cell_index(1, 18)));
}

// Agent 0 plays; the others are set up done, and only pass.
Game solo() {
    Position layout;
    for (std::size_t k = 1; k < 4; ++k) layout.done[k] = true;
    return set_up(layout);
}

void play(Game& g, std::uint64_t action) {
    ASSERT_FALSE(g.step(action));
    while (g.seat_to_move() != 0) ASSERT_FALSE(g.step(std::nullopt));
}

TEST(Game, OwnEdgesBlockOwnCornersAttach) {
    Game g = solo();
    play(g, grid(O, 0, 0));                       // (0,0)-(1,1)
    EXPECT_TRUE(g.step(grid(I1, 0, 2)));          // shares an edge with own piece
    EXPECT_TRUE(g.step(grid(I1, 5, 5)));          // touches nothing
    EXPECT_TRUE(g.step(grid(I2_LYING, 1, 1)));    // overlaps own piece
    play(g, grid(I1, 2, 2));                      // corner of own piece
    EXPECT_TRUE(g.step(grid(I2_STANDING, 2, 2))); // overlaps the monomino
    EXPECT_TRUE(g.step(grid(I1, 3, 3)));          // monomino already placed
    EXPECT_EQ(g.placed(0), 2);
}

TEST(Game, ForeignEdgesAreAllowedForeignCornersDoNotAttach) {
    Game g;
    ASSERT_FALSE(g.step(grid(O, 0, 0)));  // agent 0: (0,0)-(1,1)
    for (std::size_t k = 1; k < 4; ++k) ASSERT_FALSE(g.step(0));
    // Agent 0 lays I5 from (2, 2) to (2, 6).
    ASSERT_FALSE(g.step(grid(I5_LYING, 2, 2)));
    // Give agent 1 a cell beside agent 0's I5 and hand the turn back to 0.
    Position layout = g.position();
    layout.cells[1] |= Bitboard::single(cell_index(3, 8));
    layout.seat_to_move = 0;
    g = set_up(layout);
    // Agent 0: I2 standing at (3, 7)-(4, 7) touches own (2, 6) at a corner
    // and agent 1's (3, 8) along an edge: allowed.
    Game allowed = g;
    EXPECT_FALSE(allowed.step(grid(I2_STANDING, 3, 7)));
    // Agent 0: a piece touching only agent 1's cell at a corner is refused.
    EXPECT_TRUE(g.step(grid(I2_STANDING, 4, 9)));
    // Overlapping another colour is refused even where it would attach.
    layout.cells[1] |= Bitboard::single(cell_index(4, 7));
    g = set_up(layout);
    EXPECT_TRUE(g.step(grid(I2_STANDING, 3, 7)));
}

TEST(Game, DoneAgentsPassWithAnyAction) {
    Position layout;
    layout.done[0] = true;
    const Game before = set_up(layout);
    layout.seat_to_move = 1;
    const Game passed = set_up(layout);
    for (std::optional<std::uint64_t> action : {std::optional<std::uint64_t>{}, {0}, {36400}, {1ull << 63}}) {
        Game g = before;
        EXPECT_FALSE(g.step(action));
        EXPECT_EQ(g, passed);
    }
}

TEST(Game, CoveredStartCellMakesThatAgentDone) {
    // Agent 0 already owns (1, 17) and covers agent 1's start cell (0, 19)
    // before agent 1 has placed anything.
    Position layout;
    layout.cells[0] = Bitboard::single(cell_index(1, 17));
    layout.pieces_in_hand[0] = 0x1FFFFE;
    layout.last_piece[0] = 1;
    Game h = set_up(layout);
    ASSERT_FALSE(h.step(grid(I2_LYING, 0, 18)));  // I2 lying on (0, 18)-(0, 19)
    EXPECT_TRUE(h.is_done(1));
    EXPECT_FALSE(h.is_done(2));
    EXPECT_EQ(h.seat_to_move(), 1u);
    EXPECT_FALSE(h.step(0));  // agent 1 only passes
    EXPECT_EQ(h.placed(1), 0);
    EXPECT_EQ(h.seat_to_move(), 2u);
}

TEST(Game, OverGameOnlyCyclesTheTurn) {
    Game g = set_up(Position{.done = {true, true, true, true}});
    ASSERT_TRUE(g.over());
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_EQ(g.seat_to_move(), n % 4);
        EXPECT_FALSE(g.step(12345));
    }
    EXPECT_EQ(g.ply(), 0u);
}

TEST(Game, PlacementMasksStartWithTheStartCell) {
    const Game g;
    for (std::size_t k = 0; k < 4; ++k) {
        const auto [blocked, corners] = g.placement_masks(k);
        EXPECT_TRUE(blocked.is_empty());
        EXPECT_EQ(corners, Bitboard::single(START_CELLS[k]));
    }
}

TEST(Game, PassingDoneSeatsStopsAtASeatThatCanPlaceOrAtTheEnd) {
    Game g = set_up(Position{.done = {false, true, true, false}, .seat_to_move = 1});
    g.pass_done_seats();
    EXPECT_EQ(g.seat_to_move(), 3u);
    g.pass_done_seats();
    EXPECT_EQ(g.seat_to_move(), 3u);
    Game over = set_up(Position{.done = {true, true, true, true}, .seat_to_move = 2});
    over.pass_done_seats();
    EXPECT_EQ(over.seat_to_move(), 2u);
}

TEST(Game, ResetRestoresTheInitialState) {
    Game g;
    ASSERT_FALSE(g.step(0));
    g.reset();
    EXPECT_EQ(g, Game());
}

}  // namespace
}  // namespace game
