// The placement search's tables read back against the placements they
// describe, and the search itself against the reference rules on the
// absolute board.

#include "game/actions/legal_placements.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "game/bitboard/row_windows.hpp"
#include "game/game.hpp"
#include "reference.hpp"

namespace game {
namespace {

const ActionSet& set() { return ActionSet::get(); }

// Each stored window, read back cell by cell, is the cells of the candidate
// beside it.
TEST(LegalPlacements, CandidateWindowsMatchTheirPlacements) {
    ASSERT_EQ(set().candidate_windows.size(), set().candidates.size());
    for (std::size_t e = 0; e < set().candidates.size(); ++e) {
        const u128 packed = set().candidate_windows[e];
        const unsigned top = static_cast<unsigned>(packed >> RowWindows::TOP_ROW_SHIFT);
        ASSERT_EQ(packed & ~RowWindows::WINDOW_MASK, u128{top} << RowWindows::TOP_ROW_SHIFT) << "entry " << e;
        Bitboard cells;
        for (unsigned bit = 0; bit < RowWindows::WIDTH; ++bit) {
            if ((packed >> bit & 1) != 0) cells |= Bitboard::single(top * ROW_STRIDE + bit);
        }
        ASSERT_EQ(cells, set().actions[set().candidates[e]].cells) << "entry " << e;
    }
}

TEST(LegalPlacements, ListBoundsAreTight) {
    std::size_t longest_list = 0, most_per_cell = 0;
    for (std::size_t x = 0; x + 1 < set().offsets.size(); ++x) {
        longest_list = std::max(longest_list, set().offsets[x + 1] - set().offsets[x]);
    }
    for (std::size_t cell = 0; cell < NUM_INDICES; ++cell) {
        most_per_cell = std::max(most_per_cell, set().offsets[(cell + 1) * NUM_PIECE_TYPES] - set().offsets[cell * NUM_PIECE_TYPES]);
    }
    EXPECT_EQ(longest_list, ActionSet::MAX_LIST_LENGTH);
    EXPECT_EQ(most_per_cell, ActionSet::MAX_CELL_ENTRIES);
}

TEST(LegalPlacements, EdgeNeighboursStopAtTheBorder) {
    EXPECT_EQ(edge_neighbour(0, Edge::Up), std::nullopt);
    EXPECT_EQ(edge_neighbour(0, Edge::Left), std::nullopt);
    EXPECT_EQ(edge_neighbour(0, Edge::Right), 1u);
    EXPECT_EQ(edge_neighbour(0, Edge::Down), 21u);
    EXPECT_EQ(edge_neighbour(cell_index(19, 19), Edge::Right), std::nullopt);
    EXPECT_EQ(edge_neighbour(cell_index(19, 19), Edge::Down), std::nullopt);
    EXPECT_EQ(edge_neighbour(cell_index(19, 19), Edge::Up), cell_index(18, 19));
    EXPECT_EQ(edge_neighbour(cell_index(19, 19), Edge::Left), cell_index(19, 18));
    EXPECT_EQ(edge_neighbour(cell_index(5, 0), Edge::Left), std::nullopt);
    EXPECT_EQ(edge_neighbour(cell_index(5, 19), Edge::Right), std::nullopt);
}

// Bit n of a list's mask for an edge: entry n covers the cell across it,
// worked out on rows and columns.
TEST(LegalPlacements, EdgeMasksMarkTheEntriesCoveringEachNeighbour) {
    ASSERT_EQ(set().edge_masks.size(), NUM_INDICES * NUM_PIECE_TYPES);
    const int step_row[NUM_EDGES] = {-1, 0, 0, 1}, step_column[NUM_EDGES] = {0, -1, 1, 0};
    for (std::size_t x = 0; x < set().edge_masks.size(); ++x) {
        const int row = static_cast<int>(x / NUM_PIECE_TYPES / ROW_STRIDE);
        const int column = static_cast<int>(x / NUM_PIECE_TYPES % ROW_STRIDE);
        const std::size_t first = set().offsets[x], length = set().offsets[x + 1] - first;
        for (std::size_t d = 0; d < NUM_EDGES; ++d) {
            const int r = row + step_row[d], c = column + step_column[d];
            std::uint64_t expected = 0;
            for (std::size_t n = 0; n < length; ++n) {
                const Bitboard& cells = set().actions[set().candidates[first + n]].cells;
                if (r >= 0 && r < 20 && c >= 0 && c < 20 && cells.contains(cell_index(r, c))) expected |= std::uint64_t{1} << n;
            }
            ASSERT_EQ(set().edge_masks[x][d], expected) << "list " << x << ", edge " << d;
        }
    }
}

// On the absolute board: every seat's legal placements, each once, turned
// into its frame, are the reference's; has_legal_placement agrees.
void check_position(const Game& game) {
    std::vector<std::uint16_t> moves;
    for (std::size_t k = 0; k < 4; ++k) {
        const PlacementMasks masks = game.placement_masks(k);
        const std::uint32_t remaining = game.agents[k].remaining;
        list_legal_placements(set(), masks.blocked, masks.corners, remaining, moves);
        std::set<std::size_t> grid;
        for (std::uint16_t a : moves) grid.insert(set().actions[set().seat_maps[(4 - k) % 4][a]].grid_index);
        ASSERT_EQ(grid.size(), moves.size()) << "seat " << k << ": a placement is listed twice";
        ASSERT_EQ(grid, reference::legal_grid_indices(game, k)) << "seat " << k;
        ASSERT_EQ(has_legal_placement(set(), masks.blocked, masks.corners, remaining), !moves.empty()) << k;
    }
}

TEST(LegalPlacements, RandomPositionsMatchTheReference) {
    std::mt19937 rng(5);
    std::vector<std::uint16_t> moves;
    for (int games = 0; games < 2; ++games) {
        Game game;
        for (std::size_t turn = 0; !game.over(); ++turn) {
            ASSERT_LT(turn, 400u);
            if (turn % 6 == 0) ASSERT_NO_FATAL_FAILURE(check_position(game)) << "turn " << turn;
            const std::size_t k = game.current;
            const PlacementMasks masks = game.placement_masks(k);
            list_legal_placements(set(), masks.blocked, masks.corners, game.agents[k].remaining, moves);
            std::optional<std::uint64_t> action;
            if (!game.agents[k].done) {
                const std::uint16_t a = moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
                action = set().actions[set().seat_maps[(4 - k) % 4][a]].grid_index;
            }
            ASSERT_FALSE(game.step(action));
        }
        ASSERT_NO_FATAL_FAILURE(check_position(game));
    }
}

TEST(LegalPlacements, NothingWithoutCornersOrPieces) {
    std::vector<std::uint16_t> moves{1, 2, 3};
    list_legal_placements(set(), Bitboard{}, Bitboard{}, ALL_PIECES, moves);
    EXPECT_TRUE(moves.empty());
    EXPECT_FALSE(has_legal_placement(set(), Bitboard{}, Bitboard{}, ALL_PIECES));
    EXPECT_FALSE(has_legal_placement(set(), Bitboard{}, Bitboard::single(0), 0));
    // Only the monomino in hand, on one free corner: exactly that placement.
    list_legal_placements(set(), Bitboard{}, Bitboard::single(0), 1, moves);
    EXPECT_EQ(moves, std::vector<std::uint16_t>{0});
}

}  // namespace
}  // namespace game
