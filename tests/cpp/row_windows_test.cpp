// Row windows against plain bitboard overlap, for every placement of the
// action set on random boards.

#include "game/bitboard/row_windows.hpp"

#include <gtest/gtest.h>

#include <random>

#include "game/actions/action_set.hpp"

namespace game {
namespace {

Bitboard random_board(std::mt19937& rng, double density) {
    std::bernoulli_distribution set(density);
    Bitboard b;
    for (unsigned i = 0; i < NUM_INDICES; ++i) {
        if (i % ROW_STRIDE != BOARD_SIZE && set(rng)) b |= Bitboard::single(i);
    }
    return b;
}

// Every placement meets the windows exactly when its cells meet the board.
void expect_same_overlaps(const RowWindows& windows, const Bitboard& board) {
    for (const Action& action : ActionSet::get().actions) {
        ASSERT_EQ(windows.meets(RowWindows::pack(action.cells)), action.cells.intersects(board))
            << "placement at grid index " << action.grid_index;
    }
}

TEST(RowWindows, MeetsAgreesWithIntersectsOnRandomBoards) {
    std::mt19937 rng(7);
    for (double density : {0.0, 0.02, 0.1, 0.3, 0.7, 1.0}) {
        SCOPED_TRACE(::testing::Message() << "density " << density);
        const Bitboard board = random_board(rng, density);
        ASSERT_NO_FATAL_FAILURE(expect_same_overlaps(RowWindows(board), board));
    }
}

TEST(RowWindows, AddedCellsCountAsOnTheBoard) {
    std::mt19937 rng(11);
    Bitboard board = random_board(rng, 0.05);
    RowWindows windows(board);
    // Cells in the top rows, the bottom rows and the corners reach fewer
    // than five windows.
    for (unsigned cell : {0u, 19u, 45u, 200u, 333u, 399u, 418u}) {
        board |= Bitboard::single(cell);
        windows.add(cell);
        SCOPED_TRACE(::testing::Message() << "after cell " << cell);
        ASSERT_NO_FATAL_FAILURE(expect_same_overlaps(windows, board));
    }
}

TEST(RowWindows, PackKeepsTheTopRowBesideTheWindow) {
    EXPECT_EQ(RowWindows::pack(Bitboard::single(0)), u128{1});
    EXPECT_EQ(RowWindows::pack(Bitboard::single(418)), u128{1} << 19 | u128{19} << 120);
    // I5 standing in the last column, rows 15..19.
    Bitboard column;
    for (unsigned row = 15; row < 20; ++row) column |= Bitboard::single(cell_index(row, 19));
    u128 expected = u128{15} << 120;
    for (unsigned k = 0; k < 5; ++k) expected |= u128{1} << (k * ROW_STRIDE + 19);
    EXPECT_EQ(RowWindows::pack(column), expected);
}

TEST(RowWindows, PackRefusesEmptyAndTallSets) {
    EXPECT_THROW(RowWindows::pack(Bitboard{}), Fault);
    EXPECT_THROW(RowWindows::pack(Bitboard::single(cell_index(2, 3)) | Bitboard::single(cell_index(7, 3))), Fault);
    EXPECT_NO_THROW(RowWindows::pack(Bitboard::single(cell_index(2, 3)) | Bitboard::single(cell_index(6, 3))));
}

TEST(RowWindows, CoversReadsSingleCells) {
    // Every placement covers exactly its own cells, including those outside
    // its five rows and before its top row.
    for (const Action& action : ActionSet::get().actions) {
        const u128 packed = RowWindows::pack(action.cells);
        for (unsigned cell = 0; cell < NUM_INDICES; ++cell) {
            ASSERT_EQ(RowWindows::covers(packed, cell), action.cells.contains(cell))
                << "grid index " << action.grid_index << ", cell " << cell;
        }
    }
}

}  // namespace
}  // namespace game
