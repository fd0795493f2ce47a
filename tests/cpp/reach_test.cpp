// The reach of a cell read off ReachRows, against the board read cell by
// cell on rows and columns.

#include "game/bitboard/reach.hpp"

#include <gtest/gtest.h>

#include <random>

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

// Each of the 41 bits of every board cell's reach: set exactly when that
// cell is off the board or on it and taken; no bit above 40.
void expect_reach_matches(const ReachRows& rows, const Bitboard& board) {
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 20; ++column) {
            const std::uint64_t reach = rows.reach(cell_index(row, column));
            ASSERT_EQ(reach >> REACH_CELLS, 0u);
            for (int d = -4; d <= 4; ++d) {
                for (int e = -4 + std::abs(d); e <= 4 - std::abs(d); ++e) {
                    const int r = row + d, c = column + e;
                    const bool taken = r < 0 || r >= 20 || c < 0 || c >= 20 || board.contains(cell_index(r, c));
                    ASSERT_EQ((reach & reach_bit(d, e)) != 0, taken) << "cell (" << row << ", " << column << ") offset (" << d << ", " << e << ")";
                }
            }
        }
    }
}

TEST(Reach, BitsNumberTheFortyOneCellsInRowOrder) {
    std::uint64_t seen = 0;
    int previous = -1;
    for (int d = -4; d <= 4; ++d) {
        for (int e = -4 + std::abs(d); e <= 4 - std::abs(d); ++e) {
            const int bit = __builtin_ctzll(reach_bit(d, e));
            ASSERT_EQ(bit, previous + 1);
            previous = bit;
            seen |= reach_bit(d, e);
        }
    }
    EXPECT_EQ(seen, (std::uint64_t{1} << REACH_CELLS) - 1);
}

TEST(Reach, RowsAgreeWithTheBoardOnRandomBoards) {
    std::mt19937 rng(7);
    for (double density : {0.0, 0.02, 0.1, 0.3, 0.7, 1.0}) {
        SCOPED_TRACE(::testing::Message() << "density " << density);
        const Bitboard board = random_board(rng, density);
        ASSERT_NO_FATAL_FAILURE(expect_reach_matches(ReachRows(board), board));
    }
}

TEST(Reach, AddedCellsCountAsTaken) {
    std::mt19937 rng(11);
    Bitboard board = random_board(rng, 0.05);
    ReachRows rows(board);
    for (unsigned cell : {0u, 19u, 45u, 200u, 333u, 399u, 418u}) {
        board |= Bitboard::single(cell);
        rows.add(cell);
        SCOPED_TRACE(::testing::Message() << "after cell " << cell);
        ASSERT_NO_FATAL_FAILURE(expect_reach_matches(rows, board));
    }
}

}  // namespace
}  // namespace game
