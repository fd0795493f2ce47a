#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <utility>

#include "game/bitboard/bitboard.hpp"

namespace game {

// The reach of a cell: the 41 cells at most four steps from it
// (|row offset| + |column offset| <= 4), where every piece covering the cell
// lies, as one 64-bit mask. Row offset d holds 9 - 2|d| cells; rows go top
// to bottom and each row left to right:
//   bit = REACH_ROW_START[d + 4] + column offset + (4 - |d|).
inline constexpr int REACH_RADIUS = 4;
inline constexpr unsigned REACH_CELLS = 41;
inline constexpr std::array<unsigned, 2 * REACH_RADIUS + 1> REACH_ROW_START = {0, 1, 4, 9, 16, 25, 32, 37, 40};

// std::abs is not constexpr before C++23.
constexpr unsigned reach_half_width(int row_offset) {
    return static_cast<unsigned>(REACH_RADIUS - (row_offset < 0 ? -row_offset : row_offset));
}

constexpr std::uint64_t reach_bit(int row_offset, int column_offset) {
    const unsigned start = REACH_ROW_START[static_cast<unsigned>(row_offset + REACH_RADIUS)];
    return std::uint64_t{1} << (start + static_cast<unsigned>(column_offset + static_cast<int>(reach_half_width(row_offset))));
}

// The 40 cells of a reach around its centre (bit 20), in ten groups of four
// adjacent bits, so that a group's cells read off a reach with one shift and
// one mask: group g is bits reach_group_shift(g) to reach_group_shift(g) + 3.
inline constexpr unsigned REACH_CENTRE_BIT = 20;
inline constexpr unsigned NUM_REACH_GROUPS = 10;
inline constexpr unsigned REACH_GROUP_BITS = 4;
constexpr unsigned reach_group_shift(unsigned group) {
    return REACH_GROUP_BITS * group + (REACH_GROUP_BITS * group >= REACH_CENTRE_BIT ? 1 : 0);
}
constexpr unsigned reach_group(std::uint64_t reach, unsigned group) {
    return static_cast<unsigned>(reach >> reach_group_shift(group)) & ((1u << REACH_GROUP_BITS) - 1);
}
static_assert(REACH_ROW_START.back() + 1 == REACH_CELLS && reach_bit(0, 0) == std::uint64_t{1} << REACH_CENTRE_BIT);
static_assert(NUM_REACH_GROUPS * REACH_GROUP_BITS + 1 == REACH_CELLS);

// A board as rows of bits with a border four cells wide that counts as
// taken, so that the reach of any board cell reads off-board cells as
// taken: rows[4 + r] bit 4 + c is cell (r, c).
struct ReachRows {
    static constexpr unsigned BORDER = REACH_RADIUS;
    static constexpr std::uint64_t FRAME = ((std::uint64_t{1} << BORDER) - 1) | ~std::uint64_t{0} << (BORDER + BOARD_SIZE);

    std::array<std::uint64_t, BOARD_SIZE + 2 * BORDER> rows;

    explicit ReachRows(const Bitboard& board) {
        rows.fill(~std::uint64_t{0});
        fill_board_rows(limbs_of(board), std::make_index_sequence<BOARD_SIZE>{});
    }

    // The reach of board cell `cell`; bit 20 (the cell itself) included.
    std::uint64_t reach(unsigned cell) const {
        const unsigned row = cell / ROW_STRIDE, column = cell % ROW_STRIDE;
        std::uint64_t out = 0;
        for (int d = -REACH_RADIUS; d <= REACH_RADIUS; ++d) {
            const unsigned half = reach_half_width(d);
            const std::uint64_t span = (std::uint64_t{1} << (2 * half + 1)) - 1;
            out |= (rows[static_cast<unsigned>(static_cast<int>(row + BORDER) + d)] >> (column + BORDER - half) & span)
                   << REACH_ROW_START[static_cast<unsigned>(d + REACH_RADIUS)];
        }
        return out;
    }

    void add(unsigned cell) { rows[BORDER + cell / ROW_STRIDE] |= std::uint64_t{1} << (BORDER + cell % ROW_STRIDE); }

private:
    // The board as eight 64-bit limbs, limb k holding cell indices 64k to
    // 64k + 63.
    static std::array<std::uint64_t, NUM_BITS / 64> limbs_of(const Bitboard& board) {
        std::array<std::uint64_t, NUM_BITS / 64> limbs;
        for (std::size_t k = 0; k < limbs.size(); ++k) limbs[k] = static_cast<std::uint64_t>(board.words[3 - k / 2] >> (64 * (k % 2)));
        return limbs;
    }

    // Each row read at a constant position, which the compiler folds into a
    // shift or two.
    template <std::size_t... R>
    void fill_board_rows(const std::array<std::uint64_t, NUM_BITS / 64>& limbs, std::index_sequence<R...>) {
        ((rows[BORDER + R] = row_of<R>(limbs) << BORDER | FRAME), ...);
    }
    template <std::size_t R>
    static std::uint64_t row_of(const std::array<std::uint64_t, NUM_BITS / 64>& limbs) {
        constexpr std::size_t first = R * ROW_STRIDE, limb = first / 64, shift = first % 64;
        std::uint64_t bits = limbs[limb] >> shift;
        if constexpr (shift + BOARD_SIZE > 64) bits |= limbs[limb + 1] << (64 - shift);
        return bits & ((std::uint64_t{1} << BOARD_SIZE) - 1);
    }
};

}  // namespace game
