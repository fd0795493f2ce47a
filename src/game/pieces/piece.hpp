#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "game/bitboard/bitboard.hpp"
#include "game/pieces/piece_type.hpp"

namespace game {

// One row of an orientation's bounding box: `offset` empty columns, then a
// run of `run` cells; with a gap, one empty cell at column `gap` pushes the
// rest of the run one column to the right (the X.X rows of U).
struct PieceRow {
    std::size_t offset = 0;
    std::size_t run = 0;
    std::optional<std::size_t> gap;

    constexpr PieceRow(std::size_t offset, std::size_t run, std::optional<std::size_t> gap = std::nullopt)
        : offset(offset), run(run), gap(gap) {}
};

// One fixed orientation (a variant of its type), in the top-left corner of
// its bounding box. max_row / max_col: the largest offsets at which it still
// fits on the board (20 - height, 20 - width).
struct Piece {
    std::vector<PieceRow> rows;
    std::size_t variant = 0;
    std::size_t max_row = 0;
    std::size_t max_col = 0;
    PieceType piece_type = PieceType::I1;

    // Row stride 21: bit r * 21 + c for each cell (r, c) of the bounding box.
    u128 shape_mask() const;

    // Every on-board placement: (row * 20 + column of the top-left corner,
    // covered cells), row offsets outer, column offsets inner.
    std::vector<std::pair<std::size_t, Bitboard>> build_translations() const;

    friend bool operator<(const Piece& a, const Piece& b) {
        return std::pair(a.piece_type, a.variant) < std::pair(b.piece_type, b.variant);
    }
};

// The catalogue: the 91 orientations in orientation-index order.
std::vector<Piece> generate();

}  // namespace game
