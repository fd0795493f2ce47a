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

// Walks the corners in ascending order. At each, it calls
// visitor.word(corner, entries, w, candidates) for every word w of the
// ReachSet of entries worth testing there, in order: those of the pieces in
// `remaining` that cover no taken edge neighbour of the corner, the others
// being sure to meet a taken cell. After each corner it calls
// visitor.corner_done(). Stops and returns false as soon as word() does.
template <class Visitor>
bool walk(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners, std::uint32_t remaining,
          Visitor& visitor) {
    ReachSet in_hand{};
    for (std::uint32_t pieces = remaining; pieces != 0; pieces &= pieces - 1) {
        const ReachSet& piece = set.reach_pieces[lowest_bit(pieces)];
        for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) in_hand[w] |= piece[w];
    }
    ReachRows taken(blocked);
    for (unsigned x : corners.ones()) {
        const Corner corner{taken.reach(x), static_cast<std::int32_t>(x / ROW_STRIDE), static_cast<std::int32_t>(x % ROW_STRIDE)};
        const ReachSet& alive = set.reach_alive[edge_pattern(corner.taken)];
        for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) {
            const std::uint64_t candidates = alive[w] & in_hand[w];
            if (candidates != 0 && !visitor.word(corner, set.reach_entries.data(), w, candidates)) return false;
        }
        visitor.corner_done();
        taken.add(x);
    }
    return true;
}

// Stops at the first legal placement.
struct FirstLegal {
    std::optional<std::uint16_t> found;

    bool word(const Corner& corner, const ReachEntry* entries, std::size_t w, std::uint64_t candidates) {
        for (; candidates != 0; candidates &= candidates - 1) {
            const ReachEntry& entry = entries[64 * w + lowest_bit(candidates)];
            if (corner.fits(entry)) {
                found = corner.placement(entry);
                return false;
            }
        }
        return true;
    }
    void corner_done() const {}
};

// Collects every legal placement. Each candidate is written and the count
// advances only past the legal ones, with no branch on the test, whose
// outcome is unpredictable; a corner's finds join `moves` in one copy.
struct AllLegal {
    explicit AllLegal(std::vector<std::uint16_t>& out) : moves(out) {}

    std::vector<std::uint16_t>& moves;
    std::array<std::uint16_t, ActionSet::MAX_CELL_ENTRIES> found;  // only the first `count` are read
    std::size_t count = 0;

    bool word(const Corner& corner, const ReachEntry* entries, std::size_t w, std::uint64_t candidates) {
        for (; candidates != 0; candidates &= candidates - 1) {
            const ReachEntry& entry = entries[64 * w + lowest_bit(candidates)];
            found[count] = corner.placement(entry);
            count += corner.fits(entry);
        }
        return true;
    }
    void corner_done() {
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
    AllLegal visitor(moves);
    walk(set, blocked, corners, remaining, visitor);
}

}  // namespace game
