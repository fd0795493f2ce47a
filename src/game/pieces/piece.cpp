#include "game/pieces/piece.hpp"

#include <algorithm>
#include <array>

namespace game {

u128 Piece::shape_mask() const {
    u128 mask = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const PieceRow& row = rows[r];
        const std::size_t width = row.offset + row.run + (row.gap ? 1 : 0);
        if (width > BOARD_SIZE) {
            throw Fault("Piece row of width " + std::to_string(width) + " does not fit the board");
        }
        std::array<bool, BOARD_SIZE> line{};
        for (std::size_t c = row.offset; c < row.offset + row.run; ++c) line[c] = true;
        if (row.gap) {
            if (*row.gap >= BOARD_SIZE) {
                throw Fault("Piece row gap " + std::to_string(*row.gap) + " lies beyond the row");
            }
            std::copy_backward(line.begin() + static_cast<std::ptrdiff_t>(*row.gap), line.end() - 1, line.end());
            line[*row.gap] = false;
        }
        for (std::size_t c = 0; c < BOARD_SIZE; ++c) {
            if (line[c]) mask |= u128{1} << (r * ROW_STRIDE + c);
        }
    }
    return mask;
}

std::vector<std::pair<std::size_t, Bitboard>> Piece::build_translations() const {
    const u128 mask = shape_mask();
    std::vector<std::pair<std::size_t, Bitboard>> out;
    out.reserve((max_row + 1) * (max_col + 1));
    for (std::size_t y = 0; y <= max_row; ++y) {
        for (std::size_t x = 0; x <= max_col; ++x) {
            out.emplace_back(y * BOARD_SIZE + x,
                             Bitboard::translate(mask, static_cast<unsigned>(x), static_cast<unsigned>(y)));
        }
    }
    return out;
}

