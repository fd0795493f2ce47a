#include "game/actions/legal_placements.hpp"

#include <array>

#include "game/bitboard/reach.hpp"

namespace game {
namespace {

unsigned lowest_bit(std::uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }

// Bit d set when the edge neighbour across edge d lies in `reach`.
unsigned edge_pattern(std::uint64_t reach) {
    unsigned pattern = 0;
    for (std::size_t d = 0; d < NUM_EDGES; ++d) pattern |= static_cast<unsigned>((reach & EDGE_REACH_BITS[d]) != 0) << d;
    return pattern;
}

// Where a search stands: the taken cells around the corner being visited
// (blocked cells, off-board cells and the corners visited before), and the
// corner's row and column, which turn a reach entry into a dense index.
struct Corner {
    std::uint64_t taken;
    std::int32_t row;
    std::int32_t column;

    bool fits(const ReachEntry& entry) const { return (entry.cells & taken) == 0; }
    std::uint16_t placement(const ReachEntry& entry) const {
        return static_cast<std::uint16_t>(entry.base + row * static_cast<std::int32_t>(entry.width) + column);
    }
};

// Walks the corners in ascending order and at each the pieces in
// `remaining`. For each piece with an entry worth testing it calls
// visitor.list(corner, entries, alive): `entries` is the piece's reach list
// and `alive` its entries (bit n: entries[n]) that cover no taken edge
// neighbour of the corner, the others being sure to meet a taken cell.
// After each corner it calls visitor.corner_done(). Stops and returns false
// as soon as list() does.
template <class Visitor>
bool walk(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners, std::uint32_t remaining,
          Visitor& visitor) {
    ReachRows taken(blocked);
    for (unsigned x : corners.ones()) {
        const Corner corner{taken.reach(x), static_cast<std::int32_t>(x / ROW_STRIDE), static_cast<std::int32_t>(x % ROW_STRIDE)};
        const std::array<std::uint64_t, 1u << NUM_EDGES>* alive_by_piece = set.reach_alive.data();
        const unsigned pattern = edge_pattern(corner.taken);
        for (std::uint32_t pieces = remaining; pieces != 0; pieces &= pieces - 1) {
            const unsigned j = lowest_bit(pieces);
            const std::uint64_t alive = alive_by_piece[j][pattern];
            if (alive != 0 && !visitor.list(corner, set.reach_entries.data() + set.reach_offsets[j], alive)) return false;
        }
        visitor.corner_done();
        taken.add(x);
    }
    return true;
}

// Stops at the first legal placement.
struct FirstLegal {
    std::optional<std::uint16_t> found;

    bool list(const Corner& corner, const ReachEntry* entries, std::uint64_t alive) {
        for (; alive != 0; alive &= alive - 1) {
            const ReachEntry& entry = entries[lowest_bit(alive)];
            if (corner.fits(entry)) {
                found = corner.placement(entry);
                return false;
            }
        }
        return true;
    }
    void corner_done() const {}
};

// Collects every legal placement. Each entry is noted and the count
// advances only past the legal ones, with no branch on the test, whose
// outcome is unpredictable; a corner's finds become dense indices and join
// `moves` when the corner is done.
struct AllLegal {
    const ReachEntry* table;
    std::vector<std::uint16_t>& moves;
    std::array<std::uint16_t, ActionSet::MAX_CELL_ENTRIES> found{};
    std::size_t count = 0;
    Corner last{};

    bool list(const Corner& corner, const ReachEntry* entries, std::uint64_t alive) {
        const auto first = static_cast<std::uint16_t>(entries - table);
        for (; alive != 0; alive &= alive - 1) {
            const unsigned n = lowest_bit(alive);
            found[count] = static_cast<std::uint16_t>(first + n);
            count += corner.fits(entries[n]);
        }
        last = corner;
        return true;
    }
    void corner_done() {
        for (std::size_t n = 0; n < count; ++n) found[n] = last.placement(table[found[n]]);
        moves.insert(moves.end(), found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count));
        count = 0;
    }
};

}  // namespace

std::optional<std::uint16_t> first_legal_placement(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                                                   std::uint32_t remaining) {
    FirstLegal visitor;
    walk(set, blocked, corners, remaining, visitor);
    return visitor.found;
}

void list_legal_placements(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                           std::uint32_t remaining, std::vector<std::uint16_t>& moves) {
    moves.clear();
    AllLegal visitor{set.reach_entries.data(), moves};
    walk(set, blocked, corners, remaining, visitor);
}

}  // namespace game
