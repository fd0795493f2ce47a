#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "game/bitboard/bitboard.hpp"
#include "game/pieces/piece_type.hpp"

namespace game {

// One placement on the empty board.
struct Action {
    Bitboard cells;
    std::size_t grid_index = 0;  // orientation * 400 + row * 20 + column of the bounding box
    PieceType piece = PieceType::I1;
};

inline constexpr std::size_t NUM_GRID_POSITIONS = 91 * 400;  // 36400
inline constexpr std::size_t NUM_SEATS = 4;

// Every placement of every orientation, built once per process and then
// read-only. A placement has a dense index (its position in `actions`, in
// ascending grid index) and a grid index; dense indices are 16-bit.
//
// seat_maps[k][r]: placement r as seat k sees it (its start cell at the top
// left) turned onto the absolute board; seat map k is k quarter turns
// clockwise. candidates[offsets[x] .. offsets[x + 1]) with
// x = cell * 21 + catalogue index: the placements of that piece type that
// cover the cell, ascending. candidate_windows[e] is the cells of placement
// candidates[e] packed as a row window (RowWindows::pack), stored beside the
// lists so that the placement search reads both in order and never touches
// the 80-byte `actions` entries.
struct ActionSet {
    std::vector<Action> actions;
    std::vector<std::optional<std::size_t>> grid;
    std::array<std::vector<std::uint16_t>, NUM_SEATS> seat_maps;
    std::vector<std::uint16_t> candidates;
    std::vector<std::size_t> offsets;
    std::vector<u128> candidate_windows;

    // The longest candidate list: 8 orientations of a five-cell piece.
    static constexpr std::size_t MAX_LIST_LENGTH = 40;

    // The process-wide set, built by the first caller; concurrent first
    // callers wait for that one build.
    static const ActionSet& get();
    static ActionSet build();

    std::span<const std::uint16_t> candidates_for(unsigned cell, std::size_t catalogue_index) const {
        const std::size_t x = cell * NUM_PIECE_TYPES + catalogue_index;
        return {candidates.data() + offsets[x], candidates.data() + offsets[x + 1]};
    }

    // 36400 bytes: 1 at the grid index of every listed dense index.
    std::vector<std::uint8_t> grid_mask(std::span<const std::uint16_t> indices) const;
    // The same, written over a zero-filled buffer of the caller's.
    void mark_grid(std::span<const std::uint16_t> indices, std::span<std::uint8_t, NUM_GRID_POSITIONS> mask) const;
};

}  // namespace game