std::vector<Piece> generate() {
    // {rows}, variant, max_row, max_col, type; each row {offset, run[, gap]}.
    std::vector<Piece> pieces = {
        // I1
        {{{0, 1}}, 0, 19, 19, PieceType::I1},
        // I2
        {{{0, 2}}, 0, 19, 18, PieceType::I2},
        {{{0, 1}, {0, 1}}, 1, 18, 19, PieceType::I2},
        // V3
        {{{0, 2}, {0, 1}}, 0, 18, 18, PieceType::V3},
        {{{0, 1}, {0, 2}}, 1, 18, 18, PieceType::V3},
        {{{1, 1}, {0, 2}}, 2, 18, 18, PieceType::V3},
        {{{0, 2}, {1, 1}}, 3, 18, 18, PieceType::V3},
        // I3
        {{{0, 3}}, 0, 19, 17, PieceType::I3},
        {{{0, 1}, {0, 1}, {0, 1}}, 1, 17, 19, PieceType::I3},
        // T4
        {{{1, 1}, {0, 3}}, 0, 18, 17, PieceType::T4},
        {{{0, 1}, {0, 2}, {0, 1}}, 1, 17, 18, PieceType::T4},
        {{{0, 3}, {1, 1}}, 2, 18, 17, PieceType::T4},
        {{{1, 1}, {0, 2}, {1, 1}}, 3, 17, 18, PieceType::T4},
        // O
        {{{0, 2}, {0, 2}}, 0, 18, 18, PieceType::O},
        // L4
        {{{0, 1}, {0, 3}}, 0, 18, 17, PieceType::L4},
        {{{0, 3}, {0, 1}}, 1, 18, 17, PieceType::L4},
        {{{0, 1}, {0, 1}, {0, 2}}, 2, 17, 18, PieceType::L4},
        {{{0, 2}, {0, 1}, {0, 1}}, 3, 17, 18, PieceType::L4},
        {{{0, 2}, {1, 1}, {1, 1}}, 4, 17, 18, PieceType::L4},
        {{{0, 3}, {2, 1}}, 5, 18, 17, PieceType::L4},
        {{{2, 1}, {0, 3}}, 6, 18, 17, PieceType::L4},
        {{{1, 1}, {1, 1}, {0, 2}}, 7, 17, 18, PieceType::L4},
        // I4
        {{{0, 4}}, 0, 19, 16, PieceType::I4},
        {{{0, 1}, {0, 1}, {0, 1}, {0, 1}}, 1, 16, 19, PieceType::I4},
        // Z4
        {{{0, 1}, {0, 2}, {1, 1}}, 0, 17, 18, PieceType::Z4},
        {{{1, 1}, {0, 2}, {0, 1}}, 1, 17, 18, PieceType::Z4},
        {{{1, 2}, {0, 2}}, 2, 18, 17, PieceType::Z4},
        {{{0, 2}, {1, 2}}, 3, 18, 17, PieceType::Z4},
        // F
        {{{1, 1}, {0, 3}, {0, 1}}, 0, 17, 17, PieceType::F},
        {{{0, 1}, {0, 3}, {1, 1}}, 1, 17, 17, PieceType::F},
        {{{0, 2}, {1, 2}, {1, 1}}, 2, 17, 17, PieceType::F},
        {{{1, 2}, {0, 2}, {1, 1}}, 3, 17, 17, PieceType::F},
        {{{2, 1}, {0, 3}, {1, 1}}, 4, 17, 17, PieceType::F},
        {{{1, 1}, {0, 2}, {1, 2}}, 5, 17, 17, PieceType::F},
        {{{1, 1}, {0, 3}, {2, 1}}, 6, 17, 17, PieceType::F},
        {{{1, 1}, {1, 2}, {0, 2}}, 7, 17, 17, PieceType::F},
        // X
        {{{1, 1}, {0, 3}, {1, 1}}, 0, 17, 17, PieceType::X},
        // P
        {{{0, 2}, {0, 2}, {0, 1}}, 0, 17, 18, PieceType::P},
        {{{0, 2}, {0, 2}, {1, 1}}, 1, 17, 18, PieceType::P},
        {{{0, 1}, {0, 2}, {0, 2}}, 2, 17, 18, PieceType::P},
        {{{1, 1}, {0, 2}, {0, 2}}, 3, 17, 18, PieceType::P},
        {{{0, 3}, {1, 2}}, 4, 18, 17, PieceType::P},
        {{{1, 2}, {0, 3}}, 5, 18, 17, PieceType::P},
        {{{0, 3}, {0, 2}}, 6, 18, 17, PieceType::P},
        {{{0, 2}, {0, 3}}, 7, 18, 17, PieceType::P},
        // W
        {{{0, 1}, {0, 2}, {1, 2}}, 0, 17, 17, PieceType::W},
        {{{1, 2}, {0, 2}, {0, 1}}, 1, 17, 17, PieceType::W},
        {{{2, 1}, {1, 2}, {0, 2}}, 2, 17, 17, PieceType::W},
        {{{0, 2}, {1, 2}, {2, 1}}, 3, 17, 17, PieceType::W},
        // Z5
        {{{0, 1}, {0, 3}, {2, 1}}, 0, 17, 17, PieceType::Z5},
        {{{2, 1}, {0, 3}, {0, 1}}, 1, 17, 17, PieceType::Z5},
        {{{1, 2}, {1, 1}, {0, 2}}, 2, 17, 17, PieceType::Z5},
        {{{0, 2}, {1, 1}, {1, 2}}, 3, 17, 17, PieceType::Z5},
        // Y
        {{{0, 4}, {1, 1}}, 0, 18, 16, PieceType::Y},
        {{{1, 1}, {0, 4}}, 1, 18, 16, PieceType::Y},
        {{{0, 4}, {2, 1}}, 2, 18, 16, PieceType::Y},
        {{{2, 1}, {0, 4}}, 3, 18, 16, PieceType::Y},
        {{{0, 1}, {0, 1}, {0, 2}, {0, 1}}, 4, 16, 18, PieceType::Y},
        {{{1, 1}, {1, 1}, {0, 2}, {1, 1}}, 5, 16, 18, PieceType::Y},
        {{{0, 1}, {0, 2}, {0, 1}, {0, 1}}, 6, 16, 18, PieceType::Y},
        {{{1, 1}, {0, 2}, {1, 1}, {1, 1}}, 7, 16, 18, PieceType::Y},
        // L5
        {{{0, 4}, {0, 1}}, 0, 18, 16, PieceType::L5},
        {{{0, 1}, {0, 4}}, 1, 18, 16, PieceType::L5},
        {{{0, 4}, {3, 1}}, 2, 18, 16, PieceType::L5},
        {{{3, 1}, {0, 4}}, 3, 18, 16, PieceType::L5},
        {{{0, 1}, {0, 1}, {0, 1}, {0, 2}}, 4, 16, 18, PieceType::L5},
        {{{1, 1}, {1, 1}, {1, 1}, {0, 2}}, 5, 16, 18, PieceType::L5},
        {{{0, 2}, {0, 1}, {0, 1}, {0, 1}}, 6, 16, 18, PieceType::L5},
        {{{0, 2}, {1, 1}, {1, 1}, {1, 1}}, 7, 16, 18, PieceType::L5},
        // U
        {{{0, 2, 1}, {0, 3}}, 0, 18, 17, PieceType::U},
        {{{0, 3}, {0, 2, 1}}, 1, 18, 17, PieceType::U},
        {{{0, 2}, {0, 1}, {0, 2}}, 2, 17, 18, PieceType::U},
        {{{0, 2}, {1, 1}, {0, 2}}, 3, 17, 18, PieceType::U},
        // T5
        {{{1, 1}, {1, 1}, {0, 3}}, 0, 17, 17, PieceType::T5},
        {{{0, 1}, {0, 3}, {0, 1}}, 1, 17, 17, PieceType::T5},
        {{{0, 3}, {1, 1}, {1, 1}}, 2, 17, 17, PieceType::T5},
        {{{2, 1}, {0, 3}, {2, 1}}, 3, 17, 17, PieceType::T5},
        // V5
        {{{0, 3}, {0, 1}, {0, 1}}, 0, 17, 17, PieceType::V5},
        {{{0, 1}, {0, 1}, {0, 3}}, 1, 17, 17, PieceType::V5},
        {{{2, 1}, {2, 1}, {0, 3}}, 2, 17, 17, PieceType::V5},
        {{{0, 3}, {2, 1}, {2, 1}}, 3, 17, 17, PieceType::V5},
        // N
        {{{1, 3}, {0, 2}}, 0, 18, 16, PieceType::N},
        {{{0, 2}, {1, 3}}, 1, 18, 16, PieceType::N},
        {{{0, 3}, {2, 2}}, 2, 18, 16, PieceType::N},
        {{{2, 2}, {0, 3}}, 3, 18, 16, PieceType::N},
        {{{0, 1}, {0, 1}, {0, 2}, {1, 1}}, 4, 16, 18, PieceType::N},
        {{{1, 1}, {1, 1}, {0, 2}, {0, 1}}, 5, 16, 18, PieceType::N},
        {{{1, 1}, {0, 2}, {0, 1}, {0, 1}}, 6, 16, 18, PieceType::N},
        {{{0, 1}, {0, 2}, {1, 1}, {1, 1}}, 7, 16, 18, PieceType::N},
        // I5
        {{{0, 5}}, 0, 19, 15, PieceType::I5},
        {{{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}, 1, 15, 19, PieceType::I5},
    };
    std::stable_sort(pieces.begin(), pieces.end());
    return pieces;
}

}  // namespace game
