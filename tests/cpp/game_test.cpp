#include "game/game.hpp"

#include <gtest/gtest.h>

namespace game {
namespace {

// Grid index of orientation `o` with its bounding box at (row, column).
std::uint64_t grid(std::size_t o, std::size_t row, std::size_t column) { return o * 400 + row * 20 + column; }

constexpr std::size_t I1 = 0, I2_LYING = 1, I2_STANDING = 2, O = 13, I5_LYING = 89;

TEST(Game, FreshGame) {
    const Game g;
    EXPECT_EQ(g.current, 0u);
    EXPECT_EQ(g.num_agents, 4u);
    EXPECT_EQ(g.ply(), 0u);
    EXPECT_FALSE(g.over());
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(g.agents[k].remaining, 0x1FFFFFu);
        EXPECT_EQ(g.agents[k].last_piece, 0);
        EXPECT_EQ(g.agents[k].placed, 0);
        EXPECT_EQ(g.agents[k].color, static_cast<Color>(k));
        EXPECT_FALSE(g.agents[k].done);
        EXPECT_TRUE(g.agents[k].cells.is_empty());
    }
}

TEST(Game, MonominoOnEveryStartCellThenRepeatedPieceIsRefused) {
    Game g;
    for (std::size_t k = 0; k < 4; ++k) {
        ASSERT_FALSE(g.step(0)) << k;
        EXPECT_EQ(g.agents[k].cells, Bitboard::single(START_CELLS[k]));
    }
    EXPECT_EQ(g.agents[0].remaining, 0x1FFFFEu);
    EXPECT_EQ(g.agents[0].placed, 1);
    EXPECT_EQ(g.agents[0].last_piece, 1);
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
    EXPECT_EQ(g.current, 0u);
    EXPECT_FALSE(g.step(grid(O, 0, 0)));
    EXPECT_EQ(g.current, 1u);
    // The same action seen from seat 1's frame covers (0, 19).
    EXPECT_FALSE(g.step(grid(O, 0, 0)));
    EXPECT_TRUE(g.agents[1].cells.contains(cell_index(0, 19)) && g.agents[1].cells.contains(cell_index(1, 18)));
}

// Agent 0 plays; the others pass by being made done by hand.
Game solo() {
    Game g;
    for (std::size_t k = 1; k < 4; ++k) g.agents[k].done = true;
    return g;
}

void play(Game& g, std::uint64_t action) {
    ASSERT_FALSE(g.step(action));
    while (g.current != 0) ASSERT_FALSE(g.step(std::nullopt));
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
    EXPECT_EQ(g.agents[0].placed, 2);
}

TEST(Game, ForeignEdgesAreAllowedForeignCornersDoNotAttach) {
    Game g;
    ASSERT_FALSE(g.step(grid(O, 0, 0)));  // agent 0: (0,0)-(1,1)
    for (std::size_t k = 1; k < 4; ++k) ASSERT_FALSE(g.step(0));
    // Agent 0 lays I5 from (2, 2) to (2, 6).
    ASSERT_FALSE(g.step(grid(I5_LYING, 2, 2)));
    // Give agent 1 a cell beside agent 0's I5 and hand the turn back to 0.
    g.agents[1].cells |= Bitboard::single(cell_index(3, 8));
    g.current = 0;
    // Agent 0: I2 standing at (3, 7)-(4, 7) touches own (2, 6) at a corner
    // and agent 1's (3, 8) along an edge: allowed.
    Game allowed = g;
    EXPECT_FALSE(allowed.step(grid(I2_STANDING, 3, 7)));
    // Agent 0: a piece touching only agent 1's cell at a corner is refused.
    EXPECT_TRUE(g.step(grid(I2_STANDING, 4, 9)));
    // Overlapping another colour is refused even where it would attach.
    g.agents[1].cells |= Bitboard::single(cell_index(4, 7));
    EXPECT_TRUE(g.step(grid(I2_STANDING, 3, 7)));
}

TEST(Game, DoneAgentsPassWithAnyAction) {
    Game g;
    g.agents[0].done = true;
    const Game before = g;
    for (std::optional<std::uint64_t> action : {std::optional<std::uint64_t>{}, {0}, {36400}, {1ull << 63}}) {
        g.current = 0;
        EXPECT_FALSE(g.step(action));
        EXPECT_EQ(g.current, 1u);
        g.current = 0;
        EXPECT_EQ(g, before);
    }
}

TEST(Game, CoveredStartCellMakesThatAgentDone) {
    // Agent 0 already owns (1, 17) and covers agent 1's start cell (0, 19)
    // before agent 1 has placed anything.
    Game h;
    h.agents[0].cells = Bitboard::single(cell_index(1, 17));
    h.agents[0].remaining = 0x1FFFFE;
    h.agents[0].placed = 1;
    ASSERT_FALSE(h.step(grid(I2_LYING, 0, 18)));  // I2 lying on (0, 18)-(0, 19)
    EXPECT_TRUE(h.agents[1].done);
    EXPECT_FALSE(h.agents[2].done);
    EXPECT_EQ(h.current, 1u);
    EXPECT_FALSE(h.step(0));  // agent 1 only passes
    EXPECT_EQ(h.agents[1].placed, 0);
    EXPECT_EQ(h.current, 2u);
}

TEST(Game, OverGameOnlyCyclesTheTurn) {
    Game g;
    for (auto& agent : g.agents) agent.done = true;
    ASSERT_TRUE(g.over());
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_EQ(g.current, n % 4);
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

TEST(Game, ResetRestoresTheInitialState) {
    Game g;
    ASSERT_FALSE(g.step(0));
    g.reset();
    EXPECT_EQ(g, Game());
}

}  // namespace
}  // namespace game
