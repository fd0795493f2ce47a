#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "game/bitboard/bitboard.hpp"

namespace game {

// A board seen through 20 overlapping windows of five rows, for overlap
// tests against placements, which are at most five rows tall:
//   rows[r] bit 21 * k + c = cell (r + k, c), k = 0..4 (bits 0..104; rows
//   past 19 read as empty; bits 105..127 always clear).
// A placement is packed the same way from its own top row, with that row
// number in bits 120..127; it meets the board exactly when it meets the
// window of its top row, so the test is one 128-bit AND instead of four.
struct RowWindows {
    static constexpr unsigned HEIGHT = 5;
    static constexpr unsigned WIDTH = HEIGHT * ROW_STRIDE;  // 105 bits
    static constexpr unsigned TOP_ROW_SHIFT = 120;
    static constexpr u128 WINDOW_MASK = (u128{1} << WIDTH) - 1;

    std::array<u128, BOARD_SIZE> rows;

    explicit RowWindows(const Bitboard& board) : rows(windows(board, std::make_index_sequence<BOARD_SIZE>{})) {}

    // `cells` (non-empty, at most five rows from its lowest cell) as a window
    // with its top row attached.
    static u128 pack(const Bitboard& cells) {
        if (cells.is_empty()) throw Fault("Cannot pack an empty placement");
        const unsigned top = *cells.ones().begin() / ROW_STRIDE;
        const Bitboard from_top = top == 0 ? cells : cells.shift_down(top * ROW_STRIDE);
        const u128 window = from_top.words[3] & WINDOW_MASK;
        if (from_top.words[3] != window || from_top.words[2] != 0 || from_top.words[1] != 0 || from_top.words[0] != 0) {
            throw Fault("Placement from row " + std::to_string(top) + " is taller than five rows");
        }
        return window | u128{top} << TOP_ROW_SHIFT;
    }

    bool meets(u128 packed) const { return (rows[static_cast<unsigned>(packed >> TOP_ROW_SHIFT)] & packed) != 0; }

    // The packed placement covers board cell `cell`.
    static bool covers(u128 packed, unsigned cell) {
        const unsigned first = static_cast<unsigned>(packed >> TOP_ROW_SHIFT) * ROW_STRIDE;
        return cell >= first && cell - first < WIDTH && (packed >> (cell - first) & 1) != 0;
    }

    // Adds board cell `cell` to every window that shows it.
    void add(unsigned cell) {
        const unsigned row = cell / ROW_STRIDE;
        for (unsigned r = row >= HEIGHT - 1 ? row - (HEIGHT - 1) : 0; r <= row; ++r) {
            rows[r] |= u128{1} << (cell - r * ROW_STRIDE);
        }
    }

private:
    // One shift per window, each by a constant distance that the compiler
    // folds into a couple of double-word shifts.
    template <std::size_t... R>
    static std::array<u128, BOARD_SIZE> windows(const Bitboard& board, std::index_sequence<R...>) {
        return {((R == 0 ? board : board.shift_down(R * ROW_STRIDE)).words[3] & WINDOW_MASK)...};
    }
};

}  // namespace game
