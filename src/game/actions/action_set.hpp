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

// The edge neighbours of a cell, in the order of ActionSet::edge_masks.
enum class Edge : std::uint8_t { Up, Left, Right, Down };
inline constexpr std::size_t NUM_EDGES = 4;

// The board cell next to board cell `cell` across `edge`, or none at the
// border.
constexpr std::optional<unsigned> edge_neighbour(unsigned cell, Edge edge) {
    const unsigned row = cell / ROW_STRIDE, column = cell % ROW_STRIDE;
    switch (edge) {
        case Edge::Up:
            return row > 0 ? std::optional(cell - ROW_STRIDE) : std::nullopt;
        case Edge::Left:
            return column > 0 ? std::optional(cell - 1) : std::nullopt;
        case Edge::Right:
            return column + 1 < BOARD_SIZE ? std::optional(cell + 1) : std::nullopt;
        case Edge::Down:
            return row + 1 < BOARD_SIZE ? std::optional(cell + ROW_STRIDE) : std::nullopt;
    }
    return std::nullopt;
}

// Every placement of every orientation, built once per process and then
// read-only. A placement has a dense index (its position in `actions`, in
// ascending grid index) and a grid index; dense indices are 16-bit.
//
// seat_maps[k][r]: placement r as seat k sees it (its start cell at the top
// left) turned onto the absolute board; seat map k is k quarter turns
// clockwise. candidates[offsets[x] .. offsets[x + 1]) with
// x = cell * 21 + catalogue index: the placements of that piece type that
// cover the cell, ascending.
//
// Beside the lists, for the placement search: candidate_windows[e] is the
// cells of placement candidates[e] packed as a row window (RowWindows::pack),
// so that the search never touches the 80-byte `actions` entries; and
// edge_masks[x][d] has bit n set when entry n of list x covers the edge
// neighbour of the list's cell across edge d, so that one AND per edge
// discards every entry that covers an edge neighbour already taken, before
// any entry is read.
struct ActionSet {
    std::vector<Action> actions;
    std::vector<std::optional<std::size_t>> grid;
    std::array<std::vector<std::uint16_t>, NUM_SEATS> seat_maps;
    std::vector<std::uint16_t> candidates;
    std::vector<std::size_t> offsets;
    std::vector<u128> candidate_windows;
    std::vector<std::array<std::uint64_t, NUM_EDGES>> edge_masks;

    // The longest candidate list: 8 orientations of a five-cell piece. Lists
    // fit the 64-bit masks of edge_masks.
    static constexpr std::size_t MAX_LIST_LENGTH = 40;
    static_assert(MAX_LIST_LENGTH <= 64);
    // The most entries of one cell's 21 lists together: at an interior cell,
    // every orientation once for each of its cells.
    static constexpr std::size_t MAX_CELL_ENTRIES = 414;

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
