#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "game/bitboard/bitboard.hpp"
#include "game/bitboard/reach.hpp"
#include "game/pieces/piece_type.hpp"

namespace game {

// One placement on the empty board.
struct Action {
    Bitboard cells;
    std::size_t grid_index = 0;  // orientation * 400 + row * 20 + column of the bounding box
    PieceType piece = PieceType::I1;
};

inline constexpr std::size_t NUM_SEATS = 4;
// The action grid: an anchor cell (row, column) for every orientation.
inline constexpr std::size_t GRID_CELLS = BOARD_SIZE * BOARD_SIZE;                   // 400
inline constexpr std::size_t NUM_GRID_POSITIONS = NUM_ORIENTATIONS * GRID_CELLS;     // 36400

// One placement of a piece type seen from a cell that it covers: its cells
// as a reach mask (see reach.hpp), and its dense index when that cell is
// (row, column): base + row * width + column, width being the number of
// columns at which the orientation fits.
struct ReachEntry {
    std::uint64_t cells = 0;
    std::int32_t base = 0;
    std::uint32_t width = 0;
};

// A set of reach entries, bit e of word e / 64 for entry e.
inline constexpr std::size_t REACH_SET_WORDS = 7;
using ReachSet = std::array<std::uint64_t, REACH_SET_WORDS>;

// How one word of the entries of a hand of pieces is looked up: the pieces
// with entries in the word are `count` consecutive catalogue indices from
// `first`, and ActionSet::reach_hand_words[offset + those pieces' bits of the
// hand] is the word.
struct ReachHandWord {
    std::uint8_t first = 0;
    std::uint8_t count = 0;
    std::uint16_t offset = 0;
};

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
// For the placement search, the same lists once for all cells, seen from
// the cell: reach_entries[reach_offsets[j] .. reach_offsets[j + 1]) are the
// placements of catalogue index j covering a cell anywhere on an unbounded
// board, ordered so that the ones that fit at a board cell come in the order
// of that cell's candidate list (orientation, then the covered cell's place
// in the orientation, last first); off the board they meet the border of
// ReachRows. Sets of entries are ReachSets, bit e for entry e: reach_in_hand
// gives the entries of a hand of pieces with one lookup per word, and
// reach_clear[g][p] the entries that cover no cell of reach group g
// (reach.hpp) whose bit is set in p. A
// placement fits exactly when it misses the taken cells of every group, so
// the legal placements at a corner are the pieces in hand ANDed with one
// set per group, found without reading a single entry. The tables are small
// enough to stay in the first-level cache.
struct ActionSet {
    // The longest candidate list: 8 orientations of a five-cell piece.
    static constexpr std::size_t MAX_LIST_LENGTH = 40;
    // The most entries of one cell's 21 lists together: at an interior cell,
    // every orientation once for each of its cells.
    static constexpr std::size_t MAX_CELL_ENTRIES = 414;
    static_assert(MAX_CELL_ENTRIES <= 64 * REACH_SET_WORDS);

    std::vector<Action> actions;
    std::vector<std::optional<std::size_t>> grid;
    std::array<std::vector<std::uint16_t>, NUM_SEATS> seat_maps;
    std::vector<std::uint16_t> candidates;
    std::vector<std::size_t> offsets;
    std::array<ReachEntry, MAX_CELL_ENTRIES> reach_entries;
    std::array<std::uint16_t, NUM_PIECE_TYPES + 1> reach_offsets{};
    std::array<ReachHandWord, REACH_SET_WORDS> reach_hand{};
    std::vector<std::uint64_t> reach_hand_words;
    std::array<std::array<ReachSet, 1u << REACH_GROUP_BITS>, NUM_REACH_GROUPS> reach_clear{};

    // The process-wide set, built by the first caller; concurrent first
    // callers wait for that one build.
    static const ActionSet& get();
    static ActionSet build();

    // The reach entries of the pieces in `remaining`.
    ReachSet reach_in_hand(std::uint32_t remaining) const {
        ReachSet entries;
        for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) {
            const ReachHandWord& word = reach_hand[w];
            entries[w] = reach_hand_words[word.offset + (remaining >> word.first & ((1u << word.count) - 1))];
        }
        return entries;
    }

    // Orientation `orientation` anchored at (0, 0), where every orientation fits.
    const Action& at_origin(std::size_t orientation) const { return actions[*grid[orientation * GRID_CELLS]]; }

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
