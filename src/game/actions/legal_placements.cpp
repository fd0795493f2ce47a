#include "game/actions/legal_placements.hpp"

#include <array>

#include "game/bitboard/row_windows.hpp"

namespace game {
namespace {

unsigned lowest_bit(std::uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }

// All ones in element d when the edge neighbour of board cell x across edge
// d is taken. The window of x's row holds that row in bits 0..20 and the
// next in bits 21..41; only the row above needs another window. Across the
// border the value is of no account: no entry covers a cell off the board.
std::array<std::uint64_t, NUM_EDGES> taken_edges(const RowWindows& taken, unsigned x) {
    const unsigned row = x / ROW_STRIDE, column = x % ROW_STRIDE;
    const auto here = static_cast<std::uint64_t>(taken.rows[row]);
    const auto above = row > 0 ? static_cast<std::uint64_t>(taken.rows[row - 1]) : 0;
    std::array<std::uint64_t, NUM_EDGES> edges;
    edges[static_cast<std::size_t>(Edge::Up)] = above >> column & 1;
    edges[static_cast<std::size_t>(Edge::Left)] = column > 0 ? here >> (column - 1) & 1 : 0;
    edges[static_cast<std::size_t>(Edge::Right)] = here >> (column + 1) & 1;
    edges[static_cast<std::size_t>(Edge::Down)] = here >> (ROW_STRIDE + column) & 1;
    for (std::uint64_t& edge : edges) edge = 0 - edge;
    return edges;
}

// Walks the candidate lists corner by corner. For each list with an entry
// worth testing it calls visitor.list(taken, first, alive): the list starts
// at entry `first` of `candidates` and `candidate_windows`, `taken` is the
// blocked cells plus the corner cells already visited, and `alive` the list
// entries (bit n: entry first + n) that cover no taken edge neighbour of the
// corner, the others being sure to meet `taken`. After each corner it calls
// visitor.corner_done(). Stops and returns false as soon as list() does.
template <class Visitor>
bool walk(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners, std::uint32_t remaining,
          Visitor& visitor) {
    RowWindows taken(blocked);
    for (unsigned x : corners.ones()) {
        const std::array<std::uint64_t, NUM_EDGES> edge_taken = taken_edges(taken, x);
        for (std::uint32_t pieces = remaining; pieces != 0; pieces &= pieces - 1) {
            const std::size_t list = x * NUM_PIECE_TYPES + lowest_bit(pieces);
            const std::size_t first = set.offsets[list];
            std::uint64_t alive = (std::uint64_t{1} << (set.offsets[list + 1] - first)) - 1;
            for (std::size_t d = 0; d < NUM_EDGES; ++d) alive &= ~(set.edge_masks[list][d] & edge_taken[d]);
            if (alive != 0 && !visitor.list(taken, first, alive)) return false;
        }
        visitor.corner_done();
        taken.add(x);
    }
    return true;
}

// Stops at the first legal placement.
struct FirstLegal {
    const u128* windows;

    bool list(const RowWindows& taken, std::size_t first, std::uint64_t alive) const {
        for (; alive != 0; alive &= alive - 1) {
            if (!taken.meets(windows[first + lowest_bit(alive)])) return false;
        }
        return true;
    }
    void corner_done() const {}
};

// Collects every legal placement. Each entry is written and the count
// advances only past the legal ones, with no branch on the test, whose
// outcome is unpredictable; a corner's finds join `moves` in one copy.
struct AllLegal {
    const std::uint16_t* candidates;
    const u128* windows;
    std::vector<std::uint16_t>& moves;
    std::array<std::uint16_t, ActionSet::MAX_CELL_ENTRIES> found{};
    std::size_t count = 0;

    bool list(const RowWindows& taken, std::size_t first, std::uint64_t alive) {
        for (; alive != 0; alive &= alive - 1) {
            const std::size_t e = first + lowest_bit(alive);
            found[count] = candidates[e];
            count += !taken.meets(windows[e]);
        }
        return true;
    }
    void corner_done() {
        moves.insert(moves.end(), found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count));
        count = 0;
    }
};

}  // namespace

bool has_legal_placement(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                         std::uint32_t remaining) {
    FirstLegal visitor{set.candidate_windows.data()};
    return !walk(set, blocked, corners, remaining, visitor);
}

void list_legal_placements(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                           std::uint32_t remaining, std::vector<std::uint16_t>& moves) {
    moves.clear();
    AllLegal visitor{set.candidates.data(), set.candidate_windows.data(), moves};
    walk(set, blocked, corners, remaining, visitor);
}

}  // namespace game
